#include "support/TempPrefix.h"
#include "support/TestData.h"

#include "mdlProsessi.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

namespace nixora
{
namespace
{

using test::readAll;
using test::writeAll;

const QString kTool = QStringLiteral(NIXORA_BIN_DIR "/nixora-reliability-tool");
const QString kRegedit = QStringLiteral(NIXORA_BIN_DIR "/nixora-regedit");

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
                         return QStringList{kTool, QStringLiteral("settings-loop"), prefix,
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

} // namespace
} // namespace nixora
