#include "support/TempPrefix.h"
#include "support/TestData.h"

#include "mdlProsessi.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace nixora
{
namespace
{

using test::readAll;
using test::writeAll;

const QString kTool = QStringLiteral(NIXORA_BIN_DIR "/nixora-reliability-tool");
const QString kRegedit = QStringLiteral(NIXORA_BIN_DIR "/nixora-regedit");
const QString kNixora = QStringLiteral(NIXORA_BIN_DIR "/nixora");

// A writer that runs out of disk space part way through what it saves.
struct FullDiskCase {
    const char* name;
    const char* watchedFile; // relative to the prefix: must stay byte for byte as it was
    QStringList (*command)(const QString& prefix);
    const char* errorText; // part of what the writer reports, empty when it reports by status
};

class FullDisk : public ::testing::TestWithParam<FullDiskCase>
{
protected:
    void SetUp() override
    {
        // Real Wine hives, far larger than the file-size limit below.
        writeAll(m_prefix.hivePath(RegRoot::LocalMachine),
                 test::readDataFile(QStringLiteral("wine8/fresh/system.reg")));
        writeAll(m_prefix.hivePath(RegRoot::CurrentUser),
                 test::readDataFile(QStringLiteral("wine8/fresh/user.reg")));
        writeAll(m_prefix.hostPath(QStringLiteral("new.reg")),
                 "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\Full]\r\n\"v\"=\"1\"\r\n");
        writeAll(m_prefix.hostPath(QStringLiteral("backup.reg")), "old backup\r\n");
    }

    test::TempPrefix m_prefix;
};

TEST_P(FullDisk, LeavesTheOldFileAndReportsFailure)
{
    const QString watched = m_prefix.hostPath(QLatin1String(GetParam().watchedFile));
    const QByteArray before = readAll(watched);
    ASSERT_FALSE(before.isEmpty());
    const QStringList command = GetParam().command(m_prefix.path());
    // 4 KiB: less than any of the files being written.
    const ChildResult result = runHidden(
        kTool, QStringList{QStringLiteral("limit-fsize"), QStringLiteral("4096")} + command,
        {QStringLiteral("WINEPREFIX=") + m_prefix.path()});
    ASSERT_TRUE(result.started);
    EXPECT_EQ(result.terminatingSignal, 0);
    EXPECT_NE(result.exitCode, 0);
    EXPECT_TRUE(result.standardError.contains(QLatin1String(GetParam().errorText)))
        << result.standardError.toStdString();
    EXPECT_EQ(readAll(watched), before);
    const QStringList hidden =
        QDir(m_prefix.path())
            .entryList({QStringLiteral(".*")}, QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot);
    EXPECT_EQ(hidden, QStringList()) << "temporary files left behind";
}

INSTANTIATE_TEST_SUITE_P(
    Writers, FullDisk,
    ::testing::Values(
        FullDiskCase{"Import", "system.reg",
                     [](const QString& prefix) {
                         return QStringList{kRegedit, QStringLiteral("/S"), prefix + "/new.reg"};
                     },
                     "Cannot save"},
        FullDiskCase{"Settings", "user.reg",
                     [](const QString& prefix) {
                         return QStringList{kTool, QStringLiteral("settings-loop"),
                                            prefix + QStringLiteral("/user.reg"),
                                            QStringLiteral("1")};
                     },
                     ""},
        FullDiskCase{"Export", "backup.reg",
                     [](const QString& prefix) {
                         return QStringList{kRegedit, QStringLiteral("/E"), prefix + "/backup.reg",
                                            QStringLiteral("HKEY_LOCAL_MACHINE\\Software")};
                     },
                     "File too large"}),
    [](const ::testing::TestParamInfo<FullDiskCase>& info) {
        return std::string(info.param.name);
    });

// Sets or clears the immutable attribute, which makes a rename over the file fail as a file on
// a failing disk or a read-only remount would, while its folder still takes new files.
bool setImmutable(const QString& path, bool on)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    int flags = 0;
    const bool ok = fd >= 0 && ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0 &&
                    (flags = on ? flags | FS_IMMUTABLE_FL : flags & ~FS_IMMUTABLE_FL,
                     ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0);
    if (fd >= 0)
        ::close(fd);
    return ok;
}

// A write that changes both hives while user.reg cannot be replaced: system.reg must not keep
// a change the call reports as failed.
class UnreplaceableUserHive : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_prefix.setHiveBody(
            RegRoot::LocalMachine,
            test::uninstallEntryBlock(
                "Gone", {{"DisplayName", "Gone"}, {"UninstallString", "C:\\gone\\uninst.exe"}}) +
                test::hiveKeyBlock("Software\\Big", bigValues()));
        m_prefix.setHiveBody(
            RegRoot::CurrentUser,
            test::uninstallEntryBlock(
                "GoneToo", {{"DisplayName", "Gone too"}, {"UninstallString", "C:\\gone\\u2.exe"}}));
        writeAll(m_prefix.hostPath(QStringLiteral("both.reg")),
                 "REGEDIT4\r\n\r\n[-HKEY_LOCAL_MACHINE\\Software\\Big]\r\n\r\n"
                 "[HKEY_CURRENT_USER\\Software\\New]\r\n\"v\"=\"1\"\r\n");
        m_userHive = m_prefix.hivePath(RegRoot::CurrentUser);
        if (!setImmutable(m_userHive, true))
            GTEST_SKIP() << "the immutable attribute needs root and a file system that has it";
        m_immutable = true;
        m_systemBefore = readAll(m_prefix.hivePath(RegRoot::LocalMachine));
    }
    void TearDown() override
    {
        if (m_immutable)
            setImmutable(m_userHive, false);
    }

    // 40 KiB of values: far more than the 8 KiB file-size limit below.
    static QList<QPair<QString, QString>> bigValues()
    {
        QList<QPair<QString, QString>> values;
        for (int i = 0; i < 40; ++i)
            values.append({QStringLiteral("v%1").arg(i), QString(1000, u'x')});
        return values;
    }

    [[nodiscard]] test::ProgramRun run(const QString& program, const QStringList& arguments,
                                       const QStringList& limit = {}) const
    {
        QProcessEnvironment environment;
        environment.insert(QStringLiteral("WINEPREFIX"), m_prefix.path());
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"), m_prefix.hostPath("config"));
        return limit.isEmpty()
                   ? test::runProgram(program, arguments, environment)
                   : test::runProgram(kTool, limit + QStringList{program} + arguments, environment);
    }

    test::TempPrefix m_prefix;
    QString m_userHive;
    bool m_immutable = false;
    QByteArray m_systemBefore;
};

