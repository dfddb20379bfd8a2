#include "support/TempPrefix.h"

#include "HiveFile.h"
#include "WineRegistry.h"
#include "support/TestData.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <sys/stat.h>

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
    // The lock is taken beside the file the write replaces, so prefixes sharing it share a lock.
    EXPECT_EQ(QDir(prefix.hostPath("shared")).entryList(QDir::Files | QDir::Hidden, QDir::Name),
              (QStringList{QStringLiteral("system.reg"), QStringLiteral("system.reg.lock")}));
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

} // namespace
} // namespace nixora
