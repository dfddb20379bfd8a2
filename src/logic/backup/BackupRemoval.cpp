#include "backup/BackupRemoval.h"

#include "DurableFile.h"
#include "RegeditTool.h"
#include "backup/BackupCheck.h"
#include "backup/BackupList.h"
#include "backup/EntryDeletion.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>

namespace nixora
{
namespace
{

const QString kCannotBackup =
    QStringLiteral("Nixora cannot backup the program entry information from the system registry.");
const QString kTooLarge =
    QStringLiteral("The program entry is too large to be backed up and restored.");
const QString kNoReadBack =
    QStringLiteral("The backup file does not read back as the program entry.");

enum class BackupOutcome {
    Written, // the file is there and reads back as the key
    Failed,  // the editor could not write it; the user may delete the entry anyway
    Refused, // no backup can be made (folder, size); the entry is never deleted then
};

// Runs the export into a file name reserved for it and judges it by what can be seen afterwards:
// the editor started, said it succeeded, and the file reads back, through the reader a restore
// uses, as the key itself. The reserved file is ours; the editor replaces it with the backup.
BackupOutcome exportEntry(Workspace& ctx, const EntrySource& source, const QString& key,
                          NewBackup& file, QString& reason)
{
    if (key.isEmpty())
        return BackupOutcome::Failed;
    int firstFree = 1;
    file = createBackupFile(ctx.services.backupFolder, ctx.services.clock->now(), firstFree, {});
    if (!file.ok()) {
        file = {};
        return BackupOutcome::Failed;
    }
    const QString path = source.entryPath(key);
    const ChildResult result = runRegeditProgram(
        ctx.services, {QStringLiteral("/E"), file.path, source.entryKeyName(key)});
    ctx.services.ui->processEvents();
    if (result.started && result.exitCode == 0)
        file.stamp = fileStampOf(file.path).value_or(file.stamp);
    if (result.started && result.exitCode == 0 && backupFileExists(file.path) &&
        backupGivesKey(*ctx.services.registry, file.path, source.root, path))
        return BackupOutcome::Written;
    (void)removeWrittenFile(file.path, file.stamp);
    file = {};
    if (result.started && result.exitCode == kRegeditTooLarge) {
        reason = kTooLarge;
        return BackupOutcome::Refused;
    }
    if (result.started && result.exitCode == 0) {
        reason = kNoReadBack;
        return BackupOutcome::Refused;
    }
    return BackupOutcome::Failed;
}

// On No the key stays; on Yes it is deleted although there is no backup.
bool askDeleteWithoutBackup(UiServices& ui)
{
    const MessageBoxRequest question{
        kCannotBackup + u'\n' +
            QStringLiteral("If you decide to delete the entry, it cannot be "
                           "restored.") +
            QStringLiteral("\n\nDo you want to continue and delete the program entry?"),
        QStringLiteral("Nixora"), MsgButtons::YesNo, MsgIcon::Question, MsgAnswer::Yes};
    if (ui.messageBox(question) != MsgAnswer::Yes)
        return false;
    ui.setMousePointer(kPointerHourglass);
    return true;
}

// The key goes as RegDeleteKey deletes one: a key that still has subkeys stays. No backup is
// kept of an entry that is still in the registry.
void deleteEntryKey(Workspace& ctx, const EntrySource& source, const QString& key,
                    const NewBackup& backup)
{
    std::vector<RemovalOutcome> outcomes{
        {{&source, key, ctx.state.entry.SelectedEntryName}, backup.path, backup.stamp, {}}};
    deleteEntries(*ctx.services.registry, outcomes, {.refuseKeyWithSubkeys = true});
    if (outcomes[0].removed())
        return;
    UiServices& ui = *ctx.services.ui;
    ui.setMousePointer(kPointerDefault);
    ui.messageBox({QStringLiteral("The program entry '") + ctx.state.entry.SelectedEntryName +
                       QStringLiteral("'\ncannot be removed."),
                   QStringLiteral("Error"), MsgButtons::Ok, MsgIcon::Exclamation, MsgAnswer::Ok});
    ui.setMousePointer(kPointerHourglass);
}

} // namespace

NewBackup createBackupFile(const QString& backupFolder, const QDateTime& now, int& firstFree,
                           const QByteArray& bytes, const QString& suffix)
{
    const QString stamp = now.toString(QStringLiteral("yyyyMMddHHmmss"));
    const auto nameFor = [&](int n) {
        return n <= 1 ? backupFolder + u'/' + stamp + suffix
                      : backupFolder + u'/' + stamp + u'_' + QString::number(n) + suffix;
    };
    // A name is taken only by creating it: another writer may take the same name at the same
    // moment, and the one whose file is there first keeps it.
    for (int n = std::max(firstFree, 1);; ++n) {
        const QString path = nameFor(n);
        if (fileStampOf(path).has_value())
            continue;
        const NewFile created = createFileDurably(path, bytes);
        if (created.existed)
            continue;
        firstFree = n + 1;
        if (!created.ok())
            return {{}, {}, kCannotBackup + u' ' + created.error};
        return {path, created.stamp, {}};
    }
}

ChildResult runRegeditProgram(const Services& services, const QStringList& arguments)
{
    return runHidden(services.regeditProgram, arguments,
                     {QStringLiteral("WINEPREFIX=") + services.prefixPath});
}

NewBackup writeVerifiedBackup(Registry& registry, const QString& backupFolder, const QDateTime& now,
                              int& firstFree, const EntrySource& source, const QString& subkey)
{
    QByteArray bytes;
    const RegeditOutcome text =
        exportRegText(registry, QStringLiteral("backup"), source.entryKeyName(subkey), bytes);
    if (!text.ok())
        return {{},
                {},
                text.exitStatus == kRegeditTooLarge ? kTooLarge
                                                    : kCannotBackup + u' ' + text.error};
    NewBackup file = createBackupFile(backupFolder, now, firstFree, bytes);
    if (!file.ok() || backupGivesKey(registry, file.path, source.root, source.entryPath(subkey)))
        return file;
    (void)removeWrittenFile(file.path, file.stamp);
    return {{}, {}, kNoReadBack};
}

bool backupFileExists(const QString& path)
{
    return QFileInfo(path).isFile();
}

bool isReadOnlyBackupFile(const QString& path)
{
    const QFileInfo info(path);
    const auto writeBits =
        QFileDevice::WriteOwner | QFileDevice::WriteGroup | QFileDevice::WriteOther;
    return info.isFile() && !info.isSymLink() && !(info.permissions() & writeBits);
}

bool deleteBackupFile(const QString& path)
{
    if (isReadOnlyBackupFile(path))
        return false;
    QFile::remove(path);
    return !QFileInfo(path).exists() && !QFileInfo(path).isSymLink();
}

bool VarmuuskopioiRekisteriavain(Workspace& ctx, BackupRequest request, QString* backupFile)
{
    UiServices& ui = *ctx.services.ui;
    const QString key = ctx.state.entry.SelectedEntryKey;
    const EntrySource& source = entrySource(ctx.state.entry.SelectedEntrySource);
    // From the backup to the delete no other writer of ours may touch the prefix.
    std::unique_ptr<WriterTurn> turn;
    if (request.Poisto)
        turn = ctx.services.registry->takeWriterTurn();
    QString reason = prepareBackupFolder(ctx.services.backupFolder);
    if (request.Poisto && !turn && reason.isEmpty())
        reason = QStringLiteral("The prefix's registry cannot be locked for writing.");
    NewBackup file;
    BackupOutcome outcome = BackupOutcome::Refused;
    if (reason.isEmpty())
        outcome = exportEntry(ctx, source, key, file, reason);

    bool deleteKey = request.Poisto && outcome == BackupOutcome::Written;
    if (outcome != BackupOutcome::Written) {
        ui.setMousePointer(kPointerDefault);
        if (outcome == BackupOutcome::Failed && request.Poisto)
            deleteKey = askDeleteWithoutBackup(ui);
        else
            ui.messageBox({reason.isEmpty() ? kCannotBackup : kCannotBackup + u'\n' + reason,
                           QStringLiteral("Error"), MsgButtons::Ok, MsgIcon::Exclamation,
                           MsgAnswer::Ok});
    }
    if (deleteKey)
        deleteEntryKey(ctx, source, key, file);
    turn.reset();
    if (backupFile != nullptr)
        *backupFile = outcome == BackupOutcome::Written ? file.path : QString();

    ui.setMousePointer(kPointerHourglass);
    if (request.PaivitaOhjelmalista)
        ctx.view().fillEntries();
    ctx.view().fillBackups();
    return outcome == BackupOutcome::Written;
}

void mPoistaRekisterista_Click(Workspace& ctx)
{
    UiServices& ui = *ctx.services.ui;
    if (refusedWhileReadOnly(ctx, QStringLiteral("The program entry '") +
                                      ctx.state.entry.SelectedEntryName +
                                      QStringLiteral("'\ncannot be removed.")))
        return;
    const MessageBoxRequest question{
        QStringLiteral("Are you sure you want to remove the program entry '") +
            ctx.state.entry.SelectedEntryName +
            QStringLiteral("'\nfrom the Add/Remove Programs part of the Control Panel?"),
        QStringLiteral("Nixora"), MsgButtons::YesNo, MsgIcon::Question, MsgAnswer::No};
    if (ui.messageBox(question) != MsgAnswer::Yes)
        return;
    ui.setMousePointer(kPointerHourglass);
    VarmuuskopioiRekisteriavain(ctx, {.Poisto = true, .PaivitaOhjelmalista = true});
    ui.setMousePointer(kPointerDefault);
}

void mVarmuuskopioi_Click(Workspace& ctx)
{
    UiServices& ui = *ctx.services.ui;
    ui.setMousePointer(kPointerHourglass);
    VarmuuskopioiRekisteriavain(ctx, {.Poisto = false, .PaivitaOhjelmalista = false});
    ui.setMousePointer(kPointerDefault);
}

} // namespace nixora
