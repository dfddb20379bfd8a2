#include "frmPoisto.h"

#include "Twips.h"

#include "FindBar.h"
#include "ListViewQtModel.h"
#include "Settings.h"
#include "StatusBar.h"
#include "backup/BackupList.h"
#include "inventory/EntryEnumeration.h"
#include "inventory/EntryListInteraction.h"
#include "inventory/EntryRows.h"
#include "prefixes/RecentPrefixes.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFrame>
#include <QHeaderView>
#include <QLabel>
#include <QLayout>
#include <QMenu>
#include <QStatusBar>
#include <QTabBar>
#include <QTabWidget>
#include <QTableView>

#include <cmath>

namespace nixora
{

namespace
{

constexpr int kClientWidth = 8670;
constexpr int kClientHeight = 6165;
constexpr int kPageLeft = 240;
constexpr int kPageTop = 720;
constexpr int kPageWidth = 8175;
constexpr int kTabLeft = 120;
constexpr int kTabTop = 240;
constexpr int kTabWidth = 8415;
constexpr int kTabHeightWithStatus = 5535;
constexpr int kTabHeightWithoutStatus = 5775;
constexpr int kPageHeightWithStatus = 4815;
constexpr int kPageHeightWithoutStatus = 5055;
constexpr int kHelpPanelWidth = 1440;
constexpr int kPopupOffset = 50;

constexpr int16_t kKeyContextMenu = 93;
constexpr int16_t kKeyF10 = 121;
constexpr int16_t kShiftBit = 1;
constexpr int16_t kCtrlBit = 2;

void setupColumns(ListViewModel& list, const std::array<QString, 3>& captions,
                  const std::array<int, 3>& widths)
{
    for (int column = 0; column < 3; ++column)
        list.setColumn(column, captions[static_cast<size_t>(column)],
                       widths[static_cast<size_t>(column)]);
}

const std::array<QString, 3> kEntryCaptions{QStringLiteral("Application Name"),
                                            QStringLiteral("Uninstaller Location"),
                                            QStringLiteral("Version")};
const std::array<QString, 3> kBackupCaptions{
    QStringLiteral("Date"), QStringLiteral("Application Entry"), QStringLiteral("Version")};
constexpr std::array<int, 3> kEntryWidths{2500, 3900, 1300};
constexpr std::array<int, 3> kBackupWidths{1800, 4600, 1300};

} // namespace

frmPoisto::frmPoisto(Workspace& workspace, PrefixStatus prefixStatus, QWidget* parent)
    : QMainWindow(parent), m_ctx(workspace), m_state(workspace.state),
      m_prefixStatus(std::move(prefixStatus))
{
    setObjectName(QStringLiteral("frmPoisto"));
    setWindowTitle(QStringLiteral("Nixora"));
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);

    // Both lists start sorted by their first column, ascending.
    for (ListViewModel* list : {&m_state.lvwOhjelmat, &m_state.lvwPalauta}) {
        list->setSorted(true);
        list->setSortKey(0);
        list->setSortOrder(0);
    }
    setupColumns(m_state.lvwOhjelmat, kEntryCaptions, kEntryWidths);
    setupColumns(m_state.lvwPalauta, kBackupCaptions, kBackupWidths);

    createControls();
    createMenus();
    connectMenuCommands();
    m_ctx.setView(this);
    setPrefixSources(prefixes::userDiscoveryInput(), prefixes::RecentPrefixes::defaultFile());
}

frmPoisto::~frmPoisto()
{
    stopCounting();
    m_ctx.setView(nullptr);
}

void frmPoisto::fillEntries()
{
    m_pressedListRow = nullptr; // the rows go
    ListaaLisaaPoistaOhjelmat(m_ctx);
}

void frmPoisto::fillBackups()
{
    m_pressedListRow = nullptr;
    ListaaPalautettavatOhjelmat(m_ctx);
}

