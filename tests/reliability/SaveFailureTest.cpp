#include "support/TempPrefix.h"
#include "support/TestData.h"

#include "EntrySource.h"
#include "WineRegistry.h"
#include "backup/BackupCheck.h"
#include "mdlProsessi.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <map>

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

// A file that cannot be replaced (chattr +i) for as long as it lives; nothing when the file
// system or the user cannot make it so.
class ImmutableFile
{
public:
    explicit ImmutableFile(const QString& path) : m_path(QFile::encodeName(path))
    {
        m_set = setFlag(true);
    }
    ~ImmutableFile()
    {
        if (m_set)
            (void)setFlag(false);
    }
    [[nodiscard]] bool set() const { return m_set; }

private:
    [[nodiscard]] bool setFlag(bool on) const
    {
        const int fd = ::open(m_path.constData(), O_RDONLY | O_CLOEXEC);
        int flags = 0;
        bool ok = fd >= 0 && ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
        flags = on ? flags | FS_IMMUTABLE_FL : flags & ~FS_IMMUTABLE_FL;
        ok = ok && ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
        if (fd >= 0)
            ::close(fd);
        return ok;
    }

    QByteArray m_path;
    bool m_set = false;
};

// Phantoms in both hives while user.reg cannot be replaced: system.reg is saved without the
// HKLM entry, user.reg keeps the HKCU one. The report names the HKLM entry as removed with its
// backup, which gives it back; the HKCU entry is kept and its backup is gone.
TEST(UnreplaceableHive, EveryKeyThatIsGoneHasItsBackupAndTheReportSaysSo)
{
    test::TempPrefix prefix;
    const QList<QPair<QString, QString>> values{
        {QStringLiteral("DisplayName"), QStringLiteral("Gone")},
        {QStringLiteral("UninstallString"), QStringLiteral("C:\\gone\\uninst.exe")}};
    prefix.setHiveBody(RegRoot::LocalMachine,
                       test::uninstallEntryBlock(QStringLiteral("MachineGone"), values));
    prefix.setHiveBody(RegRoot::CurrentUser,
                       test::uninstallEntryBlock(QStringLiteral("UserGone"), values));
    const QString original = prefix.hostPath(QStringLiteral("original"));
    ASSERT_TRUE(QDir().mkpath(original));
    ASSERT_TRUE(QFile::copy(prefix.hivePath(RegRoot::LocalMachine), original + "/system.reg"));
    const QByteArray userBefore = readAll(prefix.hivePath(RegRoot::CurrentUser));
    const ImmutableFile locked(prefix.hivePath(RegRoot::CurrentUser));
    if (!locked.set())
        GTEST_SKIP() << "user.reg cannot be made immutable here (needs root and ext4 or alike)";

    QProcess run;
    run.start(QStringLiteral(NIXORA_BIN_DIR "/nixora"),
              {QStringLiteral("--prefix"), prefix.path(), QStringLiteral("--remove-phantoms"),
               QStringLiteral("--format"), QStringLiteral("json")});
    ASSERT_TRUE(run.waitForFinished(60000));
    EXPECT_EQ(run.exitCode(), 1);
    const QByteArray output = run.readAllStandardOutput();
    const QJsonObject report = QJsonDocument::fromJson(output).object();
    std::map<QString, QJsonObject> rows;
    for (const QJsonValue& row : report.value(QStringLiteral("entries")).toArray())
        rows[row.toObject().value(QStringLiteral("subkey")).toString()] = row.toObject();
    ASSERT_EQ(rows.size(), 2u) << output.toStdString();

    const QJsonObject machine = rows[QStringLiteral("MachineGone")];
    EXPECT_TRUE(machine.value(QStringLiteral("removed")).toBool());
    const QString backup = machine.value(QStringLiteral("backupFile")).toString();
    WineRegistry before{Prefix(original)};
    const QString path = entrySource(SourceKind::Machine).entryPath(QStringLiteral("MachineGone"));
    EXPECT_TRUE(backupGivesKey(before, backup, RegRoot::LocalMachine, path))
        << backup.toStdString();
    EXPECT_FALSE(WineRegistry(prefix.prefix()).keyExists(RegRoot::LocalMachine, path));

    const QJsonObject user = rows[QStringLiteral("UserGone")];
    EXPECT_FALSE(user.value(QStringLiteral("removed")).toBool());
    EXPECT_TRUE(user.value(QStringLiteral("backupFile")).toString().isEmpty());
    EXPECT_EQ(prefix.backupFileCount(), 1);
    EXPECT_EQ(readAll(prefix.hivePath(RegRoot::CurrentUser)), userBefore);
}

} // namespace
} // namespace nixora
