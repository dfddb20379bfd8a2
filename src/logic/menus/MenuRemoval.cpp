#include "menus/MenuRemoval.h"

#include "DurableFile.h"
#include "backup/BackupCheck.h"
#include "backup/BackupRemoval.h"
#include "mdlProsessi.h"
#include "menus/MenuBackup.h"
#include "menus/MenuScanState.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QStandardPaths>

#include <algorithm>

namespace nixora::menus
{
namespace
{

constexpr qint64 kMaxRemovedFileBytes = 16 * 1024 * 1024;

[[nodiscard]] bool isDerived(const MenuFile& file)
{
    return file.kind == MenuFileKind::Directory || file.kind == MenuFileKind::Icon;
}

// A .menu beside a planned menu entry (both name the same shortcut), a MIME package beside a
// planned association (same extension).
[[nodiscard]] bool goesWith(const MenuFile& companion, const MenuFile& planned)
{
    if (companion.prefix != planned.prefix || !companion.removable())
        return false;
    if (companion.kind == MenuFileKind::Menu && planned.kind == MenuFileKind::MenuEntry)
        return !companion.target.isEmpty() && companion.target == planned.target;
    const QString name = companion.path.section(u'/', -1);
    return companion.kind == MenuFileKind::Association && name.startsWith(u"x-wine-extension-") &&
           planned.path.section(u'/', -1) == QStringLiteral("wine-extension-") +
                                                 name.mid(17).chopped(4) +
                                                 QStringLiteral(".desktop");
}

struct Plan {
    std::vector<MenuFile> files;
    QSet<QString> paths;