void frmPoisto::createControls()
{
    m_client = new QWidget(this);
    m_client->setObjectName(QStringLiteral("client"));
    m_client->setFixedSize(px(kClientWidth), px(kClientHeight));
    setCentralWidget(m_client);
    // The window keeps its designed size: no resizing, no maximise button.
    layout()->setSizeConstraint(QLayout::SetFixedSize);

    m_fraKehysviiva = new QFrame(m_client);
    m_fraKehysviiva->setObjectName(QStringLiteral("fraKehysviiva"));
    m_fraKehysviiva->setFrameShape(QFrame::HLine);
    m_fraKehysviiva->setFrameShadow(QFrame::Sunken);
    m_fraKehysviiva->setGeometry(twipRect(-120, 0, 12000, 35));

    m_tsValitsin = new QTabWidget(m_client);
    m_tsValitsin->setObjectName(QStringLiteral("tsValitsin"));
    m_tsValitsin->addTab(new QWidget, QStringLiteral("Remove/Uninstall Programs"));
    m_tsValitsin->addTab(new QWidget, QStringLiteral("Restore Removed Entries"));
    m_tsValitsin->tabBar()->setTabData(0, kTabEntries);
    m_tsValitsin->tabBar()->setTabData(1, kTabBackups);
    m_tsValitsin->setCurrentIndex(0);
    connect(m_tsValitsin, &QTabWidget::currentChanged, this, [this](int index) {
        m_state.selectedTab = m_tsValitsin->tabBar()->tabData(index).toString();
        tsValitsin_Click();
    });

    // The pages lie over the tab strip's own (empty) pages, on top of each other.
    m_picLisaaPoista = new QWidget(m_client);
    m_picLisaaPoista->setObjectName(QStringLiteral("picLisaaPoista"));
    m_picPalauta = new QWidget(m_client);
    m_picPalauta->setObjectName(QStringLiteral("picPalauta"));

    m_lvwOhjelmat = new QTableView(m_picLisaaPoista);
    m_lvwOhjelmat->setObjectName(QStringLiteral("lvwOhjelmat"));
    m_ohjelmatModel = new ListViewQtModel(m_state.lvwOhjelmat, this);
    setupList(m_lvwOhjelmat, m_ohjelmatModel);
    m_lvwPalauta = new QTableView(m_picPalauta);
    m_lvwPalauta->setObjectName(QStringLiteral("lvwPalauta"));
    m_palautaModel = new ListViewQtModel(m_state.lvwPalauta, this);
    setupList(m_lvwPalauta, m_palautaModel);

    connect(m_lvwOhjelmat->horizontalHeader(), &QHeaderView::sectionClicked, this,
            [this](int column) { lvwOhjelmat_ColumnClick(column); });
    connect(m_lvwPalauta->horizontalHeader(), &QHeaderView::sectionClicked, this,
            [this](int column) { lvwPalauta_ColumnClick(column); });

    m_sbTilarivi = new QStatusBar(m_client);
    m_sbTilarivi->setObjectName(QStringLiteral("sbTilarivi"));
    m_sbTilarivi->setSizeGripEnabled(false);
    m_sbTilarivi->setGeometry(twipRect(0, 5910, kClientWidth, 255));
    m_panels[0] = new QLabel(QStringLiteral("0 phantom program entries (0 entries in total)"));
    m_panels[1] = new QLabel(QStringLiteral("For Help, press F1"));
    m_panels[0]->setObjectName(QStringLiteral("sbTilarivi_Panel1"));
    m_panels[1]->setObjectName(QStringLiteral("sbTilarivi_Panel2"));
    // Linux fonts run wider than the ones the layout was drawn with: the help panel is 1440
    // twips unless its text needs more.
    m_panels[1]->setMinimumWidth(px(kHelpPanelWidth));
    for (QLabel* panel : m_panels) {
        panel->setFrameShape(QFrame::Panel);
        panel->setFrameShadow(QFrame::Sunken);
        panel->setContentsMargins(2, 0, 2, 0);
    }
    m_sbTilarivi->addWidget(m_panels[0], 1);
    m_sbTilarivi->addPermanentWidget(m_panels[1]);

    applyStatusBarLayout(true);

    m_findBar = new FindBar(this);
    addToolBar(Qt::BottomToolBarArea, m_findBar);
    connect(m_findBar, &FindBar::changed, this, [this] { applyFind(); });
}

