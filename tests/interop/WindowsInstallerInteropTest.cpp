// Windows Installer products installed for real: small packages built with wixl, installed by
// Wine's msiexec (64- and 32-bit, per machine and per user), listed, judged, removed and
// uninstalled through the program.
#include "interop/WinePrefix.h"

#include "EntrySource.h"
#include "HiveFile.h"
#include "InstallerProducts.h"
#include "Settings.h"
#include "WineRegistry.h"
#include "frmPoisto.h"
#include "support/FixedClock.h"
#include "support/GuiTestApp.h"
#include "support/ScriptedUi.h"
#include "support/TestData.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

namespace nixora::interop
{
namespace
{

const QString kWine64 = QStringLiteral("/usr/lib/wine/wine64");
const QString kProductFolder = QStringLiteral("Nixora Interop Product");
// Where a downloaded installer would be; deleted after the install, as users delete them.
const QString kDownloads = QStringLiteral("drive_c/users/Public/Downloads");

struct Package {
    const char* name;
    bool x64;
    bool perUser;
    const char* productCode;
};

void PrintTo(const Package& package, std::ostream* out)
{
    *out << package.name;
}

class WindowsInstallerInterop : public WineTest, public ::testing::WithParamInterface<Package>
{
protected:
    void SetUp() override
    {
        WineTest::SetUp();
        if (HasFatalFailure() || IsSkipped())
            return;
        ASSERT_FALSE(QStandardPaths::findExecutable(QStringLiteral("wixl")).isEmpty())
            << "wixl builds the test packages; tools/dev test installs it";
        ASSERT_EQ(HiveFile::archOf(test::readAll(m_wine->hostPath(QStringLiteral("system.reg")))),
                  "win64");
        install();
    }

    [[nodiscard]] const Package& package() const { return GetParam(); }
    [[nodiscard]] QString productCode() const { return QLatin1String(package().productCode); }
    [[nodiscard]] QString packed() const { return *packedProductCode(productCode()); }
    [[nodiscard]] const EntrySource& source() const
    {
        // Wine keeps the entries of 32-bit packages in the 32-bit view, per user or not.
        return entrySource(package().x64 ? SourceKind::Machine : SourceKind::Machine32);
    }
    [[nodiscard]] QString entryPath() const { return source().entryPath(productCode()); }
    [[nodiscard]] QString installedFolder() const
    {
        return m_wine->hostPath(package().x64 ? QStringLiteral("drive_c/Program Files/")
                                              : QStringLiteral("drive_c/Program Files (x86)/")) +
               kProductFolder;
    }
    [[nodiscard]] std::pair<RegRoot, QString> productKey() const
    {
        if (package().perUser)
            return {RegRoot::CurrentUser,
                    QStringLiteral("Software\\Microsoft\\Installer\\Products\\") + packed()};
        return {RegRoot::LocalMachine,
                QStringLiteral("Software\\Classes\\Installer\\Products\\") + packed()};
    }

    // Builds the package with wixl and installs it with msiexec /i /qn of its own bitness.
    void install()
    {
        const QString downloads = m_wine->hostPath(kDownloads);
        ASSERT_TRUE(QDir().mkpath(downloads));
        test::writeAll(downloads + QStringLiteral("/readme.txt"), "Installed by msiexec.\r\n");
        QProcess wixl;
        wixl.setWorkingDirectory(downloads);
        wixl.start(
            QStringLiteral("wixl"),
            {QStringLiteral("-a"), package().x64 ? QStringLiteral("x64") : QStringLiteral("x86"),
             QStringLiteral("-D"), QStringLiteral("ProductCode=") + productCode(),
             QStringLiteral("-D"),
             package().perUser ? QStringLiteral("Scope=perUser")
                               : QStringLiteral("Scope=perMachine"),
             QStringLiteral("-D"),
             package().x64 ? QStringLiteral("ProgramFiles=ProgramFiles64Folder")
                           : QStringLiteral("ProgramFiles=ProgramFilesFolder"),
             QStringLiteral("-D"),
             package().x64 ? QStringLiteral("Win64=yes") : QStringLiteral("Win64=no"),
             QStringLiteral("-D"), QStringLiteral("Payload=readme.txt"), QStringLiteral("-o"),
             QStringLiteral("package.msi"), QStringLiteral(NIXORA_TEST_MSI_PRODUCT)});
        ASSERT_TRUE(wixl.waitForFinished(60000));
        ASSERT_EQ(wixl.exitCode(), 0) << wixl.readAllStandardError().toStdString();
        const ToolRun run = msiexec({QStringLiteral("/i"),
                                     QStringLiteral("C:\\users\\Public\\Downloads\\package.msi"),
                                     QStringLiteral("/qn")});
        ASSERT_EQ(run.exitCode, 0) << run.standardError.toStdString();
        ASSERT_TRUE(QFile::exists(installedFolder() + QStringLiteral("/readme.txt")));
        ASSERT_TRUE(QFile::remove(downloads + QStringLiteral("/package.msi")));
    }

