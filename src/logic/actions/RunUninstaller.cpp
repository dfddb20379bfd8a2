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

void refresh(WindowContext& ctx)
{
    if (ctx.callbacks.mPaivita_Click) {
        ctx.callbacks.mPaivita_Click();
        return;
    }
    // Without a window: the two lists are what a refresh refills.
    if (ctx.callbacks.ListaaLisaaPoistaOhjelmat)
        ctx.callbacks.ListaaLisaaPoistaOhjelmat();
    if (ctx.callbacks.ListaaPalautettavatOhjelmat)
        ctx.callbacks.ListaaPalautettavatOhjelmat();
}

} // namespace

void mAjaPoistoohjelma_Click(WindowContext& ctx)
{
    UiServices& ui = *ctx.services.ui;
    const SelectedEntry& entry = ctx.state.entry;
    ui.setMousePointer(kPointerHourglass);

    const int32_t result =
        mdlProsessi::AjaProsessi(ctx.services.prefixPath, entry.SelectedEntryUninstaller);
    if (result == -1) {
        ui.setMousePointer(kPointerDefault);
        const MessageBoxRequest question{
            removeEntryQuestion(QStringLiteral("The uninstallation program cannot be executed."),
                                entry.SelectedEntryName),
            QStringLiteral("Nixora"), MsgButtons::YesNo, MsgIcon::Question, MsgAnswer::No};
        if (ui.messageBox(question) == MsgAnswer::Yes) {
            ui.setMousePointer(kPointerHourglass);
            VarmuuskopioiRekisteriavain(ctx, true, true);
        }
    } else {
        // The outcome is judged by the registry, not by the exit code: the entry counts as
        // removed only when its key is gone (most entries have no default value to look at).
        if (ctx.services.registry->keyExists(RegRoot::LocalMachine,
                                             kUninstallKeyPath + entry.SelectedEntryKey)) {
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
        refresh(ctx);
    }
    ui.setMousePointer(kPointerDefault);
}

} // namespace nixora
