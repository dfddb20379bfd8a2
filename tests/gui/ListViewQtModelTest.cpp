#include "support/GuiTestApp.h"

#include "ListViewQtModel.h"
#include "QtUiServices.h"

#include <QApplication>
#include <QClipboard>
#include <QFont>
#include <QMimeData>
#include <QPushButton>
#include <QTableView>

#include <gtest/gtest.h>

namespace nixora
{
namespace
{

class ListViewQtModelTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        test::guiTestApp();
        m_list.setColumn(0, QStringLiteral("Application Name"), 2500);
        m_list.setColumn(1, QStringLiteral("Uninstaller Location"), 3900);
        m_list.setColumn(2, QStringLiteral("Version"), 1300);
        m_model.attachView(&m_view);
    }

    ListViewModel m_list;
    ListViewQtModel m_model{m_list};
    QTableView m_view;
};

TEST_F(ListViewQtModelTest, ShowsCaptionsAndWidthsInPixels)
{
    EXPECT_EQ(m_model.headerData(1, Qt::Horizontal, Qt::DisplayRole).toString(),
              QStringLiteral("Uninstaller Location"));
    EXPECT_EQ(m_view.columnWidth(0), 2500 / 15);
    EXPECT_EQ(m_view.columnWidth(1), 3900 / 15);
}

TEST_F(ListViewQtModelTest, ChangesReachTheViewOnceOnTheNextTurnOfTheLoop)
{
    int inserts = 0;
    QObject::connect(&m_model, &QAbstractItemModel::rowsInserted, [&] { ++inserts; });
    for (int i = 0; i < 100; ++i)
        m_list.addRow(QStringLiteral("k%1").arg(i), QStringLiteral("row %1").arg(i));
    EXPECT_EQ(m_model.rowCount(), 0);
    QCoreApplication::processEvents();
    EXPECT_EQ(m_model.rowCount(), 100);
    EXPECT_EQ(inserts, 1);
}

TEST_F(ListViewQtModelTest, RepaintCatchesUpAtOnce)
{
    m_list.addRow(QStringLiteral("k"), QStringLiteral("row"));
    m_list.repaint();
    EXPECT_EQ(m_model.rowCount(), 1);
}

TEST_F(ListViewQtModelTest, CellsCarryTooltipColourAndBold)
{
    ListRow* row = m_list.addRow(QStringLiteral("k"), QStringLiteral("Alpha"));
    m_list.setText(row, 2, QStringLiteral("1.0"));
    m_list.setToolTip(row, 1, QStringLiteral("tip"));
    m_list.setForeColor(row, 0, kPhantomColor);
    m_list.setForeColor(row, 2, 0xff0000u); // blue in Windows RGB
    m_list.setBold(row, 0, true);
    m_list.repaint();
    EXPECT_EQ(m_model.index(0, 0).data(Qt::ForegroundRole).value<QColor>(), QColor(192, 0, 0));
    EXPECT_EQ(m_model.index(0, 2).data(Qt::ForegroundRole).value<QColor>(), QColor(0, 0, 255));
    EXPECT_FALSE(m_model.index(0, 1).data(Qt::ForegroundRole).isValid()); // palette text
    EXPECT_TRUE(m_model.index(0, 0).data(Qt::FontRole).value<QFont>().bold());
    EXPECT_FALSE(m_model.index(0, 1).data(Qt::FontRole).isValid());
    EXPECT_EQ(m_model.index(0, 1).data(Qt::ToolTipRole).toString(), QStringLiteral("tip"));
    EXPECT_EQ(m_model.index(0, 2).data().toString(), QStringLiteral("1.0"));
}

TEST_F(ListViewQtModelTest, GridEnabledAndHighlightFollowTheList)
{
    ListRow* row = m_list.addRow(QStringLiteral("k"), QStringLiteral("Alpha"));
    m_list.setGridLines(true);
    m_list.setEnabled(false);
    m_list.setHighlighted(row, true);
    m_list.repaint();
    EXPECT_TRUE(m_view.showGrid());
    EXPECT_FALSE(m_view.isEnabled());
    EXPECT_TRUE(m_view.selectionModel()->isRowSelected(0, {}));
    m_list.setHighlighted(row, false);
    m_list.setEnabled(true);
    m_list.repaint(); // right after the last one: drawn on the next turn of the loop
    QCoreApplication::processEvents();
    EXPECT_FALSE(m_view.selectionModel()->isRowSelected(0, {}));
    EXPECT_TRUE(m_view.isEnabled());
}

TEST_F(ListViewQtModelTest, RowsFollowTheListsOwnOrder)
{
    m_list.setSorted(true);
    m_list.addRow(QStringLiteral("b"), QStringLiteral("beta"));
    m_list.addRow(QStringLiteral("a"), QStringLiteral("Alpha"));
    m_list.repaint();
    EXPECT_EQ(m_model.index(0, 0).data().toString(), QStringLiteral("Alpha"));
    m_list.setSortOrder(1);
    m_list.repaint();
    EXPECT_EQ(m_model.index(0, 0).data().toString(), QStringLiteral("beta"));
}

TEST(QtUiServicesTest, PointerIsSetNotStacked)
{
    test::guiTestApp();
    QtUiServices ui;
    ui.setMousePointer(kPointerHourglass);
    ui.setMousePointer(kPointerHourglass);
    ASSERT_NE(QGuiApplication::overrideCursor(), nullptr);
    EXPECT_EQ(QGuiApplication::overrideCursor()->shape(), Qt::WaitCursor);
    ui.setMousePointer(kPointerDefault);
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
    ui.setMousePointer(kPointerDefault);
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
    EXPECT_EQ(ui.mousePointer(), kPointerDefault);
}

// The uninstaller's wait box: it blocks input to every window, Cancel ends the wait, and the
// busy pointer set before it stays.
TEST(QtUiServicesTest, WaitBoxBlocksInputAndCancelEndsTheWait)
{
    test::guiTestApp();
    QtUiServices ui;
    ui.setMousePointer(kPointerHourglass);
    ui.beginWait(QStringLiteral("Waiting for the uninstallation program"));
    QWidget* box = nullptr;
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (widget->objectName() == QStringLiteral("waitDialog") && widget->isVisible())
            box = widget;
    }
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->windowModality(), Qt::ApplicationModal);
    EXPECT_FALSE(ui.waitCancelled());
    auto* cancel = box->findChild<QPushButton*>();
    ASSERT_NE(cancel, nullptr);
    cancel->click();
    EXPECT_TRUE(ui.waitCancelled());
    EXPECT_EQ(QGuiApplication::overrideCursor()->shape(), Qt::WaitCursor);
    ui.endWait();
    for (QWidget* widget : QApplication::topLevelWidgets())
        EXPECT_NE(widget->objectName(), QStringLiteral("waitDialog"));
    ui.setMousePointer(kPointerDefault);
}

TEST(QtUiServicesTest, ClipboardGetsPlainTextOnly)
{
    test::guiTestApp();
    auto* rich = new QMimeData;
    rich->setHtml(QStringLiteral("<b>old</b>"));
    rich->setText(QStringLiteral("old"));
    QGuiApplication::clipboard()->setMimeData(rich);
    QtUiServices ui;
    ui.setClipboardText(QStringLiteral("C:\\Program Files\\App\\uninst.exe"));
    const QMimeData* data = QGuiApplication::clipboard()->mimeData();
    EXPECT_EQ(data->text(), QStringLiteral("C:\\Program Files\\App\\uninst.exe"));
    EXPECT_FALSE(data->hasHtml());
}

} // namespace
} // namespace nixora
