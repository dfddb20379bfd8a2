#include "WineRegistry.h"
#include "actions/ClipboardCommands.h"
#include "actions/ModifyEntry.h"
#include "actions/RunUninstaller.h"
#include "backup/BackupRemoval.h"
#include "mdlPoisto.h"
#include "support/FakeWineserver.h"
#include "support/FixedClock.h"
#include "support/MenuHome.h"
#include "support/ScriptedUi.h"
#include "support/TestData.h"
#include "support/TestWorkspace.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

namespace nixora
{
namespace
{

using test::FixedClock;
using test::ScriptedUi;
using test::TempPrefix;

const QString kRegedit = QStringLiteral(NIXORA_BIN_DIR "/nixora-regedit");

// The uninstall command on an entry "App" of a real prefix; its uninstallers are shell scripts
// in drive_c, which the process runner starts directly, as Wine would.
class RunUninstallerTest : public ::testing::Test
{
protected:
    RunUninstallerTest()
    {
        m_ws.view.onFillEntries = [this] { ++m_entryFills; };
        m_ws.view.onFillBackups = [this] { ++m_backupFills; };
        m_ws.view.onRefresh = [this] {
            ++m_refreshes;
            ++m_entryFills;
            ++m_backupFills;
        };
        m_ws.view.onShowSelectedPage = [] {};
        m_ws.view.onEntrySelectionChanged = [] {};
        m_ws.view.onBackupSelectionChanged = [] {};
    }

    void setEntry(bool withDefaultValue = true)
    {
        QList<QPair<QString, QString>> values{
            {QStringLiteral("DisplayName"), QStringLiteral("App")}};
        if (withDefaultValue)
            values.prepend({QString(), QStringLiteral("kept")});
        m_prefix.setHiveBody(RegRoot::LocalMachine,
                             test::uninstallEntryBlock(QStringLiteral("App"), values));
    }

    // An uninstaller that optionally deletes the entry's key through the registry editor, then
    // ends with `exitCode`. Selected as the list would select it.
    void selectScript(bool deletesKey, int exitCode)
    {
        const QString importFile = m_prefix.hostPath(QStringLiteral("remove.reg"));
        QFile reg(importFile);
        ASSERT_TRUE(reg.open(QIODevice::WriteOnly));
        reg.write("REGEDIT4\r\n\r\n[-HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\"
                  "CurrentVersion\\Uninstall\\App]\r\n");
        reg.close();
        QByteArray script = "#!/bin/sh\n";
        if (deletesKey)
            script += "'" + kRegedit.toUtf8() + "' /S '" + importFile.toUtf8() + "' || exit 99\n";
        script += "exit " + QByteArray::number(exitCode) + "\n";
        m_prefix.createFile(QStringLiteral("Program Files/App/uninst.sh"), script, true);
        select(QStringLiteral("\"C:\\Program Files\\App\\uninst.sh\" /S"));
    }

    void select(const QString& uninstaller)
    {
        m_state.entry = {QStringLiteral("App"),
                         QStringLiteral("Shown Name"),
                         uninstaller,
                         QStringLiteral("1.0"),
                         false,
                         false,
                         false};
    }

    [[nodiscard]] bool entryPresent()
    {
        return m_registry
            .exportKey(RegRoot::LocalMachine,
                       entrySource(SourceKind::Machine).entryPath(QStringLiteral("App")))
            .has_value();
    }

