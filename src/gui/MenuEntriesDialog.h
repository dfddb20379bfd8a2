#pragma once

#include "Workspace.h"
#include "menus/MenuFiles.h"

#include <QDialog>

class QPushButton;
class QTreeWidget;

namespace nixora
{

// File > Menu Entries...: the files Wine made on the desktop for the open prefix's programs,
// and those of prefixes that are gone, each with its verdict; stale and orphaned files are
// marked as the entry list marks phantom entries. "Remove Stale Entries" backs them up and
// removes them. Loaded for one use.
class MenuEntriesDialog final : public QDialog
{
    Q_OBJECT

public:
    MenuEntriesDialog(Workspace& ctx, QWidget* parent);

    void cmdRemoveStale_Click();

    QTreeWidget* lvwMenuEntries = nullptr;
    QPushButton* cmdRemoveStale = nullptr;

private:
    void fill();

    Workspace& m_ctx;
    menus::MenuInventory m_inventory;
};

} // namespace nixora
