#include "support/FakeWineserver.h"
#include "support/FixedClock.h"
#include "support/GuiTestApp.h"
#include "support/ScriptedUi.h"
#include "support/TempPrefix.h"
#include "support/TestData.h"

#include "EntrySource.h"
#include "FileQuery.h"
#include "ListViewQtModel.h"
#include "PrefixListing.h"
#include "Settings.h"
#include "WineRegistry.h"
#include "backup/RestoreDelete.h"
#include "frmPoisto.h"
#include "help/HelpLinks.h"
#include "inventory/EntryTags.h"
#include "prefixes/RecentPrefixes.h"

#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QStatusBar>
#include <QTabWidget>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <memory>

namespace nixora
{
namespace
{

using test::FixedClock;
using test::ScriptedUi;
using test::TempPrefix;

class MainWindowTest : public ::testing::Test
{
protected:
    void SetUp() override { test::guiTestApp(); }
    void TearDown() override
    {
        for (QMenu* menu : {menu("mnuPopUp"), menu("mnuPopUp2")})
            if (menu != nullptr)
                menu->hide();
    }

    void setSettings(const QList<QPair<QString, QString>>& values)
    {
        test::writeHiveFile(settingsFile(), RegRoot::CurrentUser,
                            test::hiveKeyBlock(settings::kReadPath, values));
    }
    [[nodiscard]] QString settingsFile() const
    {
        return m_config.filePath(QStringLiteral("nixora/settings.reg"));
    }

    void addEntries(const QString& body) { m_prefix.setHiveBody(RegRoot::LocalMachine, body); }

    frmPoisto& open(PrefixStatus status = {})
    {
        Services services{.ui = &m_ui, .clock = m_clock};
        services.programFolder = QStringLiteral("/opt/nixora/bin");
        services.regeditProgram = QStringLiteral(NIXORA_BIN_DIR "/nixora-regedit");
        services.settingsFile = settingsFile();
        m_window.reset();
        m_workspace = std::make_unique<Workspace>(services);
        const PrefixStatus opened = m_workspace->openPrefix(m_prefix.prefix());
        m_registry = m_workspace->services.registry;
        m_settings = m_workspace->services.settings;
        if (status.path.isEmpty()) {
            status.path = opened.path;
            status.notAPrefix = opened.notAPrefix;
            status.writeRefusal = opened.writeRefusal;
        }
        m_window = std::make_unique<frmPoisto>(*m_workspace, status);
        m_window->Form_Load();
        QCoreApplication::processEvents();
        return *m_window;
    }

    template <typename T> T* child(const char* name) const
    {
        return m_window->findChild<T*>(QString::fromLatin1(name));
    }
    QAction* action(const char* name) const { return child<QAction>(name); }
    QMenu* menu(const char* name) const { return m_window ? child<QMenu>(name) : nullptr; }
    QTableView* list(const char* name) const { return child<QTableView>(name); }
    QString statusText() const { return child<QLabel>("sbTilarivi_Panel1")->text(); }
    bool stored(const QString& name) const
    {
        return m_settings->queryValue(RegRoot::CurrentUser, settings::kReadPath, name).has_value();
    }
    bool storedOn(const QString& name) const { return settings::readPreference(*m_settings, name); }

    // Presses and releases a mouse button on a row of a list, as the user does.
    void clickRow(QTableView* view, int row, Qt::MouseButton button = Qt::LeftButton)
    {
        const QPoint at = view->visualRect(view->model()->index(row, 0)).center();
        QTest::mouseClick(view->viewport(), button, {}, at);
    }