    // msiexec of the package's bitness, waited for until the registry is on disk. Its exit
    // status is Windows' error code, cut to 8 bits.
    [[nodiscard]] ToolRun msiexec(const QStringList& arguments) const
    {
        const ToolRun run = runTool(package().x64 ? kWine64 : QStringLiteral("wine"),
                                    QStringList{QStringLiteral("msiexec")} + arguments,
                                    {QStringLiteral("WINEPREFIX=") + m_wine->path()});
        m_wine->waitForServer();
        return run;
    }

    // What nixora runs with: the prefix, and preferences of the test's own.
    [[nodiscard]] QStringList nixoraEnvironment() const
    {
        return {QStringLiteral("WINEPREFIX=") + m_wine->path(),
                QStringLiteral("XDG_CONFIG_HOME=") + m_config.path()};
    }

    // The package's row of `nixora --list`, split at its tabs.
    [[nodiscard]] QStringList listedRow(const QStringList& extra = {}) const
    {
        const ToolRun run =
            runTool(QStringLiteral(NIXORA_BIN_DIR "/nixora"),
                    QStringList{QStringLiteral("--list")} + extra, nixoraEnvironment());
        EXPECT_EQ(run.exitCode, 0) << run.standardError.toStdString();
        for (const QString& line : QString::fromUtf8(run.standardOutput).split(u'\n')) {
            const QStringList fields = line.split(u'\t');
            if (fields.value(0) == productCode() && fields.value(9) == source().label)
                return fields;
        }
        ADD_FAILURE() << "not listed: " << run.standardOutput.toStdString();
        return {};
    }

    [[nodiscard]] QString localPackage() const
    {
        WineRegistry registry{Prefix(m_wine->path())};
        const QString sid =
            package().perUser ? QStringLiteral("S-1-5-21-0-0-0-1000") : QStringLiteral("S-1-5-18");
        const auto value = registry.queryValue(
            RegRoot::LocalMachine,
            QStringLiteral("Software\\Microsoft\\Windows\\CurrentVersion\\Installer\\UserData\\") +
                sid + QStringLiteral("\\Products\\") + packed() +
                QStringLiteral("\\InstallProperties"),
            QStringLiteral("LocalPackage"));
        EXPECT_TRUE(value.has_value());
        QString text = value ? textFromUtf16Le(value->data) : QString();
        text.chop(text.endsWith(QChar(0)) ? 1 : 0);
        return m_wine->hostPath(QStringLiteral("drive_c/") + text.mid(3).replace(u'\\', u'/'));
    }

    void setInstallerChecks(bool on) const
    {
        const auto store =
            WineRegistry::settingsStore(m_config.filePath(QStringLiteral("nixora/settings.reg")));
        ASSERT_TRUE(settings::writePreference(*store, settings::kInstallerChecks, on));
    }

