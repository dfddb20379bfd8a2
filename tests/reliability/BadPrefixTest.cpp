#include "support/TempPrefix.h"

#include "HiveFile.h"
#include "WineRegistry.h"
#include "support/TestData.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <map>
#include <sys/stat.h>
#include <unistd.h>

namespace nixora
{
namespace
{

using test::readAll;

// Something other than a hive file where system.reg belongs.
struct OddHive {
    const char* name;
    void (*make)(const QString& hivePath);
    RegStatus writeStatus;
    const char* problem = ""; // what readProblem() says, in part; "": nothing
};

class OddHiveFile : public ::testing::TestWithParam<OddHive>
{
protected:
    test::TempPrefix m_prefix;
};

TEST_P(OddHiveFile, ReadsAsEmptyAndRefusesWritesWithoutBlocking)
{
    const QString hive = m_prefix.hivePath(RegRoot::LocalMachine);
    QFile::remove(hive);
    GetParam().make(hive);
    auto kind = [&hive] {
        struct stat info {
        };
        return ::lstat(QFile::encodeName(hive).constData(), &info) == 0 ? int(info.st_mode) : -1;
    };
    const int before = kind();
    WineRegistry registry(m_prefix.prefix());
    EXPECT_FALSE(registry.queryValue(RegRoot::LocalMachine, "Software", "v"));
    EXPECT_FALSE(registry.subkeyName(RegRoot::LocalMachine, "", 0));
    EXPECT_EQ(registry.setValue(RegRoot::LocalMachine, "K", "v", makeDwordValue(1)).status,
              GetParam().writeStatus);
    EXPECT_EQ(kind(), before) << "the thing in the hive's place was replaced";
    const QString problem = registry.readProblem();
    EXPECT_EQ(problem.isEmpty(), *GetParam().problem == '\0') << problem.toStdString();
    EXPECT_TRUE(problem.contains(QLatin1String(GetParam().problem))) << problem.toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, OddHiveFile,
    ::testing::Values(
        OddHive{"Missing", [](const QString&) {}, RegStatus::NotFound},
        OddHive{"Fifo",
                [](const QString& path) { ::mkfifo(QFile::encodeName(path).constData(), 0644); },
                RegStatus::NotAHive},
        OddHive{"Directory", [](const QString& path) { QDir().mkpath(path); }, RegStatus::NotAHive},
        OddHive{"LinkToDevZero",
                [](const QString& path) { QFile::link(QStringLiteral("/dev/zero"), path); },
                RegStatus::NotAHive},
        OddHive{"DanglingLink",
                [](const QString& path) { QFile::link(path + QStringLiteral(".gone"), path); },
                RegStatus::NotFound},
        OddHive{"Empty",
                [](const QString& path) {
                    QFile file(path);
                    (void)file.open(QIODevice::WriteOnly);
                },
                RegStatus::NotAHive},
        OddHive{"Binary",
                [](const QString& path) {
                    QFile file(path);
                    if (file.open(QIODevice::WriteOnly))
                        file.write(QByteArray("\x7f"
                                              "ELF\x02\x01\x01\0\0\0",
                                              10)
                                       .repeated(100));
                },
                RegStatus::NotAHive},
        // A real hive grown by `truncate -s 64G`: reading it would fail the allocation.
        OddHive{"SparseFileOverTheLimit",
                [](const QString& path) {
                    QFile file(path);
                    if (file.open(QIODevice::WriteOnly))
                        file.write(HiveFile::emptyHiveText(RegRoot::LocalMachine, "win64"));
                    (void)file.resize(qint64(64) << 30);
                },
                RegStatus::IoError, "system.reg is too large to read (64.0 GiB; Nixora reads"}),
    [](const ::testing::TestParamInfo<OddHive>& info) { return std::string(info.param.name); });

TEST(HiveLink, AWriteGoesWhereTheLinkPointsAndKeepsTheLink)
{
    test::TempPrefix prefix;
    const QString hive = prefix.hivePath(RegRoot::LocalMachine);
    const QString shared = prefix.hostPath(QStringLiteral("shared/system.reg"));
    QDir().mkpath(QFileInfo(shared).path());
    ASSERT_TRUE(QFile::rename(hive, shared));
    ASSERT_TRUE(QFile::link(QStringLiteral("shared/system.reg"), hive));
    WineRegistry registry(prefix.prefix());
    ASSERT_TRUE(registry.setValue(RegRoot::LocalMachine, "K", "v", makeDwordValue(5)).ok());
    EXPECT_TRUE(QFileInfo(hive).isSymLink());
    EXPECT_TRUE(readAll(shared).contains("\"v\"=dword:00000005"));
    // The lock is the folder of the file the write replaces: prefixes sharing the file share
    // it, and nothing of ours is left beside the hive.
    EXPECT_EQ(QDir(prefix.hostPath("shared")).entryList(QDir::Files | QDir::Hidden, QDir::Name),
              QStringList{QStringLiteral("system.reg")});
}

TEST(HiveLink, ReplacementsLeftByAKilledWriterAreRemovedByTheNextWrite)
{
    test::TempPrefix prefix;
    const QString stale = prefix.hostPath(QStringLiteral(".system.reg.nixora-99999-0.tmp"));
    QFile file(stale);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("WINE REGISTRY Version 2\n;; half");
    file.close();
    WineRegistry registry(prefix.prefix());
    ASSERT_TRUE(registry.setValue(RegRoot::LocalMachine, "K", "v", makeDwordValue(1)).ok());
    EXPECT_FALSE(QFile::exists(stale));
}

// Every entry below `folder` with its owner and, for files, its bytes.
std::map<QString, std::pair<uid_t, QByteArray>> treeOf(const QString& folder)
{
    std::map<QString, std::pair<uid_t, QByteArray>> tree;
    QDirIterator it(folder, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        struct stat info {
        };
        ::lstat(QFile::encodeName(path).constData(), &info);
        tree[path] = {info.st_uid, S_ISREG(info.st_mode) ? readAll(path) : QByteArray()};
    }
    return tree;
}

void chownAll(const QString& folder, uid_t uid, gid_t gid)
{
    ASSERT_EQ(::lchown(QFile::encodeName(folder).constData(), uid, gid), 0);
    QDirIterator it(folder, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        ASSERT_EQ(::lchown(QFile::encodeName(it.next()).constData(), uid, gid), 0);
}

test::ProgramRun runIn(const QString& prefix, const QString& program, const QStringList& arguments)
{
    QProcessEnvironment environment;
    environment.insert(QStringLiteral("WINEPREFIX"), prefix);
    return test::runProgram(QStringLiteral(NIXORA_BIN_DIR "/") + program, arguments, environment);
}

// Run as root (as the tests are, here and in CI) on another user's prefix, nothing of it is
// written or created, so its owner keeps full use of it; and a hive of another owner in a prefix
// of ours keeps its owner, group and mode when it is replaced.
TEST(OtherUsersPrefix, IsNeverWrittenAndAReplacedHiveKeepsItsOwner)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "giving files to another user needs root";
    constexpr uid_t kOther = 4242;
    constexpr gid_t kGroup = 4343;
    QTemporaryDir outside;
    const QString import = outside.filePath(QStringLiteral("import.reg"));
    test::writeAll(import,
                   "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\Root]\r\n\"v\"=\"1\"\r\n");
    test::TempPrefix theirs;
    theirs.setHiveBody(RegRoot::LocalMachine,
                       test::uninstallEntryBlock("Gone", {{"DisplayName", "Gone"},
                                                          {"UninstallString", "C:\\gone\\u.exe"}}));
    chownAll(theirs.path(), kOther, kGroup);
    const auto before = treeOf(theirs.path());

    const test::ProgramRun imported =
        runIn(theirs.path(), QStringLiteral("nixora-regedit"), {QStringLiteral("/S"), import});
    EXPECT_EQ(imported.exitCode, 1);
    EXPECT_TRUE(imported.err.contains(QLatin1String("belongs to"))) << imported.err.toStdString();
    const test::ProgramRun removed =
        runIn(theirs.path(), QStringLiteral("nixora"),
              {QStringLiteral("--prefix"), theirs.path(), QStringLiteral("--remove-phantoms")});
    EXPECT_EQ(removed.exitCode, 1);
    EXPECT_TRUE(removed.out.contains(QLatin1String("belongs to"))) << removed.out.toStdString();
    EXPECT_TRUE(treeOf(theirs.path()) == before) << "the other user's prefix was changed";

    test::TempPrefix ours;
    const QByteArray hive = QFile::encodeName(ours.hivePath(RegRoot::LocalMachine));
    ASSERT_EQ(::chown(hive.constData(), kOther, kGroup), 0);
    ASSERT_EQ(::chmod(hive.constData(), 0640), 0);
    const test::ProgramRun mine =
        runIn(ours.path(), QStringLiteral("nixora-regedit"), {QStringLiteral("/S"), import});
    ASSERT_EQ(mine.exitCode, 0) << mine.err.toStdString();
    struct stat info {
    };
    ASSERT_EQ(::stat(hive.constData(), &info), 0);
    EXPECT_EQ(info.st_uid, kOther);
    EXPECT_EQ(info.st_gid, kGroup);
    EXPECT_EQ(info.st_mode & 07777, 0640u);
    EXPECT_TRUE(readAll(ours.hivePath(RegRoot::LocalMachine)).contains("[Software\\\\Root]"));
}

} // namespace
} // namespace nixora