    void add(const MenuFile& file)
    {
        if (!paths.contains(file.path)) {
            paths.insert(file.path);
            files.push_back(file);
        }
    }
};

void addCompanions(const MenuInventory& inventory, Plan& plan)
{
    const std::vector<MenuFile> primaries = plan.files;
    for (const MenuFile& file : inventory.files) {
        if (isDerived(file) || plan.paths.contains(file.path))
            continue;
        if (std::any_of(primaries.begin(), primaries.end(),
                        [&](const MenuFile& planned) { return goesWith(file, planned); }))
            plan.add(file);
    }
}

void addUnused(const MenuInventory& inventory, const QSet<QString>& chosenPaths, Plan& plan)
{
    for (const MenuFile& file : inventory.files) {
        if (!isDerived(file) || plan.paths.contains(file.path))
            continue;
        const bool allGo =
            !file.usedBy.isEmpty() &&
            std::all_of(file.usedBy.begin(), file.usedBy.end(),
                        [&](const QString& user) { return plan.paths.contains(user); });
        if (allGo || (file.usedBy.isEmpty() && chosenPaths.contains(file.path)))
            plan.add(file);
    }
}

// Nothing was removed: every file is kept for the same reason.
void refuse(MenuRemovalResult& result, const QString& reason)
{
    result.refused = reason;
    result.backupFile.clear();
    for (MenuFileOutcome& outcome : result.outcomes) {
        if (outcome.removed())
            outcome.reason = reason;
    }
}

[[nodiscard]] std::vector<ConfinedFolder> rootsFor(const MenuRemovalRequest& request)
{
    std::vector<ConfinedFolder> roots;
    for (const ConfinedFolder& folder : request.folders.confined()) {
        const QString real = QFileInfo(folder.root()).canonicalFilePath();
        if (!real.isEmpty())
            roots.emplace_back(real);
    }
    if (request.prefix != nullptr) {
        const QString real = QFileInfo(request.prefix->path).canonicalFilePath();
        if (!real.isEmpty())
            roots.emplace_back(real);
    }
    return roots;
}

// The records of the files as they are now, and the changes that take them out.
void takeRecords(Registry& registry, const std::vector<MenuFile>& files, MenuBackup& backup,
                 std::vector<RegChange>& changes)
{
    for (const MenuFile& file : files) {
        if (file.record.isEmpty())
            continue;
        if (file.kind == MenuFileKind::Association) {
            const QString key = kAssociationsKey + u'\\' + file.record;
            for (const RegNamedValue& value :
                 registry.exportKey(RegRoot::CurrentUser, key).value_or(RegKeySnapshot{}).values)
                backup.values.push_back({key, value.name, value.value});
            changes.push_back({RegChange::Kind::DeleteTree, RegRoot::CurrentUser, key, {}, {}});
        } else if (const auto value =
                       registry.queryValue(RegRoot::CurrentUser, kMenuFilesKey, file.record)) {
            backup.values.push_back({kMenuFilesKey, file.record, *value});
            changes.push_back({RegChange::Kind::DeleteValue,
                               RegRoot::CurrentUser,
                               kMenuFilesKey,
                               file.record,
                               {}});
        }
    }
}

// Reads every file into the backup; a file that cannot be read is kept and said so.
void readFiles(const std::vector<ConfinedFolder>& roots, const std::vector<MenuFile>& files,
               MenuBackup& backup, MenuRemovalResult& result)
{
    for (const MenuFile& file : files) {
        const ConfinedFolder* root = folderHolding(roots, file.path);
        QByteArray bytes;
        FileMeta meta;
        const FileRead read = root ? root->read(file.path, kMaxRemovedFileBytes, bytes, &meta)
                                   : FileRead{FileReadStatus::CannotOpen,
                                              QStringLiteral("outside the user's folders")};
        if (!read.ok()) {
            result.outcomes.push_back({file, QStringLiteral("It cannot be read: ") + read.error});
            continue;
        }
        backup.files.push_back({file.path, bytes, meta.mode, meta.modified});
        result.outcomes.push_back({file, {}});
    }
}

// Writes the backup and reads it back; the file's path, or empty with `error` set.
[[nodiscard]] QString writeBackup(const MenuRemovalRequest& request, const MenuBackup& backup,
                                  QString& error)
{
    if (request.prefix == nullptr)
        QDir().mkpath(QFileInfo(request.backupFolder).path());
    error = prepareBackupFolder(request.backupFolder);
    if (!error.isEmpty())
        return {};
    // Created exclusively, as an entry's backup is: a file that appears meanwhile is never
    // replaced, and only the file written here is ever deleted again.
    int firstFree = 1;
    const QByteArray bytes = encodeMenuBackup(backup);
    const NewBackup file =
        createBackupFile(request.backupFolder, request.now, firstFree, bytes, kMenuBackupSuffix);
    if (!file.ok()) {
        error = file.error;
        return {};
    }
    QByteArray back;
    if (!readRegularFile(file.path, bytes.size(), back).ok() || decodeMenuBackup(back) != backup) {
        error = QStringLiteral("The backup file %1 does not read back.").arg(file.path);
        (void)removeWrittenFile(file.path, file.stamp);
        return {};
    }
    return file.path;
}

// Folders of applications/wine that the removal left empty go too, up to that folder itself.
void removeEmptyFolders(const std::vector<ConfinedFolder>& roots, const UserFolders& folders,
                        const std::vector<MenuFileOutcome>& outcomes)
{
    const QString top = realPathOf(folders.wineApplications());
    for (const MenuFileOutcome& outcome : outcomes) {
        QString folder = QFileInfo(outcome.file.path).path();
        while (outcome.removed() && (folder == top || folder.startsWith(top + u'/'))) {
            const ConfinedFolder* root = folderHolding(roots, folder);
            if (root == nullptr || !root->removeEmptyFolder(folder))
                break;
            folder = QFileInfo(folder).path();
        }
    }
}

} // namespace

std::vector<MenuFile> removalPlan(const MenuInventory& inventory,
                                  const std::vector<const MenuFile*>& chosen)
{
    Plan plan;
    QSet<QString> chosenPaths;
    for (const MenuFile* file : chosen) {
        chosenPaths.insert(file->path);
        if (file->removable() && !isDerived(*file))
            plan.add(*file);
    }
    addCompanions(inventory, plan);
    addUnused(inventory, chosenPaths, plan);
    return plan.files;
}

std::vector<const MenuFile*> staleFiles(const MenuInventory& inventory, const QString& prefix,
                                        bool withOrphans)
{
    std::vector<const MenuFile*> files;
    for (const MenuFile& file : inventory.files) {
        const bool orphan = file.verdict == MenuVerdict::Orphaned || file.prefix.isEmpty();
        if (file.removable() &&
            ((orphan && withOrphans) || (!orphan && file.prefix == prefix && !prefix.isEmpty())))
            files.push_back(&file);
    }
    return files;
}

std::vector<MenuRemovalGroup> staleRemovalGroups(const MenuInventory& inventory,
                                                 const std::vector<MenuPrefix>& prefixes,
                                                 bool withOrphans)
{
    std::vector<const MenuFile*> chosen;
    for (const MenuPrefix& prefix : prefixes) {
        const std::vector<const MenuFile*> stale = staleFiles(inventory, prefix.path, false);
        chosen.insert(chosen.end(), stale.begin(), stale.end());
    }
    if (withOrphans) {
        const std::vector<const MenuFile*> orphans = staleFiles(inventory, QString(), true);
        chosen.insert(chosen.end(), orphans.begin(), orphans.end());
    }
    std::vector<MenuRemovalGroup> groups(prefixes.size() + 1);
    for (size_t i = 0; i < prefixes.size(); ++i)
        groups[i].prefix = &prefixes[i];
    for (MenuFile& file : removalPlan(inventory, chosen)) {
        auto owner = std::find_if(groups.begin(), groups.end() - 1, [&](const MenuRemovalGroup& g) {
            return file.verdict != MenuVerdict::Orphaned && g.prefix->path == file.prefix;
        });
        owner->files.push_back(std::move(file));
    }
    groups.erase(std::remove_if(groups.begin(), groups.end(),
                                [](const MenuRemovalGroup& g) { return g.files.empty(); }),
                 groups.end());
    return groups;
}

int MenuRemovalResult::removedCount() const
{
    return static_cast<int>(std::count_if(outcomes.begin(), outcomes.end(),
                                          [](const MenuFileOutcome& o) { return o.removed(); }));
}

int MenuRemovalResult::keptCount() const
{
    return static_cast<int>(outcomes.size()) - removedCount();
}

MenuRemovalResult removeMenuFiles(const MenuRemovalRequest& request)
{
    MenuRemovalResult result;
    if (request.files.empty())
        return result;
    Registry* registry = request.prefix ? request.prefix->registry : nullptr;
    std::unique_ptr<WriterTurn> turn;
    if (registry != nullptr) {
        const RegResult writable = registry->checkWritable();
        turn = writable.ok() ? registry->takeWriterTurn() : nullptr;
        if (turn == nullptr) {
            result.refused = writable.ok() ? QStringLiteral("The prefix's registry is locked.")
                                           : writable.message;
            return result;
        }
    }
    const std::vector<ConfinedFolder> roots = rootsFor(request);
    MenuBackup backup{
        backupTitle(request.files), request.prefix ? request.prefix->path : QString(), {}, {}};
    readFiles(roots, request.files, backup, result);
    if (backup.files.empty())
        return result;
    // Only the records of files that go: a file that stays keeps its record.
    std::vector<MenuFile> going;
    for (const MenuFileOutcome& outcome : result.outcomes) {
        if (outcome.removed())
            going.push_back(outcome.file);
    }
    std::vector<RegChange> changes;
    if (registry != nullptr)
        takeRecords(*registry, going, backup, changes);
    QString error;
    result.backupFile = writeBackup(request, backup, error);
    if (result.backupFile.isEmpty()) {
        refuse(result, error);
        return result;
    }
    if (!changes.empty()) {
        if (const RegResult applied = registry->apply(changes); !applied.ok()) {
            QFile::remove(result.backupFile);
            refuse(result, QStringLiteral("The prefix's records of the files cannot be changed: ") +
                               applied.message);
            return result;
        }
    }
    for (MenuFileOutcome& outcome : result.outcomes) {
        if (outcome.removed())
            outcome.reason = folderHolding(roots, outcome.file.path)->removeFile(outcome.file.path);
    }
    removeEmptyFolders(roots, request.folders, result.outcomes);
    refreshDesktopCaches(request.folders);
    return result;
}

void refreshDesktopCaches(const UserFolders& folders)
{
    const std::pair<const char*, QString> tools[] = {
        {"update-desktop-database", folders.applications()},
        {"update-mime-database", folders.dataHome + QStringLiteral("/mime")},
    };
    for (const auto& [tool, folder] : tools) {
        const QString program = QStandardPaths::findExecutable(QString::fromLatin1(tool));
        if (!program.isEmpty() && QFileInfo(folder).isDir())
            (void)runHidden(program, {folder});
    }
}

QString backupTitle(const std::vector<MenuFile>& files)
{
    QStringList names;
    for (const MenuFile& file : files) {
        const bool named = file.kind == MenuFileKind::MenuEntry ||
                           file.kind == MenuFileKind::DesktopLink ||
                           (file.kind == MenuFileKind::Association &&
                            file.path.endsWith(QStringLiteral(".desktop")));
        if (named && !names.contains(file.name))
            names << file.name;
    }
    constexpr qsizetype kNamedAtMost = 3;
    QString title =
        QStringLiteral("Menu entries: ") + names.mid(0, kNamedAtMost).join(QStringLiteral(", "));
    if (names.size() > kNamedAtMost)
        title += QStringLiteral(" and %1 more").arg(names.size() - kNamedAtMost);
    return title + QStringLiteral(" (%1 files)").arg(files.size());
}

} // namespace nixora::menus
