#include "WineRegistry.h"
#include "HiveFile.h"
#include "Wineserver.h"
#include "support/FakeWineserver.h"
#include "support/TempPrefix.h"
#include "support/TestData.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <random>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <tuple>
#include <unistd.h>

#include <gtest/gtest.h>

using namespace nixora;
using nixora::test::FakeWineserver;

namespace
{

using test::readAll;
using test::writeAll;

const QString kApp = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\App";

int waitExit(pid_t child)
{
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

} // namespace

TEST(WineRegistry, AWriteIsSeenByAnotherProcessAndBack)
{
    test::TempPrefix prefix;
    prefix.setHiveBody(RegRoot::LocalMachine,
                       test::uninstallEntryBlock("App", {{"DisplayName", "Old"}}));
    WineRegistry registry(prefix.prefix());
    ASSERT_EQ(registry.queryValue(RegRoot::LocalMachine, kApp, "DisplayName"),
              makeStringValue("Old"));
    const pid_t child = fork();
    if (child == 0) {
        WineRegistry other(prefix.prefix());
        const bool ok =
            other.queryValue(RegRoot::LocalMachine, kApp, "DisplayName") ==
                makeStringValue("Old") &&
            other.setValue(RegRoot::LocalMachine, kApp, "DisplayName", makeStringValue("New")).ok();
        _exit(ok ? 0 : 1);
    }
    ASSERT_EQ(waitExit(child), 0);
    EXPECT_EQ(registry.queryValue(RegRoot::LocalMachine, kApp, "displayname"),
              makeStringValue("New"));
}

TEST(WineRegistry, UnchangedKeysAreWrittenBackByteForByte)
{
    test::TempPrefix prefix;
    const QByteArray original = test::readDataFile(QStringLiteral("wine8/tricky/system.reg"));
    ASSERT_FALSE(original.isEmpty());
    writeAll(prefix.hivePath(RegRoot::LocalMachine), original);
    WineRegistry registry(prefix.prefix());
    const QString path = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Test App_1";
    ASSERT_TRUE(
        registry.setValue(RegRoot::LocalMachine, path, "DisplayVersion", makeStringValue("2.0"))
            .ok());
    const QByteArray written = readAll(prefix.hivePath(RegRoot::LocalMachine));
    const qsizetype begin = original.indexOf("\n[Software\\\\Microsoft\\\\Windows\\\\CurrentVersion"
                                             "\\\\Uninstall\\\\Test App_1]");
    const qsizetype end = original.indexOf("\n[", begin + 2);
    ASSERT_GT(begin, 0);
    EXPECT_TRUE(written.startsWith(original.left(begin)));
    EXPECT_TRUE(written.endsWith(original.mid(end)));
    const QByteArray block = written.mid(begin, written.size() - begin - (original.size() - end));
    EXPECT_TRUE(block.contains("\"DisplayName\"=\"Caf\\x20ac \\\"quoted\\\" back\\\\slash "
                               "\\xe4\\x4e2dx1 \\xd83d\\xde00\"\n\"DisplayVersion\"=\"2.0\"\n"))
        << block.toStdString();
}

// Reads may parse only the Uninstall key; a write must still save every other key of the file,
// exactly as it would after parsing the whole hive.
TEST(WineRegistry, ReadingOneSubtreeChangesNothingAReadOrAWriteGives)
{
    const QByteArray original = test::readDataFile(QStringLiteral("wine8/1000/system.reg"));
    ASSERT_FALSE(original.isEmpty());
    const QString uninstall = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
    const QString entry = uninstall + "\\FeasApp0001";
    const QString outside = "Software\\Microsoft\\Windows NT\\CurrentVersion";
    std::vector<QByteArray> written;
    for (bool subtreeOnly : {false, true}) {
        test::TempPrefix prefix;
        writeAll(prefix.hivePath(RegRoot::LocalMachine), original);
        WineRegistry registry(prefix.prefix());
        if (subtreeOnly)
            registry.setReadSubtrees(RegRoot::LocalMachine, {uninstall});
        EXPECT_EQ(registry.subkeyName(RegRoot::LocalMachine, uninstall, 1), "FeasApp0001");
        EXPECT_EQ(registry.queryValue(RegRoot::LocalMachine, entry, "DisplayName"),
                  makeStringValue("Feas Test App 0001"));
        ASSERT_TRUE(
            registry
                .setValue(RegRoot::LocalMachine, entry, "DisplayName", makeStringValue("Renamed"))
                .ok());
        ASSERT_TRUE(registry.deleteKey(RegRoot::LocalMachine, uninstall + "\\FeasApp0002").ok());
        EXPECT_EQ(registry.queryValue(RegRoot::LocalMachine, outside, "CurrentBuild"),
                  makeStringValue("7601"));
        // The keys written afresh carry the time of the write; everything else is as read.
        static const QRegularExpression times("\\] \\d+\\n#time=[0-9a-f]+\\n");
        written.push_back(QString::fromLatin1(readAll(prefix.hivePath(RegRoot::LocalMachine)))
                              .replace(times, "] T\n#time=T\n")
                              .toLatin1());
    }
    EXPECT_TRUE(written[0] == written[1]);
    EXPECT_FALSE(written[1].contains("FeasApp0002"));
}

// The quick scan of a subtree judges key lines from their raw text; every spelling of a key
// must be read exactly as a whole parse reads it.
TEST(WineRegistry, OneSubtreeReadsEveryKeySpellingAsTheWholeHiveDoes)
{
    const QString uninstall = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
    const QString raw = "Software\\\\Microsoft\\\\Windows\\\\CurrentVersion\\\\";
    QString body;
    for (const QString& key :
         {raw + "Uninstall\\\\Plain",
          QString("SOFTWARE\\\\microsoft\\\\WINDOWS\\\\currentversion\\\\"
                  "UNINSTALL\\\\Cased"),
          raw + "Uninst\\x0061ll\\\\Escaped", raw + "Uninstall\\\\Br\\]acket",
          raw + "Uninstall\\\\Tail\\\\\\\\", raw + "UninstallX\\\\Beside",
          raw + "Uninstall\\\\\\x00dcml\\x00e4ut", raw + "Uninstall\\\\Zero\\0x",
          // Escapes within the first eight-byte words that the scan compares at once.
          QString("Soft\\x0077are\\\\Microsoft\\\\Windows\\\\CurrentVersion\\\\Uninstall"
                  "\\\\EarlyHex"),
          QString("Software\\\\Micr\\157soft\\\\Windows\\\\CurrentVersion\\\\Uninstall"
                  "\\\\EarlyOctal"),
          raw + "Uninstall\\\\Nul" + QChar(0) + "x"})
        body += "\n[" + key + "] 1700000000\n#time=1d9a0000000000\n\"v\"=\"" + key + "\"\n";
    // Only an escaped bracket: no key line at all, its value belongs to the key before it.
    body += "\n[" + raw + "Uninstall\\\\Open\\] 1700000000\n\"w\"=\"open\"\n";
    std::vector<std::vector<std::optional<RegValue>>> reads;
    for (bool subtreeOnly : {false, true}) {
        test::TempPrefix prefix;
        prefix.setHiveBody(RegRoot::LocalMachine, body);
        WineRegistry registry(prefix.prefix());
        if (subtreeOnly)
            registry.setReadSubtrees(RegRoot::LocalMachine, {uninstall});
        std::vector<std::optional<RegValue>>& read = reads.emplace_back();
        for (uint32_t i = 0;; ++i) {
            const std::optional<QString> name =
                registry.subkeyName(RegRoot::LocalMachine, uninstall, i);
            if (!name)
                break;
            read.push_back(makeStringValue(*name));
            for (const QString value : {"v", "w"})
                read.push_back(
                    registry.queryValue(RegRoot::LocalMachine, uninstall + "\\" + *name, value));
        }
    }
    EXPECT_EQ(reads[0].size(), 27u);
    EXPECT_TRUE(reads[0] == reads[1]);
}

// An entry listed in one view and then read in the other, as the fill does for every source:
// the subkey listed last must not stand in for its namesake under the other parent.
TEST(WineRegistry, AnEntryListedInOneViewIsNotReadForItsTwinInTheOther)
{
    const QString uninstall = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
    const QString uninstall32 =
        "Software\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
    test::TempPrefix prefix;
    prefix.setHiveBody(RegRoot::LocalMachine,
                       test::hiveKeyBlock(uninstall + "\\App", {{"DisplayName", "64-bit"}}) +
                           test::hiveKeyBlock(uninstall32 + "\\App", {{"DisplayName", "32-bit"}}));
    WineRegistry registry(prefix.prefix());
    registry.setReadSubtrees(RegRoot::LocalMachine, {uninstall, uninstall32});
    for (const auto& [listed, read, expected] : {std::tuple{uninstall32, uninstall, "64-bit"},
                                                 std::tuple{uninstall, uninstall32, "32-bit"}}) {
        ASSERT_EQ(registry.subkeyName(RegRoot::LocalMachine, listed, 0), "App");
        EXPECT_EQ(registry.queryValue(RegRoot::LocalMachine, read + "\\App", "DisplayName"),
                  makeStringValue(expected));
    }
}

TEST(WineRegistry, KeepsTheFileMode)
{
    test::TempPrefix prefix;
    const QString hive = prefix.hivePath(RegRoot::LocalMachine);
    ASSERT_EQ(chmod(QFile::encodeName(hive).constData(), 0640), 0);
    WineRegistry registry(prefix.prefix());
    ASSERT_TRUE(registry.setValue(RegRoot::LocalMachine, "A", "v", makeDwordValue(1)).ok());
    struct stat info {
    };
    ASSERT_EQ(stat(QFile::encodeName(hive).constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0640u);
}

TEST(WineRegistry, DeleteKeyRefusesSubkeysAndTouchesTheParent)
{
    test::TempPrefix prefix;
    prefix.setHiveBody(RegRoot::LocalMachine, test::hiveKeyBlock("P\\Child\\Grand", {{"x", "1"}}));
    WineRegistry registry(prefix.prefix());
    EXPECT_EQ(registry.deleteKey(RegRoot::LocalMachine, "P\\Child").status, RegStatus::HasSubkeys);
    EXPECT_EQ(registry.deleteKey(RegRoot::LocalMachine, "P\\Nope").status, RegStatus::NotFound);
    ASSERT_TRUE(registry.deleteKey(RegRoot::LocalMachine, "P\\Child\\Grand").ok());
    ASSERT_TRUE(registry.deleteKey(RegRoot::LocalMachine, "p\\child").ok());
    // P has neither values nor subkeys now, so Wine writes it as a block of its own.
    const QByteArray text = readAll(prefix.hivePath(RegRoot::LocalMachine));
    EXPECT_TRUE(text.contains("\n[P] ")) << text.toStdString();
    EXPECT_FALSE(text.contains("Child"));
    EXPECT_EQ(registry.subkeyName(RegRoot::LocalMachine, "P", 0), std::nullopt);
}

TEST(WineRegistry, ApplyIsAllOrNothing)
{
    test::TempPrefix prefix;
    prefix.setHiveBody(RegRoot::LocalMachine, test::hiveKeyBlock("K", {{"a", "1"}}));
    const QByteArray before = readAll(prefix.hivePath(RegRoot::LocalMachine));
    WineRegistry registry(prefix.prefix());
    const std::vector<RegChange> changes{
        {RegChange::Kind::SetValue, RegRoot::LocalMachine, "K", "b", makeStringValue("2")},
        {RegChange::Kind::DeleteTree, RegRoot::LocalMachine, "K", {}, {}},
        {RegChange::Kind::SetValue, RegRoot::LocalMachine, QString(300, u'x'), "c", {}},
    };
    EXPECT_EQ(registry.apply(changes).status, RegStatus::InvalidArgument);
    EXPECT_EQ(readAll(prefix.hivePath(RegRoot::LocalMachine)), before);
    EXPECT_EQ(registry.queryValue(RegRoot::LocalMachine, "K", "a"), makeStringValue("1"));
    EXPECT_FALSE(registry.queryValue(RegRoot::LocalMachine, "K", "b"));
}

// Wine reads names as C strings: a NUL would cut the name short in the saved hive.
TEST(WineRegistry, NamesHoldingANulAreRefusedAndNothingIsWritten)
{
    test::TempPrefix prefix;
    prefix.setHiveBody(RegRoot::LocalMachine, test::hiveKeyBlock("K", {{"a", "1"}}));
    const QByteArray before = readAll(prefix.hivePath(RegRoot::LocalMachine));
    WineRegistry registry(prefix.prefix());
    const QString nul(1, QChar(u'\0'));
    EXPECT_EQ(
        registry.setValue(RegRoot::LocalMachine, "K\\Sub" + nul, "v", makeDwordValue(1)).status,
        RegStatus::InvalidArgument);
    EXPECT_EQ(registry.setValue(RegRoot::LocalMachine, "K", "v" + nul, makeDwordValue(1)).status,
              RegStatus::InvalidArgument);
    EXPECT_EQ(readAll(prefix.hivePath(RegRoot::LocalMachine)), before);
}

TEST(WineRegistry, ExportGivesValuesAndSubkeysInOrder)
{
    test::TempPrefix prefix;
    prefix.setHiveBody(RegRoot::LocalMachine, test::hiveKeyBlock("E", {{"z", "1"}, {"", "d"}}) +
                                                  test::hiveKeyBlock("E\\Sub", {{"s", "2"}}));
    WineRegistry registry(prefix.prefix());
    const auto snapshot = registry.exportKey(RegRoot::LocalMachine, "e");
    ASSERT_TRUE(snapshot);
    const RegKeySnapshot expected{"E",
                                  {{"", makeStringValue("d")}, {"z", makeStringValue("1")}},
                                  {{"Sub", {{"s", makeStringValue("2")}}, {}}}};
    EXPECT_EQ(*snapshot, expected);
    EXPECT_FALSE(registry.exportKey(RegRoot::LocalMachine, "missing"));
}

TEST(WineRegistry, WritesAreRefusedWhileTheWineserverRuns)
{
    test::TempPrefix prefix;
    struct stat info {
    };
    ASSERT_EQ(stat(QFile::encodeName(prefix.path()).constData(), &info), 0);
    const QString folder = QStringLiteral("/tmp/.wine-%1/server-%2-%3")
                               .arg(getuid())
                               .arg(quint64(info.st_dev), 0, 16)
                               .arg(quint64(info.st_ino), 0, 16);
    const QByteArray before = readAll(prefix.hivePath(RegRoot::LocalMachine));
    WineRegistry registry(prefix.prefix());
    {
        FakeWineserver server(folder);
        EXPECT_TRUE(registry.wineserverRunning());
        EXPECT_EQ(registry.setValue(RegRoot::LocalMachine, "K", "v", makeDwordValue(1)).status,
                  RegStatus::PrefixBusy);
        EXPECT_EQ(readAll(prefix.hivePath(RegRoot::LocalMachine)), before);
        server.stop();
        EXPECT_FALSE(registry.wineserverRunning());
    }
    EXPECT_TRUE(registry.setValue(RegRoot::LocalMachine, "K", "v", makeDwordValue(1)).ok());
}

TEST(WineRegistry, TheServerNamedInThePrefixIsFoundUnderTmpdir)
{
    test::TempPrefix prefix;
    const QString tmp = prefix.hostPath("tmp");
    qputenv("TMPDIR", QFile::encodeName(tmp));
    QFile::link("server-x", prefix.hostPath("wineserver"));
    {
        FakeWineserver server(tmp + "/server-x");
        EXPECT_TRUE(wineserver::isRunning(prefix.path()));
    }
    qunsetenv("TMPDIR");
}

// Debian's Wine 8 stores "wine-XXXXXX" in <prefix>/wineserver and runs its server in
// $TMPDIR/wine-XXXXXX/server-<dev>-<ino>, one folder per prefix.
TEST(WineRegistry, TheServerInsideTheFolderNamedInThePrefixIsFound)
{
    test::TempPrefix prefix;
    const QString tmp = prefix.hostPath("tmp");
    qputenv("TMPDIR", QFile::encodeName(tmp));
    writeAll(prefix.hostPath("wineserver"), "wine-AbC123");
    struct stat info {
    };
    ASSERT_EQ(stat(QFile::encodeName(prefix.path()).constData(), &info), 0);
    const QString folder = QStringLiteral("%1/wine-AbC123/server-%2-%3")
                               .arg(tmp)
                               .arg(quint64(info.st_dev), 0, 16)
                               .arg(quint64(info.st_ino), 0, 16);
    {
        FakeWineserver server(folder);
        EXPECT_TRUE(wineserver::isRunning(prefix.path()));
    }
    EXPECT_FALSE(wineserver::isRunning(prefix.path()));
    qunsetenv("TMPDIR");
}

TEST(WineRegistry, AFileThatIsNotAHiveIsNeverWritten)
{
    test::TempPrefix prefix;
    const QByteArray notHive = "WINE REGISTRY Version 3\n\n[K] 1\n\"a\"=\"1\"\n";
    writeAll(prefix.hivePath(RegRoot::LocalMachine), notHive);
    WineRegistry registry(prefix.prefix());
    EXPECT_FALSE(registry.queryValue(RegRoot::LocalMachine, "K", "a"));
    EXPECT_EQ(registry.setValue(RegRoot::LocalMachine, "K", "b", makeDwordValue(1)).status,
              RegStatus::NotAHive);
    EXPECT_EQ(readAll(prefix.hivePath(RegRoot::LocalMachine)), notHive);
}

TEST(WineRegistry, AWriterKilledAtAnyMomentLeavesAHiveThatParses)
{
    test::TempPrefix prefix;
    prefix.setHiveBody(RegRoot::LocalMachine,
                       test::uninstallEntryBlock("App", {{"DisplayName", "x"}}));
    const QString hive = prefix.hivePath(RegRoot::LocalMachine);
    std::mt19937 random(42);
    for (int round = 0; round < 20; ++round) {
        const pid_t child = fork();
        if (child == 0) {
            WineRegistry writer(prefix.prefix());
            for (int i = 0;; ++i) {
                (void)writer.setValue(RegRoot::LocalMachine, kApp + QString::number(i % 50), "n",
                                      makeStringValue(QString(i % 300, u'y')));
            }
        }
        std::this_thread::sleep_for(std::chrono::microseconds(1000 + random() % 60000));
        kill(child, SIGKILL);
        waitpid(child, nullptr, 0);
        auto parsed = HiveFile::parse(readAll(hive));
        ASSERT_TRUE(parsed) << "round " << round;
        HiveKey* app = parsed->findKey(kApp);
        ASSERT_NE(app, nullptr);
        EXPECT_NE(parsed->findValue(app, u"DisplayName"), nullptr);
    }
    // Killed writers may leave temporary files; the hive itself is whole.
    WineRegistry registry(prefix.prefix());
    EXPECT_EQ(registry.queryValue(RegRoot::LocalMachine, kApp, "DisplayName"),
              makeStringValue("x"));
}
