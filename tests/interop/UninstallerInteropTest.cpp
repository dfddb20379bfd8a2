#include "interop/CommandsOnPrefix.h"
#include "interop/WinePrefix.h"

#include "EntrySource.h"
#include "FileQuery.h"
#include "WineRegistry.h"
#include "actions/RunUninstaller.h"
#include "mdlPoisto.h"
#include "mdlProsessi.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QStandardPaths>

namespace nixora::interop
{
namespace
{

const QString kUninstall =
    QStringLiteral("Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall");

class UninstallerInterop : public WineTest
{
protected:
    void SetUp() override
    {
        WineTest::SetUp();
        if (HasFatalFailure() || IsSkipped())
            return;
        ASSERT_TRUE(QFile::exists(QStringLiteral(NIXORA_TEST_UNINSTALLER)))
            << "the Windows test uninstaller was not built: is x86_64-w64-mingw32-gcc installed?";
        const QString folder =
            m_wine->hostPath(QStringLiteral("drive_c/Program Files/Interop App"));
        ASSERT_TRUE(QDir().mkpath(folder));
        ASSERT_TRUE(QFile::copy(QStringLiteral(NIXORA_TEST_UNINSTALLER), folder + "/uninst.exe"));
    }

    void addEntry(const QString& name, const QString& uninstallString,
                  SourceKind kind = SourceKind::Machine) const
    {
        WineRegistry registry{Prefix(m_wine->path())};
        const QString path = entrySource(kind).entryPath(name);
        ASSERT_TRUE(
            registry
                .apply({{RegChange::Kind::SetValue, RegRoot::LocalMachine, path,
                         QStringLiteral("DisplayName"), makeStringValue(name + " App")},
                        {RegChange::Kind::SetValue, RegRoot::LocalMachine, path,
                         QStringLiteral("UninstallString"), makeStringValue(uninstallString)}})
                .ok());
    }

    // Builds the 32-bit NSIS installer of nsis_uninstaller.nsi as C:\nsis\setup.exe.
    void buildNsisInstaller() const
    {
        QString makensis;
        findTestTool(QStringLiteral("makensis"), QStringLiteral("nsis"), makensis);
        if (makensis.isEmpty())
            return;
        const QString folder = m_wine->hostPath(QStringLiteral("drive_c/nsis"));
        ASSERT_TRUE(QDir().mkpath(folder));
        const ToolRun built = runTool(makensis, {QStringLiteral("-V1"),
                                                 QStringLiteral("-DOUT=") + folder + "/setup.exe",
                                                 QStringLiteral(NIXORA_TEST_NSIS_SCRIPT)});
        ASSERT_EQ(built.exitCode, 0) << built.standardOutput.toStdString();
    }

    // What a fresh fill of the entry list shows, through the program itself.
    [[nodiscard]] QString listing() const
    {
        const ToolRun run =
            runTool(QStringLiteral(NIXORA_BIN_DIR "/nixora"), {QStringLiteral("--list")},
                    {QStringLiteral("WINEPREFIX=") + m_wine->path()});
        EXPECT_EQ(run.exitCode, 0) << run.standardError.toStdString();
        return QString::fromUtf8(run.standardOutput);
    }

