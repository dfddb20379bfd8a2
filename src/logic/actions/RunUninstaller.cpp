#include "actions/RunUninstaller.h"

#include "backup/BackupRemoval.h"
#include "mdlProsessi.h"

namespace nixora
{
namespace
{

const QString kAskRemoveEntry = QStringLiteral("Do you want to remove the program entry '");
const QString kFromControlPanel =
    QStringLiteral("from the Add/Remove Programs part of the Control Panel?");

[[nodiscard]] QString removeEntryQuestion(const QString& lead, const QString& name)
{
    return lead + QStringLiteral("\n\n") + kAskRemoveEntry + name + QStringLiteral("'\n") +
           kFromControlPanel;
}

// Runs the uninstaller with the wait box up; Cancel stops waiting, never the uninstaller.
mdlProsessi::RunOutcome runWithWaitBox(Workspace& ctx)
{
    UiServices& ui = *ctx.services.ui;
    ui.beginWait(QStringLiteral("Waiting for the uninstallation program of '%1' and the programs "
                                "it started to end.")
                     .arg(ctx.state.entry.SelectedEntryName));
    const mdlProsessi::RunOutcome run = mdlProsessi::AjaProsessiOdottaen(
        ctx.services.prefixPath, ctx.state.entry.SelectedEntryUninstaller,
        [&ui] { return !ui.waitCancelled(); });
    ui.endWait();
    return run;
}

// A wineserver that ran before and cannot be joined keeps the uninstaller's registry changes in
// memory: the files show them only after its next save, about every 30 seconds, or when its
// programs end.
void sayChangesArePending(Workspace& ctx)
{
    const PrefixStatus status = ctx.currentStatus();
    UiServices& ui = *ctx.services.ui;
    ui.setMousePointer(kPointerDefault);
    ui.messageBox({QStringLiteral("Wine programs that were already running in the prefix keep its "
                                  "registry in memory, and Nixora cannot join their wineserver, "
                                  "because %1.\n\nWine writes the registry to disk about every 30 "
                                  "seconds and when those programs end; the list shows it as "
                                  "saved at %2. Choose Refresh (F5) in a while to see whether "
                                  "the entry was removed.")
                       .arg(status.readOnlyReason, savedAtText(status)),
                   QStringLiteral("Nixora"), MsgButtons::Ok, MsgIcon::Exclamation, MsgAnswer::Ok});
}

} // namespace

void mAjaPoistoohjelma_Click(Workspace& ctx)
{
    UiServices& ui = *ctx.services.ui;
    const SelectedEntry& entry = ctx.state.entry;
    ui.setMousePointer(kPointerHourglass);

    const mdlProsessi::RunOutcome run = runWithWaitBox(ctx);
    if (run.exitCode == -1) {
        ui.setMousePointer(kPointerDefault);
        const MessageBoxRequest question{
            removeEntryQuestion(QStringLiteral("The uninstallation program cannot be executed."),
                                entry.SelectedEntryName),
            QStringLiteral("Nixora"), MsgButtons::YesNo, MsgIcon::Question, MsgAnswer::No};
        if (ui.messageBox(question) == MsgAnswer::Yes) {
            ui.setMousePointer(kPointerHourglass);
            VarmuuskopioiRekisteriavain(ctx, true, true);
        }
    } else if (run.cancelled) {
        ctx.view().refresh(); // the uninstaller goes on; the next refresh shows its outcome
    } else {
        // The outcome is judged by the registry, not by the exit code: the entry counts as
        // removed only when its key is gone (most entries have no default value to look at). It
        // is looked for in its own source only: a twin in the other view is another program's.
        const EntrySource& source = entrySource(entry.SelectedEntrySource);
        const bool stillThere =
            ctx.services.registry->keyExists(source.root, source.entryPath(entry.SelectedEntryKey));
        // Through a joined server the answer is the registry as it is now; only the last save
        // of a server that cannot be joined may not have the uninstaller's changes yet.
        if (stillThere && run.serverRanBefore &&
            ctx.currentStatus().access == RegistryAccess::LastSave) {
            sayChangesArePending(ctx);
        } else if (stillThere) {
            ui.setMousePointer(kPointerDefault);
            const MessageBoxRequest question{
                removeEntryQuestion(
                    QStringLiteral("The uninstallation process failed or it was interrupted. "
                                   "The program entry was not deleted."),
                    entry.SelectedEntryName),
                QStringLiteral("Nixora"), MsgButtons::YesNo, MsgIcon::Question, MsgAnswer::Yes};
            if (ui.messageBox(question) == MsgAnswer::Yes) {
                ui.setMousePointer(kPointerHourglass);
                VarmuuskopioiRekisteriavain(ctx, true, false);
            }
        }
        ctx.view().refresh();
    }
    ui.setMousePointer(kPointerDefault);
}

} // namespace nixora
