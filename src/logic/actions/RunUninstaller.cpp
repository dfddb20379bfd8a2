#include "actions/RunUninstaller.h"

#include "InstallerProducts.h"
#include "backup/BackupRemoval.h"
#include "mdlProsessi.h"
#include "menus/MenuCommands.h"

#include <optional>

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

// What is run: the uninstaller location as the list shows it, except for an entry of a Windows
// Installer product (WindowsInstaller=1, its key a product code), whose stored "/I" string only
// repairs: it is uninstalled with msiexec /x and its key, as Windows' list and Wine's
// uninstaller do.
[[nodiscard]] QString uninstallCommand(Workspace& ctx)
{
    const SelectedEntry& entry = ctx.state.entry;
    const EntrySource& source = entrySource(entry.SelectedEntrySource);
    if (isProductCode(entry.SelectedEntryKey) &&
        hasWindowsInstallerFlag(*ctx.services.registry, source.root,
                                source.entryPath(entry.SelectedEntryKey)))
        return QStringLiteral("msiexec /x") + entry.SelectedEntryKey;
    return entry.SelectedEntryUninstaller;
}

// Runs the uninstaller with the wait box up; Cancel stops waiting, never the uninstaller.
mdlProsessi::RunOutcome runWithWaitBox(Workspace& ctx)
{
    UiServices& ui = *ctx.services.ui;
    ui.beginWait(QStringLiteral("Waiting for the uninstallation program of '%1' and the programs "
                                "it started to end.")
                     .arg(ctx.state.entry.SelectedEntryName));
    const mdlProsessi::RunOutcome run = mdlProsessi::AjaProsessiOdottaen(
        ctx.services.prefixPath, uninstallCommand(ctx), [&ui] { return !ui.waitCancelled(); });
    ui.endWait();
    return run;
}

// What the desktop's menus hold for the prefix before the uninstaller runs, so that the files
// whose shortcuts it takes away can be offered for removal afterwards; nothing without the
// user's folders.
std::optional<menus::MenuInventory> menusBefore(Workspace& ctx)
{
    if (ctx.services.userFolders.dataHome.isEmpty())
        return std::nullopt;
    return menus::menuInventoryOf(ctx);
}

// The entry's install folder: InstallLocation, else the folder of its uninstaller.
QString installFolderOf(Workspace& ctx)
{
    const SelectedEntry& entry = ctx.state.entry;
    const EntrySource& source = entrySource(entry.SelectedEntrySource);
    if (const auto location =
            ctx.services.registry->queryValue(source.root, source.entryPath(entry.SelectedEntryKey),
                                              QStringLiteral("InstallLocation"))) {
        QString folder = textFromUtf16Le(location->data);
        while (folder.endsWith(QChar(0)) || folder.endsWith(u'\\'))
            folder.chop(1);
        if (!folder.isEmpty())
            return folder;
    }
    const QString program = splitWindowsCommandLine(entry.SelectedEntryUninstaller).value(0);
    return program.left(std::max<qsizetype>(program.lastIndexOf(u'\\'), 0));
}

void offerMenuCleanUp(Workspace& ctx, const menus::MenuInventory& before,
                      const QString& installFolder)
{
    const menus::MenuInventory after = menus::menuInventoryOf(ctx);
    menus::offerStaleMenuFiles(
        ctx, after, menus::filesLeftBy(before, after, ctx.services.prefixPath, installFolder),
        ctx.state.entry.SelectedEntryName);
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
    const std::optional<menus::MenuInventory> menuFiles = menusBefore(ctx);
    const QString installFolder = menuFiles ? installFolderOf(ctx) : QString();

    const mdlProsessi::RunOutcome run = runWithWaitBox(ctx);
    if (run.exitCode == mdlProsessi::kNotStarted) {
        ui.setMousePointer(kPointerDefault);
        const MessageBoxRequest question{
            removeEntryQuestion(QStringLiteral("The uninstallation program cannot be executed."),
                                entry.SelectedEntryName),
            QStringLiteral("Nixora"), MsgButtons::YesNo, MsgIcon::Question, MsgAnswer::No};
        if (ui.messageBox(question) == MsgAnswer::Yes) {
            ui.setMousePointer(kPointerHourglass);
            VarmuuskopioiRekisteriavain(ctx, {.Poisto = true, .PaivitaOhjelmalista = true});
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
                VarmuuskopioiRekisteriavain(ctx, {.Poisto = true, .PaivitaOhjelmalista = false});
            }
        } else if (menuFiles) {
            offerMenuCleanUp(ctx, *menuFiles, installFolder);
        }
        ctx.view().refresh();
    }
    ui.setMousePointer(kPointerDefault);
}

} // namespace nixora
