#include "backup/BackupRemoval.h"

#include "RegeditTool.h"
#include "backup/BackupCheck.h"
#include "backup/BackupList.h"

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

// Runs the export and judges it by what can be seen afterwards: the editor started, said it
// succeeded, and the file reads back, through the reader a restore uses, as the key itself.
BackupOutcome exportEntry(Workspace& ctx, const QString& file, const EntrySource& source,
                          const QString& key, QString& reason)
{
    if (key.isEmpty())
        return BackupOutcome::Failed;
    const QString path = source.entryPath(key);
    const ChildResult result =
        runRegeditProgram(ctx.services, {QStringLiteral("/E"), file, source.entryKeyName(key)});
    ctx.services.ui->processEvents();
    if (result.started && result.exitCode == 0 && backupFileExists(file) &&
        backupGivesKey(*ctx.services.registry, file, source.root, path))
        return BackupOutcome::Written;
    QFile::remove(file);
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

void deleteEntryKey(Workspace& ctx, const EntrySource& source, const QString& key,
                    const QString& backupFile)
{
    const bool deleted =
        !key.isEmpty() && ctx.services.registry->deleteKey(source.root, source.entryPath(key)).ok();
    if (deleted)
        return;
    UiServices& ui = *ctx.services.ui;
    ui.setMousePointer(kPointerDefault);
    ui.messageBox({QStringLiteral("The program entry '") + ctx.state.entry.SelectedEntryName +
                       QStringLiteral("'\ncannot be removed."),
                   QStringLiteral("Error"), MsgButtons::Ok, MsgIcon::Exclamation, MsgAnswer::Ok});
    ui.setMousePointer(kPointerHourglass);
    // No backup is kept of an entry that is still in the registry.
    if (backupFileExists(backupFile))
        QFile::remove(backupFile);
}

} // namespace

QString newBackupFilePath(const QString& backupFolder, const QDateTime& now)
{
    int firstFree = 1;
    return newBackupFilePath(backupFolder, now, firstFree);
}

QString newBackupFilePath(const QString& backupFolder, const QDateTime& now, int& firstFree,
                          const QString& suffix)
{
    const QString stamp = now.toString(QStringLiteral("yyyyMMddHHmmss"));
    const auto nameFor = [&](int n) {
        return n <= 1 ? backupFolder + u'/' + stamp + suffix
                      : backupFolder + u'/' + stamp + u'_' + QString::number(n) + suffix;
    };
    int n = std::max(firstFree, 1);
    while (QFileInfo(nameFor(n)).exists() || QFileInfo(nameFor(n)).isSymLink())
        ++n;
    firstFree = n + 1;
    return nameFor(n);
}

ChildResult runRegeditProgram(const Services& services, const QStringList& arguments)
{
    return runHidden(services.regeditProgram, arguments,
                     {QStringLiteral("WINEPREFIX=") + services.prefixPath});
}

QString writeVerifiedBackup(Registry& registry, const QString& file, const EntrySource& source,
                            const QString& subkey)
{
    const RegeditOutcome written = exportRegFile(registry, file, source.entryKeyName(subkey));
    if (written.ok() && backupFileExists(file) &&
        backupGivesKey(registry, file, source.root, source.entryPath(subkey)))
        return {};
    QFile::remove(file);
    if (written.exitStatus == kRegeditTooLarge)
        return kTooLarge;
    if (written.ok())
        return kNoReadBack;
    return kCannotBackup + u' ' + written.error;
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

bool VarmuuskopioiRekisteriavain(Workspace& ctx, const bool& Poisto,
                                 const bool& PaivitaOhjelmalista, QString* backupFile)
{
    UiServices& ui = *ctx.services.ui;
    const QString key = ctx.state.entry.SelectedEntryKey;
    const EntrySource& source = entrySource(ctx.state.entry.SelectedEntrySource);
    QString reason = prepareBackupFolder(ctx.services.backupFolder);
    QString file;
    BackupOutcome outcome = BackupOutcome::Refused;
    if (reason.isEmpty()) {
        file = newBackupFilePath(ctx.services.backupFolder, ctx.services.clock->now());
        outcome = exportEntry(ctx, file, source, key, reason);
    }

    bool deleteKey = Poisto && outcome == BackupOutcome::Written;
    if (outcome != BackupOutcome::Written) {
        ui.setMousePointer(kPointerDefault);
        if (outcome == BackupOutcome::Failed && Poisto)
            deleteKey = askDeleteWithoutBackup(ui);
        else
            ui.messageBox({reason.isEmpty() ? kCannotBackup : kCannotBackup + u'\n' + reason,
                           QStringLiteral("Error"), MsgButtons::Ok, MsgIcon::Exclamation,
                           MsgAnswer::Ok});
    }
    if (deleteKey)
        deleteEntryKey(ctx, source, key, file);
    if (backupFile != nullptr)
        *backupFile = outcome == BackupOutcome::Written ? file : QString();

    ui.setMousePointer(kPointerHourglass);
    if (PaivitaOhjelmalista)
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
    VarmuuskopioiRekisteriavain(ctx, true, true);
    ui.setMousePointer(kPointerDefault);
}

void mVarmuuskopioi_Click(Workspace& ctx)
{
    UiServices& ui = *ctx.services.ui;
    ui.setMousePointer(kPointerHourglass);
    VarmuuskopioiRekisteriavain(ctx, false, false);
    ui.setMousePointer(kPointerDefault);
}

} // namespace nixora