    test::TestWorkspace m_ws;
    TempPrefix& m_prefix = m_ws.prefix;
    Registry& m_registry = m_ws.registry();
    ScriptedUi& m_ui = m_ws.ui;
    WindowState& m_state = m_ws.state;
    Workspace& m_ctx = m_ws.ctx;
    int m_entryFills = 0;
    int m_backupFills = 0;
    int m_refreshes = 0;
};

TEST_F(RunUninstallerTest, UninstallerThatRemovesItsKeyIsTrustedWhateverItsExitCode)
{
    setEntry();
    selectScript(true, 3);
    mAjaPoistoohjelma_Click(m_ctx);
    EXPECT_TRUE(m_ui.shown.empty());
    EXPECT_FALSE(entryPresent());
    EXPECT_EQ(m_refreshes, 1);
    EXPECT_EQ(m_entryFills, 1);
    EXPECT_EQ(m_prefix.backupFileCount(), 0);
    EXPECT_EQ(m_ui.pointerHistory.front(), kPointerHourglass);
    EXPECT_EQ(m_ui.mousePointer(), kPointerDefault);
}

TEST_F(RunUninstallerTest, RemovalIsJudgedInTheEntrysOwnSource)
{
    // A per-user entry whose uninstaller removes it, and a machine entry of the same subkey
    // that stays: the per-user entry counts as removed.
    setEntry();
    const EntrySource& user = entrySource(SourceKind::User);
    m_prefix.setHiveBody(RegRoot::CurrentUser,
                         test::hiveKeyBlock(user.entryPath(QStringLiteral("App")),
                                            {{QString(), QStringLiteral("kept")}}));
    selectScript(true, 0);
    QFile reg(m_prefix.hostPath(QStringLiteral("remove.reg")));
    ASSERT_TRUE(reg.open(QIODevice::WriteOnly | QIODevice::Truncate));
    reg.write(("REGEDIT4\r\n\r\n[-" + user.entryKeyName(QStringLiteral("App")) + "]\r\n").toUtf8());
    reg.close();
    m_state.entry.SelectedEntrySource = SourceKind::User;
    mAjaPoistoohjelma_Click(m_ctx);
    EXPECT_TRUE(m_ui.shown.empty());
    EXPECT_FALSE(m_registry.exportKey(user.root, user.entryPath(QStringLiteral("App"))));
    EXPECT_TRUE(entryPresent());
}

// An entry of a Windows Installer product is uninstalled with msiexec /x and its key, as
// Windows' list and Wine's uninstaller do: its stored "/I" string would only repair it.
TEST_F(RunUninstallerTest, AWindowsInstallerEntryRunsMsiexecWithXAndItsKey)
{
    const QString product = QStringLiteral("{23067521-119B-4B0A-BCDD-38835D58077B}");
    QString block = test::uninstallEntryBlock(
        product, {{QStringLiteral("DisplayName"), QStringLiteral("Product")},
                  {QStringLiteral("UninstallString"), QStringLiteral("MsiExec.exe /I") + product}});
    block.replace(QStringLiteral("\"DisplayName\""),
                  QStringLiteral("\"WindowsInstaller\"=dword:00000001\n\"DisplayName\""));
    m_prefix.setHiveBody(RegRoot::LocalMachine, block);
    const QString arguments = m_prefix.hostPath(QStringLiteral("arguments.txt"));
    m_prefix.createFile(QStringLiteral("windows/system32/msiexec.exe"),
                        "#!/bin/sh\nprintf '%s\\n' \"$@\" > '" + arguments.toUtf8() + "'\n", true);
    select(QStringLiteral("MsiExec.exe /I") + product);
    m_state.entry.SelectedEntryKey = product;
    m_ui.queueAnswer(MsgAnswer::No);
    mAjaPoistoohjelma_Click(m_ctx);
    EXPECT_EQ(test::readAll(arguments), ("/x" + product + "\n").toUtf8());
}

// Most entries have no default value: the entry counts as removed only when its key is gone.
TEST_F(RunUninstallerTest, KeyWithoutDefaultValueLeftBehindIsStillAsked)
{
    setEntry(false);
    selectScript(false, 0);
    m_ui.queueAnswer(MsgAnswer::No);
    mAjaPoistoohjelma_Click(m_ctx);
    EXPECT_EQ(m_ui.shown.size(), 1u);
    EXPECT_TRUE(entryPresent());
    EXPECT_EQ(m_refreshes, 1);
}

TEST_F(RunUninstallerTest, EntryLeftBehindAsksWithYesAsDefaultAndRefreshesOnNo)
{
    setEntry();
    selectScript(false, 0);
    m_ui.queueAnswer(MsgAnswer::No);
    mAjaPoistoohjelma_Click(m_ctx);
    ASSERT_EQ(m_ui.shown.size(), 1u);
    const MessageBoxRequest& box = m_ui.shown.front();
    EXPECT_EQ(box.text,
              QStringLiteral("The uninstallation process failed or it was interrupted. The "
                             "program entry was not deleted.\n\nDo you want to remove the "
                             "program entry 'Shown Name'\nfrom the Add/Remove Programs part of "
                             "the Control Panel?"));
    EXPECT_EQ(box.title, QStringLiteral("Nixora"));
    EXPECT_EQ(box.buttons, MsgButtons::YesNo);
    EXPECT_EQ(box.icon, MsgIcon::Question);
    EXPECT_EQ(box.defaultButton, MsgAnswer::Yes);
    EXPECT_EQ(m_ui.pointerAtMessage.front(), kPointerDefault);
    EXPECT_TRUE(entryPresent());
    EXPECT_EQ(m_refreshes, 1);
    EXPECT_EQ(m_ui.mousePointer(), kPointerDefault);
}

// A server that ran before and cannot be joined holds the uninstaller's changes in memory: the
// entry on disk says nothing yet, so nothing is asked; the message says when Wine saves.
TEST_F(RunUninstallerTest, WithAServerThatCannotBeJoinedItSaysWhenWineSavesInsteadOfAsking)
{
    setEntry();
    selectScript(false, 0);
    {
        test::FakeWineserver server(test::wineserverFolderOf(m_prefix.path()));
        mAjaPoistoohjelma_Click(m_ctx);
    }
    ASSERT_EQ(m_ui.shown.size(), 1u);
    const QString& text = m_ui.shown[0].text;
    EXPECT_TRUE(text.contains(QStringLiteral("about every 30 seconds"))) << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("Refresh (F5)")));
    EXPECT_TRUE(
        text.contains(QStringLiteral("cannot join their wineserver, because no Wine loader")));
    EXPECT_EQ(m_ui.shown[0].buttons, MsgButtons::Ok);
    EXPECT_TRUE(entryPresent());
    EXPECT_EQ(m_refreshes, 1);
}

