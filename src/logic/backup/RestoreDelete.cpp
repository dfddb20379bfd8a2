#include "backup/RestoreDelete.h"

#include "EntrySource.h"
#include "RegFileReader.h"
#include "Trash.h"
#include "backup/BackupCheck.h"
#include "backup/BackupList.h"
#include "backup/BackupRemoval.h"
#include "menus/MenuBackup.h"

#include <algorithm>

namespace nixora
{
namespace
{

const QString kCannotRestore =
    QStringLiteral("Nixora cannot restore the program entry information to the system registry.");

void showError(UiServices& ui, const QString& text)
{
    ui.setMousePointer(kPointerDefault);
    ui.messageBox(
        {text, QStringLiteral("Error"), MsgButtons::Ok, MsgIcon::Exclamation, MsgAnswer::Ok});
    ui.setMousePointer(kPointerHourglass);
}

// The file of the selected backup, or empty (see backupFilePath).
QString selectedBackupPath(const Workspace& ctx)
{
    return backupFilePath(ctx, ctx.state.backup.SelectedBackupFile);
}

// Imports the backup and removes it. The file is kept unless the import is known to have
// worked, so a backup is never lost to a failed or refused restore.
bool restoreBackup(Workspace& ctx, const QString& path)
{
    if (path.isEmpty() || !backupFileExists(path) ||
        !isUninstallEntryBackup(path, ctx.services.registry->hasWow64View()))
        return false;
    const ChildResult result = runRegeditProgram(ctx.services, {QStringLiteral("/S"), path});
    ctx.services.ui->processEvents();
    if (!result.started || result.exitCode != 0)
        return false;
    (void)deleteBackupFile(path);
    return true;
}

// "Are you sure you want to restore the <what> '<name>'\nto <where>?", No the default.
[[nodiscard]] bool confirmRestore(Workspace& ctx, const QString& what, const QString& where)
{
    const MessageBoxRequest question{
        QStringLiteral("Are you sure you want to restore the %1 '%2'\nto %3?")
            .arg(what, ctx.state.backup.SelectedBackupName, where),
        QStringLiteral("Restore Entry"), MsgButtons::YesNo, MsgIcon::Question, MsgAnswer::No};
    return ctx.services.ui->messageBox(question) == MsgAnswer::Yes;
}

// A backup of menu files goes back to the user's folders (and its records to the prefix).
void restoreMenuFiles(Workspace& ctx)
{
    UiServices& ui = *ctx.services.ui;
    if (!confirmRestore(ctx, QStringLiteral("menu files"), QStringLiteral("the desktop")))
        return;
    ui.setMousePointer(kPointerHourglass);
    const QString path = selectedBackupPath(ctx);
    const QString error =
        path.isEmpty() || !backupFileExists(path)
            ? QStringLiteral("The backup file is gone.")
            : menus::restoreMenuBackup(path, ctx.services.userFolders, ctx.services.registry,
                                       ctx.services.prefixPath);
    if (!error.isEmpty())
        showError(ui, QStringLiteral("Nixora cannot restore the menu files.\n\n") + error);
    ctx.view().fillBackups();
    ui.setMousePointer(kPointerDefault);
}

// The backup goes to the desktop trash, where the file manager can put it back: one Yes too
// many no longer loses the only copy of a removed entry. Where no trash can take it, it is
// deleted; a read-only file is refused either way.
bool discardBackupFile(const Workspace& ctx, const QString& path)
{
    if (isReadOnlyBackupFile(path))
        return false;
    if (moveToTrash(path, ctx.services.dataHome, ctx.services.clock.now()).trashed)
        return true;
    return deleteBackupFile(path);
}

} // namespace

std::vector<RestorableKey> restorableKeys(bool wow64View)
{
    std::vector<RestorableKey> keys;
    for (const SourceKind kind : {SourceKind::Machine, SourceKind::Machine32, SourceKind::User}) {
        const EntrySource& source = entrySource(kind);
        if (kind != SourceKind::Machine32 || wow64View)
            keys.push_back({source.root, source.uninstallPath});
    }
    return keys;
}

bool isEntryChange(const RegChange& change, bool wow64View)
{
    const bool allowedKind =
        change.kind == RegChange::Kind::CreateKey || change.kind == RegChange::Kind::SetValue;
    return allowedKind && sourceHoldingKey(change.root, change.path, wow64View) != nullptr;
}

bool isUninstallEntryBackup(const QString& path, bool wow64View)
{
    const RegParseResult parsed = readRegFile(path);
    return parsed.ok() && !parsed.changes.empty() &&
           std::all_of(
               parsed.changes.begin(), parsed.changes.end(),
               [wow64View](const RegChange& change) { return isEntryChange(change, wow64View); });
}

void mPalauta_Click(Workspace& ctx)
{
    if (menus::isMenuBackupName(ctx.state.backup.SelectedBackupFile)) {
        restoreMenuFiles(ctx);
        return;
    }
    UiServices& ui = *ctx.services.ui;
    if (refusedWhileReadOnly(ctx, kCannotRestore))
        return;
    if (!confirmRestore(ctx, QStringLiteral("program entry"),
                        QStringLiteral("the system registry")))
        return;
    ui.setMousePointer(kPointerHourglass);
    if (!restoreBackup(ctx, selectedBackupPath(ctx)))
        showError(ui, kCannotRestore);
    ctx.view().refresh();
    ui.setMousePointer(kPointerDefault);
}

void mPoistaVarmuuskopioitu_Click(Workspace& ctx)
{
    UiServices& ui = *ctx.services.ui;
    const MessageBoxRequest question{
        QStringLiteral("Are you sure you want to delete the backup of '") +
            ctx.state.backup.SelectedBackupName + QStringLiteral("'?"),
        QStringLiteral("Delete Backup"), MsgButtons::YesNo, MsgIcon::Question, MsgAnswer::Yes};
    if (ui.messageBox(question) == MsgAnswer::Yes) {
        ui.setMousePointer(kPointerHourglass);
        const QString path = selectedBackupPath(ctx);
        if (path.isEmpty() || !backupFileExists(path) || !discardBackupFile(ctx, path))
            showError(ui, QStringLiteral("Nixora cannot delete the program entry backup file."));
    }
    ctx.view().fillBackups();
    ui.setMousePointer(kPointerDefault);
}

} // namespace nixora
