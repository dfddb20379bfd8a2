#pragma once

#include "WindowState.h"
#include "Workspace.h"
#include "prefixes/DiscoverySource.h"
#include "prefixes/PrefixDiscovery.h"

#include <QMainWindow>
#include <QPointer>

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <thread>
#include <vector>

class QAction;
class QFrame;
class QLabel;
class QMenu;
class QStatusBar;
class QTabWidget;
class QTableView;

namespace nixora
{

class FindBar;
class ListViewQtModel;

// The main window: two pages behind a tab strip, the entry list and the backup list, a status
// bar and the menus. Geometry is in twips (15 twips = 1 pixel), as the layout was designed.
// It is the workspace's view while it lives; the workspace must outlive it.
class frmPoisto final : public QMainWindow, public WorkspaceView
{
    Q_OBJECT
public:
    explicit frmPoisto(Workspace& workspace, PrefixStatus prefixStatus = {},
                       QWidget* parent = nullptr);
    ~frmPoisto() override;

    // What the workspace tells the window.
    void showSelectedPage() override { tsValitsin_Click(); }
    void entrySelectionChanged() override { lvwOhjelmat_Click(); }
    void backupSelectionChanged() override { lvwPalauta_Click(); }
    void fillEntries() override;
    void fillBackups() override;
    void refresh() override { mPaivita_Click(); }

    // The load sequence: applies the stored view preferences, shows the window and fills both
    // lists.
    void Form_Load();

    // Handlers of the window.
    void tsValitsin_Click();
    void mRuudukko_Click();
    void mTilarivi_Click();
    void mSelkokielisetOhjelmanimet_Click();
    void mLihavoidutRikkinaiset_Click();
    // View > Check Windows Installer Products: on, an entry whose Windows Installer product is
    // not registered or has lost its package is a phantom; off, only the file check judges.
    void mCheckInstallerProducts_Click();
    void mPaivita_Click();
    void mLopeta_Click();
    // Key code and shift bits (1 Shift, 2 Ctrl, 4 Alt); true when the key opened a menu.
    bool Form_KeyDown(int16_t KeyCode, int16_t Shift);
    // Shows the next (1) or previous (-1) page, as Ctrl+Tab and Ctrl+Shift+Tab do.
    void switchPage(int step);

    // Handlers of the entry list.
    void lvwOhjelmat_ItemClick(int row);
    void lvwOhjelmat_Click();
    void lvwOhjelmat_ColumnClick(int column);
    void lvwOhjelmat_MouseDown(int16_t Button, int16_t Shift, float X, float Y);
    void lvwOhjelmat_MouseUp(int16_t Button, int16_t Shift, float X, float Y);

    // Handlers of the backup list.
    void lvwPalauta_ItemClick(int row);
    void lvwPalauta_Click();
    void lvwPalauta_ColumnClick(int column);
    void lvwPalauta_MouseDown(int16_t Button, int16_t Shift, float X, float Y);
    void lvwPalauta_MouseUp(int16_t Button, int16_t Shift, float X, float Y);

    // Help menu.
    void mReadmeOhje_Click();
    void mKotisivu_Click();
    void mTilaa_Click();
    void mRekisteroi_Click();
    void mOhjelmistotuotanto_Click();
    void mSivupalvelut_Click();
    void mTietojaOhjelmasta_Click();

    // Entry popup: the Modify dialog.
    void mMuokkaa_Click();

    // Where File > Prefixes looks for prefixes and where opened prefixes are remembered; the
    // window starts with the user's home, environment and configuration.
    void setPrefixSources(prefixes::DiscoveryInput input, QString recentFile);
    // What counts each prefix's entries and phantoms for File > Prefixes; without one the
    // menu shows no counts.
    void setPrefixCounter(prefixes::PrefixCounter counter);
    // File > Open Prefix...: a folder dialog, then switchPrefix.
    void mOpenPrefix_Click();
    // Opens the Wine prefix in `folder` in this window (both lists, the view options stored in
    // it, the wineserver notice, the title) and remembers it. A folder without a Wine hive gets
    // a message and changes nothing. `name` is how discovery named it, if it did.
    bool switchPrefix(const QString& folder, const QString& name);

    // File > Export List...: the visible entry list as CSV or HTML.
    void mExportList_Click();
    // File > Menu Entries...: the menu files Wine made for the prefix's programs.
    void mMenuEntries_Click();