TEST_F(RunUninstallerTest, YesAfterAFailedRunBacksUpDeletesAndFillsTheListOnce)
{
    setEntry();
    selectScript(false, 0);
    m_ui.queueAnswer(MsgAnswer::Yes);
    mAjaPoistoohjelma_Click(m_ctx);
    EXPECT_FALSE(entryPresent());
    EXPECT_EQ(m_prefix.backupFileCount(), 1);
    EXPECT_EQ(m_refreshes, 1);
    EXPECT_EQ(m_entryFills, 1);
    EXPECT_EQ(m_ui.mousePointer(), kPointerDefault);
}

TEST_F(RunUninstallerTest, UninstallerThatCannotStartAsksWithNoAsDefault)
{
    setEntry();
    for (const QString& line : {QStringLiteral("C:\\Program Files\\Gone\\uninst.exe"), QString(),
                                QStringLiteral("\"C:\\Program Files")}) {
        select(line);
        m_ui.shown.clear();
        m_ui.queueAnswer(MsgAnswer::No);
        mAjaPoistoohjelma_Click(m_ctx);
        ASSERT_EQ(m_ui.shown.size(), 1u) << line.toStdString();
        EXPECT_EQ(m_ui.shown.front().text,
                  QStringLiteral("The uninstallation program cannot be executed.\n\nDo you want "
                                 "to remove the program entry 'Shown Name'\nfrom the "
                                 "Add/Remove Programs part of the Control Panel?"));
        EXPECT_EQ(m_ui.shown.front().defaultButton, MsgAnswer::No);
        EXPECT_EQ(m_ui.mousePointer(), kPointerDefault);
    }
    // No changes nothing and refreshes nothing.
    EXPECT_TRUE(entryPresent());
    EXPECT_EQ(m_refreshes, 0);
    EXPECT_EQ(m_entryFills, 0);
    EXPECT_EQ(m_prefix.backupFileCount(), 0);
}

TEST_F(RunUninstallerTest, YesWhenItCannotStartRemovesTheEntryThroughTheBackup)
{
    setEntry();
    select(QStringLiteral("C:\\Program Files\\Gone\\uninst.exe"));
    m_ui.queueAnswer(MsgAnswer::Yes);
    mAjaPoistoohjelma_Click(m_ctx);
    EXPECT_FALSE(entryPresent());
    EXPECT_EQ(m_prefix.backupFileCount(), 1);
    EXPECT_EQ(m_refreshes, 0);
    EXPECT_EQ(m_entryFills, 1);
    EXPECT_EQ(m_ui.mousePointer(), kPointerDefault);
}

