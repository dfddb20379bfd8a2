// Reading Wine's places: which files are there and what each one says.
#include "menus/MenuScanState.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

#include <memory>

namespace nixora::menus
{
namespace
{

// No file Wine writes for a menu comes near this; anything larger is not read.
constexpr qint64 kMaxMenuFileBytes = 1024 * 1024;

const QString kDesktopSuffix = QStringLiteral(".desktop");

[[nodiscard]] QString xmlText(QString text)
{
    text.replace(QStringLiteral("&lt;"), QStringLiteral("<"));
    text.replace(QStringLiteral("&gt;"), QStringLiteral(">"));
    text.replace(QStringLiteral("&apos;"), QStringLiteral("'"));
    text.replace(QStringLiteral("&quot;"), QStringLiteral("\""));
    text.replace(QStringLiteral("&amp;"), QStringLiteral("&"));
    return text;
}

void fillFromDesktopEntry(Candidate& candidate, const QByteArray& bytes, EntryForm form)
{
    const std::optional<DesktopEntry> entry = parseDesktopEntry(bytes);
    candidate.file.name = fileNameOf(candidate.file.path);
    if (!entry)
        return;
    if (entry->has(QStringLiteral("Name")))
        candidate.file.name = entry->value(QStringLiteral("Name"));
    candidate.icon = entry->value(QStringLiteral("Icon"));
    candidate.file.workingFolder = entry->value(QStringLiteral("Path"));
    if (form == EntryForm::Directory) {
        candidate.wineForm = hasWineKeys(*entry, form);
        return;
    }
    candidate.command = parseWineExec(entry->value(QStringLiteral("Exec")));
    if (!candidate.command)
        return;
    candidate.wineForm = hasWineKeys(*entry, form);
    const QStringList& arguments = candidate.command->arguments;
    // An association starts "wine start /ProgIDOpen <ProgID> %f", a protocol "wine start %u".
    const qsizetype progId = arguments.indexOf(QStringLiteral("/ProgIDOpen"));
    candidate.file.target =
        progId >= 0 && progId + 1 < arguments.size() ? arguments.at(progId + 1) : arguments.first();
}

// Wine's .menu file: the DTD line, the Applications menu, one nested menu per folder with its
// .directory file, and the one .desktop file it includes.
void fillFromMenu(Candidate& candidate, const QByteArray& bytes)
{
    static const QRegularExpression directory(QStringLiteral("<Directory>([^<]*)</Directory>"));
    static const QRegularExpression filename(QStringLiteral("<Filename>([^<]*)</Filename>"));
    const QString text = QString::fromUtf8(bytes);
    candidate.file.name = fileNameOf(candidate.file.path);
    for (auto it = directory.globalMatch(text); it.hasNext();)
        candidate.directories << xmlText(it.next().captured(1));
    int includes = 0;
    for (auto it = filename.globalMatch(text); it.hasNext(); it.next())
        ++includes;
    candidate.wineForm =
        text.startsWith(
            QStringLiteral("<!DOCTYPE Menu PUBLIC \"-//freedesktop//DTD Menu 1.0//EN\"\n")) &&
        text.contains(QStringLiteral("<Name>Applications</Name>")) && includes == 1;
}

void fillFromMimePackage(Candidate& candidate, const QByteArray& bytes)
{
    const QString extension =
        fileNameOf(candidate.file.path).mid(17).chopped(4); // x-wine-extension-<ext>.xml
    candidate.file.name = u'.' + extension;
    candidate.wineForm =
        bytes.startsWith("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<mime-info xmlns=\""
                         "http://www.freedesktop.org/standards/shared-mime-info\">\n") &&
        bytes.contains(QStringLiteral("<glob pattern=\"*.%1\"/>").arg(extension).toUtf8());
}

[[nodiscard]] std::optional<QByteArray> readIn(const OpenFolder& folder, const QString& name)
{
    QByteArray bytes;
    if (!folder.read(name, kMaxMenuFileBytes, bytes).ok())
        return std::nullopt;
    return bytes;
}

void fillByKind(Candidate& candidate, const QByteArray& bytes)
{
    const MenuFileKind kind = candidate.file.kind;
    if (kind == MenuFileKind::Menu)
        fillFromMenu(candidate, bytes);
    else if (kind == MenuFileKind::Directory)
        fillFromDesktopEntry(candidate, bytes, EntryForm::Directory);
    else if (kind == MenuFileKind::Association && candidate.file.path.endsWith(u".xml"))
        fillFromMimePackage(candidate, bytes);
    else
        fillFromDesktopEntry(candidate, bytes,
                             kind == MenuFileKind::Association ? EntryForm::Association
                                                               : EntryForm::Shortcut);
}

using SharedFolder = std::shared_ptr<const OpenFolder>;

[[nodiscard]] SharedFolder shared(OpenFolder folder)
{
    return std::make_shared<const OpenFolder>(std::move(folder));
}

// One file of an open folder as the kind its place says it is. With `later` it is only listed:
// what it holds is read when its name and records do not already say it.
Candidate* addFile(ScanState& state, const SharedFolder& folder, const QString& path,
                   MenuFileKind kind, bool later = false)
{
    Candidate candidate;
    candidate.file.kind = kind;
    candidate.file.path = path;
    candidate.file.name = fileNameOf(path);
    if (later) {
        candidate.unreadIn = folder;
    } else {
        const std::optional<QByteArray> bytes = readIn(*folder, candidate.file.name);
        if (!bytes)
            return nullptr;
        fillByKind(candidate, *bytes);
        if (!candidate.icon.isEmpty())
            state.iconUsers[candidate.icon] << path;
    }
    return &state.add(std::move(candidate));
}

// A .desktop file that is not Wine's: only which icon it shows matters, so that no icon goes
// while a launcher of the user's still shows it.
void noteIconUser(ScanState& state, const OpenFolder& folder, const QString& path)
{
    const std::optional<QByteArray> bytes = readIn(folder, fileNameOf(path));
    const std::optional<DesktopEntry> entry = bytes ? parseDesktopEntry(*bytes) : std::nullopt;
    const QString icon = entry ? entry->value(QStringLiteral("Icon")) : QString();
    if (!icon.isEmpty())
        state.iconUsers[icon] << path;
}

// Each folder's files are read while it is open, before the walk goes deeper, so that a Start
// Menu of many folders never holds more than its depth of descriptors.
void collectMenuEntries(ScanState& state, const SharedFolder& open, const QString& folder,
                        const QString& relative)
{
    std::vector<FolderEntry> folders;
    for (FolderEntry& entry : open->entries()) {
        const QString path = folder + u'/' + entry.name;
        const QString below = relative.isEmpty() ? entry.name : relative + u'-' + entry.name;
        if (entry.type == FileMeta::Type::Folder) {
            folders.push_back(std::move(entry));
        } else if (entry.type == FileMeta::Type::Regular && entry.name.endsWith(kDesktopSuffix)) {
            if (Candidate* added = addFile(state, open, path, MenuFileKind::MenuEntry))
                added->menuName = QStringLiteral("wine-") + below.chopped(kDesktopSuffix.size()) +
                                  QStringLiteral(".menu");
        }
    }
    for (const FolderEntry& entry : folders)
        collectMenuEntries(state, shared(open->openChild(entry.name)), folder + u'/' + entry.name,
                           relative.isEmpty() ? entry.name : relative + u'-' + entry.name);
}

// Regular files of one folder whose names Wine uses there.
void collectNamed(ScanState& state, const QString& folder, const QString& lead,
                  const QString& suffix, MenuFileKind kind, bool later = false)
{
    const SharedFolder open = shared(state.open(folder));
    for (const FolderEntry& entry : open->entries()) {
        if (entry.type == FileMeta::Type::Regular && entry.name.startsWith(lead) &&
            entry.name.endsWith(suffix) && entry.name.size() > lead.size() + suffix.size())
            addFile(state, open, folder + u'/' + entry.name, kind, later);
    }
}

void collectApplications(ScanState& state)
{
    const QString folder = state.folders.applications();
    const SharedFolder open = shared(state.open(folder));
    for (const FolderEntry& entry : open->entries()) {
        if (entry.type != FileMeta::Type::Regular || !entry.name.endsWith(kDesktopSuffix))
            continue;
        const QString path = folder + u'/' + entry.name;
        if (entry.name.startsWith(QStringLiteral("wine-extension-")) ||
            entry.name.startsWith(QStringLiteral("wine-protocol-")))
            addFile(state, open, path, MenuFileKind::Association);
        else
            noteIconUser(state, *open, path);
    }
}

void collectIcons(ScanState& state)
{
    const QString icons = state.folders.icons();
    for (const FolderEntry& size : state.open(icons).entries()) {
        if (size.type != FileMeta::Type::Folder)
            continue;
        const QString apps = icons + u'/' + size.name + QStringLiteral("/apps");
        for (const FolderEntry& entry : state.open(apps).entries()) {
            const QString name =
                entry.name.chopped(entry.name.endsWith(QStringLiteral(".png")) ? 4 : 0);
            if (entry.type == FileMeta::Type::Regular && name.size() < entry.name.size() &&
                isWineIconName(name))
                state.iconFiles[name] << apps + u'/' + entry.name;
        }
    }
}

} // namespace

// A folder the user linked elsewhere is taken where it leads; below it, no link is followed.
ScanState::ScanState(const UserFolders& userFolders) : folders(userFolders)
{
    for (QString* folder :
         {&folders.home, &folders.dataHome, &folders.configHome, &folders.desktop}) {
        const QString real = QFileInfo(*folder).canonicalFilePath();
        if (!real.isEmpty())
            *folder = real;
    }
    roots = folders.confined();
}

const ConfinedFolder* ScanState::rootOf(const QString& path) const
{
    return folderHolding(roots, path);
}

OpenFolder ScanState::open(const QString& folder) const
{
    for (const ConfinedFolder& root : roots) {
        if (root.root() == folder || root.contains(folder))
            return root.open(folder);
    }
    return OpenFolder();
}

Candidate& ScanState::add(Candidate candidate)
{
    byPath.insert(candidate.file.path, static_cast<qsizetype>(candidates.size()));
    candidates.push_back(std::move(candidate));
    return candidates.back();
}

QString ScanState::realPath(const QString& path)
{
    const qsizetype slash = path.lastIndexOf(u'/');
    if (slash <= 0)
        return realPathOf(path);
    const QString folder = path.left(slash);
    auto found = m_realFolders.constFind(folder);
    if (found == m_realFolders.cend())
        found = m_realFolders.insert(folder, QFileInfo(folder).canonicalFilePath());
    return found->isEmpty() ? QString() : *found + path.mid(slash);
}

bool isWineIconName(const QString& baseName)
{
    // "<crc16 in hex>_<file name>.<icon index>" for a program's icon, and the icon of a MIME
    // type Wine made up for an extension.
    static const QRegularExpression program(QStringLiteral("^[0-9A-F]{4}_.+\\.-?[0-9]+$"));
    return program.match(baseName).hasMatch() ||
           baseName.startsWith(QStringLiteral("application-x-wine-extension-"));
}

void collectFromDisk(ScanState& state)
{
    const UserFolders& folders = state.folders;
    collectMenuEntries(state, shared(state.open(folders.wineApplications())),
                       folders.wineApplications(), QString());
    collectApplications(state);
    collectNamed(state, folders.mergedMenus(), QStringLiteral("wine-"), QStringLiteral(".menu"),
                 MenuFileKind::Menu, true);
    collectNamed(state, folders.desktopDirectories(), QStringLiteral("wine-"),
                 QStringLiteral(".directory"), MenuFileKind::Directory, true);
    collectNamed(state, folders.mimePackages(), QStringLiteral("x-wine-extension-"),
                 QStringLiteral(".xml"), MenuFileKind::Association);
    collectNamed(state, folders.desktop, QString(), kDesktopSuffix, MenuFileKind::DesktopLink);
    collectIcons(state);
}

void readUnread(ScanState& state, const std::function<bool(const Candidate&)>& wanted)
{
    std::vector<Candidate*> unread;
    for (Candidate& candidate : state.candidates) {
        if (candidate.unreadIn && wanted(candidate))
            unread.push_back(&candidate);
    }
    for (Candidate* candidate : unread) {
        const std::optional<QByteArray> bytes =
            readIn(*candidate->unreadIn, fileNameOf(candidate->file.path));
        candidate->unreadIn.reset();
        if (!bytes)
            continue;
        fillByKind(*candidate, *bytes);
        if (!candidate->icon.isEmpty())
            state.iconUsers[candidate->icon] << candidate->file.path;
    }
}

std::vector<MenuDirectory> menuDirectoriesOf(const QString& relative)
{
    QStringList folders = relative.split(u'/');
    folders.removeLast();
    std::vector<MenuDirectory> directories{
        {QStringLiteral("wine-wine.directory"), QStringLiteral("Wine")}};
    QString name = QStringLiteral("wine");
    for (const QString& folder : folders) {
        name += u'-' + folder;
        directories.push_back({name + QStringLiteral(".directory"), folder});
    }
    return directories;
}

std::optional<Candidate> readRecordedFile(const ConfinedFolder& root, const QString& path,
                                          MenuFileKind kind)
{
    QByteArray bytes;
    if (!root.read(path, kMaxMenuFileBytes, bytes).ok())
        return std::nullopt;
    Candidate candidate;
    candidate.file.kind = kind;
    candidate.file.path = path;
    fillByKind(candidate, bytes);
    return candidate;
}

QString realPathOf(const QString& path)
{
    const qsizetype slash = path.lastIndexOf(u'/');
    if (slash < 0)
        return {};
    const QString folder =
        QFileInfo(slash == 0 ? QStringLiteral("/") : path.left(slash)).canonicalFilePath();
    if (folder.isEmpty())
        return {};
    return (folder == u"/" ? QString() : folder) + u'/' + path.mid(slash + 1);
}

} // namespace nixora::menus