void frmPoisto::openFind()
{
    m_findBar->open();
    applyFind();
}

// While the find bar is open the visible list shows only the rows that match, and the status
// bar counts them; the other list shows every row.
void frmPoisto::applyFind()
{
    const QString text = m_findBar->text();
    const bool backups = m_state.selectedTab == kTabBackups;
    m_ohjelmatModel->setFilter(backups ? QString() : text);
    m_palautaModel->setFilter(backups ? text : QString());
    if (!m_findBar->isOpen()) {
        m_panels[0]->setText(m_state.statusText);
        return;
    }
    endHiddenSelections();
    ListViewQtModel* model = backups ? m_palautaModel : m_ohjelmatModel;
    const int total = backups ? m_state.lvwPalauta.rowCount() : m_state.lvwOhjelmat.rowCount();
    m_panels[0]->setText(QStringLiteral("%1 of %2 entries").arg(model->rowCount()).arg(total));
}

// A command may act only on the row the user can see highlighted: a selection the filter hides
// ends, and with it every command of its popup.
void frmPoisto::endHiddenSelections()
{
    const ListRow* entry = m_state.lvwOhjelmat.selectedRow();
    if (entry != nullptr && m_ohjelmatModel->shownRowOf(entry) < 0)
        endEntrySelection(m_state);
    const ListRow* backup = m_state.lvwPalauta.selectedRow();
    if (backup != nullptr && m_palautaModel->shownRowOf(backup) < 0)
        endBackupSelection(m_state);
    syncPopupActions();
}

void frmPoisto::setupList(QTableView* view, ListViewQtModel* model)
{
    model->attachView(view);
    view->setSelectionBehavior(QAbstractItemView::SelectRows);
    view->setSelectionMode(QAbstractItemView::SingleSelection);
    view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view->setSortingEnabled(false);
    view->setWordWrap(false);
    view->setTextElideMode(Qt::ElideRight);
    view->setContextMenuPolicy(Qt::PreventContextMenu);
    view->verticalHeader()->hide();
    view->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    view->verticalHeader()->setDefaultSectionSize(view->fontMetrics().height() + 4);
    view->horizontalHeader()->setSectionsClickable(true);
    view->horizontalHeader()->setHighlightSections(false);
    view->horizontalHeader()->setStretchLastSection(false);
    view->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    view->viewport()->installEventFilter(this);
    // Moving the highlight with the keyboard (or dragging it) clicks the new row, as a click
    // does. A key may also select the current row where it is (Space on the row that tabbing
    // into the list made current), which changes the selection alone.
    connect(view->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this, view, model] { keysChoseCurrentRow(view, model); });
    connect(view->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this, view, model] { keysChoseCurrentRow(view, model); });
}

void frmPoisto::keysChoseCurrentRow(QTableView* view, ListViewQtModel* model)
{
    // The row a press lands on gets its clicks on the release.
    const QModelIndex current = view->selectionModel()->currentIndex();
    if (model->applyingSelection() || !current.isValid() ||
        !view->selectionModel()->isRowSelected(current.row(), {}) ||
        (m_mouseDown && current.row() == m_pressedRow))
        return;
    const ListRow* row = model->rowAt(current.row());
    const ListViewModel& list = view == m_lvwOhjelmat ? m_state.lvwOhjelmat : m_state.lvwPalauta;
    if (row == nullptr || (row == list.selectedRow() && row->highlighted))
        return; // clicked already: a move raises both signals
    if (view == m_lvwOhjelmat) {
        lvwOhjelmat_ItemClick(current.row());
        lvwOhjelmat_Click();
    } else {
        lvwPalauta_ItemClick(current.row());
        lvwPalauta_Click();
    }
}

QPoint frmPoisto::twipsToWindow(int x, int y) const
{
    return {px(x), px(y)};
}

