// The menu tree of the main window and the commands behind its items.
#include "frmPoisto.h"

#include "ListViewQtModel.h"
#include "MenuEntriesDialog.h"
#include "actions/ClipboardCommands.h"
#include "actions/RunUninstaller.h"
#include "backup/BackupRemoval.h"
#include "backup/PhantomRemoval.h"
#include "backup/RestoreDelete.h"
#include "frmMuokkaa.h"
#include "frmTietoja.h"
#include "help/HelpLinks.h"
#include "inventory/EntryRows.h"
#include "output/ListingWriter.h"

#include <QAction>
#include <QDir>
#include <QFileDialog>
#include <QMenu>
#include <QMenuBar>

namespace nixora
{

namespace
{

QMenu* newMenu(QWidget* parent, const QString& name, const QString& title)
{
    auto* menu = new QMenu(title, parent);
    menu->setObjectName(name);
    menu->menuAction()->setObjectName(name);
    return menu;
}

void addSeparator(QMenu* menu, const QString& name)
{
    menu->addSeparator()->setObjectName(name);
}

} // namespace

QAction* frmPoisto::newAction(const QString& name, const QString& caption)
{
    auto* action = new QAction(caption, this);
    action->setObjectName(name);
    return action;
}

void frmPoisto::createMenus()
{
    QMenuBar* bar = menuBar();

    QMenu* mnuTiedosto = newMenu(this, QStringLiteral("mnuTiedosto"), QStringLiteral("&File"));
    QAction* mOpenPrefix =
        newAction(QStringLiteral("mOpenPrefix"), QStringLiteral("&Open Prefix..."));
    mOpenPrefix->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
    mnuTiedosto->addAction(mOpenPrefix);
    m_mnuPrefixes = newMenu(this, QStringLiteral("mnuPrefixes"), QStringLiteral("&Prefixes"));
    m_mnuPrefixes->setToolTipsVisible(true);
    connect(m_mnuPrefixes, &QMenu::aboutToShow, this, [this] { fillPrefixesMenu(); });
    mnuTiedosto->addMenu(m_mnuPrefixes);
    mnuTiedosto->addAction(
        newAction(QStringLiteral("mRemovePhantoms"), QStringLiteral("Remove P&hantom Entries...")));
    mnuTiedosto->addAction(
        newAction(QStringLiteral("mMenuEntries"), QStringLiteral("&Menu Entries...")));
    mnuTiedosto->addAction(
        newAction(QStringLiteral("mExportList"), QStringLiteral("Export &List...")));
    addSeparator(mnuTiedosto, QStringLiteral("vTiedosto"));
    QAction* mLopeta = newAction(QStringLiteral("mLopeta"), QStringLiteral("&Exit"));
    mLopeta->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    mnuTiedosto->addAction(mLopeta);
    bar->addMenu(mnuTiedosto);

    QMenu* mnuNayta = newMenu(this, QStringLiteral("mnuNayta"), QStringLiteral("&View"));
    m_mRuudukko = newAction(QStringLiteral("mRuudukko"), QStringLiteral("&Grid"));
    m_mRuudukko->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_G));
    m_mTilarivi = newAction(QStringLiteral("mTilarivi"), QStringLiteral("&Status Bar"));
    m_mSelkokielisetOhjelmanimet = newAction(QStringLiteral("mSelkokielisetOhjelmanimet"),
                                             QStringLiteral("&User-Friendly Application Names"));
    m_mLihavoidutRikkinaiset = newAction(QStringLiteral("mLihavoidutRikkinaiset"),
                                         QStringLiteral("&Phantom Program Entries in Bold    "));
    m_mLihavoidutRikkinaiset->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_B));
    m_mCheckInstallerProducts = newAction(QStringLiteral("mCheckInstallerProducts"),
                                          QStringLiteral("Check Windows &Installer Products"));
    for (QAction* action : {m_mRuudukko, m_mTilarivi, m_mSelkokielisetOhjelmanimet,
                            m_mLihavoidutRikkinaiset, m_mCheckInstallerProducts}) {
        action->setCheckable(true);
        action->setChecked(true);
    }
    QAction* mPaivita = newAction(QStringLiteral("mPaivita"), QStringLiteral("&Refresh"));
    mPaivita->setShortcut(QKeySequence(Qt::Key_F5));
    mnuNayta->addAction(m_mRuudukko);
    mnuNayta->addAction(m_mTilarivi);
    addSeparator(mnuNayta, QStringLiteral("vNayta"));
    mnuNayta->addAction(m_mSelkokielisetOhjelmanimet);
    mnuNayta->addAction(m_mLihavoidutRikkinaiset);
    mnuNayta->addAction(m_mCheckInstallerProducts);
    addSeparator(mnuNayta, QStringLiteral("vNayta2"));
    mnuNayta->addAction(mPaivita);
    QAction* mFind = newAction(QStringLiteral("mFind"), QStringLiteral("&Find..."));
    mFind->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_F));
    mFind->setShortcutContext(Qt::WindowShortcut);
    mnuNayta->addAction(mFind);
    bar->addMenu(mnuNayta);

    QMenu* mnuOhje = newMenu(this, QStringLiteral("mnuOhje"), QStringLiteral("&Help"));
    QAction* mReadmeOhje =
        newAction(QStringLiteral("mReadmeOhje"), QStringLiteral("View Readme &Help    "));
    mReadmeOhje->setShortcut(QKeySequence(Qt::Key_F1));
    // F1 works wherever the focus is in the window, the lists included.
    mReadmeOhje->setShortcutContext(Qt::WindowShortcut);
    mnuOhje->addAction(mReadmeOhje);
    addSeparator(mnuOhje, QStringLiteral("vOhje"));
    QMenu* mMelqoriNetissa = newMenu(this, QStringLiteral("mMelqoriNetissa"),
                                     QStringLiteral("Melqori Software on the &Web    "));
    mMelqoriNetissa->addAction(newAction(QStringLiteral("mOhjelmistotuotanto"),
                                         QStringLiteral("&Software Development...")));
    mMelqoriNetissa->addAction(
        newAction(QStringLiteral("mSivupalvelut"), QStringLiteral("Web &Design Services...")));
    mnuOhje->addMenu(mMelqoriNetissa);
    addSeparator(mnuOhje, QStringLiteral("vOhje2"));
    mnuOhje->addAction(
        newAction(QStringLiteral("mKotisivu"), QStringLiteral("&Visit Nixora's Website...")));
    // The load sequence gives these three their final captions.
    m_mTilaa = newAction(QStringLiteral("mTilaa"), QStringLiteral("&Check for Updates..."));
    m_mRekisteroi = newAction(QStringLiteral("mRekisteroi"), QStringLiteral("&Email..."));
    mnuOhje->addAction(m_mTilaa);
    mnuOhje->addAction(m_mRekisteroi);
    addSeparator(mnuOhje, QStringLiteral("vOhje3"));
    m_mTietojaOhjelmasta =
        newAction(QStringLiteral("mTietojaOhjelmasta"), QStringLiteral("&About..."));
    mnuOhje->addAction(m_mTietojaOhjelmasta);
    bar->addMenu(mnuOhje);

    createPopupMenus();
}

