#include "support/FixedClock.h"
#include "support/GuiTestApp.h"
#include "support/ScriptedUi.h"
#include "support/TempPrefix.h"

#include "FileQuery.h"
#include "ListViewQtModel.h"
#include "Settings.h"
#include "WineRegistry.h"
#include "backup/RestoreDelete.h"
#include "frmPoisto.h"
#include "help/HelpLinks.h"
#include "inventory/EntryTags.h"
#include "prefixes/RecentPrefixes.h"

#include <QAction>
#include <QDialog>
#include <QFileInfo>
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
        m_prefix.setHiveBody(
            RegRoot::CurrentUser,
            test::hiveKeyBlock(QStringLiteral("Software\\Qelvaro\\Nixora"), values));
    }

    void addEntries(const QString& body) { m_prefix.setHiveBody(RegRoot::LocalMachine, body); }

    frmPoisto& open(PrefixStatus status = {})
    {
        Services services;
        services.ui = &m_ui;
        services.clock = &m_clock;
        services.programFolder = QStringLiteral("/opt/nixora/bin");
        services.regeditProgram = QStringLiteral(NIXORA_BIN_DIR "/nixora-regedit");
        m_workspace = std::make_unique<Workspace>(services);
        const PrefixStatus opened = m_workspace->openPrefix(m_prefix.prefix());
        m_registry = m_workspace->services.registry;
        if (status.path.isEmpty())
            status.path = opened.path;
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
        return m_registry->queryValue(RegRoot::CurrentUser, settings::kReadPath, name).has_value();
    }
    bool storedOn(const QString& name) const { return settings::readPreference(*m_registry, name); }

    // Presses and releases a mouse button on a row of a list, as the user does.
    void clickRow(QTableView* view, int row, Qt::MouseButton button = Qt::LeftButton)
    {
        const QPoint at = view->visualRect(view->model()->index(row, 0)).center();
        QTest::mouseClick(view->viewport(), button, {}, at);
    }

    TempPrefix m_prefix;
    ScriptedUi m_ui;
    FixedClock m_clock{QDateTime(QDate(2024, 3, 2), QTime(8, 5, 9))};
    std::unique_ptr<Workspace> m_workspace;
    Registry* m_registry = nullptr;
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
    for (const char* name :
         {"mRuudukko", "mTilarivi", "mSelkokielisetOhjelmanimet", "mLihavoidutRikkinaiset"})
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

TEST_F(MainWindowTest, KeyboardPopupOpensAtStartPositionThenOffTheLastPress)
{
    addEntries(entry("A", "Alpha", "C:\\x.exe", "1.0") + entry("B", "Beta", "C:\\y.exe", ""));
    frmPoisto& window = open();
    QWidget* client = window.centralWidget();
    QMenu* popup = menu("mnuPopUp");

    QTest::keyClick(list("lvwOhjelmat"), Qt::Key_F10, Qt::ShiftModifier);
    ASSERT_TRUE(popup->isVisible());
    EXPECT_EQ(popup->pos(), client->mapToGlobal(QPoint(290 / 15, 770 / 15)));
    popup->hide();

    // A press 30 px right and 45 px down in the list (2nd row): popup 50 twips further on.
    QTableView* view = list("lvwOhjelmat");
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

TEST_F(MainWindowTest, PrefixesMenuSwitchesBothListsTheOptionsAndTheTitle)
{
    addEntries(entry("A", "Alpha", "C:\\x.exe", "1.0"));
    TempPrefix other;
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
    // A folder without Wine's hive changes nothing.
    EXPECT_FALSE(window.switchPrefix(home.path(), QString()));
    ASSERT_EQ(m_ui.shown.size(), 1u);
    EXPECT_EQ(list("lvwOhjelmat")->model()->rowCount(), 1);

    QMenu* prefixesMenu = menu("mnuPrefixes");
    emit prefixesMenu->aboutToShow();
    ASSERT_EQ(prefixesMenu->actions().size(), 1);
    prefixesMenu->actions().front()->trigger();
    QCoreApplication::processEvents();
    EXPECT_EQ(list("lvwOhjelmat")->model()->rowCount(), 2);
    EXPECT_EQ(list("lvwPalauta")->model()->rowCount(), 1);
    EXPECT_EQ(statusText(), QStringLiteral("2 phantom program entries (2 entries in total)"));
    EXPECT_FALSE(action("mTilarivi")->isChecked());
    EXPECT_TRUE(window.windowTitle().contains(other.path()));
    EXPECT_EQ(prefixes::RecentPrefixes(recentFile).list().front(),
              QFileInfo(other.path()).canonicalFilePath());
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
    EXPECT_TRUE(m_ui.shown[0].text.contains(QLatin1String("cannot be opened: system.reg is too "
                                                          "large to read (64.0 GiB;")))
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

TEST_F(MainWindowTest, VersionSortsAsTextAndReversesOnSecondClick)
{
    addEntries(entry("A", "Alpha", "", "9.0") + entry("B", "Beta", "", "10.0"));
    open();
    QTableView* view = list("lvwOhjelmat");
    const auto firstVersion = [view] { return view->model()->index(0, 2).data().toString(); };
    view->horizontalHeader()->sectionClicked(2);
    EXPECT_EQ(firstVersion(), QStringLiteral("10.0"));
    view->horizontalHeader()->sectionClicked(2);
    EXPECT_EQ(firstVersion(), QStringLiteral("9.0"));
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
    open(status);
    ASSERT_EQ(m_ui.shown.size(), 1u);
    EXPECT_TRUE(m_ui.shown.front().text.contains(QStringLiteral("wineserver -k")));
    EXPECT_TRUE(m_ui.shown.front().text.contains(m_prefix.path()));
}

TEST_F(MainWindowTest, SaysWhichFolderWasLookedAtWhenThePrefixIsMissing)
{
    PrefixStatus status;
    status.path = QStringLiteral("/nonexistent/prefix");
    status.exists = false;
    open(status);
    ASSERT_EQ(m_ui.shown.size(), 1u);
    EXPECT_TRUE(m_ui.shown.front().text.contains(QStringLiteral("/nonexistent/prefix")));
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
