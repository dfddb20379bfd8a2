// Reading Wine's places: which files are there and what each one says.
#include "menus/MenuScanState.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

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

[[nodiscard]] QString baseName(const QString& path)
{
    return path.section(u'/', -1);
}

void fillFromDesktopEntry(Candidate& candidate, const QByteArray& bytes, EntryForm form)
{
    const std::optional<DesktopEntry> entry = parseDesktopEntry(bytes);
    candidate.file.name = baseName(candidate.file.path);
    if (!entry)
        return;
    if (entry->has(QStringLiteral("Name")))
        candidate.file.name = entry->value(QStringLiteral("Name"));
    candidate.wineForm = hasWineForm(*entry, form);
    candidate.icon = entry->value(QStringLiteral("Icon"));
    candidate.file.workingFolder = entry->value(QStringLiteral("Path"));
    candidate.command = parseWineExec(entry->value(QStringLiteral("Exec")));
    if (!candidate.command)
        return;
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
    candidate.file.name = baseName(candidate.file.path);
    for (auto it = directory.globalMatch(text); it.hasNext();)
        candidate.directories << xmlText(it.next().captured(1));
    QStringList includes;
    for (auto it = filename.globalMatch(text); it.hasNext();)
        includes << xmlText(it.next().captured(1));
    if (includes.size() == 1)
        candidate.includes = includes.first();
    candidate.wineForm =
        text.startsWith(
            QStringLiteral("<!DOCTYPE Menu PUBLIC \"-//freedesktop//DTD Menu 1.0//EN\"\n")) &&
        text.contains(QStringLiteral("<Name>Applications</Name>")) && includes.size() == 1;
}

void fillFromMimePackage(Candidate& candidate, const QByteArray& bytes)
{
    const QString extension =
        baseName(candidate.file.path).mid(17).chopped(4); // x-wine-extension-<ext>.xml
    candidate.file.name = u'.' + extension;
    candidate.wineForm =
        bytes.startsWith("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<mime-info xmlns=\""
                         "http://www.freedesktop.org/standards/shared-mime-info\">\n") &&
        bytes.contains(QStringLiteral("<glob pattern=\"*.%1\"/>").arg(extension).toUtf8());
}

// Reads one file as the kind its place says it is.
void addFile(ScanState& state, const QString& path, MenuFileKind kind)
{
    const std::optional<QByteArray> bytes = state.read(path);
    if (!bytes)
        return;
    Candidate candidate;
    candidate.file.kind = kind;
    candidate.file.path = path;
    if (kind == MenuFileKind::Menu)
        fillFromMenu(candidate, *bytes);
    else if (kind == MenuFileKind::Directory)
        fillFromDesktopEntry(candidate, *bytes, EntryForm::Directory);
    else if (kind == MenuFileKind::Association && path.endsWith(QStringLiteral(".xml")))
        fillFromMimePackage(candidate, *bytes);
    else
        fillFromDesktopEntry(candidate, *bytes,
                             kind == MenuFileKind::Association ? EntryForm::Association
                                                               : EntryForm::Shortcut);
    if (!candidate.icon.isEmpty())
        state.iconUsers[candidate.icon] << path;
    state.add(std::move(candidate));
}

// A .desktop file that is not Wine's: only which icon it shows matters, so that no icon goes
// while a launcher of the user's still shows it.
void noteIconUser(ScanState& state, const QString& path)
{
    const std::optional<QByteArray> bytes = state.read(path);
    const std::optional<DesktopEntry> entry = bytes ? parseDesktopEntry(*bytes) : std::nullopt;
    const QString icon = entry ? entry->value(QStringLiteral("Icon")) : QString();
    if (!icon.isEmpty())
        state.iconUsers[icon] << path;
}

