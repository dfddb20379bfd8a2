#include "interop/WinePrefix.h"

#include "LiveRegistry.h"
#include "WineClient.h"
#include "WineLoader.h"
#include "WineRegistry.h"
#include "Wineserver.h"
#include "actions/ModifyEntry.h"
#include "backup/BackupRemoval.h"
#include "backup/RestoreDelete.h"
#include "frmMuokkaa.h"
#include "frmPoisto.h"
#include "support/FakeWineserver.h"
#include "support/FixedClock.h"
#include "support/GuiTestApp.h"
#include "support/ScriptedUi.h"
#include "support/TestData.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTableView>
#include <QThread>
#include <QTimer>

#include <map>

namespace nixora::interop
{
namespace
{

const QString kUninstall =
    QStringLiteral("Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall");
const QString kUninstall32 =
    QStringLiteral("Software\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Uninstall");

// Every kind a value may have, with names and texts beyond ASCII.
[[nodiscard]] std::vector<RegNamedValue> everyKind()
{
    QByteArray multi = makeStringValue(QStringLiteral("eins")).data;
    multi += makeStringValue(QStringLiteral("zwei ü")).data + QByteArray(2, '\0');
    return {
        {QString(), makeStringValue(QStringLiteral("default"))},
        {QStringLiteral("DisplayName"), makeStringValue(QStringLiteral("Kinds \"Ä\" € 𝄞"))},
        {QStringLiteral("Näme [x] = \"y\""), makeStringValue(QStringLiteral("C:\\path\\"))},
        {QStringLiteral("Expand"),
         makeStringValue(QStringLiteral("%SystemRoot%\\x"), kRegExpandSz)},
        {QStringLiteral("Multi"), RegValue{kRegMultiSz, multi}},
        {QStringLiteral("Dword"), makeDwordValue(0xdeadbeef)},
        {QStringLiteral("Qword"), RegValue{kRegQword, QByteArray::fromHex("efcdab8967452301")}},
        {QStringLiteral("Binary"), RegValue{kRegBinary, QByteArray::fromHex("00ff10")}},
        {QStringLiteral("None"), RegValue{kRegNone, QByteArray::fromHex("0102")}},
        {QStringLiteral("OddText"), RegValue{kRegSz, QByteArray("abc")}},
        {QStringLiteral("Unknown"), RegValue{0x12345, QByteArray::fromHex("0a0b")}},
    };
}

[[nodiscard]] std::map<QString, RegValue> byName(const std::vector<RegNamedValue>& values)
{
    std::map<QString, RegValue> map;
    for (const RegNamedValue& value : values)
        map[value.name] = value.value;
    return map;
}

class LivePrefix : public WineTest
{
protected:
    void TearDown() override
    {
        stopWaiter();
        if (m_fakeServer) {
            m_fakeServer->kill();
            m_fakeServer->waitForFinished(-1);
        }
        WineTest::TearDown();
    }

    [[nodiscard]] QString path() const { return m_wine->path(); }

    // Wine's 64-bit loader, as users run wine64 reg.
    [[nodiscard]] ToolRun wine64(const QStringList& arguments) const
    {
        return m_wine->wine(arguments);
    }

    // `wine64 reg add` of one text value, in the 64-bit or the 32-bit view.
    void regAdd(const QString& key, const QString& name, const QString& text, const char* view)
    {
        const ToolRun run =
            wine64({QStringLiteral("reg"), QStringLiteral("add"), QStringLiteral("HKLM\\") + key,
                    QStringLiteral("/v"), name, QStringLiteral("/d"), text, QStringLiteral("/f"),
                    QLatin1String(view)});
        ASSERT_EQ(run.exitCode, 0) << run.standardError.toStdString();
    }

    // Whether Wine's own reg sees the key, in the view given.
    [[nodiscard]] bool wineSees(const QString& key, const char* view) const
    {
        return wine64({QStringLiteral("reg"), QStringLiteral("query"),
                       QStringLiteral("HKLM\\") + key, QLatin1String(view)})
                   .exitCode == 0;
    }

    [[nodiscard]] ToolRun nixora(QStringList arguments) const
    {
        arguments << QStringLiteral("--prefix") << path();
        return runTool(QStringLiteral(NIXORA_BIN_DIR "/nixora"), arguments);
    }

    // A Windows program of ours that runs until stopWaiter(), keeping the server up.
    void startWaiter()
    {
        setWineEnvironment();
        m_waiter = std::make_unique<QProcess>();
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("WINEPREFIX"), path());
        m_waiter->setProcessEnvironment(environment);
        m_waiter->start(wine64Loader(), {QStringLiteral(NIXORA_TEST_WAITER)});
        ASSERT_TRUE(m_waiter->waitForReadyRead(180000)) << "the waiting program did not start";
        ASSERT_TRUE(wineserver::isRunning(path()));
    }

