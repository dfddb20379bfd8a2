#include "interop/CommandsOnPrefix.h"
#include "interop/WinePrefix.h"

#include "EntrySource.h"
#include "WineRegistry.h"
#include "Workspace.h"
#include "backup/BackupList.h"
#include "backup/BackupRemoval.h"
#include "backup/RestoreDelete.h"
#include "support/TestData.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <algorithm>

#include <map>

namespace nixora::interop
{
namespace
{

using test::readAll;

// The native path; real Wine's `reg` moves it into the 32-bit view with /reg:32.
const QString kUninstall =
    QStringLiteral("Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\");

// A hive's header and its key blocks, each by its "[key]" text, exactly as in the file.
[[nodiscard]] std::map<QByteArray, QByteArray> hiveBlocks(const QByteArray& hive)
{
    std::map<QByteArray, QByteArray> blocks;
    QByteArray key = "(header)";
    qsizetype begin = 0;
    for (qsizetype at = 0; at < hive.size();) {
        const qsizetype end = hive.indexOf('\n', at);
        const qsizetype next = end < 0 ? hive.size() : end + 1;
        if (hive[at] == '[') {
            blocks[key] = hive.mid(begin, at - begin);
            key = hive.mid(at, hive.indexOf(']', at) - at + 1);
            begin = at;
        }
        at = next;
    }
    blocks[key] = hive.mid(begin);
    return blocks;
}

class SourcesInterop : public WineTest
{
protected:
    // `root` is HKLM or HKCU, `view` /reg:64 or /reg:32; each value is name, kind, data.
    void addEntry(const QString& root, const QString& view, const QString& subkey,
                  const std::vector<QStringList>& values) const
    {
        for (const QStringList& value : values) {
            const ToolRun run = m_wine->wine(
                {QStringLiteral("reg"), QStringLiteral("add"), root + u'\\' + kUninstall + subkey,
                 QStringLiteral("/v"), value[0], QStringLiteral("/t"), value[1],
                 QStringLiteral("/d"), value[2], QStringLiteral("/f"), view});
            ASSERT_EQ(run.exitCode, 0) << run.standardError.toStdString();
        }
    }

    void addNamedEntry(const QString& root, const QString& view, const QString& subkey,
                       const QString& name, const QString& uninstaller) const
    {
        addEntry(root, view, subkey,
                 {{QStringLiteral("DisplayName"), QStringLiteral("REG_SZ"), name},
                  {QStringLiteral("UninstallString"), QStringLiteral("REG_SZ"), uninstaller}});
    }

    [[nodiscard]] QStringList lines(const ToolRun& run) const
    {
        EXPECT_EQ(run.exitCode, 0) << run.standardError.toStdString();
        return QString::fromUtf8(run.standardOutput)
            .split(QRegularExpression(QStringLiteral("\r?\n")), Qt::SkipEmptyParts);
    }
};

TEST_F(SourcesInterop, ListsEveryEntryWinesUninstallerLists)
{
    for (const char* file :
         {"Program Files/Shared App/uninst.exe", "Program Files (x86)/Shared App/uninst.exe",
          "Program Files/User App/uninst.exe"}) {
        const QString path = m_wine->hostPath(QStringLiteral("drive_c/") + file);
        ASSERT_TRUE(QDir().mkpath(QFileInfo(path).path()));
        ASSERT_TRUE(QFile(path).open(QIODevice::WriteOnly));
    }
    const QString machine = QStringLiteral("HKLM");
    const QString user = QStringLiteral("HKCU");
    const QString native = QStringLiteral("/reg:64");
    const QString wow = QStringLiteral("/reg:32");
    addNamedEntry(machine, native, "SharedApp", "Shared App (64-bit)",
                  "C:\\Program Files\\Shared App\\uninst.exe");
    addNamedEntry(machine, native, "Gone64", "Gone (64-bit)", "C:\\Program Files\\Gone\\u.exe");
    addNamedEntry(machine, wow, "SharedApp", "Shared App (32-bit)",
                  "\"C:\\Program Files (x86)\\Shared App\\uninst.exe\" /S");
    addNamedEntry(machine, wow, "Gone32", "Gone (32-bit)", "C:\\Program Files (x86)\\Gone\\u.exe");
    addNamedEntry(user, native, "UserApp", "User App", "C:\\Program Files\\User App\\uninst.exe");
    addNamedEntry(user, native, "UserGone", "User Gone", "C:\\Program Files\\User Gone\\u.exe");
    m_wine->waitForServer();

    const QStringList wine = lines(m_wine->wine({QStringLiteral("uninstaller"), "--list"}));
    const QStringList ours =
        lines(runTool(QStringLiteral(NIXORA_BIN_DIR "/nixora"), {QStringLiteral("--list")},
                      {QStringLiteral("WINEPREFIX=") + m_wine->path()}));
    ASSERT_GE(wine.size(), 6) << wine.join(u'\n').toStdString();
    std::map<QString, int> wanted; // "key\tname" -> how often Wine lists it
    for (const QString& line : wine)
        ++wanted[line.section(QStringLiteral("|||"), 0, 0) + u'\t' +
                 line.section(QStringLiteral("|||"), 1)];
    for (const auto& [keyAndName, count] : wanted) {
        const auto listed = std::count_if(ours.begin(), ours.end(), [&](const QString& line) {
            return line.section(u'\t', 0, 1) == keyAndName;
        });
        EXPECT_EQ(listed, count) << keyAndName.toStdString() << '\n'
                                 << ours.join(u'\n').toStdString();
    }
    // Verdict, bold and source of each.
    for (const char* expected :
         {"SharedApp\tShared App (64-bit)\t*found\t0\tHKLM", "Gone64\t*phantom\t1\tHKLM",
          "SharedApp\tShared App (32-bit)\t*found\t0\tHKLM32", "Gone32\t*phantom\t1\tHKLM32",
          "UserApp\t*found\t0\tHKCU", "UserGone\t*phantom\t1\tHKCU"}) {
        const QString head = QString::fromUtf8(expected).section(u'*', 0, 0);
        const QString tail = QString::fromUtf8(expected).section(u'*', 1);
        EXPECT_EQ(std::count_if(ours.begin(), ours.end(),
                                [&](const QString& line) {
                                    // Less the last column, the verdict's reason.
                                    return line.startsWith(head) &&
                                           line.section(u'\t', 0, -2).endsWith(tail);
                                }),
                  1)
            << expected;
    }
}

// Remove with backup, then restore, through the program's commands and the real nixora-regedit,
// for an entry of the 32-bit view and a per-user one; the backup also goes back through Wine's
// own regedit.
class SourceRoundTripInterop : public SourcesInterop,
                               public ::testing::WithParamInterface<SourceKind>
{
};

TEST_P(SourceRoundTripInterop, EntryComesBackExactlyAndNothingElseChanges)
{
    const EntrySource& source = entrySource(GetParam());
    const bool machine = source.root == RegRoot::LocalMachine;
    const QString root = machine ? QStringLiteral("HKLM") : QStringLiteral("HKCU");
    const QString view =
        GetParam() == SourceKind::Machine32 ? QStringLiteral("/reg:32") : QStringLiteral("/reg:64");
    const QString subkey = QStringLiteral("Round Trip");
    // Kinds that Wine's regedit reads back from a REGEDIT4 file exactly.
    addEntry(root, view, subkey,
             {{"DisplayName", "REG_SZ", "Round \"Trip\" [1]"},
              {"UninstallString", "REG_SZ", "C:\\Program Files (x86)\\RT\\uninst.exe /S"},
              {"EstimatedSize", "REG_DWORD", "4096"},
              {"Blob", "REG_BINARY", "00ff10deadbeef"}});
    addNamedEntry(root, view, QStringLiteral("Neighbour"), "Neighbour", "C:\\n.exe");
    addNamedEntry(root, QStringLiteral("/reg:64"), subkey, "Other view", "C:\\o.exe");
    m_wine->waitForServer();

    const QString hivePath = m_wine->hostPath(machine ? "system.reg" : "user.reg");
    const QByteArray before = readAll(hivePath);
    WineRegistry registry{Prefix(m_wine->path())};
    const auto entry = registry.exportKey(source.root, source.entryPath(subkey));
    ASSERT_TRUE(entry.has_value());
    ASSERT_EQ(entry->values.size(), 4u);

    CommandsOnPrefix program(m_wine->path());
    test::ScriptedUi& ui = program.ui;
    Workspace& ctx = program.ctx;
    program.select(GetParam(), subkey, QStringLiteral("Round Trip"));
    ui.queueAnswer(MsgAnswer::Yes);
    mPoistaRekisterista_Click(ctx);
    ASSERT_EQ(ui.shown.size(), 1u) << ui.shown.back().text.toStdString();
    EXPECT_FALSE(registry.exportKey(source.root, source.entryPath(subkey)).has_value());
    const QStringList files = QDir(ctx.services.backupFolder).entryList({"*.reg"}, QDir::Files);
    ASSERT_EQ(files.size(), 1);
    const QByteArray backup = readAll(ctx.services.backupFolder + u'/' + files[0]);
    EXPECT_TRUE(backup.contains(('[' + source.entryKeyName(subkey) + "]\r\n").toUtf8()))
        << backup.toStdString();

    ui.queueAnswer(MsgAnswer::Yes);
    mPalauta_Click(ctx);
    ASSERT_EQ(ui.shown.size(), 2u) << ui.shown.back().text.toStdString();
    EXPECT_EQ(registry.exportKey(source.root, source.entryPath(subkey)), entry);
    auto blocksBefore = hiveBlocks(before);
    auto blocksAfter = hiveBlocks(readAll(hivePath));
    const QByteArray entryLine =
        '[' + source.entryPath(subkey).replace(u'\\', QStringLiteral("\\\\")).toUtf8() + ']';
    EXPECT_EQ(blocksBefore.erase(entryLine), 1u);
    EXPECT_EQ(blocksAfter.erase(entryLine), 1u);
    EXPECT_EQ(blocksAfter, blocksBefore);

    // Wine's own regedit puts the backup into the same key.
    ASSERT_EQ(m_wine
                  ->wine({QStringLiteral("reg"), QStringLiteral("delete"),
                          root + u'\\' + kUninstall + subkey, QStringLiteral("/f"), view})
                  .exitCode,
              0);
    QFile copy(m_wine->hostPath(QStringLiteral("drive_c/backup.reg")));
    ASSERT_TRUE(copy.open(QIODevice::WriteOnly));
    copy.write(backup);
    copy.close();
    const ToolRun imported = m_wine->regeditImport(QStringLiteral("C:\\backup.reg"));
    EXPECT_EQ(imported.exitCode, 0) << imported.standardError.toStdString();
    m_wine->waitForServer();
    WineRegistry reread{Prefix(m_wine->path())};
    EXPECT_EQ(reread.exportKey(source.root, source.entryPath(subkey)), entry);
}

INSTANTIATE_TEST_SUITE_P(Sources, SourceRoundTripInterop,
                         ::testing::Values(SourceKind::Machine32, SourceKind::User),
                         [](const ::testing::TestParamInfo<SourceKind>& info) {
                             return entrySource(info.param).label.toStdString();
                         });

} // namespace
} // namespace nixora::interop