    [[nodiscard]] bool entryExists(const QString& name, SourceKind kind = SourceKind::Machine) const
    {
        WineRegistry registry{Prefix(m_wine->path())};
        return registry.keyExists(RegRoot::LocalMachine, entrySource(kind).entryPath(name));
    }
};

TEST_F(UninstallerInterop, WindowsUninstallerRemovesItsEntryUnderWine)
{
    const QString removes =
        QStringLiteral("\"C:\\Program Files\\Interop App\\uninst.exe\" InteropRemoves 3");
    const QString keeps =
        QStringLiteral("C:\\Program Files\\Interop App\\uninst InteropKeeps 0 keep");
    addEntry(QStringLiteral("InteropRemoves"), removes);
    addEntry(QStringLiteral("InteropKeeps"), keeps);
    const QString before = listing();
    EXPECT_TRUE(before.contains(QStringLiteral("InteropRemoves\tInteropRemoves App\t") + removes +
                                QStringLiteral("\t\tnormaali\tnormaali\tlukittu\tfound\t")))
        << before.toStdString();
    ASSERT_TRUE(before.contains(QStringLiteral("InteropKeeps\t")));

    EXPECT_EQ(mdlProsessi::AjaProsessi(m_wine->path(), removes), 3);
    EXPECT_FALSE(entryExists(QStringLiteral("InteropRemoves")));
    EXPECT_EQ(mdlProsessi::AjaProsessi(m_wine->path(), keeps), 0);
    EXPECT_TRUE(entryExists(QStringLiteral("InteropKeeps")));

    const QString after = listing();
    EXPECT_FALSE(after.contains(QStringLiteral("InteropRemoves"))) << after.toStdString();
    EXPECT_TRUE(after.contains(QStringLiteral("InteropKeeps\tInteropKeeps App\t")))
        << after.toStdString();
}

TEST_F(UninstallerInterop, UninstallerThatFailsToDeleteReportsItsCode)
{
    // The entry is not there, so RegDeleteKeyA fails and the program says so with 101.
    EXPECT_EQ(mdlProsessi::AjaProsessi(
                  m_wine->path(),
                  QStringLiteral("\"C:\\Program Files\\Interop App\\uninst.exe\" Absent 0")),
              101);
    const QString shortPath =
        QStringLiteral("C:\\") + wineShortName(QStringLiteral("Program Files")) + u'\\' +
        wineShortName(QStringLiteral("Interop App")) + QStringLiteral("\\uninst.exe Absent 4 keep");
    EXPECT_EQ(mdlProsessi::AjaProsessi(m_wine->path(), shortPath), 4);
}

TEST_F(UninstallerInterop, WritesRefusedWhileWineserverRunsThenSeenByWine)
{
    const QString path = kUninstall + QStringLiteral("\\BusyTest");
    QFile hive(m_wine->hostPath(QStringLiteral("system.reg")));
    ASSERT_TRUE(hive.open(QIODevice::ReadOnly));
    const QByteArray untouched = hive.readAll();
    hive.close();

    ASSERT_EQ(m_wine->wineserver({QStringLiteral("-p")}).exitCode, 0);
    WineRegistry registry{Prefix(m_wine->path())};
    EXPECT_TRUE(registry.wineserverRunning());
    EXPECT_EQ(registry
                  .setValue(RegRoot::LocalMachine, path, QStringLiteral("DisplayName"),
                            makeStringValue(QStringLiteral("Busy")))
                  .status,
              RegStatus::PrefixBusy);
    EXPECT_FALSE(mdlPoisto::KirjoitaRekisteriarvo(
        registry, RegRoot::CurrentUser, QStringLiteral("Software\\Qelvaro\\Nixora"),
        QStringLiteral("tilarivi"), 1, QStringLiteral("ei")));
    QFile file(m_wine->hostPath(QStringLiteral("busy.reg")));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\" + path.toLatin1() + "]\r\n\"A\"=\"b\"\r\n");
    file.close();
    // nixora-regedit goes through the running server instead: the import works, and the file
    // stays as the server last saved it.
    const QStringList environment{QStringLiteral("WINEPREFIX=") + m_wine->path()};
    EXPECT_EQ(runTool(QStringLiteral(NIXORA_BIN_DIR "/nixora-regedit"),
                      {QStringLiteral("/S"), file.fileName()}, environment)
                  .exitCode,
              0);
    ASSERT_TRUE(hive.open(QIODevice::ReadOnly));
    EXPECT_EQ(hive.readAll(), untouched);
    hive.close();

    (void)m_wine->wineserver({QStringLiteral("-k")});
    m_wine->waitForServer();
    EXPECT_FALSE(registry.wineserverRunning());
    ASSERT_TRUE(registry
                    .setValue(RegRoot::LocalMachine, path, QStringLiteral("DisplayName"),
                              makeStringValue(QStringLiteral("Not busy")))
                    .ok());
    EXPECT_EQ(runTool(QStringLiteral(NIXORA_BIN_DIR "/nixora-regedit"),
                      {QStringLiteral("/S"), file.fileName()}, environment)
                  .exitCode,
              0);
    const ToolRun query = m_wine->wine(
        {QStringLiteral("reg"), QStringLiteral("query"), QStringLiteral("HKLM\\") + path});
    EXPECT_TRUE(query.standardOutput.contains("    DisplayName    REG_SZ    Not busy\r\n"))
        << query.standardOutput.toStdString();
    EXPECT_TRUE(query.standardOutput.contains("    A    REG_SZ    b\r\n"))
        << query.standardOutput.toStdString();
}