void collectMenuEntries(ScanState& state, const QString& folder, const QString& relative)
{
    for (const FolderEntry& entry : state.list(folder)) {
        const QString path = folder + u'/' + entry.name;
        const QString below = relative.isEmpty() ? entry.name : relative + u'-' + entry.name;
        if (entry.type == FileMeta::Type::Folder) {
            collectMenuEntries(state, path, below);
        } else if (entry.type == FileMeta::Type::Regular && entry.name.endsWith(kDesktopSuffix)) {
            addFile(state, path, MenuFileKind::MenuEntry);
            if (const auto found = state.byPath.constFind(path); found != state.byPath.cend())
                state.candidates[static_cast<size_t>(*found)].menuName =
                    QStringLiteral("wine-") + below.chopped(kDesktopSuffix.size()) +
                    QStringLiteral(".menu");
        }
    }
}

// Regular files of one folder whose names Wine uses there.
void collectNamed(ScanState& state, const QString& folder, const QString& lead,
                  const QString& suffix, MenuFileKind kind)
{
    for (const FolderEntry& entry : state.list(folder)) {
        if (entry.type == FileMeta::Type::Regular && entry.name.startsWith(lead) &&
            entry.name.endsWith(suffix) && entry.name.size() > lead.size() + suffix.size())
            addFile(state, folder + u'/' + entry.name, kind);
    }
}

void collectApplications(ScanState& state)
{
    const QString folder = state.folders.applications();
    for (const FolderEntry& entry : state.list(folder)) {
        if (entry.type != FileMeta::Type::Regular || !entry.name.endsWith(kDesktopSuffix))
            continue;
        const QString path = folder + u'/' + entry.name;
        if (entry.name.startsWith(QStringLiteral("wine-extension-")) ||
            entry.name.startsWith(QStringLiteral("wine-protocol-")))
            addFile(state, path, MenuFileKind::Association);
        else
            noteIconUser(state, path);
    }
}

void collectDesktop(ScanState& state)
{
    const QString folder = state.folders.desktop;
    for (const FolderEntry& entry : state.list(folder)) {
        if (entry.type == FileMeta::Type::Regular && entry.name.endsWith(kDesktopSuffix))
            addFile(state, folder + u'/' + entry.name, MenuFileKind::DesktopLink);
    }
}

void collectIcons(ScanState& state)
{
    const QString icons = state.folders.icons();
    for (const FolderEntry& size : state.list(icons)) {
        if (size.type != FileMeta::Type::Folder)
            continue;
        const QString apps = icons + u'/' + size.name + QStringLiteral("/apps");
        for (const FolderEntry& entry : state.list(apps)) {
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

std::optional<QByteArray> ScanState::read(const QString& path) const
{
    const ConfinedFolder* root = rootOf(path);
    QByteArray bytes;
    if (root == nullptr || !root->read(path, kMaxMenuFileBytes, bytes).ok())
        return std::nullopt;
    return bytes;
}

std::vector<FolderEntry> ScanState::list(const QString& folder) const
{
    for (const ConfinedFolder& root : roots) {
        if (root.root() == folder || root.contains(folder))
            return root.list(folder).value_or(std::vector<FolderEntry>{});
    }
    return {};
}

Candidate& ScanState::add(Candidate candidate)
{
    byPath.insert(candidate.file.path, static_cast<qsizetype>(candidates.size()));
    candidates.push_back(std::move(candidate));
    return candidates.back();
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
    collectMenuEntries(state, folders.wineApplications(), QString());
    collectApplications(state);
    collectNamed(state, folders.mergedMenus(), QStringLiteral("wine-"), QStringLiteral(".menu"),
                 MenuFileKind::Menu);
    collectNamed(state, folders.desktopDirectories(), QStringLiteral("wine-"),
                 QStringLiteral(".directory"), MenuFileKind::Directory);
    collectNamed(state, folders.mimePackages(), QStringLiteral("x-wine-extension-"),
                 QStringLiteral(".xml"), MenuFileKind::Association);
    collectDesktop(state);
    collectIcons(state);
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
    if (kind == MenuFileKind::Menu)
        fillFromMenu(candidate, bytes);
    else
        fillFromDesktopEntry(candidate, bytes, EntryForm::Shortcut);
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
