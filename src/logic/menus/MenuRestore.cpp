// Putting a backup of menu files back.
#include "ConfinedFolder.h"
#include "backup/BackupRemoval.h"
#include "menus/MenuBackup.h"
#include "menus/MenuRemoval.h"

#include <QFileInfo>

namespace nixora::menus
{
namespace
{

constexpr qint64 kMaxMenuBackupBytes = 64 * 1024 * 1024;

[[nodiscard]] QString canonical(const QString& path)
{
    return path.isEmpty() ? QString() : QFileInfo(path).canonicalFilePath();
}

// Where the files of a backup may go back to: the user's folders, and the prefix the backup
// came from when it is the one open.
[[nodiscard]] std::vector<ConfinedFolder>
restoreRoots(const UserFolders& folders, const MenuBackup& backup, const QString& prefixPath)
{
    std::vector<ConfinedFolder> roots;
    for (const ConfinedFolder& folder : folders.confined()) {
        if (const QString real = canonical(folder.root()); !real.isEmpty())
            roots.emplace_back(real);
    }
    const QString prefix = canonical(prefixPath);
    if (!prefix.isEmpty() && prefix == canonical(backup.prefix))
        roots.emplace_back(prefix);
    return roots;
}

// Which files must be written: a path that holds the same bytes already needs nothing, one
// that holds anything else stops the restore.
[[nodiscard]] QString filesToWrite(const std::vector<ConfinedFolder>& roots,
                                   const MenuBackup& backup,
                                   std::vector<const MenuBackup::File*>& toWrite)
{
    for (const MenuBackup::File& file : backup.files) {
        const ConfinedFolder* root = folderHolding(roots, file.path);
        if (root == nullptr)
            return QStringLiteral("%1 lies outside the user's folders.").arg(file.path);
        if (!root->stat(file.path)) {
            toWrite.push_back(&file);
            continue;
        }
        QByteArray bytes;
        if (!root->read(file.path, kMaxMenuBackupBytes, bytes).ok() || bytes != file.bytes)
            return QStringLiteral("%1 is there already.").arg(file.path);
    }
    return {};
}

void takeBack(const std::vector<ConfinedFolder>& roots, const QStringList& written)
{
    for (const QString& path : written)
        (void)folderHolding(roots, path)->removeFile(path);
}

[[nodiscard]] QString checkRecords(const MenuBackup& backup, Registry* registry)
{
    if (backup.values.empty())
        return {};
    if (registry == nullptr)
        return QStringLiteral("The backup holds records of a prefix that is not open.");
    for (const MenuBackup::Value& value : backup.values) {
        if (!isMenuRecordKey(value.key))
            return QStringLiteral("The backup holds a record outside Wine's menu records.");
    }
    const RegResult writable = registry->checkWritable();
    return writable.ok() ? QString() : writable.message;
}

[[nodiscard]] RegResult writeRecords(const MenuBackup& backup, Registry* registry)
{
    if (backup.values.empty())
        return RegResult::success();
    std::vector<RegChange> changes;
    for (const MenuBackup::Value& value : backup.values)
        changes.push_back(
            {RegChange::Kind::SetValue, RegRoot::CurrentUser, value.key, value.name, value.value});
    return registry->apply(changes);
}

} // namespace

QString restoreMenuBackup(const QString& file, const UserFolders& folders, Registry* registry,
                          const QString& prefixPath)
{
    QByteArray bytes;
    if (!readRegularFile(file, kMaxMenuBackupBytes, bytes).ok())
        return QStringLiteral("The backup file cannot be read.");
    const std::optional<MenuBackup> backup = decodeMenuBackup(bytes);
    if (!backup)
        return QStringLiteral("The file is not a backup of menu files.");
    if (QString problem = checkRecords(*backup, registry); !problem.isEmpty())
        return problem;
    const std::vector<ConfinedFolder> roots = restoreRoots(folders, *backup, prefixPath);
    std::vector<const MenuBackup::File*> toWrite;
    if (QString problem = filesToWrite(roots, *backup, toWrite); !problem.isEmpty())
        return problem;
    QStringList written;
    for (const MenuBackup::File* entry : toWrite) {
        // Folders come back as Wine makes them: 0777 less the umask.
        const QString error =
            folderHolding(roots, entry->path)
                ->createFile(entry->path, entry->bytes, entry->mode, entry->modified, 0777);
        if (!error.isEmpty()) {
            takeBack(roots, written);
            return error;
        }
        written << entry->path;
    }
    if (const RegResult records = writeRecords(*backup, registry); !records.ok()) {
        takeBack(roots, written);
        return QStringLiteral("The prefix's records of the files cannot be written: ") +
               records.message;
    }
    (void)deleteBackupFile(file);
    refreshDesktopCaches(folders);
    return {};
}

} // namespace nixora::menus