    QTemporaryDir m_config;
};

const QString kPackageMissing =
    QStringLiteral("the product's installer package is missing; its uninstaller would fail");
const QString kNotRegistered =
    QStringLiteral("the Windows Installer product is not registered; its uninstaller would fail");

// Found as installed; a phantom once msiexec /x would fail with 1612 (its cached package gone,
// the downloaded one deleted long ago) and then with 1605 (its Installer keys gone), each with
// its reason, and msiexec agrees. With the option off the verdicts are the file check's.
TEST_P(WindowsInstallerInterop, VerdictsFollowWhatMsiexecWouldMeet)
{
    const QStringList installed = listedRow();
    ASSERT_EQ(installed.size(), 11);
    EXPECT_EQ(installed.mid(1, 9).join(u'|'),
              QStringLiteral("Nixora Interop Product|MsiExec.exe /I%1|1.2.3|normaali|normaali|"
                             "normaali|found|0|%2")
                  .arg(productCode(), source().label));
    EXPECT_EQ(installed[10], QString());

    ASSERT_TRUE(QFile::remove(localPackage()));
    const QStringList noPackage = listedRow();
    EXPECT_EQ(noPackage.value(7), QStringLiteral("phantom"));
    EXPECT_EQ(noPackage.value(10), kPackageMissing);
    EXPECT_EQ(msiexec({QStringLiteral("/x") + productCode(), QStringLiteral("/qn")}).exitCode,
              1612 & 0xff);

    {
        WineRegistry registry{Prefix(m_wine->path())};
        const auto [root, path] = productKey();
        ASSERT_TRUE(registry.keyExists(root, path));
        ASSERT_TRUE(registry.apply({{RegChange::Kind::DeleteTree, root, path, {}, {}}}).ok());
    }
    const QStringList unregistered = listedRow();
    EXPECT_EQ(unregistered.value(7), QStringLiteral("phantom"));
    EXPECT_EQ(unregistered.value(10), kNotRegistered);

    setInstallerChecks(false);
    EXPECT_EQ(listedRow(), installed);
    EXPECT_EQ(msiexec({QStringLiteral("/x") + productCode(), QStringLiteral("/qn")}).exitCode,
              1605 & 0xff);
}

// --remove-phantoms removes the unregistered product's entry, and its backup gives it back.
TEST_P(WindowsInstallerInterop, RemovedAsAPhantomAndRestoredExactly)
{
    WineRegistry registry{Prefix(m_wine->path())};
    const auto [root, path] = productKey();
    ASSERT_TRUE(registry.apply({{RegChange::Kind::DeleteTree, root, path, {}, {}}}).ok());
    const auto entry = registry.exportKey(source().root, entryPath());
    ASSERT_TRUE(entry.has_value());

    const QStringList environment = nixoraEnvironment();
    const ToolRun removed = runTool(QStringLiteral(NIXORA_BIN_DIR "/nixora"),
                                    {QStringLiteral("--remove-phantoms")}, environment);
    QString backup;
    for (const QString& line : QString::fromUtf8(removed.standardOutput).split(u'\n')) {
        if (line.section(u'\t', 2, 2) == productCode())
            backup = line.section(u'\t', 4, 4);
    }
    ASSERT_TRUE(QFile::exists(backup)) << removed.standardOutput.toStdString();
    EXPECT_FALSE(registry.keyExists(source().root, entryPath()));

    const ToolRun restored = runTool(QStringLiteral(NIXORA_BIN_DIR "/nixora-regedit"),
                                     {QStringLiteral("/S"), backup}, environment);
    ASSERT_EQ(restored.exitCode, 0) << restored.standardError.toStdString();
    EXPECT_EQ(registry.exportKey(source().root, entryPath()), entry);
}

// "&Uninstall Application..." in the window, through the real runner: msiexec /x removes the
// files, the entry and the Installer's registration, and nothing is asked.
TEST_P(WindowsInstallerInterop, UninstallApplicationRemovesFilesEntryAndRegistration)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    test::guiTestApp();
    test::ScriptedUi ui;
    test::FixedClock clock;
    Workspace workspace(Services{.ui = &ui,
                                 .clock = clock,
                                 .regeditProgram = QStringLiteral(NIXORA_BIN_DIR "/nixora-regedit"),
                                 .wineClientProgram = QStringLiteral(NIXORA_WINECLIENT)});
    const PrefixStatus status = workspace.openPrefix(Prefix(m_wine->path()));
    frmPoisto window(workspace, status);
    window.Form_Load();
    ListViewModel& list = workspace.state.lvwOhjelmat;
    const ListRow* row = list.findByKey(entryRowKey(source(), productCode()));
    ASSERT_NE(row, nullptr);
    window.lvwOhjelmat_ItemClick(list.indexOf(row));
    window.lvwOhjelmat_Click();
    ASSERT_EQ(workspace.state.entry.SelectedEntryKey, productCode());

    window.findChild<QAction*>(QStringLiteral("mAjaPoistoohjelma"))->trigger();
    EXPECT_TRUE(ui.shown.empty()) << ui.shown.front().text.toStdString();
    EXPECT_FALSE(QFile::exists(installedFolder() + QStringLiteral("/readme.txt")));
    WineRegistry registry{Prefix(m_wine->path())};
    EXPECT_FALSE(registry.keyExists(source().root, entryPath()));
    const auto [root, path] = productKey();
    EXPECT_FALSE(registry.keyExists(root, path));
    EXPECT_EQ(list.findByKey(entryRowKey(source(), productCode())), nullptr);
}

INSTANTIATE_TEST_SUITE_P(
    Packages, WindowsInstallerInterop,
    ::testing::Values(Package{"Machine64", true, false, "{23067521-119B-4B0A-BCDD-38835D58077B}"},
                      Package{"Machine32", false, false, "{5C7D8E9F-0A1B-4C2D-9E3F-4A5B6C7D8E9F}"},
                      Package{"User64", true, true, "{6D8E9FA0-1B2C-4D3E-8F4A-5B6C7D8E9FA0}"},
                      Package{"User32", false, true, "{7E9FA0B1-2C3D-4E4F-9A5B-6C7D8E9FA0B1}"}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace nixora::interop
