#include "MenuEntriesDialog.h"

#include "menus/MenuCommands.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace nixora
{
namespace
{

QTreeWidgetItem* addGroup(QTreeWidget* list, const QString& caption)
{
    auto* group = new QTreeWidgetItem(list, {caption});
    group->setFirstColumnSpanned(true);
    group->setExpanded(true);
    return group;
}

// A row as the entry list shows a phantom: red 192 and, with the option, bold; the tooltip says
// why it is stale.
void addRow(QTreeWidgetItem* group, const menus::MenuFile& file, bool boldPhantoms)
{
    auto* row =
        new QTreeWidgetItem(group, {file.name, menus::kindText(file.kind),
                                    menus::verdictText(file.verdict), file.path, file.target});
    const QString tip = file.reason.isEmpty() ? file.path : file.reason;
    for (int column = 0; column < row->columnCount(); ++column) {
        row->setToolTip(column, tip);
        if (!file.removable())
            continue;
        row->setForeground(column, QColor(192, 0, 0));
        QFont font = row->font(column);
        font.setBold(boldPhantoms);
        row->setFont(column, font);
    }
}

} // namespace

MenuEntriesDialog::MenuEntriesDialog(Workspace& ctx, QWidget* parent) : QDialog(parent), m_ctx(ctx)
{
    setObjectName(QStringLiteral("MenuEntriesDialog"));
    setWindowTitle(QStringLiteral("Menu Entries"));
    auto* layout = new QVBoxLayout(this);
    auto* lead = new QLabel(
        QStringLiteral("The menu entries, desktop links and file associations Wine made for the "
                       "programs of the Wine prefix, and those of Wine prefixes that are gone. "
                       "Stale ones start nothing any more."),
        this);
    lead->setWordWrap(true);
    layout->addWidget(lead);
    lvwMenuEntries = new QTreeWidget(this);
    lvwMenuEntries->setObjectName(QStringLiteral("lvwMenuEntries"));
    lvwMenuEntries->setHeaderLabels({QStringLiteral("Name"), QStringLiteral("Kind"),
                                     QStringLiteral("Verdict"), QStringLiteral("File"),
                                     QStringLiteral("Starts")});
    lvwMenuEntries->setRootIsDecorated(false);
    lvwMenuEntries->header()->setStretchLastSection(true);
    layout->addWidget(lvwMenuEntries);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    cmdRemoveStale =
        buttons->addButton(QStringLiteral("&Remove Stale Entries"), QDialogButtonBox::ActionRole);
    cmdRemoveStale->setObjectName(QStringLiteral("cmdRemoveStale"));
    connect(cmdRemoveStale, &QPushButton::clicked, this, [this] { cmdRemoveStale_Click(); });
    connect(buttons, &QDialogButtonBox::rejected, this, [this] { reject(); });
    layout->addWidget(buttons);
    resize(900, 480);
    fill();
}

void MenuEntriesDialog::fill()
{
    m_inventory = menus::menuInventoryOf(m_ctx);
    lvwMenuEntries->clear();
    QTreeWidgetItem* own =
        addGroup(lvwMenuEntries, QStringLiteral("Wine prefix ") + m_ctx.services.prefixPath);
    QTreeWidgetItem* gone = nullptr;
    bool anyRemovable = false;
    for (const menus::MenuFile& file : m_inventory.files) {
        const bool orphan = file.prefix != m_ctx.services.prefixPath ||
                            file.verdict == menus::MenuVerdict::Orphaned;
        if (orphan && gone == nullptr)
            gone = addGroup(lvwMenuEntries, QStringLiteral("Wine prefixes that are gone"));
        addRow(orphan ? gone : own, file, m_ctx.state.boldPhantoms);
        anyRemovable = anyRemovable || file.removable();
    }
    for (int column = 0; column < lvwMenuEntries->columnCount() - 1; ++column)
        lvwMenuEntries->resizeColumnToContents(column);
    cmdRemoveStale->setEnabled(anyRemovable);
}

void MenuEntriesDialog::cmdRemoveStale_Click()
{
    if (menus::removeStaleMenuFiles_Click(m_ctx, m_inventory))
        fill();
}

} // namespace nixora
