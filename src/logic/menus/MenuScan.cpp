// Whose each Wine-made file is, and whether what it starts is still there.
#include "FileQuery.h"
#include "FolderListing.h"
#include "menus/MenuScanState.h"

#include <QFileInfo>

#include <algorithm>
#include <map>

namespace nixora::menus
{
namespace
{

struct PrefixInfo {
    const MenuPrefix* prefix = nullptr;
    QString canonical;
    ConfinedFolder root{QString()};
    // The prefix's folders as listed during this scan: shortcuts of one Start Menu folder are
    // looked up in one listing of it.
    std::shared_ptr<FolderListings> listings = std::make_shared<FolderListings>();
    std::shared_ptr<QHash<QString, bool>> exists = std::make_shared<QHash<QString, bool>>();
};

// Wine names its files as DOS paths: "\\?\unix\home\..." for a Unix path, or a drive path
// ("C:\users\Public\Desktop\x.desktop") that goes through the prefix's drives.
[[nodiscard]] QString unixPathOf(const QString& dosPath, const PrefixInfo& info)
{
    QString path = dosPath;
    if (path.startsWith(QStringLiteral("\\\\?\\")) || path.startsWith(QStringLiteral("\\??\\")))
        path = path.mid(4);
    if (path.startsWith(QStringLiteral("unix\\"), Qt::CaseInsensitive))
        return path.mid(4).replace(u'\\', u'/');
    return resolveWindowsPath(info.prefix->path, path, *info.listings).value_or(QString());
}

// A menu entry and its .menu name the same shortcut: it is looked for once.
[[nodiscard]] bool windowsFileExists(const PrefixInfo& info, const QString& path)
{
    auto known = info.exists->constFind(path);
    if (known == info.exists->cend()) {
        const QString unix = unixPathOf(path, info);
        known = info.exists->insert(
            path, !unix.isEmpty() && (QFileInfo::exists(unix) || QFileInfo(unix).isSymLink()));
    }
    return *known;
}

[[nodiscard]] bool isAbsoluteWindowsPath(const QString& path)
{
    return (path.size() >= 3 && path.at(0).isLetter() && path.at(1) == u':' &&
            path.at(2) == u'\\') ||
           path.startsWith(QStringLiteral("\\\\?\\")) || path.startsWith(QStringLiteral("\\??\\"));
}

[[nodiscard]] QString textOf(const RegValue& value)
{
    QString text = textFromUtf16Le(value.data);
    while (text.endsWith(QChar(0)))
        text.chop(1);
    return text;
}

[[nodiscard]] MenuFileKind kindOfRecorded(const ScanState& state, const QString& path)
{
    if (path.endsWith(QStringLiteral(".menu")))
        return MenuFileKind::Menu;
    if (path.startsWith(state.folders.wineApplications() + u'/'))
        return MenuFileKind::MenuEntry;
    return MenuFileKind::DesktopLink;
}

// The file a record names, as a candidate: one the folders gave, or one read now from a root.
Candidate* recordedCandidate(ScanState& state, const PrefixInfo& info, const QString& dosPath)
{
    // Most records name a file the folders gave, as written; only others need their links
    // resolved.
    const QString named = unixPathOf(dosPath, info);
    if (const auto found = state.byPath.constFind(named); found != state.byPath.cend())
        return &state.candidates[static_cast<size_t>(*found)];
    const QString path = state.realPath(named);
    if (path.isEmpty())
        return nullptr;
    if (const auto found = state.byPath.constFind(path); found != state.byPath.cend())
        return &state.candidates[static_cast<size_t>(*found)];
    const ConfinedFolder* root = state.rootOf(path);
    if (root == nullptr && info.root.contains(path))
        root = &info.root;
    std::optional<Candidate> candidate =
        root ? readRecordedFile(*root, path, kindOfRecorded(state, path)) : std::nullopt;
    return candidate ? &state.add(std::move(*candidate)) : nullptr;
}

void applyRecords(ScanState& state, int index, const PrefixInfo& info)
{
    Registry& registry = *info.prefix->registry;
    if (const auto key = registry.exportKey(RegRoot::CurrentUser, kMenuFilesKey)) {
        for (const RegNamedValue& value : key->values) {
            Candidate* candidate = recordedCandidate(state, info, value.name);
            if (candidate == nullptr || candidate->file.kind == MenuFileKind::Association)
                continue;
            candidate->owner = index;
            candidate->file.record = value.name;
            candidate->recordTarget = textOf(value.value);
        }
    }
    const auto associations = registry.exportKey(RegRoot::CurrentUser, kAssociationsKey);
    for (const RegKeySnapshot& extension :
         associations ? associations->subkeys : std::vector<RegKeySnapshot>{}) {
        for (const RegNamedValue& value : extension.values) {
            if (value.name.compare(QStringLiteral("DesktopFile"), Qt::CaseInsensitive) != 0)
                continue;
            const QString path = state.realPath(unixPathOf(textOf(value.value), info));
            const auto found = state.byPath.constFind(path);
            if (found == state.byPath.cend())
                continue;
            Candidate& candidate = state.candidates[static_cast<size_t>(*found)];
            candidate.owner = index;
            candidate.file.record = extension.name;
        }
    }
}

[[nodiscard]] bool prefixIsGone(const QString& prefix)
{
    const QFileInfo hive(prefix + QStringLiteral("/system.reg"));
    return !hive.exists() && !hive.isSymLink();
}

// Unrecorded files in Wine's form belong to the prefix their Exec line names.
void assignByExec(ScanState& state, const std::vector<PrefixInfo>& infos)
{
    QHash<QString, int> ownerOf;
    for (Candidate& candidate : state.candidates) {
        if (candidate.owner != kNobody || !candidate.wineForm || !candidate.command)
            continue;
        const QString named = candidate.command->prefix.isEmpty()
                                  ? state.folders.home + QStringLiteral("/.wine")
                                  : candidate.command->prefix;
        auto owner = ownerOf.constFind(named);
        if (owner == ownerOf.cend()) {
            const QString canonical = QFileInfo(named).canonicalFilePath();
            int found = prefixIsGone(named) ? kOrphan : kNobody;
            for (size_t i = 0; i < infos.size() && found == kNobody; ++i) {
                if (!canonical.isEmpty() && infos[i].canonical == canonical)
                    found = static_cast<int>(i);
            }
            owner = ownerOf.insert(named, found);
        }
        candidate.owner = *owner;
        if (candidate.owner == kOrphan)
            candidate.file.prefix = named;
    }
}

// A .menu belongs with the menu entry it was written for, a MIME package with the association
// of its extension; unrecorded ones take their owner from it.
void pairCompanions(ScanState& state)
{
    QHash<QString, qsizetype> entryByMenu;
    QHash<QString, qsizetype> associationByName;
    for (qsizetype i = 0; i < static_cast<qsizetype>(state.candidates.size()); ++i) {
        const Candidate& candidate = state.candidates[static_cast<size_t>(i)];
        if (candidate.file.kind == MenuFileKind::MenuEntry && !candidate.menuName.isEmpty())
            entryByMenu.insert(candidate.menuName, i);
        if (candidate.file.kind == MenuFileKind::Association)
            associationByName.insert(fileNameOf(candidate.file.path), i);
    }
    for (Candidate& candidate : state.candidates) {
        if (candidate.owner != kNobody || !candidate.wineForm)
            continue;
        const QString name = fileNameOf(candidate.file.path);
        qsizetype partner = -1;
        if (candidate.file.kind == MenuFileKind::Menu)
            partner = entryByMenu.value(name, -1);
        else if (candidate.file.kind == MenuFileKind::Association && name.endsWith(u".xml"))
            partner =
                associationByName.value(QStringLiteral("wine-extension-") +
                                            name.mid(17).chopped(4) + QStringLiteral(".desktop"),
                                        -1);
        if (partner < 0)
            continue;
        const Candidate& other = state.candidates[static_cast<size_t>(partner)];
        candidate.owner = other.owner;
        candidate.file.prefix = other.file.prefix;
        candidate.file.target = other.file.target;
    }
}

} // namespace

namespace
{

void makeStale(Candidate& candidate, const QString& reason)
{
    candidate.file.verdict = MenuVerdict::Stale;
    candidate.file.reason = reason;
}

// Wine's own rule for a menu file: it is stale once its shortcut is gone. A desktop link that
// no record names is stale when the shortcut beside it or the program it starts is gone.
void judgeShortcut(Candidate& candidate, const PrefixInfo& info)
{
    const QString first = candidate.command ? candidate.command->arguments.value(0) : QString();
    QString shortcut = candidate.recordTarget;
    if (shortcut.isEmpty() && (first.endsWith(QStringLiteral(".lnk"), Qt::CaseInsensitive) ||
                               first.endsWith(QStringLiteral(".url"), Qt::CaseInsensitive)))
        shortcut = first;
    if (!shortcut.isEmpty()) {
        candidate.file.target = shortcut;
        if (!windowsFileExists(info, shortcut))
            makeStale(candidate, QStringLiteral("its shortcut %1 is gone").arg(shortcut));
        return;
    }
    if (candidate.file.kind == MenuFileKind::DesktopLink) {
        const QString besides = candidate.file.path.chopped(8) + QStringLiteral(".lnk");
        if (!QFileInfo::exists(besides) && !QFileInfo(besides).isSymLink()) {
            makeStale(candidate, QStringLiteral("its shortcut %1 is gone").arg(besides));
            return;
        }
    }
    if (isAbsoluteWindowsPath(first) && !windowsFileExists(info, first))
        makeStale(candidate, QStringLiteral("its program %1 is gone").arg(first));
}

[[nodiscard]] QString classesPath(const QString& name)
{
    return QStringLiteral("Software\\Classes\\") + name;
}

// The key under HKCR, where a user's key hides the machine's, as HKCR merges the two.
[[nodiscard]] bool classExists(Registry& registry, const QString& path)
{
    return registry.keyExists(RegRoot::CurrentUser, classesPath(path)) ||
           registry.keyExists(RegRoot::LocalMachine, classesPath(path));
}

[[nodiscard]] QString defaultClassValue(Registry& registry, const QString& name)
{
    for (const RegRoot root : {RegRoot::CurrentUser, RegRoot::LocalMachine}) {
        if (const auto value = registry.queryValue(root, classesPath(name), QString()))
            return textOf(*value);
    }
    return {};
}

// Wine's rule for an association: it goes when nothing opens the extension (or scheme) any more.
void judgeAssociation(Candidate& candidate, Registry& registry)
{
    const QString name = fileNameOf(candidate.file.path);
    const QString open = QStringLiteral("\\shell\\open\\command");
    if (name.startsWith(QStringLiteral("wine-protocol-"))) {
        const QString scheme = name.mid(14).chopped(8);
        if (!classExists(registry, scheme + open))
            makeStale(candidate,
                      QStringLiteral("nothing opens %1: addresses any more").arg(scheme));
        return;
    }
    const QString extension = u'.' + name.mid(15).chopped(8);
    const QString progId = defaultClassValue(registry, extension);
    if (progId.isEmpty() || !classExists(registry, progId + open))
        makeStale(candidate, QStringLiteral("nothing opens %1 files any more").arg(extension));
}

void judgeOne(Candidate& candidate, const PrefixInfo& info)
{
    candidate.file.prefix = info.prefix->path;
    const bool mimePackage = candidate.file.path.endsWith(QStringLiteral(".xml"));
    if (candidate.file.kind == MenuFileKind::Association && !mimePackage)
        judgeAssociation(candidate, *info.prefix->registry);
    else if (candidate.file.kind != MenuFileKind::Association &&
             candidate.file.kind != MenuFileKind::Directory &&
             (candidate.file.kind != MenuFileKind::Menu || !candidate.recordTarget.isEmpty()))
        judgeShortcut(candidate, info);
}

void judge(ScanState& state, const std::vector<PrefixInfo>& infos)
{
    for (Candidate& candidate : state.candidates) {
        if (candidate.owner == kOrphan) {
            candidate.file.verdict = MenuVerdict::Orphaned;
            candidate.file.reason =
                QStringLiteral("the prefix %1 does not exist any more").arg(candidate.file.prefix);
        } else if (candidate.owner >= 0) {
            judgeOne(candidate, infos[static_cast<size_t>(candidate.owner)]);
        }
    }
}

// Companions that no record names share the verdict of the file they go with.
void judgeCompanions(ScanState& state)
{
    QHash<QString, const Candidate*> byName;
    for (const Candidate& candidate : state.candidates) {
        if (candidate.file.kind == MenuFileKind::MenuEntry && !candidate.menuName.isEmpty())
            byName.insert(candidate.menuName, &candidate);
        if (candidate.file.kind == MenuFileKind::Association)
            byName.insert(fileNameOf(candidate.file.path), &candidate);
    }
    for (Candidate& candidate : state.candidates) {
        const QString name = fileNameOf(candidate.file.path);
        const bool menu =
            candidate.file.kind == MenuFileKind::Menu && candidate.recordTarget.isEmpty();
        const bool mime =
            candidate.file.kind == MenuFileKind::Association && name.endsWith(u".xml");
        if (candidate.owner < 0 || (!menu && !mime))
            continue;
        const Candidate* partner =
            byName.value(menu ? name
                              : QStringLiteral("wine-extension-") + name.mid(17).chopped(4) +
                                    QStringLiteral(".desktop"));
        if (partner != nullptr && candidate.file.verdict == MenuVerdict::Found) {
            candidate.file.verdict = partner->file.verdict;
            candidate.file.reason = partner->file.reason;
        }
    }
}

// A .menu file a prefix records beside its menu entry is the one Wine wrote for it: the folders
// it names follow from the entry's place and need no read. The others are read.
void settleMenus(ScanState& state)
{
    QHash<QString, const Candidate*> entryByMenu;
    for (const Candidate& candidate : state.candidates) {
        if (candidate.file.kind == MenuFileKind::MenuEntry && !candidate.menuName.isEmpty())
            entryByMenu.insert(candidate.menuName, &candidate);
    }
    const QString top = state.folders.wineApplications() + u'/';
    for (Candidate& menu : state.candidates) {
        const Candidate* entry = menu.unreadIn && !menu.recordTarget.isEmpty()
                                     ? entryByMenu.value(fileNameOf(menu.file.path))
                                     : nullptr;
        if (entry == nullptr || !entry->file.path.startsWith(top))
            continue;
        for (const MenuDirectory& directory : menuDirectoriesOf(entry->file.path.mid(top.size()))) {
            menu.directories << directory.file;
            state.directoryNames.insert(directory.file, directory.name);
        }
        menu.wineForm = true;
        menu.unreadIn.reset();
    }
    readUnread(state, [](const Candidate& c) { return c.file.kind == MenuFileKind::Menu; });
}

// A .directory file that a .menu file left unread names is taken by its name; the others are
// read, so that only one in Wine's form is ever offered as a leftover.
void settleDirectories(ScanState& state)
{
    for (Candidate& directory : state.candidates) {
        const auto known = state.directoryNames.constFind(fileNameOf(directory.file.path));
        if (!directory.unreadIn || known == state.directoryNames.cend())
            continue;
        directory.file.name = *known;
        directory.wineForm = true;
        directory.unreadIn.reset();
    }
    readUnread(state, [](const Candidate& c) { return c.file.kind == MenuFileKind::Directory; });
}

[[nodiscard]] std::vector<PrefixInfo> prefixInfos(const std::vector<MenuPrefix>& prefixes)
{
    std::vector<PrefixInfo> infos;
    for (const MenuPrefix& prefix : prefixes) {
        const QString canonical = QFileInfo(prefix.path).canonicalFilePath();
        infos.push_back({&prefix, canonical, ConfinedFolder(canonical)});
    }
    return infos;
}

} // namespace

MenuInventory scanMenuFiles(const UserFolders& folders, const std::vector<MenuPrefix>& prefixes,
                            bool withOrphans)
{
    ScanState state(folders);
    collectFromDisk(state);
    const std::vector<PrefixInfo> infos = prefixInfos(prefixes);
    for (size_t i = 0; i < infos.size(); ++i) {
        if (infos[i].prefix->registry != nullptr)
            applyRecords(state, static_cast<int>(i), infos[i]);
    }
    settleMenus(state);
    assignByExec(state, infos);
    pairCompanions(state);
    judge(state, infos);
    judgeCompanions(state);
    settleDirectories(state);
    return assembleInventory(state, prefixes, withOrphans);
}

} // namespace nixora::menus
