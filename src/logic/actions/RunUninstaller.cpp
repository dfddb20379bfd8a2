#include "actions/RunUninstaller.h"

#include "backup/BackupRemoval.h"
#include "mdlPoisto.h"
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

} // namespace

void mAjaPoistoohjelma_Click(Workspace& ctx)
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
        // The outcome is judged by the registry, not by the exit code: an entry whose default
        // value can no longer be read counts as removed by its uninstaller. It is looked for in
        // its own source only: a twin in the other view is another program's entry.
        const EntrySource& source = entrySource(entry.SelectedEntrySource);
        const QString stillThere =
            mdlPoisto::LueRekisteriarvo(*ctx.services.registry, source.root,
                                        source.entryPath(entry.SelectedEntryKey), QString());
        if (stillThere != mdlPoisto::kNotFound) {
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