void frmPoisto::createPopupMenus()
{
    m_mnuPopUp = newMenu(this, QStringLiteral("mnuPopUp"), QStringLiteral("PopUp"));
    m_mAjaPoistoohjelma =
        newAction(QStringLiteral("mAjaPoistoohjelma"), QStringLiteral("&Uninstall Application..."));
    m_mPoistaRekisterista =
        newAction(QStringLiteral("mPoistaRekisterista"), QStringLiteral("&Remove Entry..."));
    m_mVarmuuskopioi = newAction(QStringLiteral("mVarmuuskopioi"), QStringLiteral("&Backup Entry"));
    m_mMuokkaa = newAction(QStringLiteral("mMuokkaa"), QStringLiteral("&Modify..."));
    const std::array<QString, 3> copyCaptions{QStringLiteral("Copy &Application Name"),
                                              QStringLiteral("&Copy Uninstaller Location    "),
                                              QStringLiteral("Copy &Version Number")};
    for (size_t i = 0; i < copyCaptions.size(); ++i)
        m_mKopioiLeikepoydalle[i] =
            newAction(QStringLiteral("mKopioiLeikepoydalle_%1").arg(i), copyCaptions[i]);
    m_mnuPopUp->addAction(m_mAjaPoistoohjelma);
    m_mnuPopUp->addAction(m_mPoistaRekisterista);
    m_mnuPopUp->addAction(m_mVarmuuskopioi);
    addSeparator(m_mnuPopUp, QStringLiteral("vPopUp"));
    m_mnuPopUp->addAction(m_mMuokkaa);
    addSeparator(m_mnuPopUp, QStringLiteral("vPopUp2"));
    for (QAction* action : m_mKopioiLeikepoydalle)
        m_mnuPopUp->addAction(action);

    m_mnuPopUp2 = newMenu(this, QStringLiteral("mnuPopUp2"), QStringLiteral("PopUp2"));
    m_mPalauta = newAction(QStringLiteral("mPalauta"), QStringLiteral("&Restore Entry..."));
    m_mPoistaVarmuuskopioitu =
        newAction(QStringLiteral("mPoistaVarmuuskopioitu"), QStringLiteral("&Delete Backup..."));
    m_mnuPopUp2->addAction(m_mPalauta);
    m_mnuPopUp2->addAction(m_mPoistaVarmuuskopioitu);
}