    void stopWaiter()
    {
        if (!m_waiter)
            return;
        m_waiter->closeWriteChannel();
        m_waiter->waitForFinished(60000);
        m_waiter.reset();
        m_wine->waitForServer();
    }

    // A workspace on the prefix with its window, as nixora opens them.
    frmPoisto& openWindow()
    {
        test::guiTestApp();
        Services services{.ui = &m_ui, .clock = m_clock};
        services.programFolder = QStringLiteral(NIXORA_BIN_DIR);
        services.regeditProgram = QStringLiteral(NIXORA_BIN_DIR "/nixora-regedit");
        services.wineClientProgram = QStringLiteral(NIXORA_WINECLIENT);
        m_workspace = std::make_unique<Workspace>(services);
        const PrefixStatus status = m_workspace->openPrefix(Prefix(path()));
        m_window = std::make_unique<frmPoisto>(*m_workspace, status);
        m_window->Form_Load();
        return *m_window;
    }

    // Clicks the window's row whose first column reads `name`; false when there is none.
    bool clickEntry(const QString& name)
    {
        QCoreApplication::processEvents(); // the model takes in the list's changes
        auto* view = m_window->findChild<QTableView*>(QStringLiteral("lvwOhjelmat"));
        for (int row = 0; row < view->model()->rowCount(); ++row) {
            if (view->model()->index(row, 0).data().toString() == name) {
                m_window->lvwOhjelmat_ItemClick(row);
                m_window->lvwOhjelmat_Click();
                return true;
            }
        }
        return false;
    }

    void clickOnlyBackup()
    {
        ASSERT_EQ(m_window->state().lvwPalauta.rowCount(), 1);
        m_window->lvwPalauta_ItemClick(0);
        m_window->lvwPalauta_Click();
    }

    [[nodiscard]] QByteArray hives() const
    {
        return test::readAll(m_wine->hostPath(QStringLiteral("system.reg"))) +
               test::readAll(m_wine->hostPath(QStringLiteral("user.reg")));
    }

