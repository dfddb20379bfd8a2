#include "support/TempPrefix.h"

#include "RegeditTool.h"
#include "WineRegistry.h"
#include "Wineserver.h"
#include "mdlProsessi.h"
#include "support/FakeWineserver.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>

#include <sys/stat.h>
#include <unistd.h>

namespace nixora
{
namespace
{

const QString kTool = QStringLiteral(NIXORA_BIN_DIR "/nixora-reliability-tool");
const QString kLoopKey = QStringLiteral("Software\\Nixora Reliability");

int modeOf(const QString& path)
{
    struct stat info {
    };
    return ::stat(QFile::encodeName(path).constData(), &info) == 0 ? int(info.st_mode & 07777) : -1;
}

// Two prefixes whose system.reg link to one file kept outside any prefix: both writers lock
// and replace that file, so every write that reported success is there afterwards.
TEST(SharedHive, TwoPrefixesLinkingToOneHiveLoseNoWrite)
{
    constexpr int kWrites = 60;
    test::TempPrefix first;
    test::TempPrefix second;
    const QString shared = first.hostPath(QStringLiteral("shared/system.reg"));
    QDir().mkpath(QFileInfo(shared).path());
    ASSERT_TRUE(QFile::rename(first.hivePath(RegRoot::LocalMachine), shared));
    const QString hive = second.hivePath(RegRoot::LocalMachine);
    ASSERT_TRUE(QFile::remove(hive));
    ASSERT_TRUE(QFile::link(shared, hive));
    ASSERT_TRUE(QFile::link(shared, first.hivePath(RegRoot::LocalMachine)));
    QProcess writers[2];
    const QString prefixes[2] = {first.path(), second.path()};
    for (int i = 0; i < 2; ++i) {
        writers[i].start(kTool, {QStringLiteral("write-loop"), prefixes[i],
                                 QStringLiteral("w%1-").arg(i), QString::number(kWrites)});
        ASSERT_TRUE(writers[i].waitForStarted());
    }
    for (QProcess& writer : writers) {
        ASSERT_TRUE(writer.waitForFinished(-1));
        EXPECT_EQ(writer.exitCode(), 0) << writer.readAllStandardError().toStdString();
    }
    WineRegistry registry(first.prefix());
    for (int w = 0; w < 2; ++w) {
        for (int i = 0; i < kWrites; ++i)
            EXPECT_EQ(registry.queryValue(RegRoot::LocalMachine, kLoopKey,
                                          QStringLiteral("w%1-%2").arg(w).arg(i)),
                      makeDwordValue(uint32_t(i)));
    }
    EXPECT_TRUE(QFileInfo(hive).isSymLink());
}

// The clean-up of temporaries left by killed writers spares those of writers still running,
// and a link named like the lock files of earlier versions is neither followed nor used.
TEST(SharedHive, LiveTemporariesStayAndALinkedLockIsNotFollowed)
{
    test::TempPrefix prefix;
    const QString live =
        prefix.hostPath(QStringLiteral(".system.reg.nixora-%1-77.tmp").arg(::getpid()));
    QFile file(live);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    WineRegistry registry(prefix.prefix());
    ASSERT_TRUE(registry.setValue(RegRoot::LocalMachine, "K", "v", makeDwordValue(1)).ok());
    EXPECT_TRUE(QFile::exists(live));

    const QString lock = prefix.hostPath(QStringLiteral("system.reg.lock"));
    const QString target = prefix.hostPath(QStringLiteral("elsewhere/made-by-nixora"));
    QDir().mkpath(QFileInfo(target).path());
    QFile::remove(lock);
    ASSERT_TRUE(QFile::link(target, lock));
    EXPECT_TRUE(registry.setValue(RegRoot::LocalMachine, "K", "v", makeDwordValue(2)).ok());
    EXPECT_FALSE(QFileInfo::exists(target));
}

// An exported file keeps the mode of the file it replaces; a new one gets the umask's.
TEST(DurableReplace, ExportKeepsTheOldModeAndANewFileFollowsTheUmask)
{
    test::TempPrefix prefix;
    WineRegistry registry(prefix.prefix());
    ASSERT_TRUE(
        registry.setValue(RegRoot::LocalMachine, "Software\\A", "v", makeDwordValue(1)).ok());
    const QString old = prefix.hostPath(QStringLiteral("old.reg"));
    QFile file(old);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    ASSERT_EQ(::chmod(QFile::encodeName(old).constData(), 0600), 0);
    const mode_t mask = ::umask(027);
    const RegeditOutcome replaced = exportRegFile(registry, old, "HKLM\\Software\\A");
    const QString fresh = prefix.hostPath(QStringLiteral("new.reg"));
    const RegeditOutcome created = exportRegFile(registry, fresh, "HKLM\\Software\\A");
    ::umask(mask);
    ASSERT_TRUE(replaced.ok() && created.ok());
    EXPECT_EQ(modeOf(old), 0600);
    EXPECT_EQ(modeOf(fresh), 0640);
}

// A key nested a million levels deep: every write copies it with no call per level, an export
// (and so a backup) is refused as too large, and the key can still be deleted.
TEST(DeepKey, AMillionLevelsAreWrittenKeptAndDeletedButNotExported)
{
    constexpr int kLevels = 1000000;
    test::TempPrefix prefix;
    QByteArray body =
        "WINE REGISTRY Version 2\n;; All keys relative to \\\\Machine\n\n#arch=win64\n"
        "\n[";
    body += QByteArray("d\\\\").repeated(kLevels - 1) + "d] 1700000000\n\"v\"=dword:00000001\n";
    {
        QFile hive(prefix.hivePath(RegRoot::LocalMachine));
        ASSERT_TRUE(hive.open(QIODevice::WriteOnly | QIODevice::Truncate));
        hive.write(body);
    }
    WineRegistry registry(prefix.prefix());
    ASSERT_TRUE(registry.setValue(RegRoot::LocalMachine, "Other", "x", makeDwordValue(2)).ok());
    const QString deepest = (QStringLiteral("d\\").repeated(kLevels - 1) + u'd');
    EXPECT_EQ(registry.queryValue(RegRoot::LocalMachine, deepest, "v"), makeDwordValue(1));

    EXPECT_FALSE(registry.exportKey(RegRoot::LocalMachine, "d"));
    const RegeditOutcome exported =
        exportRegFile(registry, prefix.hostPath(QStringLiteral("deep.reg")), "HKLM\\d");
    EXPECT_EQ(exported.exitStatus, kRegeditTooLarge);
    EXPECT_FALSE(QFileInfo::exists(prefix.hostPath(QStringLiteral("deep.reg"))));

    ASSERT_TRUE(
        registry
            .apply({RegChange{
                RegChange::Kind::DeleteTree, RegRoot::LocalMachine, QStringLiteral("d"), {}, {}}})
            .ok());
    EXPECT_FALSE(registry.keyExists(RegRoot::LocalMachine, "d"));
}

// A FIFO where a program or a wineserver lock is expected is not opened for reading, so
// neither the runner nor the start-up check can block on it.
TEST(Fifos, AnUninstallerOrServerLockThatIsAFifoDoesNotBlock)
{
    test::TempPrefix prefix;
    const QString program = prefix.hostPath(QStringLiteral("drive_c/uninst.exe"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(program).constData(), 0755), 0);
    EXPECT_EQ(mdlProsessi::AjaProsessi(prefix.path(), QStringLiteral("C:\\uninst.exe")), -1);

    // A folder of that name is left over from a wineserver of an earlier prefix that had this
    // folder's inode: Wine leaves its lock file behind when it exits.
    const QString folder = test::wineserverFolderOf(prefix.path());
    QDir(folder).removeRecursively();
    QDir().mkpath(folder);
    // Read-only, so that an open for writing fails and only a read-only open is left.
    ASSERT_EQ(::mkfifo(QFile::encodeName(folder + QStringLiteral("/lock")).constData(), 0444), 0);
    EXPECT_FALSE(wineserver::isRunning(prefix.path()));
    QDir(folder).removeRecursively();
}

} // namespace
} // namespace nixora