    // View > Find... (Ctrl+F): opens the find bar, which filters the visible list.
    void openFind();

    [[nodiscard]] WindowState& state() { return m_state; }
    [[nodiscard]] Workspace& context() { return m_ctx; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    class KeyPreview;
    void enableKeyPreview();
    void createControls();
    void createMenus();         // frmPoistoMenus.cpp
    void createPopupMenus();    // frmPoistoMenus.cpp
    void connectMenuCommands(); // frmPoistoMenus.cpp
    QAction* newAction(const QString& name, const QString& caption);
    void setupList(QTableView* view, ListViewQtModel* model);
    // The keys (or a drag) chose the list's current row: it gets the clicks a click gives.
    void keysChoseCurrentRow(QTableView* view, ListViewQtModel* model);
    void applyPreferences();
    void applyStatusBarLayout(bool shown);
    void setGridLines(bool on);
    void syncPopupActions();
    void showPopup(QMenu* menu, QPoint globalPosition);
    void showPrefixNotices();
    void applyFind();
    void endHiddenSelections();
    [[nodiscard]] QPoint keyboardPopupPosition(QTableView* view, ListViewQtModel* model);
    void showPrefixTitle();
    void fillPrefixesMenu(); // frmPoistoPrefixes.cpp
    void startCounting(std::vector<prefixes::DiscoveredPrefix> found);
    void stopCounting();
    void showPrefixCounts(int run, size_t index, prefixes::PrefixCounts counts);
    void runCommand(void (*command)(Workspace&));
    bool listMouseEvent(QTableView* view, QEvent* event);
    [[nodiscard]] QPoint twipsToWindow(int x, int y) const;

    Workspace& m_ctx;
    WindowState& m_state;
    PrefixStatus m_prefixStatus;

    QWidget* m_client = nullptr;
    QFrame* m_fraKehysviiva = nullptr;
    QTabWidget* m_tsValitsin = nullptr;
    QWidget* m_picLisaaPoista = nullptr;
    QWidget* m_picPalauta = nullptr;
    QTableView* m_lvwOhjelmat = nullptr;
    QTableView* m_lvwPalauta = nullptr;
    QStatusBar* m_sbTilarivi = nullptr;
    std::array<QLabel*, 2> m_panels{};
    ListViewQtModel* m_ohjelmatModel = nullptr;
    ListViewQtModel* m_palautaModel = nullptr;
    KeyPreview* m_keyPreview = nullptr;
    FindBar* m_findBar = nullptr;
    QMenu* m_mnuPrefixes = nullptr;
    prefixes::DiscoveryInput m_discoveryInput;
    QString m_recentFile;
    QString m_prefixName; // as discovery named the open prefix; empty: the folder's name
    prefixes::PrefixCounter m_prefixCounter;
    std::vector<QPointer<QAction>> m_prefixItems; // File > Prefixes, in menu order
    std::thread m_countThread;                    // counts the prefixes of the menu
    std::shared_ptr<std::atomic<bool>> m_countCancelled;
    int m_countRun = 0; // which opening of the menu the counts belong to
    int m_pressedRow = -1;
    const ListRow* m_pressedListRow = nullptr; // the row the last press landed on, if any
    bool m_mouseDown = false;

    // Menus. The popup menus are never added to the menu bar.
    QMenu* m_mnuPopUp = nullptr;
    QMenu* m_mnuPopUp2 = nullptr;
    QAction* m_mRuudukko = nullptr;
    QAction* m_mTilarivi = nullptr;
    QAction* m_mSelkokielisetOhjelmanimet = nullptr;
    QAction* m_mLihavoidutRikkinaiset = nullptr;
    QAction* m_mCheckInstallerProducts = nullptr;
    QAction* m_mTilaa = nullptr;
    QAction* m_mRekisteroi = nullptr;
    QAction* m_mTietojaOhjelmasta = nullptr;
    QAction* m_mAjaPoistoohjelma = nullptr;
    QAction* m_mPoistaRekisterista = nullptr;
    QAction* m_mVarmuuskopioi = nullptr;
    QAction* m_mMuokkaa = nullptr;
    std::array<QAction*, 3> m_mKopioiLeikepoydalle{};
    QAction* m_mPalauta = nullptr;
    QAction* m_mPoistaVarmuuskopioitu = nullptr;

    QPointer<QWidget> m_openDialog; // the About or Modify dialog while one is open
};

} // namespace nixora