    TempPrefix m_prefix;
    QTemporaryDir m_config; // the user's configuration folder, outside every prefix
    ScriptedUi m_ui;
    FixedClock m_clock{QDateTime(QDate(2024, 3, 2), QTime(8, 5, 9))};
    std::unique_ptr<Workspace> m_workspace;
    Registry* m_registry = nullptr;
    Registry* m_settings = nullptr;
    std::unique_ptr<frmPoisto> m_window;
};

QString entry(const QString& subkey, const QString& name, const QString& uninstall,
              const QString& version)
{
    return test::uninstallEntryBlock(subkey, {{QStringLiteral("DisplayName"), name},
                                              {QStringLiteral("UninstallString"), uninstall},
                                              {QStringLiteral("DisplayVersion"), version}});
}

constexpr int kPixels5535 = 369;
constexpr int kPixels5775 = 385;
constexpr int kPixels4815 = 321;
constexpr int kPixels5055 = 337;

TEST_F(MainWindowTest, FirstStartWithoutSettingsKeyTurnsEveryViewOptionOn)
{
    frmPoisto& window = open();
    for (const char* name : {"mRuudukko", "mTilarivi", "mSelkokielisetOhjelmanimet",
                             "mLihavoidutRikkinaiset", "mCheckInstallerProducts"})
        EXPECT_TRUE(action(name)->isChecked()) << name;
    EXPECT_TRUE(list("lvwOhjelmat")->showGrid());
    EXPECT_TRUE(list("lvwPalauta")->showGrid());
    EXPECT_TRUE(child<QStatusBar>("sbTilarivi")->isVisible());
    EXPECT_EQ(child<QTabWidget>("tsValitsin")->height(), kPixels5535);
    EXPECT_EQ(list("lvwOhjelmat")->height(), kPixels4815);
    EXPECT_EQ(list("lvwPalauta")->height(), kPixels4815);
    EXPECT_TRUE(window.state().friendlyNames);
    EXPECT_TRUE(window.state().boldPhantoms);
    EXPECT_EQ(child<QLabel>("sbTilarivi_Panel2")->text(), QStringLiteral("For Help, press F1"));
    // Nothing is written just by starting.
    EXPECT_FALSE(stored(settings::kRuudukko));
}

TEST_F(MainWindowTest, HiddenStatusBarPreferenceGivesTallerPagesAndTogglesBack)
{
    setSettings({{QStringLiteral("tilarivi"), QStringLiteral("ei")}});
    open();
    EXPECT_FALSE(action("mTilarivi")->isChecked());
    EXPECT_FALSE(child<QStatusBar>("sbTilarivi")->isVisible());
    EXPECT_EQ(child<QTabWidget>("tsValitsin")->height(), kPixels5775);
    for (const char* name : {"picLisaaPoista", "picPalauta"})
        EXPECT_EQ(child<QWidget>(name)->height(), kPixels5055) << name;
    EXPECT_EQ(list("lvwOhjelmat")->height(), kPixels5055);
    EXPECT_EQ(list("lvwPalauta")->height(), kPixels5055);

    action("mTilarivi")->trigger();
    EXPECT_TRUE(child<QStatusBar>("sbTilarivi")->isVisible());
    EXPECT_EQ(child<QTabWidget>("tsValitsin")->height(), kPixels5535);
    EXPECT_EQ(list("lvwPalauta")->height(), kPixels4815);
    EXPECT_TRUE(storedOn(settings::kTilarivi));
}

TEST_F(MainWindowTest, GridCommandSwitchesBothListsAndStoresAtOnce)
{
    open();
    action("mRuudukko")->trigger();
    EXPECT_FALSE(list("lvwOhjelmat")->showGrid());
    EXPECT_FALSE(list("lvwPalauta")->showGrid()); // on the hidden page too
    EXPECT_FALSE(storedOn(settings::kRuudukko));
    action("mRuudukko")->trigger();
    EXPECT_TRUE(list("lvwPalauta")->showGrid());
    EXPECT_TRUE(storedOn(settings::kRuudukko));
}

TEST_F(MainWindowTest, EmptyPrefixShowsZeroCountsOnBothTabs)
{
    open();
    EXPECT_EQ(statusText(), QStringLiteral("0 phantom program entries (0 entries in total)"));
    child<QTabWidget>("tsValitsin")->setCurrentIndex(1);
    EXPECT_TRUE(child<QWidget>("picPalauta")->isVisible());
    EXPECT_FALSE(child<QWidget>("picLisaaPoista")->isVisible());
    EXPECT_EQ(statusText(), QStringLiteral("0 removed program entries"));
}

TEST_F(MainWindowTest, CountsPhantomsAmongAllEntries)
{
    m_prefix.createFile(QStringLiteral("Here/uninst.exe"));
    addEntries(entry("A", "Alpha", "C:\\Here\\uninst.exe", "1.0") +
               entry("B", "Beta", "C:\\Gone\\uninst.exe", "2.0") +
               entry("C", "Gamma", "C:\\Gone\\other.exe", "3.0"));
    open();
    EXPECT_EQ(statusText(), QStringLiteral("2 phantom program entries (3 entries in total)"));
}

// The third entry holds a key deeper than a backup may go, so its backup cannot be written: it
// stays, and the other two go in the same run with backups that bring them back.
TEST_F(MainWindowTest, RemovePhantomsKeepsTheEntryWhoseBackupFailsAndRestoresTheOthers)
{
    addEntries(entry("A", "Alpha", "C:\\Gone\\a.exe", "1.0") +
               entry("B", "Beta", "C:\\Gone\\b.exe", "2.0") +
               entry("C", "Gamma", "C:\\Gone\\c.exe", "3.0"));
    open();
    const QString uninstall =
        QStringLiteral("Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\");
    ASSERT_TRUE(m_registry
                    ->setValue(RegRoot::LocalMachine,
                               uninstall + QStringLiteral("C") +
                                   QStringLiteral("\\d").repeated(kMaxKeyDepth + 1),
                               QStringLiteral("x"), makeStringValue(QStringLiteral("y")))
                    .ok());
    const auto before = [&](const char* subkey) {
        return m_registry->exportKey(RegRoot::LocalMachine, uninstall + QLatin1String(subkey));
    };
    const auto alpha = before("A");
    const auto beta = before("B");
    m_ui.shown.clear();
    m_ui.queueAnswer(MsgAnswer::Yes);

    action("mRemovePhantoms")->trigger();

    ASSERT_EQ(m_ui.shown.size(), 2u);
    EXPECT_TRUE(m_ui.shown[0].text.contains(QStringLiteral("3 phantom")));
    EXPECT_TRUE(m_ui.shown[0].text.contains(m_prefix.path()));
    EXPECT_TRUE(m_ui.shown[1].text.contains(QStringLiteral("Removed 2")));
    EXPECT_TRUE(
        m_ui.shown[1].text.contains(QStringLiteral("'Gamma': The program entry is too large")));
    EXPECT_FALSE(before("A").has_value());
    EXPECT_FALSE(before("B").has_value());
    EXPECT_TRUE(m_registry->keyExists(RegRoot::LocalMachine, uninstall + QStringLiteral("C")));
    EXPECT_EQ(statusText(), QStringLiteral("1 phantom program entries (1 entries in total)"));
    ASSERT_EQ(m_workspace->state.lvwPalauta.rowCount(), 2);

    QStringList files;
    for (int i = 0; i < 2; ++i)
        files << m_workspace->state.lvwPalauta.rowAt(i)->key;
    for (const QString& file : files) {
        m_workspace->state.backup.SelectedBackupFile = file;
        m_ui.queueAnswer(MsgAnswer::Yes);
        mPalauta_Click(*m_workspace);
    }
    EXPECT_EQ(before("A"), alpha);
    EXPECT_EQ(before("B"), beta);
}

TEST_F(MainWindowTest, RefreshLeavesTheNormalPointer)
{
    open();
    m_ui.pointerHistory.clear();
    action("mPaivita")->trigger();
    ASSERT_FALSE(m_ui.pointerHistory.empty());
    EXPECT_EQ(m_ui.pointerHistory.front(), kPointerHourglass);
    EXPECT_EQ(m_ui.mousePointer(), kPointerDefault);
}

// Where the keyboard popup opens: below the highlighted row, or off the press that chose it.
TEST_F(MainWindowTest, KeyboardPopupOpensAtTheHighlightedRowOrOffThePressThatChoseIt)
{
    addEntries(entry("A", "Alpha", "C:\\x.exe", "1.0") + entry("B", "Beta", "C:\\y.exe", ""));
    frmPoisto& window = open();
    QWidget* client = window.centralWidget();
    QMenu* popup = menu("mnuPopUp");
    QTableView* view = list("lvwOhjelmat");
    const auto belowRow = [view](int row) {
        const QRect cell = view->visualRect(view->model()->index(row, 0));
        return view->viewport()->mapToGlobal(QPoint(cell.left() + 50 / 15, cell.bottom()));
    };

    // Before any click the menu belongs to the fill's first row, which it highlights.
    QTest::keyClick(view, Qt::Key_F10, Qt::ShiftModifier);
    ASSERT_TRUE(popup->isVisible());
    EXPECT_EQ(popup->pos(), belowRow(0));
    EXPECT_TRUE(view->selectionModel()->isRowSelected(0, {}));
    popup->hide();

    // A press 30 px right and 45 px down in the list (2nd row): popup 50 twips further on.
    const QPoint inViewport =
        view->visualRect(view->model()->index(1, 0)).topLeft() + QPoint(30, 2);
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, inViewport);
    const QPoint inList = view->viewport()->mapTo(view, inViewport);
    EXPECT_EQ(window.state().popupX, 240 + inList.x() * 15 + 50);
    EXPECT_EQ(window.state().popupY, 720 + inList.y() * 15 + 50);
    EXPECT_EQ(window.state().entry.SelectedEntryName, QStringLiteral("Beta"));

    QTest::keyClick(view, Qt::Key_Menu);
    ASSERT_TRUE(popup->isVisible());
    EXPECT_EQ(popup->pos(), client->mapToGlobal(QPoint(qRound(window.state().popupX / 15.0),
                                                       qRound(window.state().popupY / 15.0))));
    EXPECT_EQ(menu("mnuPopUp2")->isVisible(), false);
    popup->hide();
}

// A keyboard-only user: the highlight moved with the keys is the entry the menu and its
// question act on, and Ctrl+Tab reaches the backup page, where the menu key restores it.
TEST_F(MainWindowTest, KeyboardAloneRemovesTheHighlightedEntryAndRestoresIt)
{
    const QStringList names{"Alpha", "Bravo", "Charlie", "Delta", "Echo", "Foxtrot", "Golf"};
    QString body;
    for (int i = 0; i < names.size(); ++i)
        body += entry(QStringLiteral("K%1").arg(i), names[i], "C:\\x.exe", "1.0");
    addEntries(body);
    frmPoisto& window = open();
    QTableView* view = list("lvwOhjelmat");
    QMenu* popup = menu("mnuPopUp");
    const auto downFive = [view] {
        for (int i = 0; i < 5; ++i)
            QTest::keyClick(view, Qt::Key_Down);
    };
    const auto highlighted = [](QTableView* list) {
        const QModelIndexList rows = list->selectionModel()->selectedRows();
        return rows.size() == 1 ? rows.front().data().toString() : QString();
    };

    // Without a click: whatever row the keys reach, not the fill's first row behind them.
    view->setFocus();
    downFive();
    ASSERT_NE(highlighted(view), names[0]);
    QTest::keyClick(view, Qt::Key_Menu);
    ASSERT_TRUE(popup->isVisible());
    EXPECT_EQ(window.state().entry.SelectedEntryName, highlighted(view));
    popup->hide();

    // After a click on the first row: five rows further down.
    clickRow(view, 0);
    downFive();
    ASSERT_EQ(highlighted(view), QStringLiteral("Foxtrot"));
    QTest::keyClick(view, Qt::Key_F10, Qt::ShiftModifier);
    ASSERT_TRUE(popup->isVisible());
    const QRect foxtrot = view->visualRect(view->model()->index(5, 0));
    EXPECT_EQ(popup->pos(),
              view->viewport()->mapToGlobal(QPoint(foxtrot.left() + 50 / 15, foxtrot.bottom())));
    m_ui.shown.clear();
    m_ui.queueAnswer(MsgAnswer::Yes);
    QTest::keyClick(popup, Qt::Key_R); // &Remove Entry...
    ASSERT_FALSE(m_ui.shown.empty());
    EXPECT_TRUE(m_ui.shown.front().text.contains(QStringLiteral("'Foxtrot'")));
    const QString uninstall =
        QStringLiteral("Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\");
    EXPECT_FALSE(m_registry->keyExists(RegRoot::LocalMachine, uninstall + QStringLiteral("K5")));
    EXPECT_EQ(window.state().lvwOhjelmat.rowCount(), names.size() - 1);

    // The pages go round both ways, with Tab and with PgUp/PgDn.
    QTest::keyClick(view, Qt::Key_PageDown, Qt::ControlModifier);
    EXPECT_TRUE(child<QWidget>("picPalauta")->isVisible());
    QTest::keyClick(list("lvwPalauta"), Qt::Key_Tab, Qt::ControlModifier);
    EXPECT_TRUE(child<QWidget>("picLisaaPoista")->isVisible());
    QTest::keyClick(view, Qt::Key_Backtab, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_TRUE(child<QWidget>("picPalauta")->isVisible());
    QTest::keyClick(list("lvwPalauta"), Qt::Key_PageUp, Qt::ControlModifier);
    EXPECT_TRUE(child<QWidget>("picLisaaPoista")->isVisible());
    QTest::keyClick(view, Qt::Key_Tab, Qt::ControlModifier);
    ASSERT_TRUE(child<QWidget>("picPalauta")->isVisible());
    EXPECT_EQ(statusText(), QStringLiteral("1 removed program entries"));

    QTest::keyClick(list("lvwPalauta"), Qt::Key_Menu);
    QMenu* backupPopup = menu("mnuPopUp2");
    ASSERT_TRUE(backupPopup->isVisible());
    m_ui.shown.clear();
    m_ui.queueAnswer(MsgAnswer::Yes);
    QTest::keyClick(backupPopup, Qt::Key_R); // &Restore Entry...
    ASSERT_FALSE(m_ui.shown.empty());
    EXPECT_TRUE(m_ui.shown.front().text.contains(QStringLiteral("'Foxtrot'")));
    EXPECT_TRUE(m_registry->keyExists(RegRoot::LocalMachine, uninstall + QStringLiteral("K5")));
    EXPECT_EQ(window.state().lvwPalauta.rowCount(), 0);
}

// A command may act only on a row the user can see: the find bar hiding the selected entry or
// backup ends that selection, and no popup opens for it.
TEST_F(MainWindowTest, FindBarHidingTheSelectionLeavesNoCommandToActOnIt)
{
    addEntries(entry("A", "Alpha", "C:\\x.exe", "1.0") + entry("B", "Beta", "C:\\y.exe", "") +
               entry("G", "Gamma", "C:\\z.exe", "2.0"));
    QDir().mkpath(m_prefix.hostPath(QStringLiteral("nixora-backups")));
    QFile backup(m_prefix.hostPath(QStringLiteral("nixora-backups/20240101000000.reg")));
    ASSERT_TRUE(backup.open(QIODevice::WriteOnly));
    backup.write("REGEDIT4\r\n\r\n\"DisplayName\"=\"Old\"\r\n");
    backup.close();
    frmPoisto& window = open();
    QTableView* view = list("lvwOhjelmat");
    QMenu* popup = menu("mnuPopUp");
    const QPoint belowRows(40, view->viewport()->height() - 5);
    const auto expectNoEntryCommand = [&](const char* when) {
        EXPECT_TRUE(window.state().entry.SelectedEntryKey.isEmpty()) << when;
        EXPECT_TRUE(window.state().entry.SelectedEntryName.isEmpty()) << when;
        for (const char* item : {"mPoistaRekisterista", "mVarmuuskopioi", "mMuokkaa",
                                 "mAjaPoistoohjelma", "mKopioiLeikepoydalle_0"})
            EXPECT_FALSE(action(item)->isEnabled()) << when << ' ' << item;
        QTest::mouseClick(view->viewport(), Qt::RightButton, {}, belowRows);
        QTest::keyClick(view, Qt::Key_Menu);
        EXPECT_FALSE(popup->isVisible()) << when;
        popup->hide();
    };

    clickRow(view, 1);
    ASSERT_EQ(window.state().entry.SelectedEntryName, QStringLiteral("Beta"));
    QTest::keyClick(view, Qt::Key_F, Qt::ControlModifier);
    QTest::keyClicks(child<QLineEdit>("findField"), QStringLiteral("gam"));
    ASSERT_EQ(view->model()->rowCount(), 1);
    expectNoEntryCommand("Beta hidden");
    // A refill selects its first row, Alpha, which the filter hides too.
    action("mPaivita")->trigger();
    expectNoEntryCommand("after refill");
    // Tabbing into the list makes its first row current without selecting it, as Qt's views
    // do; Space then selects it where it is, and the menu key acts on it.
    QCoreApplication::processEvents(); // the refill ends
    view->selectionModel()->setCurrentIndex(view->model()->index(0, 0),
                                            QItemSelectionModel::NoUpdate);
    QTest::keyClick(view, Qt::Key_Space);
    QTest::keyClick(view, Qt::Key_Menu);
    EXPECT_TRUE(popup->isVisible());
    EXPECT_EQ(window.state().entry.SelectedEntryKey, QStringLiteral("G"));
    popup->hide();

    clickRow(view, 0, Qt::RightButton);
    EXPECT_TRUE(popup->isVisible());
    EXPECT_EQ(window.state().entry.SelectedEntryKey, QStringLiteral("G"));
    EXPECT_TRUE(action("mPoistaRekisterista")->isEnabled());
    popup->hide();

    // On the backup page the same filter hides the only backup.
    ASSERT_EQ(window.state().backup.SelectedBackupName, QStringLiteral("Old"));
    QTest::keyClick(view, Qt::Key_Tab, Qt::ControlModifier);
    EXPECT_TRUE(window.state().backup.SelectedBackupFile.isEmpty());
    EXPECT_FALSE(action("mPalauta")->isEnabled());
    EXPECT_FALSE(action("mPoistaVarmuuskopioitu")->isEnabled());
    QTest::keyClick(list("lvwPalauta"), Qt::Key_Menu);
    EXPECT_FALSE(menu("mnuPopUp2")->isVisible());
}

TEST_F(MainWindowTest, FindFiltersTheVisibleListAndEscRestoresIt)
{
    addEntries(entry("A", "Alpha", "C:\\x.exe", "1.0") + entry("B", "Beta", "C:\\y.exe", "") +
               entry("G", "Gamma", "C:\\beta\\g.exe", "2.0"));
    frmPoisto& window = open();
    const QString usual = statusText();
    QTest::keyClick(list("lvwOhjelmat"), Qt::Key_F, Qt::ControlModifier);
    auto* field = child<QLineEdit>("findField");
    ASSERT_TRUE(field != nullptr && field->isVisible());
    QTest::keyClicks(field, QStringLiteral("BETA"));
    QTableView* view = list("lvwOhjelmat");
    ASSERT_EQ(view->model()->rowCount(), 2); // the name and the uninstaller's folder match
    EXPECT_EQ(statusText(), QStringLiteral("2 of 3 entries"));
    // A click on a shown row selects that entry, not the row at that place in the full list.
    clickRow(view, 1);
    EXPECT_EQ(window.state().entry.SelectedEntryName, QStringLiteral("Gamma"));
    // Switching pages filters the backup page instead; the entry list shows everything again.
    window.state().selectedTab = kTabBackups;
    window.tsValitsin_Click();
    EXPECT_EQ(view->model()->rowCount(), 3);
    EXPECT_EQ(statusText(), QStringLiteral("0 of 0 entries"));
    window.state().selectedTab = kTabEntries;
    window.tsValitsin_Click();
    QTest::keyClick(field, Qt::Key_Escape);
    EXPECT_FALSE(field->isVisible());
    EXPECT_EQ(view->model()->rowCount(), 3);
    EXPECT_EQ(statusText(), usual);
}

TEST_F(MainWindowTest, PrefixesMenuCountsEveryPrefixAndSwitchesBothListsAndTheTitle)
{
    addEntries(entry("A", "Alpha", "C:\\x.exe", "1.0"));
    TempPrefix other;
    other.createFile(QStringLiteral("y.exe"));
    other.setHiveBody(RegRoot::LocalMachine,
                      entry("B", "Beta", "C:\\y.exe", "") + entry("C", "Gamma", "C:\\z.exe", ""));
    other.setHiveBody(RegRoot::CurrentUser,
                      test::hiveKeyBlock(settings::kReadPath, {{settings::kTilarivi, "ei"}}));
    QDir().mkpath(other.hostPath(QStringLiteral("nixora-backups")));
    QFile backup(other.hostPath(QStringLiteral("nixora-backups/20240101000000.reg")));
    ASSERT_TRUE(backup.open(QIODevice::WriteOnly));
    backup.write("REGEDIT4\r\n\r\n\"DisplayName\"=\"Old\"\r\n");
    backup.close();
    QTemporaryDir home;
    const QString recentFile = home.filePath(QStringLiteral("recent.conf"));
    ASSERT_TRUE(prefixes::RecentPrefixes(recentFile).remember(other.path()));

    frmPoisto& window = open();
    window.setPrefixSources({home.path(), QProcessEnvironment(), {}}, recentFile);
    window.setPrefixCounter(&countPrefix);
    // A folder without Wine's hive changes nothing.
    EXPECT_FALSE(window.switchPrefix(home.path(), QString()));
    ASSERT_EQ(m_ui.shown.size(), 1u);
    EXPECT_EQ(list("lvwOhjelmat")->model()->rowCount(), 1);

    // The open prefix is listed although no source found it, checked; the counts follow.
    QMenu* prefixesMenu = menu("mnuPrefixes");
    emit prefixesMenu->aboutToShow();
    const QList<QAction*> items = prefixesMenu->actions();
    ASSERT_EQ(items.size(), 2);
    EXPECT_TRUE(items[0]->isChecked());
    EXPECT_TRUE(items[0]->text().contains(QStringLiteral("(current)")));
    const auto counted = [&] {
        return std::all_of(items.begin(), items.end(), [](QAction* item) {
            return item->text().contains(QStringLiteral("entries"));
        });
    };
    for (int i = 0; i < 500 && !counted(); ++i)
        QTest::qWait(10);
    EXPECT_TRUE(items[0]->text().endsWith(QStringLiteral("\t1 entries, 1 phantoms")));
    EXPECT_TRUE(items[1]->text().endsWith(QStringLiteral("\t2 entries, 1 phantoms")));

    items[1]->trigger();
    QCoreApplication::processEvents();
    EXPECT_EQ(list("lvwOhjelmat")->model()->rowCount(), 2);
    EXPECT_EQ(list("lvwPalauta")->model()->rowCount(), 1);
    EXPECT_EQ(statusText(), QStringLiteral("1 phantom program entries (2 entries in total)"));
    EXPECT_TRUE(action("mTilarivi")->isChecked()) << "a value left in a prefix is not read";
    EXPECT_TRUE(window.windowTitle().contains(other.path()));
    EXPECT_EQ(prefixes::RecentPrefixes(recentFile).list().front(),
              QFileInfo(other.path()).canonicalFilePath());
}

// Every file below a prefix, with its bytes, except the backups folder (a restore removes one).
std::map<QString, QByteArray> filesOf(const QString& prefix)
{
    std::map<QString, QByteArray> files;
    QDirIterator it(prefix, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        const QString relative = QDir(prefix).relativeFilePath(path);
        if (!relative.startsWith(QLatin1String("nixora-backups/")))
            files[relative] = it.fileInfo().isFile() && !it.fileInfo().isSymLink()
                                  ? test::readAll(path)
                                  : QByteArray();
    }
    return files;
}

// The view options are the Linux user's: one store outside every prefix, read the same whatever
// prefix is open, writable while Wine runs in the prefix, and nothing of them (nor any lock) is
// ever written into a prefix.
TEST_F(MainWindowTest, ViewOptionsAreTheUsersAndNeverWrittenIntoAPrefix)
{
    addEntries(entry("A", "Alpha", "C:\\x.exe", "1.0"));
    QDir().mkpath(m_prefix.hostPath(QStringLiteral("nixora-backups")));
    test::writeAll(m_prefix.hostPath(QStringLiteral("nixora-backups/20240101000000.reg")),
                   "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\"
                   "CurrentVersion\\Uninstall\\Old]\r\n\"DisplayName\"=\"Old\"\r\n");
    TempPrefix other;
    other.setHiveBody(RegRoot::CurrentUser,
                      test::hiveKeyBlock(settings::kReadPath, {{settings::kRuudukko, "on"},
                                                               {settings::kTilarivi, "ei"}}));
    const QByteArray userA = test::readAll(m_prefix.hivePath(RegRoot::CurrentUser));
    const std::map<QString, QByteArray> otherBefore = filesOf(other.path());

    frmPoisto& window = open();
    action("mRuudukko")->trigger();
    {
        test::FakeWineserver server(test::wineserverFolderOf(other.path()));
        ASSERT_TRUE(window.switchPrefix(other.path(), QString()));
        EXPECT_FALSE(action("mRuudukko")->isChecked());
        EXPECT_FALSE(list("lvwOhjelmat")->showGrid());
        EXPECT_TRUE(action("mTilarivi")->isChecked());
        action("mTilarivi")->trigger();
        EXPECT_FALSE(storedOn(settings::kTilarivi)) << "toggled while Wine runs in the prefix";
    }
    EXPECT_EQ(filesOf(other.path()), otherBefore);

    open();
    EXPECT_FALSE(action("mRuudukko")->isChecked());
    EXPECT_FALSE(action("mTilarivi")->isChecked());
    const std::map<QString, QByteArray> before = filesOf(m_prefix.path());
    m_workspace->state.backup.SelectedBackupFile = QStringLiteral("20240101000000.reg");
    m_ui.queueAnswer(MsgAnswer::Yes);
    mPalauta_Click(*m_workspace);
    ASSERT_TRUE(m_registry->keyExists(RegRoot::LocalMachine,
                                      entrySource(SourceKind::Machine).entryPath("Old")));
    std::map<QString, QByteArray> after = filesOf(m_prefix.path());
    after.erase(QStringLiteral("system.reg"));
    std::map<QString, QByteArray> expected = before;
    expected.erase(QStringLiteral("system.reg"));
    EXPECT_EQ(after, expected) << "a restore adds no file to the prefix";
    EXPECT_EQ(test::readAll(m_prefix.hivePath(RegRoot::CurrentUser)), userA);
    EXPECT_TRUE(QFileInfo(m_prefix.hostPath(QStringLiteral("nixora-backups"))).isDir());
}

// File > Open Prefix... shows hidden folders and starts beside the open prefix: a prefix in
// ~/.wine is one choice away.
TEST_F(MainWindowTest, OpenPrefixDialogStartsBesideTheOpenPrefixAndShowsHiddenFolders)
{
    QTemporaryDir home;
    const QString dotWine = home.filePath(QStringLiteral(".wine"));
    ASSERT_TRUE(QDir().mkpath(dotWine));
    ASSERT_TRUE(QFile::copy(m_prefix.hivePath(RegRoot::LocalMachine), dotWine + "/system.reg"));
    frmPoisto& window = open();
    ASSERT_TRUE(window.switchPrefix(dotWine, QString()));
    bool listed = false;
    QString startedIn;
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        startedIn = dialog->directory().absolutePath();
        auto* model = dialog->findChild<QFileSystemModel*>();
        ASSERT_NE(model, nullptr);
        for (int i = 0; i < 500 && !listed; ++i) {
            QTest::qWait(10);
            listed =
                model->index(dotWine).isValid() && model->rowCount(model->index(home.path())) > 0;
        }
        dialog->reject();
    });
    action("mOpenPrefix")->trigger();
    EXPECT_EQ(startedIn, QFileInfo(home.path()).absoluteFilePath());
    EXPECT_TRUE(listed);
}

// A prefix whose system.reg is too large to read, started on (it was remembered) and chosen from
// the menu: the window says why it lists nothing, and only a prefix that opened is remembered.
TEST_F(MainWindowTest, APrefixWhoseHiveCannotBeReadIsSaidSoAndNotRemembered)
{
    addEntries(entry("A", "Alpha", "C:\\x.exe", "1.0"));
    TempPrefix big;
    ASSERT_TRUE(QFile::resize(big.hivePath(RegRoot::LocalMachine), qint64(64) << 30));
    QTemporaryDir home;
    const QString recentFile = home.filePath(QStringLiteral("recent.conf"));

    frmPoisto& window = open();
    window.setPrefixSources({home.path(), QProcessEnvironment(), {}}, recentFile);
    EXPECT_FALSE(window.switchPrefix(big.path(), QString()));
    ASSERT_EQ(m_ui.shown.size(), 1u);
    EXPECT_TRUE(m_ui.shown[0].text.contains(QLatin1String("(system.reg is too large to read "
                                                          "(64.0 GiB;")))
        << m_ui.shown[0].text.toStdString();
    EXPECT_EQ(list("lvwOhjelmat")->model()->rowCount(), 1);
    EXPECT_TRUE(prefixes::RecentPrefixes(recentFile).list().isEmpty());

    m_window.reset();
    ASSERT_TRUE(QFile::resize(m_prefix.hivePath(RegRoot::LocalMachine), qint64(64) << 30));
    m_ui.shown.clear();
    open();
    ASSERT_EQ(m_ui.shown.size(), 1u);
    EXPECT_TRUE(m_ui.shown[0].text.contains(QLatin1String("cannot be read:")));
    EXPECT_TRUE(m_ui.shown[0].text.contains(QLatin1String("too large to read (64.0 GiB;")));
    EXPECT_EQ(list("lvwOhjelmat")->model()->rowCount(), 0);
}

TEST_F(MainWindowTest, CtrlShiftF10OpensNothing)
{
    addEntries(entry("A", "Alpha", "C:\\x.exe", "1.0"));
    open();
    QTest::keyClick(list("lvwOhjelmat"), Qt::Key_F10, Qt::ShiftModifier | Qt::ControlModifier);
    EXPECT_FALSE(menu("mnuPopUp")->isVisible());
    QTest::keyClick(list("lvwOhjelmat"), Qt::Key_F10);
    EXPECT_FALSE(menu("mnuPopUp")->isVisible());
}

TEST_F(MainWindowTest, RightButtonReleaseWithoutSelectedEntryOpensNothing)
{
    open();
    QTableView* view = list("lvwOhjelmat");
    QTest::mouseClick(view->viewport(), Qt::RightButton, {}, QPoint(40, 40));
    EXPECT_FALSE(menu("mnuPopUp")->isVisible());
}

TEST_F(MainWindowTest, RightClickOnRowSelectsItAndOpensEntryPopup)
{
    addEntries(entry("A", "Alpha", "C:\\x.exe", "1.0") + entry("B", "Beta", "", "2.0"));
    frmPoisto& window = open();
    clickRow(list("lvwOhjelmat"), 1, Qt::RightButton);
    EXPECT_TRUE(menu("mnuPopUp")->isVisible());
    EXPECT_EQ(window.state().entry.SelectedEntryKey, QStringLiteral("B"));
    EXPECT_FALSE(action("mAjaPoistoohjelma")->isEnabled());
    EXPECT_FALSE(action("mKopioiLeikepoydalle_1")->isEnabled());
    EXPECT_TRUE(action("mPoistaRekisterista")->isEnabled());
    EXPECT_TRUE(action("mVarmuuskopioi")->isEnabled());
}

TEST_F(MainWindowTest, ModifyIsDisabledForThreeLockedTags)
{
    frmPoisto& window = open();
    ListViewModel& model = window.state().lvwOhjelmat;
    ListRow* locked =
        model.addRow(tags::kRowKeyPrefix + QStringLiteral("Comp"), QStringLiteral("Comp"));
    model.setText(locked, 1, QStringLiteral("rundll32 comp"));
    model.setTag(locked, 0, tags::kLukittuKomponenttinimi);
    model.setTag(locked, 1, tags::kLukittu);
    model.setTag(locked, 2, tags::kLukittuKomponenttiversio);
    ListRow* editable =
        model.addRow(tags::kRowKeyPrefix + QStringLiteral("Open"), QStringLiteral("Open"));
    model.setTag(editable, 0, tags::kLukittu);
    model.setTag(editable, 1, tags::kLukittu);
    model.setTag(editable, 2, tags::kNormaali);
    QCoreApplication::processEvents();

    clickRow(list("lvwOhjelmat"), model.indexOf(locked));
    EXPECT_FALSE(action("mMuokkaa")->isEnabled());
    clickRow(list("lvwOhjelmat"), model.indexOf(editable));
    EXPECT_TRUE(action("mMuokkaa")->isEnabled());
}

TEST_F(MainWindowTest, BoldToggleTakesBoldOffPhantomsWithoutRefill)
{
    addEntries(entry("A", "Alpha", "C:\\Gone\\x.exe", "1.0"));
    frmPoisto& window = open();
    QAbstractItemModel* model = list("lvwOhjelmat")->model();
    ASSERT_EQ(model->rowCount(), 1);
    EXPECT_TRUE(model->index(0, 0).data(Qt::FontRole).value<QFont>().bold());
    m_ui.pointerHistory.clear();

    action("mLihavoidutRikkinaiset")->trigger();
    for (int column = 0; column < 3; ++column) {
        const QModelIndex cell = model->index(0, column);
        EXPECT_FALSE(cell.data(Qt::FontRole).value<QFont>().bold()) << column;
        EXPECT_EQ(cell.data(Qt::ForegroundRole).value<QColor>(), QColor(192, 0, 0)) << column;
    }
    EXPECT_TRUE(m_ui.pointerHistory.empty()); // no refill ran
    EXPECT_FALSE(window.state().boldPhantoms);
    EXPECT_FALSE(storedOn(settings::kRikkinaisetBold));
}

// An entry of a Windows Installer product that Windows Installer does not know: a phantom with
// the checks on; turning them off stores "ei" and refills the list, which the file check alone
// judges (it finds nothing to look for in an MsiExec string).
TEST_F(MainWindowTest, InstallerChecksToggleRefillsAndIsStored)
{
    addEntries(entry("{23067521-119B-4B0A-BCDD-38835D58077B}", "Product",
                     "MsiExec.exe /X{23067521-119B-4B0A-BCDD-38835D58077B}", "1.0"));
    open();
    QAbstractItemModel* model = list("lvwOhjelmat")->model();
    ASSERT_EQ(model->rowCount(), 1);
    EXPECT_EQ(model->index(0, 0).data(Qt::ForegroundRole).value<QColor>(), QColor(192, 0, 0));
    EXPECT_EQ(statusText(), QStringLiteral("1 phantom program entries (1 entries in total)"));

    action("mCheckInstallerProducts")->trigger();
    EXPECT_NE(model->index(0, 0).data(Qt::ForegroundRole).value<QColor>(), QColor(192, 0, 0));
    EXPECT_TRUE(model->index(0, 0).data(Qt::ToolTipRole).toString().startsWith(tags::kTipFound));
    EXPECT_EQ(statusText(), QStringLiteral("0 phantom program entries (1 entries in total)"));
    EXPECT_TRUE(stored(settings::kInstallerChecks));
    EXPECT_FALSE(storedOn(settings::kInstallerChecks));
}

// Natural order in both columns, and the header shows the sort column and its direction.
TEST_F(MainWindowTest, ListSortsNumbersByValueAndTheHeaderShowsHow)
{
    addEntries(entry("A", "App 10", "", "9.0") + entry("B", "App 2", "", "10.0") +
               entry("C", "App 1", "", "2.4"));
    open();
    QTableView* view = list("lvwOhjelmat");
    QHeaderView* header = view->horizontalHeader();
    const auto column = [view](int c) {
        QStringList texts;
        for (int row = 0; row < view->model()->rowCount(); ++row)
            texts << view->model()->index(row, c).data().toString();
        return texts;
    };
    EXPECT_EQ(column(0), QStringList({"App 1", "App 2", "App 10"}));
    EXPECT_TRUE(header->isSortIndicatorShown());
    EXPECT_EQ(header->sortIndicatorSection(), 0);
    EXPECT_EQ(header->sortIndicatorOrder(), Qt::AscendingOrder);

    QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                      QPoint(header->sectionViewportPosition(2) + 5, header->height() / 2));
    EXPECT_EQ(column(2), QStringList({"2.4", "9.0", "10.0"}));
    EXPECT_EQ(header->sortIndicatorSection(), 2);
    EXPECT_EQ(header->sortIndicatorOrder(), Qt::AscendingOrder);
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                      QPoint(header->sectionViewportPosition(2) + 5, header->height() / 2));
    EXPECT_EQ(column(2), QStringList({"10.0", "9.0", "2.4"}));
    EXPECT_EQ(header->sortIndicatorOrder(), Qt::DescendingOrder);
    EXPECT_EQ(list("lvwPalauta")->horizontalHeader()->sortIndicatorSection(), 0);
}

