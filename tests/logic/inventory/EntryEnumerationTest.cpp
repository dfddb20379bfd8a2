#include "InventoryFixture.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <utility>

namespace nixora::test
{
namespace
{

struct Entry {
    QString subkey;
    Values values;
};

struct FillCase {
    const char* name;
    QList<Entry> entries; // written in this order: keep it Wine's (sorted) order
    QStringList expectedRows;
    bool friendlyNames = true;
    QString components = {};
    QString machine32 = {}; // blocks under Software\Wow6432Node, after the native ones
    QString user = {};      // the user hive's blocks
    bool win32 = false;     // a 32-bit prefix
};

void PrintTo(const FillCase& c, std::ostream* out)
{
    *out << c.name;
}

class EntryFillTest : public testing::TestWithParam<FillCase>, public InventoryFixture
{
};

TEST_P(EntryFillTest, Rows)
{
    const FillCase& c = GetParam();
    QString body = c.components;
    for (const Entry& e : c.entries)
        body += uninstallEntryBlock(e.subkey, e.values);
    setMachineHive(body + c.machine32);
    prefix.setHiveBody(RegRoot::CurrentUser, c.user);
    if (c.win32)
        prefix.setArch("win32");
    prefix.createFile("app/un.exe");
    state.friendlyNames = c.friendlyNames;
    fill();
    EXPECT_EQ(rows(), c.expectedRows);
}

const QString kDn = QStringLiteral("DisplayName");
const QString kQdn = QStringLiteral("QuietDisplayName");
const QString kUs = QStringLiteral("UninstallString");
const QString kQus = QStringLiteral("QuietUninstallString");
const QString kDv = QStringLiteral("DisplayVersion");

QString sourceBlock(SourceKind kind, const QString& subkey, const Values& values)
{
    return hiveKeyBlock(entrySource(kind).entryPath(subkey), values);
}

QString component32Block(const QString& key, const Values& values)
{
    return hiveKeyBlock(entrySource(SourceKind::Machine32).activeSetupPath + key, values);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, EntryFillTest,
    testing::Values(
        FillCase{"EmptyUninstallKey", {}, {}},
        FillCase{"InstallShieldInformationNeverListed",
                 {{"InstallShield Uninstall Information", {{kDn, "Info"}}}},
                 {}},
        FillCase{"TwinWithSameNameListedOnce",
                 {{"InstallShield_{X}", {{kDn, "Same"}}}, {"{X}", {{kDn, "Same"}}}},
                 {"InstallShield_{X}|Same|||normaali|lukittu normaali ja quiet|lukittu|plain"}},
        FillCase{"TwinWithOtherNameListedTwice",
                 {{"InstallShield_{X}", {{kDn, "Setup"}}}, {"{X}", {{kDn, "Product"}}}},
                 {"{X}|Product|||normaali|lukittu normaali ja quiet|lukittu|plain",
                  "InstallShield_{X}|Setup|||normaali|lukittu normaali ja quiet|lukittu|plain"}},
        FillCase{"BraceKeyWithoutDisplayNameHidden", {{"{Y}", {{kQdn, "Quiet"}}}}, {}},
        FillCase{"BraceKeyShownWhenTwinHasName",
                 {{"InstallShield_{Y}", {{kDn, "Twin"}}}, {"{Y}", {{kQdn, "Quiet"}}}},
                 {"{Y}|Quiet|||normaali quiet|lukittu normaali ja quiet|lukittu|plain",
                  "InstallShield_{Y}|Twin|||normaali|lukittu normaali ja quiet|lukittu|plain"}},
        FillCase{"KeyWithoutNames",
                 {{"Bare", {{"Publisher", "x"}}}},
                 {"Bare|Bare|||lukittu quiet|lukittu normaali ja quiet|lukittu|plain"}},
        FillCase{"EmptyDisplayName",
                 {{"Blank", {{kDn, ""}, {kUs, "C:\\app\\un.exe"}, {kDv, "1"}}}},
                 {"Blank||C:\\app\\un.exe|1|normaali|normaali|normaali|found"}},
        FillCase{"EmptyUninstallStringNeverChecked",
                 {{"E", {{kDn, "E"}, {kUs, ""}, {kQus, "C:\\gone\\x.exe"}}}},
                 {"E|E|||normaali|normaali|lukittu|plain"}},
        FillCase{"QuietUninstallStringChecked",
                 {{"Q", {{kDn, "Q"}, {kQus, "C:\\gone\\x.exe"}, {kDv, "2"}}}},
                 {"Q|Q|C:\\gone\\x.exe|2|normaali|normaali quiet|normaali|phantom+bold"}},
        FillCase{"EmptyQuietUninstallString",
                 {{"Q", {{kDn, "Q"}, {kQus, ""}}}},
                 {"Q|Q|||normaali|normaali quiet|lukittu|plain"}},
        FillCase{"ComponentVersionForMissingDisplayVersion",
                 {{"Help", {{kDn, "HTML Help"}, {kUs, "C:\\app\\un.exe"}}},
                  {"Same", {{kDn, "Viewer"}, {kUs, "C:\\app\\un.exe"}, {kDv, "5,0"}}}},
                 {"Help|HTML Help|C:\\app\\un.exe|4,74|normaali|normaali|lukittu "
                  "komponenttiversio|found",
                  "Same|Viewer|C:\\app\\un.exe|5,0|normaali|normaali|normaali|found"},
                 true,
                 componentBlock("{A}", {{"", "HTML Help"}, {"Version", "4,74"}}) +
                     componentBlock("{B}", {{"", "Viewer"}, {"Version", "5,0"}})},
        FillCase{"QuietUninstallerGetsNoComponentVersion",
                 {{"Help", {{kDn, "HTML Help"}, {kQus, "C:\\app\\un.exe"}}}},
                 {"Help|HTML Help|C:\\app\\un.exe||normaali|normaali quiet|lukittu|found"},
                 true,
                 componentBlock("{A}", {{"", "HTML Help"}, {"Version", "4,74"}})},
        FillCase{"FriendlyNamesOff",
                 {{"Help", {{kDn, "HTML Help"}, {kUs, "C:\\app\\un.exe"}}}},
                 {"Help|HTML Help|C:\\app\\un.exe||normaali|normaali|lukittu|found"},
                 false,
                 componentBlock("Help", {{"", "HTML Help"}, {"Version", "4,74"}})},
        // Enumeration ends where the keys end: a key named "Not Found" is an entry, and a key
        // whose name is too long to read is skipped, not taken for the end.
        FillCase{"SubkeyNamedNotFoundIsAnEntry",
                 {{"Alpha", {{kDn, "A"}}}, {"Not Found", {{kDn, "N"}}}, {"Zulu", {{kDn, "Z"}}}},
                 {"Alpha|A|||normaali|lukittu normaali ja quiet|lukittu|plain",
                  "Not Found|N|||normaali|lukittu normaali ja quiet|lukittu|plain",
                  "Zulu|Z|||normaali|lukittu normaali ja quiet|lukittu|plain"}},
        FillCase{"SameSubkeyInEverySourceIsOneRowEach",
                 {{"App", {{kDn, "Native"}}}},
                 {"App|Native|||normaali|lukittu normaali ja quiet|lukittu|plain",
                  "HKCU\\App|User|||normaali|lukittu normaali ja quiet|lukittu|plain",
                  "HKLM32\\App|Wow|||normaali|lukittu normaali ja quiet|lukittu|plain"},
                 true,
                 {},
                 sourceBlock(SourceKind::Machine32, "App", {{kDn, "Wow"}}),
                 sourceBlock(SourceKind::User, "App", {{kDn, "User"}})},
        FillCase{"Win32PrefixIgnoresWow6432Node",
                 {{"App", {{kDn, "Native"}}}},
                 {"App|Native|||normaali|lukittu normaali ja quiet|lukittu|plain"},
                 true,
                 {},
                 sourceBlock(SourceKind::Machine32, "App32", {{kDn, "Wow"}}),
                 {},
                 true},
        FillCase{"TwinLookedUpInItsOwnSource",
                 {{"{X}", {{kDn, "Same"}}}},
                 {"{X}|Same|||normaali|lukittu normaali ja quiet|lukittu|plain",
                  "HKLM32\\InstallShield_{X}|Same|||normaali|lukittu normaali ja "
                  "quiet|lukittu|plain"},
                 true,
                 {},
                 sourceBlock(SourceKind::Machine32, "InstallShield_{X}", {{kDn, "Same"}}) +
                     sourceBlock(SourceKind::Machine32, "{X}", {{kDn, "Same"}})},
        FillCase{
            "ComponentsOfTheEntrysOwnView",
            {},
            {"HKLM32\\Help|HTML Help|C:\\app\\un.exe|5,0|normaali|normaali|lukittu "
             "komponenttiversio|found",
             "HKCU\\Help|HTML Help|C:\\app\\un.exe|4,74|normaali|normaali|lukittu "
             "komponenttiversio|found"},
            true,
            componentBlock("{A}", {{"", "HTML Help"}, {"Version", "4,74"}}),
            component32Block("{A}", {{"", "HTML Help"}, {"Version", "5,0"}}) +
                sourceBlock(SourceKind::Machine32, "Help",
                            {{kDn, "HTML Help"}, {kUs, "C:\\app\\un.exe"}}),
            sourceBlock(SourceKind::User, "Help", {{kDn, "HTML Help"}, {kUs, "C:\\app\\un.exe"}})},
        FillCase{"SubkeyNamedNotFoundWithoutName",
                 {{"Alpha", {{kDn, "A"}}}, {"Not Found", {}}, {"Zulu", {{kDn, "Z"}}}},
                 {"Alpha|A|||normaali|lukittu normaali ja quiet|lukittu|plain",
                  "Not Found|Not Found|||lukittu quiet|lukittu normaali ja quiet|lukittu|plain",
                  "Zulu|Z|||normaali|lukittu normaali ja quiet|lukittu|plain"}},
        FillCase{"SubkeyNameTooLongToReadIsSkipped",
                 {{"Alpha", {{kDn, "A"}}},
                  {QString(2048, QChar(u'M')), {{kDn, "Long"}}},
                  {"Zulu", {{kDn, "Z"}}}},
                 {"Alpha|A|||normaali|lukittu normaali ja quiet|lukittu|plain",
                  "Zulu|Z|||normaali|lukittu normaali ja quiet|lukittu|plain"}}),
    [](const auto& info) { return std::string(info.param.name); });

class EntryFillStateTest : public testing::Test, public InventoryFixture
{
protected:
    void writeEntries(int count)
    {
        QString body;
        for (int i = 0; i < count; ++i)
            body += uninstallEntryBlock(QStringLiteral("App%1").arg(i, 2, 10, QLatin1Char('0')),
                                        {{kDn, QStringLiteral("Name %1").arg(count - i)},
                                         {kUs, QStringLiteral("C:\\gone\\u%1.exe").arg(i)},
                                         {kDv, QString::number(i)}});
        setMachineHive(body);
    }
};

TEST_F(EntryFillStateTest, FirstSortedRowBecomesSelectedEntryWithoutHighlight)
{
    writeEntries(12);
    state.boldPhantoms = false;
    fill();
    ASSERT_EQ(state.lvwOhjelmat.rowCount(), 12);
    EXPECT_EQ(state.lvwOhjelmat.rowAt(0)->cells[0].text, "Name 1");
    EXPECT_EQ(state.entry.SelectedEntryKey, "App11");
    EXPECT_EQ(state.entry.SelectedEntryName, "Name 1");
    EXPECT_EQ(state.lvwOhjelmat.selectedRow(), state.lvwOhjelmat.rowAt(0));
    EXPECT_FALSE(state.lvwOhjelmat.rowAt(0)->highlighted);
    EXPECT_EQ(listClicks, 1);
    EXPECT_FALSE(state.lvwOhjelmat.rowAt(0)->cells[0].bold);
    EXPECT_EQ(state.statusText, "12 phantom program entries (12 entries in total)");
    EXPECT_TRUE(state.lvwOhjelmat.enabled());
    EXPECT_TRUE(state.lvwPalauta.enabled());
}

TEST_F(EntryFillStateTest, ProgressEveryFifthIndexWhileDisabledAndUnhighlighted)
{
    // Indices 0..11 are entries and 12 reads past the end: progress at 0, 5 and 10, then once
    // at the end.
    writeEntries(12);
    fill();
    EXPECT_EQ(statusUpdates, 4);
    EXPECT_EQ(statusUpdatesWhileEnabled, 0);
    EXPECT_EQ(statusUpdatesWithHighlight, 0);
}

TEST_F(EntryFillStateTest, SortColumnAndOrderSurviveRefill)
{
    writeEntries(12);
    lvwOhjelmat_ColumnClick(state, 2);
    lvwOhjelmat_ColumnClick(state, 2);
    fill();
    EXPECT_EQ(state.lvwOhjelmat.rowAt(0)->cells[2].text, "11"); // by number, descending
    EXPECT_EQ(state.lvwOhjelmat.rowAt(11)->cells[2].text, "0");
}

TEST_F(EntryFillStateTest, EmptyListClearsOnlyTheName)
{
    state.entry.SelectedEntryKey = "Old";
    state.entry.SelectedEntryName = "Old name";
    state.entry.SelectedEntryNameLocked = false;
    fill();
    EXPECT_EQ(state.lvwOhjelmat.rowCount(), 0);
    EXPECT_EQ(state.lvwOhjelmat.selectedRow(), nullptr);
    EXPECT_TRUE(state.entry.SelectedEntryName.isEmpty());
    EXPECT_EQ(state.entry.SelectedEntryKey, "Old");
    EXPECT_FALSE(state.entry.SelectedEntryNameLocked);
    EXPECT_EQ(listClicks, 0);
    EXPECT_EQ(state.statusText, "0 phantom program entries (0 entries in total)");
}

TEST_F(EntryFillStateTest, FirstRowWithEmptyNameClearsSelectedEntry)
{
    setMachineHive(uninstallEntryBlock("A", {{kDn, ""}, {kUs, "x"}}) +
                   uninstallEntryBlock("B", {{kDn, "Bee"}}));
    fill();
    EXPECT_TRUE(state.entry.SelectedEntryKey.isEmpty());
    EXPECT_TRUE(state.entry.SelectedEntryNameLocked);
    EXPECT_FALSE(entryPopupOpensOnMouseUp(state, 2));
}

TEST_F(EntryFillStateTest, EveryTooltipEndsWithTheSource)
{
    setMachineHive(uninstallEntryBlock("A", {{kDn, "Native"}, {kUs, "C:\\gone\\x.exe"}}) +
                   sourceBlock(SourceKind::Machine32, "A", {{kDn, "Wow"}}));
    fill();
    ASSERT_EQ(state.lvwOhjelmat.rowCount(), 2);
    for (int column = 0; column < 3; ++column) {
        EXPECT_EQ(state.lvwOhjelmat.rowAt(0)->cells[column].toolTip,
                  tags::kTipMissing + "\nRegistry: HKLM (all users)");
        EXPECT_EQ(state.lvwOhjelmat.rowAt(1)->cells[column].toolTip,
                  tags::kTipPlain + "\nRegistry: HKLM32 (all users, 32-bit programs)");
    }
}

TEST(HeadlessListingTest, DemoPrefixListsAsExpected)
{
    // A scratch copy, so that nothing the program does can touch the repository's prefix.
    QTemporaryDir scratch;
    ASSERT_TRUE(scratch.isValid());
    QProcess copy;
    copy.start("cp", {"-a", QStringLiteral(NIXORA_TEST_DATA "/../../examples/demo-prefix/."),
                      scratch.path()});
    ASSERT_TRUE(copy.waitForFinished());
    ASSERT_EQ(copy.exitCode(), 0);

    QProcess nixora;
    auto env = QProcessEnvironment::systemEnvironment();
    env.insert("WINEPREFIX", scratch.path());
    env.remove("DISPLAY");
    env.remove("WAYLAND_DISPLAY");
    env.remove("QT_QPA_PLATFORM");
    nixora.setProcessEnvironment(env);
    nixora.setWorkingDirectory(QDir::tempPath());
    nixora.start(QStringLiteral(NIXORA_BIN_DIR "/nixora"), {"--list"});
    ASSERT_TRUE(nixora.waitForFinished(30000));
    EXPECT_EQ(nixora.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(nixora.exitCode(), 0);

    QFile expected(QStringLiteral(NIXORA_TEST_DATA "/demo-list.txt"));
    ASSERT_TRUE(expected.open(QIODevice::ReadOnly));
    const QStringList want = QString::fromUtf8(expected.readAll()).split(u'\n');
    const QStringList got = QString::fromUtf8(nixora.readAllStandardOutput()).split(u'\n');
    EXPECT_EQ(got, want);
    EXPECT_TRUE(nixora.readAllStandardError().isEmpty());
}

// Hives written by real Wine (see tests/data/README): the same subkey in both machine views,
// found and phantom uninstallers in every source.
TEST(HeadlessListingTest, RealWineHivesListEverySource)
{
    TempPrefix prefix;
    for (const RegRoot root : {RegRoot::LocalMachine, RegRoot::CurrentUser}) {
        const QString name = QFileInfo(prefix.hivePath(root)).fileName();
        QFile::remove(prefix.hivePath(root));
        ASSERT_TRUE(QFile::copy(QStringLiteral(NIXORA_TEST_DATA "/wine8-sources/") + name,
                                prefix.hivePath(root)));
    }
    prefix.createFile("Program Files (x86)/Shared App/uninst.exe");
    prefix.createFile("Program Files/User App/uninst.exe");
    QProcess nixora;
    auto env = QProcessEnvironment::systemEnvironment();
    env.insert("WINEPREFIX", prefix.path());
    nixora.setProcessEnvironment(env);
    nixora.start(QStringLiteral(NIXORA_BIN_DIR "/nixora"), {"--list"});
    ASSERT_TRUE(nixora.waitForFinished(30000));
    EXPECT_EQ(nixora.exitCode(), 0);
    QFile expected(QStringLiteral(NIXORA_TEST_DATA "/wine8-sources/expected-list.txt"));
    ASSERT_TRUE(expected.open(QIODevice::ReadOnly));
    EXPECT_EQ(QString::fromUtf8(nixora.readAllStandardOutput()),
              QString::fromUtf8(expected.readAll()));
}

TEST(HeadlessListingTest, ControlCharactersAreEscapedAndSettingsApply)
{
    TempPrefix prefix;
    prefix.setHiveBody(
        RegRoot::LocalMachine,
        uninstallEntryBlock("Tab\tKey", {{kDn, "Line\nBreak"}, {kUs, "C:\\gone\\x.exe"}}));
    QTemporaryDir config;
    test::writeHiveFile(config.filePath("nixora/settings.reg"), RegRoot::CurrentUser,
                        hiveKeyBlock("Software\\Qelvaro\\Nixora", {{"rikkinaiset_bold", "ei"}}));
    QProcess nixora;
    auto env = QProcessEnvironment::systemEnvironment();
    env.insert("WINEPREFIX", prefix.path());
    env.insert("XDG_CONFIG_HOME", config.path());
    nixora.setProcessEnvironment(env);
    nixora.start(QStringLiteral(NIXORA_BIN_DIR "/nixora"), {"--list", "--list-backups"});
    ASSERT_TRUE(nixora.waitForFinished(30000));
    EXPECT_EQ(nixora.exitCode(), 0);
    EXPECT_EQ(QString::fromUtf8(nixora.readAllStandardOutput()),
              "Tab\\x09Key\tLine\\x0ABreak\tC:\\gone\\x.exe\t\tnormaali\tnormaali\tlukittu\t"
              "phantom\t0\tHKLM\n"
              "1 phantom program entries (1 entries in total)\n"
              "0 removed program entries\n");
}

TEST(HeadlessListingTest, BackupListingShowsEachBackupFile)
{
    TempPrefix prefix;
    QDir().mkpath(prefix.hostPath("nixora-backups"));
    QFile backup(prefix.hostPath("nixora-backups/20090302080509.reg"));
    ASSERT_TRUE(backup.open(QIODevice::WriteOnly));
    backup.write("REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\"
                 "CurrentVersion\\Uninstall\\Old]\r\n\"DisplayName\"=\"Old App\"\r\n"
                 "\"DisplayVersion\"=\"2.1\"\r\n");
    backup.close();
    QProcess nixora;
    auto env = QProcessEnvironment::systemEnvironment();
    env.insert("WINEPREFIX", prefix.path());
    nixora.setProcessEnvironment(env);
    nixora.start(QStringLiteral(NIXORA_BIN_DIR "/nixora"), {"--list-backups"});
    ASSERT_TRUE(nixora.waitForFinished(30000));
    EXPECT_EQ(nixora.exitCode(), 0);
    const QStringList lines =
        QString::fromUtf8(nixora.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 2) << lines.join(u'|').toStdString();
    EXPECT_TRUE(lines[0].contains("Old App")) << lines[0].toStdString();
    EXPECT_TRUE(lines[0].contains("2.1")) << lines[0].toStdString();
    EXPECT_EQ(lines[1], "1 removed program entries");
}

TEST(HeadlessListingTest, TimingsGoToStderrAndLeaveTheListingAlone)
{
    TempPrefix prefix;
    prefix.setHiveBody(RegRoot::LocalMachine,
                       uninstallEntryBlock("App", {{kDn, "Some App"}, {kUs, "C:\\gone\\x.exe"}}));
    const auto run = [&prefix](const QStringList& arguments) {
        QProcess nixora;
        auto env = QProcessEnvironment::systemEnvironment();
        env.insert("WINEPREFIX", prefix.path());
        nixora.setProcessEnvironment(env);
        nixora.start(QStringLiteral(NIXORA_BIN_DIR "/nixora"), arguments);
        EXPECT_TRUE(nixora.waitForFinished(30000));
        EXPECT_EQ(nixora.exitCode(), 0);
        return std::pair{nixora.readAllStandardOutput(), nixora.readAllStandardError()};
    };
    const auto [plainOut, plainErr] = run({"--list"});
    const auto [timedOut, timedErr] = run({"--list", "--timings"});
    EXPECT_EQ(timedOut, plainOut);
    EXPECT_TRUE(plainErr.isEmpty());

    // One line per phase, in order, each with a non-negative number of milliseconds; the whole
    // is at least the sum of its parts.
    const QStringList lines = QString::fromUtf8(timedErr).split(u'\n', Qt::SkipEmptyParts);
    const QStringList phases = {"startup", "hives", "fill", "print", "main"};
    ASSERT_EQ(lines.size(), phases.size()) << timedErr.toStdString();
    double sum = 0;
    for (int i = 0; i < phases.size(); ++i) {
        const QStringList fields = lines[i].split(u' ');
        ASSERT_EQ(fields.size(), 3) << lines[i].toStdString();
        EXPECT_EQ(fields[0], "timing");
        EXPECT_EQ(fields[1], phases[i]);
        bool number = false;
        const double ms = fields[2].toDouble(&number);
        EXPECT_TRUE(number && ms >= 0) << lines[i].toStdString();
        if (i + 1 < phases.size())
            sum += ms;
        else
            EXPECT_GE(ms + 0.01, sum);
    }
}

TEST(HeadlessListingTest, MissingPrefixFails)
{
    QProcess nixora;
    auto env = QProcessEnvironment::systemEnvironment();
    env.insert("WINEPREFIX", "/nonexistent/prefix");
    nixora.setProcessEnvironment(env);
    nixora.start(QStringLiteral(NIXORA_BIN_DIR "/nixora"), {"--list"});
    ASSERT_TRUE(nixora.waitForFinished(30000));
    EXPECT_NE(nixora.exitCode(), 0);
    EXPECT_TRUE(nixora.readAllStandardOutput().isEmpty());
}

} // namespace
} // namespace nixora::test