    test::ScriptedUi m_ui;
    test::FixedClock m_clock;
    std::unique_ptr<QProcess> m_waiter;
    std::unique_ptr<QProcess> m_fakeServer;
    std::unique_ptr<Workspace> m_workspace;
    std::unique_ptr<frmPoisto> m_window;
};

[[nodiscard]] QJsonObject jsonOf(const ToolRun& run)
{
    return QJsonDocument::fromJson(run.standardOutput).object();
}

[[nodiscard]] QJsonObject entryIn(const QJsonObject& listing, const QString& subkey)
{
    for (const QJsonValue& entry : listing[QStringLiteral("entries")].toArray()) {
        if (entry[QStringLiteral("subkey")].toString() == subkey)
            return entry.toObject();
    }
    return {};
}

// With a Wine program of ours running, every list and every command goes through its server:
// Wine's own reg sees each change at once, and the hive files hold them once the server is gone.
TEST_F(LivePrefix, EveryListAndCommandGoesThroughTheRunningServer)
{
    startWaiter();
    const QString app = kUninstall + QStringLiteral("\\LiveApp");
    const QString kinds = kUninstall + QStringLiteral("\\LiveKinds");
    regAdd(app, QStringLiteral("DisplayName"), QStringLiteral("Live Äpp ✓"), "/reg:64");
    regAdd(app, QStringLiteral("UninstallString"), QStringLiteral("C:\\windows\\notepad.exe"),
           "/reg:64");
    // Through the 32-bit view the native path lands in Wow6432Node.
    regAdd(kUninstall + QStringLiteral("\\LivePhantom"), QStringLiteral("UninstallString"),
           QStringLiteral("C:\\missing\\uninst.exe"), "/reg:32");
    LiveRegistry live(Prefix(path()), QStringLiteral(NIXORA_WINECLIENT));
    std::vector<RegChange> writes;
    for (const RegNamedValue& value : everyKind())
        writes.push_back(
            {RegChange::Kind::SetValue, RegRoot::LocalMachine, kinds, value.name, value.value});
    ASSERT_TRUE(live.apply(writes).ok());
    ASSERT_EQ(live.access(), RegistryAccess::Live) << live.unreachableReason().toStdString();
    const std::optional<RegKeySnapshot> original = live.exportKey(RegRoot::LocalMachine, kinds);
    ASSERT_TRUE(original);
    EXPECT_EQ(byName(original->values), byName(everyKind()));
    // A change set is applied all or none: when its last change fails, the key it created is
    // gone again and the tree it deleted is back, every value as it was.
    const ClientRun refused = runWineClient(
        findServerLoader(path()), QStringLiteral(NIXORA_WINECLIENT),
        {{{RegChange::Kind::SetValue, RegRoot::LocalMachine, kUninstall + QStringLiteral("\\Brief"),
           QStringLiteral("A"), makeDwordValue(1)}},
         {{RegChange::Kind::DeleteTree, RegRoot::LocalMachine, kinds, {}, {}}},
         {{RegChange::Kind::DeleteTree, RegRoot::LocalMachine, kUninstall, {}, {}}, true}},
        {});
    ASSERT_TRUE(refused.error.isEmpty()) << refused.error.toStdString();
    EXPECT_EQ(refused.changes.status, RegStatus::HasSubkeys)
        << refused.changes.message.toStdString();
    EXPECT_FALSE(wineSees(kUninstall + QStringLiteral("\\Brief"), "/reg:64"));
    EXPECT_EQ(live.exportKey(RegRoot::LocalMachine, kinds), original);
    QThread::sleep(1);

    const QJsonObject listed = jsonOf(
        nixora({QStringLiteral("--list"), QStringLiteral("--format"), QStringLiteral("json")}));
    EXPECT_EQ(listed[QStringLiteral("registry")].toString(), QStringLiteral("live"));
    EXPECT_EQ(entryIn(listed, QStringLiteral("LiveApp"))[QStringLiteral("name")].toString(),
              QStringLiteral("Live Äpp ✓"));
    EXPECT_EQ(entryIn(listed, QStringLiteral("LivePhantom"))[QStringLiteral("source")].toString(),
              QStringLiteral("HKLM32"));

    frmPoisto& window = openWindow();
    EXPECT_FALSE(window.windowTitle().contains(QStringLiteral("read-only")));
    ASSERT_TRUE(clickEntry(QStringLiteral("Live Äpp ✓")));

    // A backup made through the server restores the key exactly, every kind of value.
    ASSERT_TRUE(clickEntry(QStringLiteral("Kinds \"Ä\" € 𝄞")));
    m_ui.queueAnswer(MsgAnswer::Yes);
    mPoistaRekisterista_Click(window.context());
    EXPECT_FALSE(wineSees(kinds, "/reg:64"));
    m_ui.queueAnswer(MsgAnswer::Yes);
    clickOnlyBackup();
    mPalauta_Click(window.context());
    EXPECT_TRUE(wineSees(kinds, "/reg:64"));
    EXPECT_EQ(live.exportKey(RegRoot::LocalMachine, kinds), original);
    EXPECT_EQ(m_ui.shown.size(), 2u) << "only the two questions";

    ASSERT_TRUE(clickEntry(QStringLiteral("Live Äpp ✓")));
    applyModifiedEntry(
        window.context(),
        {QStringLiteral("Live App Renamed"), QStringLiteral("C:\\windows\\notepad.exe"), QString()},
        false);
    window.mPaivita_Click();
    EXPECT_TRUE(clickEntry(QStringLiteral("Live App Renamed")));
    EXPECT_TRUE(
        wine64({QStringLiteral("reg"), QStringLiteral("query"), QStringLiteral("HKLM\\") + app,
                QStringLiteral("/v"), QStringLiteral("DisplayName"), QStringLiteral("/reg:64")})
            .standardOutput.contains("Live App Renamed"));

    ASSERT_TRUE(wineSees(kUninstall + QStringLiteral("\\LivePhantom"), "/reg:32"));
    EXPECT_EQ(nixora({QStringLiteral("--remove-phantoms")}).exitCode, 0);
    EXPECT_FALSE(wineSees(kUninstall + QStringLiteral("\\LivePhantom"), "/reg:32"));
    EXPECT_FALSE(wineSees(kUninstall32 + QStringLiteral("\\LivePhantom"), "/reg:64"));

    m_window.reset();
    m_workspace.reset();
    stopWaiter();
    ASSERT_FALSE(wineserver::isRunning(path()));
    WineRegistry files{Prefix(path())};
    EXPECT_EQ(files.queryValue(RegRoot::LocalMachine, app, QStringLiteral("DisplayName")),
              makeStringValue(QStringLiteral("Live App Renamed")));
    EXPECT_FALSE(
        files.keyExists(RegRoot::LocalMachine, kUninstall32 + QStringLiteral("\\LivePhantom")));
    EXPECT_EQ(files.exportKey(RegRoot::LocalMachine, kinds), original);
}

// A server of another Wine build cannot be joined: the lists are its last save and say so with
// the reason, every change is refused before anything is asked, and nothing is written.
TEST_F(LivePrefix, AServerOfAnotherBuildLeavesThePrefixReadOnlyWithItsReason)
{
    {
        WineRegistry files{Prefix(path())};
        ASSERT_TRUE(files
                        .setValue(RegRoot::LocalMachine, kUninstall + QStringLiteral("\\Ghost"),
                                  QStringLiteral("UninstallString"),
                                  makeStringValue(QStringLiteral("C:\\gone\\uninst.exe")))
                        .ok());
    }
    const QString backups = m_wine->hostPath(QStringLiteral("nixora-backups"));
    ASSERT_EQ(
        runTool(QStringLiteral(NIXORA_BIN_DIR "/nixora-regedit"),
                {QStringLiteral("/E"), m_wine->hostPath(QStringLiteral("ghost.reg")),
                 QStringLiteral("HKEY_LOCAL_MACHINE\\") + kUninstall + QStringLiteral("\\Ghost")},
                {QStringLiteral("WINEPREFIX=") + path()})
            .exitCode,
        0);
    ASSERT_TRUE(QDir().mkpath(backups));
    ASSERT_TRUE(QFile::copy(m_wine->hostPath(QStringLiteral("ghost.reg")),
                            backups + QStringLiteral("/20090302080509.reg")));
    const QByteArray before = hives();

    m_fakeServer = std::make_unique<QProcess>();
    m_fakeServer->start(QStringLiteral(NIXORA_FAKE_WINE_DIR "/wineserver"),
                        {test::wineserverFolderOf(path())});
    ASSERT_TRUE(m_fakeServer->waitForReadyRead(30000));

    const ToolRun tsv = nixora({QStringLiteral("--list")});
    EXPECT_EQ(tsv.exitCode, 0);
    EXPECT_TRUE(tsv.standardError.contains("version mismatch")) << tsv.standardError.toStdString();
    EXPECT_TRUE(tsv.standardError.contains("last saved")) << tsv.standardError.toStdString();
    const QJsonObject json = jsonOf(
        nixora({QStringLiteral("--list"), QStringLiteral("--format"), QStringLiteral("json")}));
    EXPECT_EQ(json[QStringLiteral("registry")].toString(), QStringLiteral("last save"));
    EXPECT_TRUE(json[QStringLiteral("readOnlyReason")].toString().contains(
        QStringLiteral("version mismatch")));
    EXPECT_FALSE(json[QStringLiteral("savedAt")].toString().isEmpty());
    EXPECT_FALSE(entryIn(json, QStringLiteral("Ghost")).isEmpty());
    const ToolRun phantoms = nixora({QStringLiteral("--remove-phantoms")});
    EXPECT_EQ(phantoms.exitCode, 1);
    EXPECT_TRUE(phantoms.standardOutput.contains("version mismatch"));
    EXPECT_NE(runTool(QStringLiteral(NIXORA_BIN_DIR "/nixora-regedit"),
                      {QStringLiteral("/S"), backups + QStringLiteral("/20090302080509.reg")},
                      {QStringLiteral("WINEPREFIX=") + path()})
                  .exitCode,
              0);

    frmPoisto& window = openWindow();
    EXPECT_TRUE(window.windowTitle().contains(QStringLiteral("read-only")));
    ASSERT_EQ(m_ui.shown.size(), 1u);
    EXPECT_TRUE(m_ui.shown[0].text.contains(QStringLiteral("version mismatch")));
    ASSERT_TRUE(clickEntry(QStringLiteral("Ghost")));
    // Each refusal is the only box: no question comes first, no dialog opens.
    QTimer closer;
    QObject::connect(&closer, &QTimer::timeout, [] {
        if (QWidget* modal = QApplication::activeModalWidget())
            modal->close();
    });
    closer.start(100);
    mPoistaRekisterista_Click(window.context());
    frmMuokkaa::mMuokkaa_Click(window.context(), &window, nullptr);
    clickOnlyBackup();
    mPalauta_Click(window.context());
    ASSERT_EQ(m_ui.shown.size(), 4u);
    for (size_t i = 1; i < m_ui.shown.size(); ++i) {
        EXPECT_EQ(m_ui.shown[i].title, QStringLiteral("Error")) << m_ui.shown[i].text.toStdString();
        EXPECT_TRUE(m_ui.shown[i].text.contains(QStringLiteral("version mismatch")));
    }
    EXPECT_EQ(hives(), before);
    EXPECT_EQ(QDir(backups).entryList(QDir::Files).size(), 1);
}

} // namespace
} // namespace nixora::interop
