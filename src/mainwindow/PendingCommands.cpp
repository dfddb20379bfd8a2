// Temporary: weak stand-ins for commands whose branches have not been merged yet, so the window
// links and runs. Remove this file when they land.
#include "actions/ClipboardCommands.h"
#include "actions/RunUninstaller.h"
#include "backup/BackupList.h"
#include "backup/BackupRemoval.h"
#include "backup/RestoreDelete.h"

namespace nixora
{

__attribute__((weak)) void mAjaPoistoohjelma_Click(WindowContext&) {}
__attribute__((weak)) void mPoistaRekisterista_Click(WindowContext&) {}
__attribute__((weak)) void mVarmuuskopioi_Click(WindowContext&) {}
__attribute__((weak)) void mPalauta_Click(WindowContext&) {}
__attribute__((weak)) void mPoistaVarmuuskopioitu_Click(WindowContext&) {}
__attribute__((weak)) void mKopioiLeikepoydalle_Click(WindowContext&, int16_t) {}

__attribute__((weak)) void ListaaPalautettavatOhjelmat(WindowContext&) {}
__attribute__((weak)) void lvwPalauta_Click(WindowState&) {}
__attribute__((weak)) void lvwPalauta_ItemClick(WindowState&, const ListRow*) {}
__attribute__((weak)) void lvwPalauta_ColumnClick(WindowState&, int) {}
__attribute__((weak)) bool backupPopupOpensOnMouseUp(const WindowState&, int)
{
    return false;
}

} // namespace nixora
