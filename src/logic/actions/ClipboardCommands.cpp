#include "actions/ClipboardCommands.h"

namespace nixora
{

void mKopioiLeikepoydalle_Click(Workspace& ctx, int16_t Index)
{
    const SelectedEntry& entry = ctx.state.entry;
    // The text exactly as the list shows it, not a fresh read of the registry.
    switch (Index) {
    case 0:
        ctx.services.ui->setClipboardText(entry.SelectedEntryName);
        break;
    case 1:
        ctx.services.ui->setClipboardText(entry.SelectedEntryUninstaller);
        break;
    case 2:
        ctx.services.ui->setClipboardText(entry.SelectedEntryVersion);
        break;
    default:
        break;
    }
}

} // namespace nixora