void frmPoisto::applyStatusBarLayout(bool shown)
{
    const int tabHeight = shown ? kTabHeightWithStatus : kTabHeightWithoutStatus;
    const int pageHeight = shown ? kPageHeightWithStatus : kPageHeightWithoutStatus;
    m_sbTilarivi->setVisible(shown);
    m_tsValitsin->setGeometry(twipRect(kTabLeft, kTabTop, kTabWidth, tabHeight));
    m_picLisaaPoista->setGeometry(twipRect(kPageLeft, kPageTop, kPageWidth, pageHeight));
    m_lvwOhjelmat->setGeometry(twipRect(0, 0, kPageWidth, pageHeight));
    m_picPalauta->setGeometry(twipRect(kPageLeft, kPageTop, kPageWidth, pageHeight));
    m_lvwPalauta->setGeometry(twipRect(0, 0, kPageWidth, pageHeight));
    m_picLisaaPoista->raise();
    m_picPalauta->raise();
}

void frmPoisto::setGridLines(bool on)
{
    m_state.lvwOhjelmat.setGridLines(on);
    m_state.lvwPalauta.setGridLines(on);
    m_ohjelmatModel->flush();
    m_palautaModel->flush();
}

void frmPoisto::Form_Load()
{
    enableKeyPreview();
    m_state.popupX = static_cast<int16_t>(kPageLeft + kPopupOffset);
    m_state.popupY = static_cast<int16_t>(kPageTop + kPopupOffset);
    m_picLisaaPoista->show();
    m_picPalauta->hide();
    m_picLisaaPoista->setFocusPolicy(Qt::NoFocus);
    m_picPalauta->setFocusPolicy(Qt::NoFocus);
    setupColumns(m_state.lvwOhjelmat, kEntryCaptions, kEntryWidths);
    setupColumns(m_state.lvwPalauta, kBackupCaptions, kBackupWidths);
    applyPreferences();

    showPrefixTitle();
    m_mTilaa->setText(QStringLiteral("&Check for Free Updates..."));
    m_mRekisteroi->setText(QStringLiteral("&Email Technical Support..."));
    m_mTietojaOhjelmasta->setText(QStringLiteral("&About Nixora..."));

    // The window is drawn before the lists are filled.
    m_ctx.services.ui->processEvents();
    show();
    m_ctx.services.ui->processEvents();
    mPaivita_Click();
    m_picLisaaPoista->setFocus();
    showPrefixNotices();
}

void frmPoisto::applyPreferences()
{
    Registry& registry = *m_ctx.services.settings;
    const bool grid = settings::readPreference(registry, settings::kRuudukko);
    m_mRuudukko->setChecked(grid);
    setGridLines(grid);

    const bool statusBar = settings::readPreference(registry, settings::kTilarivi);
    m_mTilarivi->setChecked(statusBar);
    applyStatusBarLayout(statusBar);

    m_ctx.loadListPreferences();
    m_mSelkokielisetOhjelmanimet->setChecked(m_state.friendlyNames);
    m_mLihavoidutRikkinaiset->setChecked(m_state.boldPhantoms);
    m_mCheckInstallerProducts->setChecked(m_state.installerChecks);
}