TEST_F(UnreplaceableUserHive, AnImportSpanningBothHivesChangesNeither)
{
    const test::ProgramRun result =
        run(kRegedit, {QStringLiteral("/S"), m_prefix.hostPath(QStringLiteral("both.reg"))});
    EXPECT_EQ(result.exitCode, 1) << result.err.toStdString();
    EXPECT_TRUE(result.err.contains(QLatin1String("Cannot save")));
    EXPECT_TRUE(readAll(m_prefix.hivePath(RegRoot::LocalMachine)) == m_systemBefore)
        << "system.reg was changed";
}

// The old system.reg is larger than the file-size limit: once the new one is in place it cannot
// be put back, and the import says that system.reg holds its changes.
TEST_F(UnreplaceableUserHive, AnImportThatCannotBeUndoneSaysWhichHiveLanded)
{
    const test::ProgramRun result =
        run(kRegedit, {QStringLiteral("/S"), m_prefix.hostPath(QStringLiteral("both.reg"))},
            {QStringLiteral("limit-fsize"), QStringLiteral("8192")});
    EXPECT_EQ(result.exitCode, 4) << result.err.toStdString();
    EXPECT_TRUE(result.err.contains(QLatin1String("system.reg was saved")))
        << result.err.toStdString();
    EXPECT_FALSE(readAll(m_prefix.hivePath(RegRoot::LocalMachine)).contains("Big"));
}

TEST_F(UnreplaceableUserHive, PhantomRemovalKeepsBothEntriesAndSaysSo)
{
    const test::ProgramRun result = run(kNixora, {QStringLiteral("--prefix"), m_prefix.path(),
                                                  QStringLiteral("--remove-phantoms")});
    EXPECT_EQ(result.exitCode, 1) << result.err.toStdString();
    EXPECT_TRUE(readAll(m_prefix.hivePath(RegRoot::LocalMachine)) == m_systemBefore)
        << "system.reg was changed";
    EXPECT_TRUE(result.out.contains(QLatin1String("Removed 0 phantom entries in 1 "
                                                  "prefixes; kept 2")))
        << result.out.toStdString();
}

} // namespace
} // namespace nixora
