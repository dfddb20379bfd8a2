#include "backup/BackupRemoval.h"

#include "backup/BackupList.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace nixora
{
namespace
{

const QString kCannotBackup =
    QStringLiteral("Nixora cannot backup the program entry information from the system registry.");

// Runs the export and judges it by what can be seen afterwards: the editor started, said it
// succeeded, and the file is there.
bool exportEntry(Workspace& ctx, const QString& file, const EntrySource& source, const QString& key)
{
    if (key.isEmpty())
        return false;
    const ChildResult result =
        runRegeditProgram(ctx.services, {QStringLiteral("/E"), file, source.entryKeyName(key)});
    ctx.services.ui->processEvents();
    if (result.started && result.exitCode == 0 && backupFileExists(file))
        return true;
    QFile::remove(file);
    return false;
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
    const QString stamp = now.toString(QStringLiteral("yyyyMMddHHmmss"));
    QString path = backupFolder + u'/' + stamp + QStringLiteral(".reg");
    for (int n = 2; QFileInfo(path).exists() || QFileInfo(path).isSymLink(); ++n)
        path = backupFolder + u'/' + stamp + u'_' + QString::number(n) + QStringLiteral(".reg");
    return path;
}

ChildResult runRegeditProgram(const Services& services, const QStringList& arguments)
{
    return runHidden(services.regeditProgram, arguments,
                     {QStringLiteral("WINEPREFIX=") + services.prefixPath});
}

bool backupFileExists(const QString& path)
{
    return QFileInfo(path).isFile();
}

bool deleteBackupFile(const QString& path)
{
    const QFileInfo info(path);
    const auto writeBits =
        QFileDevice::WriteOwner | QFileDevice::WriteGroup | QFileDevice::WriteOther;
    if (info.isFile() && !info.isSymLink() && !(info.permissions() & writeBits))
        return false;
    QFile::remove(path);
    return !QFileInfo(path).exists() && !QFileInfo(path).isSymLink();
}

bool VarmuuskopioiRekisteriavain(Workspace& ctx, const bool& Poisto,
                                 const bool& PaivitaOhjelmalista)
{
    UiServices& ui = *ctx.services.ui;
    const QString key = ctx.state.entry.SelectedEntryKey;
    const EntrySource& source = entrySource(ctx.state.entry.SelectedEntrySource);
    QDir().mkpath(ctx.services.backupFolder);
    const QString file = newBackupFilePath(ctx.services.backupFolder, ctx.services.clock->now());

    bool deleteKey = Poisto;
    const bool backedUp = exportEntry(ctx, file, source, key);
    if (!backedUp) {
        ui.setMousePointer(kPointerDefault);
        if (Poisto)
            deleteKey = askDeleteWithoutBackup(ui);
        else
            ui.messageBox({kCannotBackup, QStringLiteral("Error"), MsgButtons::Ok,
                           MsgIcon::Exclamation, MsgAnswer::Ok});
    }
    if (deleteKey)
        deleteEntryKey(ctx, source, key, file);

    ui.setMousePointer(kPointerHourglass);
    if (PaivitaOhjelmalista)
        ctx.view().fillEntries();
    ctx.view().fillBackups();
    return backedUp;
}

void mPoistaRekisterista_Click(Workspace& ctx)
{
    UiServices& ui = *ctx.services.ui;
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