TEST_F(MainWindowTest, F1OpensReadmeFromProgramFolder)
{
    open();
    QTest::keyClick(list("lvwOhjelmat"), Qt::Key_F1);
    ASSERT_EQ(m_ui.opened.size(), 1);
    EXPECT_EQ(m_ui.opened.front(), QStringLiteral("/opt/nixora/bin/readme.txt"));
}

TEST_F(MainWindowTest, SaysOnceWhenWineProgramsHoldThePrefix)
{
    PrefixStatus status;
    status.wineserverRunning = true;
    status.access = RegistryAccess::LastSave;
    status.readOnlyReason = QStringLiteral("its wineserver is of another Wine build");
    open(status);
    ASSERT_EQ(m_ui.shown.size(), 1u);
    EXPECT_TRUE(m_ui.shown.front().text.contains(QStringLiteral("wineserver -k")));
    EXPECT_TRUE(m_ui.shown.front().text.contains(m_prefix.path()));
    EXPECT_TRUE(m_ui.shown.front().text.contains(status.readOnlyReason));
}

TEST_F(MainWindowTest, SaysWhichFolderWasLookedAtWhenThePrefixIsMissing)
{
    PrefixStatus status;
    status.path = QStringLiteral("/nonexistent/prefix");
    status.exists = false;
    m_ui.queueAnswer(MsgAnswer::No);
    open(status);
    ASSERT_EQ(m_ui.shown.size(), 1u);
    EXPECT_TRUE(m_ui.shown.front().text.contains(QStringLiteral("/nonexistent/prefix")));
}