void frmPoisto::showPrefixNotices()
{
    UiServices& ui = *m_ctx.services.ui;
    const QString path = m_prefixStatus.path;
    if (!m_prefixStatus.exists || !m_prefixStatus.notAPrefix.isEmpty()) {
        QString text = QStringLiteral("No Wine prefix was found at\n%1\n").arg(path);
        if (!m_prefixStatus.notAPrefix.isEmpty())
            text += QStringLiteral("(%1)\n").arg(m_prefixStatus.notAPrefix);
        if (!m_prefixStatus.error.isEmpty())
            text += m_prefixStatus.error + QLatin1Char('\n');
        text += QStringLiteral("\nChoose the folder that holds system.reg with File > Open "
                               "Prefix..., or start Nixora with --prefix and that folder, or with "
                               "WINEPREFIX set to it.\n\nOpen a prefix now?");
        if (ui.messageBox({text, QStringLiteral("Nixora"), MsgButtons::YesNo, MsgIcon::Exclamation,
                           MsgAnswer::Yes}) == MsgAnswer::Yes)
            mOpenPrefix_Click();
        return;
    }
    if (!m_prefixStatus.writeRefusal.isEmpty()) {
        const QString text = QStringLiteral("The prefix\n%1\nis open read-only: entries can be "
                                            "listed but not removed, restored or modified.\n\n%2")
                                 .arg(path, m_prefixStatus.writeRefusal);
        ui.messageBox(
            {text, QStringLiteral("Nixora"), MsgButtons::Ok, MsgIcon::Exclamation, MsgAnswer::Ok});
        return;
    }
    if (const QString problem = m_ctx.services.registry->readProblem(); !problem.isEmpty()) {
        ui.messageBox({QStringLiteral("The registry of the prefix\n%1\ncannot be read:\n%2\n\n"
                                      "Its entries are not listed.")
                           .arg(path, problem),
                       QStringLiteral("Nixora"), MsgButtons::Ok, MsgIcon::Exclamation,
                       MsgAnswer::Ok});
        return;
    }
    if (m_prefixStatus.access == RegistryAccess::LastSave) {
        const QString text =
            QStringLiteral("Wine programs are running in the prefix\n%1\nand Nixora cannot join "
                           "their wineserver, because %2.\n\n"
                           "The lists show the registry as Wine last saved it, at %3. Until those "
                           "programs end, entries can be listed but not removed, restored or "
                           "modified.\n\n"
                           "Close those programs, or end them all with\n"
                           "    WINEPREFIX=\"%1\" wineserver -k\n"
                           "and then choose Refresh (F5).")
                .arg(path, m_prefixStatus.readOnlyReason, savedAtText(m_prefixStatus));
        ui.messageBox(
            {text, QStringLiteral("Nixora"), MsgButtons::Ok, MsgIcon::Exclamation, MsgAnswer::Ok});
    }
}

void frmPoisto::tsValitsin_Click()
{
    const int tab = m_state.selectedTab == kTabBackups ? 1 : 0;
    if (m_state.selectedTab == kTabEntries || m_state.selectedTab == kTabBackups) {
        if (m_tsValitsin->currentIndex() != tab) {
            const QSignalBlocker blocker(m_tsValitsin);
            m_tsValitsin->setCurrentIndex(tab);
        }
        m_picLisaaPoista->setVisible(tab == 0);
        m_picPalauta->setVisible(tab == 1);
    }
    updateStatusText(m_state);
    if (m_findBar->isOpen())
        applyFind();
    else
        m_panels[0]->setText(m_state.statusText);
}

void frmPoisto::mRuudukko_Click()
{
    // QAction flips its check mark before triggered() arrives.
    const bool on = m_mRuudukko->isChecked();
    setGridLines(on);
    settings::writePreference(*m_ctx.services.settings, settings::kRuudukko, on);
}

void frmPoisto::mTilarivi_Click()
{
    const bool shown = m_mTilarivi->isChecked();
    applyStatusBarLayout(shown);
    settings::writePreference(*m_ctx.services.settings, settings::kTilarivi, shown);
}

void frmPoisto::mSelkokielisetOhjelmanimet_Click()
{
    m_state.friendlyNames = m_mSelkokielisetOhjelmanimet->isChecked();
    settings::writePreference(*m_ctx.services.settings, settings::kSelkokieli,
                              m_state.friendlyNames);
    mPaivita_Click();
}

void frmPoisto::mLihavoidutRikkinaiset_Click()
{
    m_state.boldPhantoms = m_mLihavoidutRikkinaiset->isChecked();
    showPhantomsBold(m_ctx);
    m_ctx.services.ui->processEvents();
    m_state.lvwOhjelmat.repaint();
    settings::writePreference(*m_ctx.services.settings, settings::kRikkinaisetBold,
                              m_state.boldPhantoms);
}

void frmPoisto::mCheckInstallerProducts_Click()
{
    m_state.installerChecks = m_mCheckInstallerProducts->isChecked();
    settings::writePreference(*m_ctx.services.settings, settings::kInstallerChecks,
                              m_state.installerChecks);
    mPaivita_Click();
}

