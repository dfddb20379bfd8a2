#include "view/LogicOnlyView.h"

#include "StatusBar.h"
#include "backup/BackupList.h"
#include "inventory/EntryEnumeration.h"
#include "inventory/EntryListInteraction.h"

namespace nixora
{

void LogicOnlyView::showSelectedPage()
{
    updateStatusText(m_workspace.state);
}

void LogicOnlyView::entrySelectionChanged()
{
    lvwOhjelmat_Click(m_workspace.state);
}

void LogicOnlyView::backupSelectionChanged()
{
    lvwPalauta_Click(m_workspace.state);
}

void LogicOnlyView::fillEntries()
{
    ListaaLisaaPoistaOhjelmat(m_workspace);
}

void LogicOnlyView::fillBackups()
{
    ListaaPalautettavatOhjelmat(m_workspace);
}

void LogicOnlyView::refresh()
{
    fillEntries();
    fillBackups();
}

} // namespace nixora