// A 32-bit NSIS uninstaller copies itself to %TEMP% and exits at once; the copy does the work.
// The wait must cover the copy, and must end although another Wine program (here a persistent
// wineserver) was running before and goes on running.
TEST_F(UninstallerInterop, TheCopyOfAnNsisUninstallerIsWaitedForButNotWhatRanBefore)
{
    buildNsisInstaller();
    if (HasFatalFailure() || IsSkipped())
        return;
    ASSERT_EQ(m_wine->wine({QStringLiteral("C:\\nsis\\setup.exe")}).exitCode, 0);
    m_wine->waitForServer();
    const QString folder = m_wine->hostPath(QStringLiteral("drive_c/nsis"));
    ASSERT_TRUE(QFile::exists(folder + "/uninst.exe"));
    const QString uninstaller = QStringLiteral("\"C:\\nsis\\uninst.exe\" /S");
    EXPECT_TRUE(listing().contains(QStringLiteral("NsisApp\tNsisApp App\t") + uninstaller))
        << "the installer's own entry is not listed";
    ASSERT_TRUE(entryExists(QStringLiteral("NsisApp"), SourceKind::Machine32));

    ASSERT_EQ(m_wine->wineserver({QStringLiteral("-p")}).exitCode, 0);
    QElapsedTimer guard;
    guard.start();
    const mdlProsessi::RunOutcome run = mdlProsessi::AjaProsessiOdottaen(
        m_wine->path(), uninstaller, [&guard] { return guard.elapsed() < 180000; });
    EXPECT_FALSE(run.cancelled) << "the wait did not end within three minutes";
    EXPECT_TRUE(run.serverRanBefore);
    EXPECT_TRUE(QFile::exists(folder + "/uninstalled.txt")) << "returned before the copy ended";
    EXPECT_TRUE(WineRegistry(Prefix(m_wine->path())).wineserverRunning());

    (void)m_wine->wineserver({QStringLiteral("-k")});
    m_wine->waitForServer();
    EXPECT_FALSE(entryExists(QStringLiteral("NsisApp"), SourceKind::Machine32));
}

// In a 64-bit prefix without its 32-bit side (syswow64 empty, as a prefix made by a Wine
// without 32-bit support has it) a 64-bit uninstaller still runs, whichever loader `wine` is.
// Wine cannot load a 32-bit one there (exit 53, c0000135): that uninstaller cannot be executed,
// and the command asks so, with No as the default, instead of saying that it ran and failed.
TEST_F(UninstallerInterop, WithoutThe32BitSideA32BitUninstallerCannotBeExecuted)
{
    buildNsisInstaller();
    if (HasFatalFailure() || IsSkipped())
        return;
    const QString syswow64 = m_wine->hostPath(QStringLiteral("drive_c/windows/syswow64"));
    ASSERT_TRUE(QDir(syswow64).removeRecursively() && QDir().mkpath(syswow64));
    const QString runs =
        QStringLiteral("\"C:\\Program Files\\Interop App\\uninst.exe\" Interop64 3");
    addEntry(QStringLiteral("Interop64"), runs);
    addEntry(QStringLiteral("Setup32"), QStringLiteral("C:\\nsis\\setup.exe /S"),
             SourceKind::Machine32);
    EXPECT_EQ(mdlProsessi::AjaProsessi(m_wine->path(), runs), 3);
    EXPECT_FALSE(entryExists(QStringLiteral("Interop64")));

    CommandsOnPrefix program(m_wine->path()); // no answer queued: each box gets its default
    program.select(SourceKind::Machine32, QStringLiteral("Setup32"), QStringLiteral("Setup32 App"),
                   QStringLiteral("C:\\nsis\\setup.exe /S"));
    const test::ScriptedUi& ui = program.ui;
    mAjaPoistoohjelma_Click(program.ctx);
    ASSERT_EQ(ui.shown.size(), 1u);
    EXPECT_TRUE(ui.shown[0].text.startsWith(
        QStringLiteral("The uninstallation program cannot be executed.\n\n")))
        << ui.shown[0].text.toStdString();
    EXPECT_EQ(ui.shown[0].defaultButton, MsgAnswer::No);
    EXPECT_TRUE(entryExists(QStringLiteral("Setup32"), SourceKind::Machine32));
}

} // namespace
} // namespace nixora::interop