void frmPoisto::mPaivita_Click()
{
    UiServices& ui = *m_ctx.services.ui;
    ui.setMousePointer(kPointerHourglass);
    fillEntries();
    fillBackups();
    syncPopupActions();
    // A server may have started or ended since: the title says what the lists are now.
    const PrefixStatus before = m_ctx.status();
    const PrefixStatus now = m_ctx.currentStatus();
    if (now.exists &&
        (now.access != before.access || now.readOnlyReason != before.readOnlyReason)) {
        m_prefixStatus = now;
        showPrefixTitle();
    }
    ui.setMousePointer(kPointerDefault);
}

void frmPoisto::mLopeta_Click()
{
    m_ctx.services.ui->setMousePointer(kPointerHourglass);
    if (m_openDialog)
        m_openDialog->close();
    close();
    QCoreApplication::quit();
}

bool frmPoisto::Form_KeyDown(int16_t KeyCode, int16_t Shift)
{
    const bool shiftF10 = KeyCode == kKeyF10 && (Shift & kShiftBit) && !(Shift & kCtrlBit);
    if (KeyCode != kKeyContextMenu && !shiftF10)
        return false;
    if (!m_picLisaaPoista->isHidden() && !m_state.entry.SelectedEntryName.isEmpty()) {
        showPopup(m_mnuPopUp, keyboardPopupPosition(m_lvwOhjelmat, m_ohjelmatModel));
        return true;
    }
    if (!m_picPalauta->isHidden() && !m_state.backup.SelectedBackupName.isEmpty()) {
        showPopup(m_mnuPopUp2, keyboardPopupPosition(m_lvwPalauta, m_palautaModel));
        return true;
    }
    return false;
}

// Highlights the list's selected row again and says where its keyboard popup opens: at the
// stored position when a press chose that row (it lies on the row, off the press), else just
// below the row, which is scrolled into view, so the menu never covers the row it acts on.
QPoint frmPoisto::keyboardPopupPosition(QTableView* view, ListViewQtModel* model)
{
    ListViewModel& list = model == m_ohjelmatModel ? m_state.lvwOhjelmat : m_state.lvwPalauta;
    ListRow* row = list.selectedRow();
    if (row != nullptr)
        list.setHighlighted(row, true);
    const int shown = row != nullptr ? model->shownRowOf(row) : -1;
    if (row == nullptr || row == m_pressedListRow || shown < 0)
        return m_client->mapToGlobal(twipsToWindow(m_state.popupX, m_state.popupY));
    const QModelIndex index = model->index(shown, 0);
    view->scrollTo(index);
    const QRect cell = view->visualRect(index);
    return view->viewport()->mapToGlobal(QPoint(cell.left() + px(kPopupOffset), cell.bottom()));
}

// Ctrl+Tab, Ctrl+PgDn (step 1) and Ctrl+Shift+Tab, Ctrl+PgUp (step -1) go round the pages as
// the tab strip's own clicks do; the focus goes to the list of the page shown.
void frmPoisto::switchPage(int step)
{
    const int count = m_tsValitsin->count();
    m_tsValitsin->setCurrentIndex((m_tsValitsin->currentIndex() + step + count) % count);
    QTableView* shown = m_state.selectedTab == kTabBackups ? m_lvwPalauta : m_lvwOhjelmat;
    shown->setFocus(Qt::TabFocusReason);
}

void frmPoisto::showPopup(QMenu* menu, QPoint globalPosition)
{
    syncPopupActions();
    menu->popup(globalPosition);
}

void frmPoisto::syncPopupActions()
{
    const EntryPopupState& popup = m_state.popup;
    m_mAjaPoistoohjelma->setEnabled(popup.mAjaPoistoohjelma);
    m_mPoistaRekisterista->setEnabled(popup.mPoistaRekisterista);
    m_mVarmuuskopioi->setEnabled(popup.mVarmuuskopioi);
    m_mMuokkaa->setEnabled(popup.mMuokkaa);
    for (size_t i = 0; i < m_mKopioiLeikepoydalle.size(); ++i)
        m_mKopioiLeikepoydalle[i]->setEnabled(popup.mKopioiLeikepoydalle[i]);
    const bool backup = !m_state.backup.SelectedBackupFile.isEmpty();
    m_mPalauta->setEnabled(backup);
    m_mPoistaVarmuuskopioitu->setEnabled(backup);
}

} // namespace nixora
