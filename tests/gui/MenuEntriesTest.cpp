#include "MenuEntriesDialog.h"
#include "backup/BackupList.h"
#include "support/GuiTestApp.h"
#include "support/MenuHome.h"
#include "support/TestWorkspace.h"

#include <QDir>
#include <QFileInfo>
#include <QPushButton>
#include <QTreeWidget>

#include <gtest/gtest.h>

namespace nixora
{
namespace
{

// The rows of the dialog's two groups as "verdict colour bold" lines, with the group captions.
QStringList rowsOf(const QTreeWidget& list)
{
    QStringList rows;
    for (int g = 0; g < list.topLevelItemCount(); ++g) {
        const QTreeWidgetItem* group = list.topLevelItem(g);
        rows << QStringLiteral("[%1]").arg(group->text(0));
        for (int i = 0; i < group->childCount(); ++i) {
            const QTreeWidgetItem* row = group->child(i);
            rows << QStringLiteral("%1 %2 %3 %4")
                        .arg(row->text(1), row->text(2))
                        .arg(row->foreground(0).color() == QColor(192, 0, 0) ? "red" : "plain")
                        .arg(row->font(0).bold() ? "bold" : "normal");
        }
    }
    return rows;
}

// The files of a deleted prefix are listed on their own and marked as phantom entries are (red
// 192, bold by the option); "Remove Stale Entries" asks (No the default), removes them with a
// backup in the user's folder, lists what is left and lists the backup on the restore page.
TEST(MenuEntriesDialogTest, MarksStaleFilesAsPhantomsAndRemovesThemWithABackup)
{
    test::guiTestApp();
    test::MenuHome home;
    test::TestWorkspace workspace;
    test::TempPrefix deleted;
    home.install(deleted);
    QDir(deleted.path()).removeRecursively();
    const QString entries = home.file(QStringLiteral(".local/share/applications/wine/Programs"));
    workspace.ctx.services.userFolders = home.folders();
    workspace.state.boldPhantoms = true;

    MenuEntriesDialog dialog(workspace.ctx, nullptr);
    const QStringList rows = rowsOf(*dialog.lvwMenuEntries);
    ASSERT_GE(rows.size(), 3) << rows.join(u'\n').toStdString();
    EXPECT_EQ(rows[0], QStringLiteral("[Wine prefix %1]").arg(workspace.prefix.path()));
    EXPECT_EQ(rows[1], QStringLiteral("[Wine prefixes that are gone]"));
    EXPECT_EQ(rows.mid(2).filter(QStringLiteral("orphaned red bold")).size(), rows.size() - 2)
        << rows.join(u'\n').toStdString();

    workspace.ui.queueAnswer(MsgAnswer::Yes);
    dialog.cmdRemoveStale->click();
    ASSERT_FALSE(workspace.ui.shown.empty());
    EXPECT_EQ(workspace.ui.shown[0].defaultButton, MsgAnswer::No);
    EXPECT_EQ(workspace.ui.shown.size(), 1u) << workspace.ui.shown.back().text.toStdString();
    EXPECT_FALSE(QFileInfo::exists(entries));
    EXPECT_EQ(rowsOf(*dialog.lvwMenuEntries),
              QStringList{QStringLiteral("[Wine prefix %1]").arg(workspace.prefix.path())});
    EXPECT_FALSE(dialog.cmdRemoveStale->isEnabled());
    ASSERT_EQ(workspace.state.lvwPalauta.rowCount(), 1);
    EXPECT_TRUE(workspace.state.lvwPalauta.rowAt(0)->key.startsWith(kNoPrefixBackupKey));
}

} // namespace
} // namespace nixora
