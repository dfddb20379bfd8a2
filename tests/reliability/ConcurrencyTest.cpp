#include "support/TempPrefix.h"

#include "RemovalCheck.h"
#include "WineRegistry.h"
#include "mdlProsessi.h"
#include "support/TestData.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <array>

namespace nixora
{
namespace
{

const QString kTool = QStringLiteral(NIXORA_BIN_DIR "/nixora-reliability-tool");
const QString kRegedit = QStringLiteral(NIXORA_BIN_DIR "/nixora-regedit");
const QString kLoopKey = QStringLiteral("Software\\Nixora Reliability");

class Concurrency : public ::testing::Test
{
protected:
    // A .reg file that sets one value under the loop key.
    QString importFile(int index) const
    {
        const QString path = m_prefix.hostPath(QStringLiteral("import%1.reg").arg(index));
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(QStringLiteral("REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\Nixora "
                                  "Reliability]\r\n\"imported%1\"=dword:%2\r\n")
                       .arg(index)
                       .arg(index, 8, 16, QLatin1Char('0'))
                       .toUtf8());
        return path;
    }

    [[nodiscard]] ChildResult import(int index) const
    {
        return runHidden(kRegedit, {QStringLiteral("/S"), importFile(index)},
                         {QStringLiteral("WINEPREFIX=") + m_prefix.path()});
    }

    void startLoop(QProcess& process, const QString& name, int count) const
    {
        process.start(
            kTool, {QStringLiteral("write-loop"), m_prefix.path(), name, QString::number(count)});
        ASSERT_TRUE(process.waitForStarted());
    }

    // Every value a writer was told it stored is there, with its number.
    void expectValues(const QString& prefixName, int count) const
    {
        WineRegistry registry(m_prefix.prefix());
        for (int i = 0; i < count; ++i) {
            const auto value = registry.queryValue(RegRoot::LocalMachine, kLoopKey,
                                                   prefixName + QString::number(i));
            ASSERT_TRUE(value.has_value()) << (prefixName + QString::number(i)).toStdString();
            EXPECT_EQ(*value, makeDwordValue(uint32_t(i)));
        }
    }

    [[nodiscard]] QByteArray hiveBytes() const
    {
        return test::readAll(m_prefix.hivePath(RegRoot::LocalMachine));
    }

    [[nodiscard]] QStringList leftovers() const
    {
        return QDir(m_prefix.path())
            .entryList({QStringLiteral(".*.tmp")}, QDir::Files | QDir::Hidden);
    }

    test::TempPrefix m_prefix;
};

TEST_F(Concurrency, ImportsWhileAnotherProcessWritesLoseNothing)
{
    constexpr int kLoopWrites = 150;
    constexpr int kImports = 25;
    QProcess loop;
    startLoop(loop, QStringLiteral("loop"), kLoopWrites);
    for (int i = 0; i < kImports; ++i) {
        const ChildResult result = import(i);
        ASSERT_EQ(result.exitCode, 0) << result.standardError.toStdString();
    }
    ASSERT_TRUE(loop.waitForFinished(-1));
    EXPECT_EQ(loop.exitCode(), 0) << loop.readAllStandardError().toStdString();
    expectValues(QStringLiteral("loop"), kLoopWrites);
    WineRegistry registry(m_prefix.prefix());
    for (int i = 0; i < kImports; ++i)
        EXPECT_EQ(registry.queryValue(RegRoot::LocalMachine, kLoopKey,
                                      QStringLiteral("imported%1").arg(i)),
                  makeDwordValue(uint32_t(i)));
    EXPECT_EQ(leftovers(), QStringList());
}

TEST_F(Concurrency, TwoWritingProcessesKeepEachOthersValues)
{
    constexpr int kWrites = 120;
    QProcess first;
    QProcess second;
    startLoop(first, QStringLiteral("first"), kWrites);
    startLoop(second, QStringLiteral("second"), kWrites);
    ASSERT_TRUE(first.waitForFinished(-1));
    ASSERT_TRUE(second.waitForFinished(-1));
    EXPECT_EQ(first.exitCode(), 0);
    EXPECT_EQ(second.exitCode(), 0);
    expectValues(QStringLiteral("first"), kWrites);
    expectValues(QStringLiteral("second"), kWrites);
}

TEST_F(Concurrency, AnImportWaitsForTheLockHolderThenCompletes)
{
    QProcess holder;
    holder.start(kTool, {QStringLiteral("hold-lock"), m_prefix.hivePath(RegRoot::LocalMachine)});
    ASSERT_TRUE(holder.waitForReadyRead(-1));
    ASSERT_EQ(holder.readLine().trimmed(), "locked");
    const QByteArray before = hiveBytes();

    QProcess importer;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("WINEPREFIX"), m_prefix.path());
    importer.setProcessEnvironment(environment);
    importer.start(kRegedit, {QStringLiteral("/S"), importFile(7)});
    ASSERT_TRUE(importer.waitForStarted());
    // While the lock is held the import can only wait: it must neither finish nor touch the hive.
    EXPECT_FALSE(importer.waitForFinished(700));
    EXPECT_EQ(hiveBytes(), before);

    holder.closeWriteChannel();
    ASSERT_TRUE(holder.waitForFinished(-1));
    ASSERT_TRUE(importer.waitForFinished(-1));
    EXPECT_EQ(importer.exitCode(), 0) << importer.readAllStandardError().toStdString();
    WineRegistry registry(m_prefix.prefix());
    EXPECT_EQ(registry.queryValue(RegRoot::LocalMachine, kLoopKey, QStringLiteral("imported7")),
              makeDwordValue(7));
}

// Two bulk removals on one prefix at once (two terminals, or a script and the window): every
// entry ends either in the hive or in exactly one backup that gives it back. Before the removals
// took turns, a backup name was chosen without being taken, and tens of entries per round ended
// in neither. tools/reliability/concurrent-removals runs more rounds.
TEST(ConcurrentRemovals, TwoRemovalsAtOnceLoseNoEntryAndShareNoBackup)
{
    constexpr int kRounds = 2;
    constexpr int kPhantoms = 300;
    for (int round = 0; round < kRounds; ++round) {
        QTemporaryDir dir;
        const QString original = dir.filePath(QStringLiteral("original"));
        const QString prefix = dir.filePath(QStringLiteral("prefix"));
        ASSERT_TRUE(reliability::writePhantomPrefix(original, kPhantoms));
        ASSERT_TRUE(reliability::writePhantomPrefix(prefix, kPhantoms));
        std::array<QProcess, 2> runs;
        for (QProcess& run : runs) {
            run.start(QStringLiteral(NIXORA_BIN_DIR "/nixora"),
                      {QStringLiteral("--prefix"), prefix, QStringLiteral("--remove-phantoms")});
            ASSERT_TRUE(run.waitForStarted());
        }
        for (QProcess& run : runs)
            ASSERT_TRUE(run.waitForFinished(120000));
        const reliability::RemovalCheck check = reliability::checkRemovals(original, prefix);
        EXPECT_TRUE(check.sound()) << "round " << round << ": " << check.summary().toStdString();
        EXPECT_EQ(check.inOneBackup, kPhantoms) << check.summary().toStdString();
    }
}

} // namespace
} // namespace nixora
