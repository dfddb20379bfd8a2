#include "interop/CommandsOnPrefix.h"
#include "interop/WinePrefix.h"

#include "backup/BackupRemoval.h"

#include <QDir>
#include <QFile>

namespace nixora::interop
{
namespace
{

const QString kProductCode = QStringLiteral("{6F1D5A3C-1B2E-4C7A-9E10-2A3B4C5D6E01}");
const QString kEntry =
    QStringLiteral("HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\") +
    kProductCode;

struct MsiPackage {
    const char* arch; // wixl's -a
    SourceKind source;
    const char* view; // reg's
};

// A real Windows Installer entry, as msiexec writes it, backed up and removed by the program,
// then put back by Wine's own regedit from that backup: the entry must come back as it was,
// kinds included (Windows Installer writes UninstallString and ModifyPath as REG_EXPAND_SZ).
class MsiBackupInterop : public WineTest, public ::testing::WithParamInterface<MsiPackage>
{
protected:
    [[nodiscard]] ToolRun queryEntry() const
    {
        return m_wine->wine({QStringLiteral("reg"), QStringLiteral("query"), kEntry,
                             QStringLiteral("/s"), QString::fromLatin1(GetParam().view)});
    }

    void installPackage() const
    {
        QString wixl;
        findTestTool(QStringLiteral("wixl"), QStringLiteral("wixl"), wixl);
        if (wixl.isEmpty())
            return;
        const bool x64 = GetParam().source == SourceKind::Machine;
        const ToolRun built = runTool(
            wixl,
            {QStringLiteral("-a"), QString::fromLatin1(GetParam().arch), QStringLiteral("-D"),
             x64 ? QStringLiteral("Win64=yes") : QStringLiteral("Win64=no"), QStringLiteral("-D"),
             x64 ? QStringLiteral("ProgramFiles=ProgramFiles64Folder")
                 : QStringLiteral("ProgramFiles=ProgramFilesFolder"),
             QStringLiteral("-o"), m_wine->hostPath(QStringLiteral("drive_c/package.msi")),
             QStringLiteral(NIXORA_TEST_MSI_SOURCE)});
        ASSERT_EQ(built.exitCode, 0) << built.standardError.toStdString();
        const ToolRun installed =
            m_wine->wine({QStringLiteral("msiexec"), QStringLiteral("/i"),
                          QStringLiteral("C:\\package.msi"), QStringLiteral("/qn")});
        ASSERT_EQ(installed.exitCode, 0) << installed.standardError.toStdString();
        m_wine->waitForServer();
    }
};

TEST_P(MsiBackupInterop, EntryRestoredByWinesRegeditFromOurBackupIsTheOriginal)
{
    installPackage();
    if (HasFatalFailure() || IsSkipped())
        return;
    const ToolRun original = queryEntry();
    ASSERT_EQ(original.exitCode, 0) << original.standardError.toStdString();
    ASSERT_TRUE(original.standardOutput.contains("    UninstallString    REG_EXPAND_SZ    "
                                                 "MsiExec.exe /I" +
                                                 kProductCode.toLatin1() + "\r\n"))
        << original.standardOutput.toStdString();
    ASSERT_TRUE(original.standardOutput.contains("    ModifyPath    REG_EXPAND_SZ    MsiExec"));

    m_wine->waitForServer(); // the query started one; it must end before the removal

    CommandsOnPrefix program(m_wine->path());
    program.select(GetParam().source, kProductCode, QStringLiteral("Nixora MSI Interop"));
    program.ui.queueAnswer(MsgAnswer::Yes);
    mPoistaRekisterista_Click(program.ctx);
    ASSERT_EQ(program.ui.shown.size(), 1u) << program.ui.shown.back().text.toStdString();
    const QString folder = program.ctx.services.backupFolder;
    const QStringList backups = QDir(folder).entryList({QStringLiteral("*.reg")}, QDir::Files);
    ASSERT_EQ(backups.size(), 1);
    EXPECT_NE(queryEntry().exitCode, 0) << "the entry was not removed";

    ASSERT_TRUE(QFile::copy(folder + u'/' + backups[0],
                            m_wine->hostPath(QStringLiteral("drive_c/backup.reg"))));
    const ToolRun restored = m_wine->regeditImport(QStringLiteral("C:\\backup.reg"));
    ASSERT_EQ(restored.exitCode, 0) << restored.standardError.toStdString();
    const ToolRun after = queryEntry();
    EXPECT_EQ(after.standardOutput, original.standardOutput);
}

INSTANTIATE_TEST_SUITE_P(Architectures, MsiBackupInterop,
                         ::testing::Values(MsiPackage{"x86", SourceKind::Machine32, "/reg:32"},
                                           MsiPackage{"x64", SourceKind::Machine, "/reg:64"}),
                         [](const ::testing::TestParamInfo<MsiPackage>& info) {
                             return std::string(info.param.arch);
                         });

} // namespace
} // namespace nixora::interop