// An uninstaller that takes its shortcuts with it leaves Wine's menu files behind until the
// prefix starts again: they are offered for removal, No the default, and go with a backup on Yes.
// The association, whose extension still opens, is not the uninstaller's leftover and stays.
TEST_F(RunUninstallerTest, OffersTheMenuEntriesItLeftAndRemovesThemOnYes)
{
    test::MenuHome home;
    home.install(m_prefix);
    setEntry();
    m_ws.reopen();
    m_ctx.services.userFolders = home.folders();
    const QString startMenu = QStringLiteral("drive_c/users/root/AppData/Roaming/Microsoft/Windows/"
                                             "Start Menu/Programs/Menu Probe/");
    const QString association =
        home.file(QStringLiteral(".local/share/applications/wine-extension-nxprobe.desktop"));
    const QByteArray associationBytes = test::readAll(association);
    selectScript(true, 0);
    // The uninstaller deletes its shortcuts first, as Menu Probe's does.
    const QString script = m_prefix.hostPath(QStringLiteral("drive_c/Program Files/App/uninst.sh"));
    QByteArray lines = test::readAll(script);
    lines.replace("#!/bin/sh\n", "#!/bin/sh\nrm -f '" + m_prefix.hostPath(startMenu).toUtf8() +
                                     "'*.lnk '" + home.file(QStringLiteral("Desktop")).toUtf8() +
                                     "'/*.lnk\n");
    test::writeAll(script, lines);
    m_ui.queueAnswer(MsgAnswer::Yes);

    mAjaPoistoohjelma_Click(m_ctx);

    ASSERT_EQ(m_ui.shown.size(), 1u);
    EXPECT_EQ(m_ui.shown[0].text.toStdString(),
              "The uninstallation program of 'Shown Name' left 2 menu entries that start "
              "nothing:\nMenu Probe\nUninstall\n\nDo you want to remove them from the desktop's "
              "menus?");
    EXPECT_EQ(m_ui.shown[0].defaultButton, MsgAnswer::No);
    EXPECT_EQ(m_ui.shown[0].title, QStringLiteral("Nixora"));
    for (const char* file :
         {".local/share/applications/wine/Programs", "Desktop/Menu Probe.desktop",
          ".config/menus/applications-merged/wine-Programs-Menu Probe-Uninstall.menu"})
        EXPECT_FALSE(QFileInfo::exists(home.file(QString::fromLatin1(file)))) << file;
    EXPECT_EQ(test::readAll(association), associationBytes);
    EXPECT_EQ(QDir(m_prefix.prefix().backupFolder()).entryList({QStringLiteral("*.menus")}).size(),
              1);
    EXPECT_EQ(m_refreshes, 1);
    EXPECT_EQ(m_ui.mousePointer(), kPointerDefault);
}

// ---- Modify ----------------------------------------------------------------------------------

using ModifyEntryTest = RunUninstallerTest;

// A change that cannot happen says so, with the registry's own reason, and leaves no backup.
TEST_F(ModifyEntryTest, RefusedWhileTheWineserverRunsWithAMessageAndNoBackup)
{
    setEntry();
    select(QStringLiteral("C:\\x\\un.exe"));
    {
        test::FakeWineserver server(test::wineserverFolderOf(m_prefix.path()));
        applyModifiedEntry(
            m_ctx, {QStringLiteral("New"), QStringLiteral("C:\\y.exe"), QStringLiteral("2.0")},
            true);
    }
    ASSERT_EQ(m_ui.shown.size(), 1u);
    EXPECT_EQ(m_ui.shown[0].title, QStringLiteral("Error"));
    EXPECT_TRUE(m_ui.shown[0].text.contains(QStringLiteral("Wine programs are running")));
    EXPECT_EQ(m_prefix.backupFileCount(), 0);
    EXPECT_EQ(mdlPoisto::LueRekisteriarvo(
                  m_registry, RegRoot::LocalMachine,
                  entrySource(SourceKind::Machine).entryPath(QStringLiteral("App")),
                  QStringLiteral("DisplayName")),
              QStringLiteral("App"));
}

// ---- Clipboard ---------------------------------------------------------------------------------

TEST(ClipboardCommands, CopyTheShownTextsExactly)
{
    ScriptedUi ui;
    FixedClock clock;
    Workspace ctx(Services{.ui = &ui, .clock = clock});
    WindowState& state = ctx.state;
    state.entry = {QStringLiteral("Key"),
                   QStringLiteral("Plain Name"),
                   QStringLiteral("\"C:\\x\\unins000.exe\" /S"),
                   QStringLiteral("2.0 beta "),
                   false,
                   false,
                   false};
    const QString expected[3] = {state.entry.SelectedEntryName,
                                 state.entry.SelectedEntryUninstaller,
                                 state.entry.SelectedEntryVersion};
    for (int16_t index = 0; index < 3; ++index) {
        mKopioiLeikepoydalle_Click(ctx, index);
        mKopioiLeikepoydalle_Click(ctx, index);
        EXPECT_EQ(ui.clipboard, expected[index]);
    }
    EXPECT_EQ(ui.clipboardWrites, 6);
}

} // namespace
} // namespace nixora