// A folder without a hive is not taken for an empty prefix: the window says why and, on Yes,
// opens File > Open Prefix... at once.
TEST_F(MainWindowTest, AFolderWithoutSystemRegIsNoPrefixAndAnotherIsOffered)
{
    ASSERT_TRUE(QFile::remove(m_prefix.hivePath(RegRoot::LocalMachine)));
    QString dialogTitle;
    QTimer::singleShot(0, [&dialogTitle] {
        if (QWidget* dialog = QApplication::activeModalWidget()) {
            dialogTitle = dialog->windowTitle();
            dialog->close();
        }
    });
    open();
    ASSERT_EQ(m_ui.shown.size(), 1u);
    const MessageBoxRequest& question = m_ui.shown.front();
    EXPECT_TRUE(question.text.contains(m_prefix.path()));
    EXPECT_TRUE(question.text.contains(QStringLiteral("(no system.reg)")))
        << question.text.toStdString();
    EXPECT_TRUE(question.text.contains(QStringLiteral("File > Open Prefix...")));
    EXPECT_EQ(question.buttons, MsgButtons::YesNo);
    EXPECT_EQ(dialogTitle, QStringLiteral("Open Wine Prefix"));
}

// A prefix whose hives are another prefix's opens read-only and says why.
TEST_F(MainWindowTest, APrefixLinkingToAnothersHivesOpensReadOnlyWithTheReason)
{
    TempPrefix owner;
    for (RegRoot root : {RegRoot::LocalMachine, RegRoot::CurrentUser}) {
        ASSERT_TRUE(QFile::remove(m_prefix.hivePath(root)));
        ASSERT_TRUE(QFile::link(owner.hivePath(root), m_prefix.hivePath(root)));
    }
    open();
    ASSERT_EQ(m_ui.shown.size(), 1u);
    const QString& text = m_ui.shown.front().text;
    EXPECT_TRUE(text.contains(QStringLiteral("is open read-only"))) << text.toStdString();
    EXPECT_TRUE(text.contains(QFileInfo(owner.path()).canonicalFilePath())) << text.toStdString();
    EXPECT_EQ(m_registry->checkWritable().status, RegStatus::ReadOnly);
}