void frmPoisto::connectMenuCommands()
{
    const auto on = [this](const char* name, auto handler) {
        auto* action = findChild<QAction*>(QString::fromLatin1(name));
        Q_ASSERT(action != nullptr);
        connect(action, &QAction::triggered, this, handler);
    };
    on("mLopeta", [this] { mLopeta_Click(); });
    on("mRuudukko", [this] { mRuudukko_Click(); });
    on("mTilarivi", [this] { mTilarivi_Click(); });
    on("mSelkokielisetOhjelmanimet", [this] { mSelkokielisetOhjelmanimet_Click(); });
    on("mLihavoidutRikkinaiset", [this] { mLihavoidutRikkinaiset_Click(); });
    on("mCheckInstallerProducts", [this] { mCheckInstallerProducts_Click(); });
    on("mPaivita", [this] { mPaivita_Click(); });
    on("mFind", [this] { openFind(); });
    on("mExportList", [this] { mExportList_Click(); });
    on("mMenuEntries", [this] { mMenuEntries_Click(); });
    on("mOpenPrefix", [this] { mOpenPrefix_Click(); });
    on("mRemovePhantoms", [this] { runCommand(&nixora::mRemovePhantoms_Click); });
    on("mReadmeOhje", [this] { mReadmeOhje_Click(); });
    on("mOhjelmistotuotanto", [this] { mOhjelmistotuotanto_Click(); });
    on("mSivupalvelut", [this] { mSivupalvelut_Click(); });
    on("mKotisivu", [this] { mKotisivu_Click(); });
    on("mTilaa", [this] { mTilaa_Click(); });
    on("mRekisteroi", [this] { mRekisteroi_Click(); });
    on("mTietojaOhjelmasta", [this] { mTietojaOhjelmasta_Click(); });

    on("mAjaPoistoohjelma", [this] { runCommand(&nixora::mAjaPoistoohjelma_Click); });
    on("mPoistaRekisterista", [this] { runCommand(&nixora::mPoistaRekisterista_Click); });
    on("mVarmuuskopioi", [this] { runCommand(&nixora::mVarmuuskopioi_Click); });
    on("mMuokkaa", [this] { mMuokkaa_Click(); });
    for (int16_t index = 0; index < 3; ++index) {
        connect(m_mKopioiLeikepoydalle[static_cast<size_t>(index)], &QAction::triggered, this,
                [this, index] { nixora::mKopioiLeikepoydalle_Click(m_ctx, index); });
    }
    on("mPalauta", [this] { runCommand(&nixora::mPalauta_Click); });
    on("mPoistaVarmuuskopioitu", [this] { runCommand(&nixora::mPoistaVarmuuskopioitu_Click); });
}

void frmPoisto::runCommand(void (*command)(Workspace&))
{
    command(m_ctx);
    syncPopupActions();
}

void frmPoisto::mMuokkaa_Click()
{
    frmMuokkaa::mMuokkaa_Click(m_ctx, this, &m_openDialog);
    syncPopupActions();
}

void frmPoisto::mReadmeOhje_Click()
{
    m_ctx.services.ui->shellOpen(help::readmePath(m_ctx.services.programFolder));
}

void frmPoisto::mKotisivu_Click()
{
    m_ctx.services.ui->shellOpen(help::homePage());
}

void frmPoisto::mTilaa_Click()
{
    mKotisivu_Click();
}

void frmPoisto::mRekisteroi_Click()
{
    m_ctx.services.ui->shellOpen(help::mailtoSupport());
}

void frmPoisto::mOhjelmistotuotanto_Click()
{
    m_ctx.services.ui->shellOpen(help::softwareDevelopmentReferral());
}

void frmPoisto::mSivupalvelut_Click()
{
    m_ctx.services.ui->shellOpen(help::webDesignReferral());
}

void frmPoisto::mTietojaOhjelmasta_Click()
{
    UiServices& ui = *m_ctx.services.ui;
    ui.setMousePointer(kPointerHourglass);
    {
        frmTietoja dialog(ui, this);
        m_openDialog = &dialog;
        dialog.exec();
    }
    ui.setMousePointer(kPointerDefault);
}

void frmPoisto::mMenuEntries_Click()
{
    UiServices& ui = *m_ctx.services.ui;
    ui.setMousePointer(kPointerHourglass);
    {
        MenuEntriesDialog dialog(m_ctx, this);
        m_openDialog = &dialog;
        ui.setMousePointer(kPointerDefault);
        dialog.exec();
    }
    syncPopupActions();
}

void frmPoisto::mExportList_Click()
{
    const QString fileName = QFileDialog::getSaveFileName(
        this, QStringLiteral("Export List"), QDir::home().filePath(QStringLiteral("programs.csv")),
        QStringLiteral("Spreadsheet (*.csv);;Web page (*.html *.htm)"));
    if (fileName.isEmpty())
        return;
    m_ohjelmatModel->flush();
    std::vector<const ListRow*> rows;
    for (int i = 0; i < m_ohjelmatModel->rowCount(); ++i)
        rows.push_back(m_ohjelmatModel->rowAt(i));
    const QString error = exportEntryList(entriesOfRows(m_ctx, rows), fileName,
                                          m_ctx.services.prefixPath, m_ctx.services.clock.now());
    if (!error.isEmpty())
        m_ctx.services.ui->messageBox(
            {QStringLiteral("Nixora cannot export the list to\n%1\n\n%2").arg(fileName, error),
             QStringLiteral("Nixora"), MsgButtons::Ok, MsgIcon::Exclamation, MsgAnswer::Ok});
}

} // namespace nixora