TEST_F(MainWindowTest, MenuCaptionsAndShortcutsAreExact)
{
    open();
    EXPECT_EQ(action("mLihavoidutRikkinaiset")->text(),
              QStringLiteral("&Phantom Program Entries in Bold    "));
    EXPECT_EQ(action("mKopioiLeikepoydalle_1")->text(),
              QStringLiteral("&Copy Uninstaller Location    "));
    EXPECT_EQ(action("mReadmeOhje")->text(), QStringLiteral("View Readme &Help    "));
    EXPECT_EQ(action("mTilaa")->text(), QStringLiteral("&Check for Free Updates..."));
    EXPECT_EQ(action("mRuudukko")->shortcut(), QKeySequence(QStringLiteral("Ctrl+G")));
    EXPECT_EQ(action("mLihavoidutRikkinaiset")->shortcut(), QKeySequence(QStringLiteral("Ctrl+B")));
    EXPECT_EQ(action("mPaivita")->shortcut(), QKeySequence(QStringLiteral("F5")));
    // File: open, the prefixes, the commands on them, then Exit last, as desktop programs have it.
    QStringList fileItems;
    for (QAction* item : menu("mnuTiedosto")->actions())
        fileItems << item->objectName();
    EXPECT_EQ(fileItems, QStringList({"mOpenPrefix", "mnuPrefixes", "mRemovePhantoms",
                                      "mMenuEntries", "mExportList", "vTiedosto", "mLopeta"}));
    EXPECT_EQ(action("mOpenPrefix")->shortcut(), QKeySequence(QStringLiteral("Ctrl+O")));
    EXPECT_EQ(action("mLopeta")->shortcut(), QKeySequence(QStringLiteral("Ctrl+Q")));
    for (QAction* top : m_window->menuBar()->actions())
        EXPECT_FALSE(top->objectName().startsWith(QStringLiteral("mnuPopUp")))
            << top->objectName().toStdString();
}

TEST_F(MainWindowTest, HelpMenuHandsEachTargetToTheShell)
{
    open();
    for (const char* name : {"mKotisivu", "mTilaa", "mRekisteroi", "mOhjelmistotuotanto",
                             "mSivupalvelut", "mReadmeOhje"})
        action(name)->trigger();
    EXPECT_EQ(m_ui.opened,
              QStringList({help::homePage(), help::homePage(), help::mailtoSupport(),
                           help::softwareDevelopmentReferral(), help::webDesignReferral(),
                           QStringLiteral("/opt/nixora/bin/readme.txt")}));
}

TEST_F(MainWindowTest, AboutCommandShowsTheDialogModallyWithPointerSteps)
{
    open();
    m_ui.pointerHistory.clear();
    bool sawDialog = false;
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        sawDialog = dialog != nullptr && dialog->objectName() == QStringLiteral("frmTietoja");
        if (dialog != nullptr)
            dialog->reject();
    });
    action("mTietojaOhjelmasta")->trigger();
    EXPECT_TRUE(sawDialog);
    EXPECT_EQ(m_ui.pointerHistory.front(), kPointerHourglass);
    EXPECT_EQ(m_ui.mousePointer(), kPointerDefault);
}

} // namespace
} // namespace nixora
