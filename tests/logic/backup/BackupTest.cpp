#include "WineRegistry.h"
#include "backup/BackupList.h"
#include "backup/BackupRemoval.h"
#include "backup/RestoreDelete.h"
#include "support/FixedClock.h"
#include "support/ScriptedUi.h"
#include "support/TestData.h"
#include "support/TestWorkspace.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <sys/stat.h>

#include <gtest/gtest.h>

#include <type_traits>

namespace nixora
{
namespace
{

using test::writeAll;

using test::FixedClock;
using test::ScriptedUi;
using test::TempPrefix;

// A backup is named after the workspace's clock: a workspace without one (the headless listing
// once built one with a null clock, and the single-entry backup crashed on it) must not compile.
static_assert(!std::is_default_constructible_v<Services>);
static_assert(!std::is_constructible_v<ClockRef, std::nullptr_t>);
static_assert(!std::is_constructible_v<ClockRef, const Clock*>);
static_assert(!std::is_constructible_v<ClockRef, SystemClock&&>);

QByteArray utf16WithBom(const QString& text)
{
    QByteArray bytes("\xff\xfe");
    for (const QChar c : text) {
        bytes += char(c.unicode() & 0xff);
        bytes += char(c.unicode() >> 8);
    }
    return bytes;
}

// ---- What the backup page reads from a file -------------------------------------------------

struct BackupLines {
    const char* label;
    QByteArray content;
    const char* entryName;
    const char* version;
};

class ReadBackupFile : public ::testing::TestWithParam<BackupLines>
{
};

TEST_P(ReadBackupFile, AppliesTheLineRules)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("x.reg"));
    writeAll(path, GetParam().content);
    const BackupFileInfo info = readBackupFile(path);
    EXPECT_EQ(info.entryName, QString::fromUtf8(GetParam().entryName));
    EXPECT_EQ(info.version, QString::fromUtf8(GetParam().version));
}

#define HDR "[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\"
INSTANTIATE_TEST_SUITE_P(
    Lines, ReadBackupFile,
    ::testing::Values(
        BackupLines{"HeaderGivesKeyName", "REGEDIT4\r\n\r\n" HDR "My App]\r\n", "My App", ""},
        BackupLines{"HeaderOf32BitViewGivesKeyName",
                    "[HKEY_LOCAL_MACHINE\\Software\\Wow6432Node\\Microsoft\\Windows\\"
                    "CurrentVersion\\Uninstall\\App32]\r\n",
                    "App32", ""},
        BackupLines{"HeaderOfUserKeyGivesKeyName",
                    "[HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\"
                    "Uninstall\\Mine]\r\n",
                    "Mine", ""},
        BackupLines{"DisplayNameReplacesKeyName",
                    "REGEDIT4\r\n\r\n" HDR
                    "K]\r\n\"DisplayName\"=\"Nice\"\r\n\"DisplayVersion\"=\"1.2\"\r\n",
                    "Nice", "1.2"},
        BackupLines{"LastMatchingLineWins",
                    HDR "K]\r\n\"DisplayName\"=\"A\"\r\n\"QuietDisplayName\"=\"B\"\r\n", "B", ""},
        BackupLines{"SubkeyHeaderReplacesName",
                    HDR "K]\r\n\"DisplayName\"=\"A\"\r\n\r\n" HDR "K\\Sub]\r\n", "K\\Sub", ""},
        BackupLines{"BackslashShownDoubled", "\"DisplayName\"=\"C:\\\\Apps\"\r\n", "C:\\\\Apps",
                    ""},
        BackupLines{"QuotesRemovedFirst", "\"Display\"\"Name\"=\"say \\\"hi\\\"\"\r\n",
                    "say \\hi\\", ""},
        BackupLines{"FirstPrefixDecides", "DisplayName=DisplayVersion=3\r\n", "DisplayVersion=3",
                    ""},
        BackupLines{"PrefixIsCaseSensitive", "\"displayname\"=\"x\"\r\n", "", ""},
        BackupLines{"HeaderOfSeventyThreeCharsGivesEmptyName", HDR "]\r\n", "", ""},
        BackupLines{"OtherFormsShowRawText", "\"DisplayVersion\"=dword:00000001\r\n", "",
                    "dword:00000001"},
        BackupLines{"LfOnlyLines", "\"DisplayName\"=\"A\"\n\"DisplayVersion\"=\"2\"\n", "A", "2"},
        BackupLines{"CrOnlyLines", "\"DisplayName\"=\"A\"\r\"DisplayVersion\"=\"2\"", "A", "2"},
        BackupLines{"NonAscii", "\"DisplayName\"=\"Café 中\"\r\n", "Café 中", ""},
        BackupLines{"Utf16MatchesNothing",
                    utf16WithBom(QStringLiteral(HDR "K]\r\n\"DisplayName\"=\"A\"\r\n")), "", ""}),
    [](const ::testing::TestParamInfo<BackupLines>& info) { return info.param.label; });

// ---- Commands on a real prefix with the real nixora-regedit ----------------------------------

const QString kEntry = QStringLiteral("My \"Quoted\" App");
const QString kUninstallKeyPath = entrySource(SourceKind::Machine).uninstallPath;

class BackupCommands : public ::testing::Test
{
protected:
    BackupCommands()
    {
        m_prefix.setHiveBody(
            RegRoot::LocalMachine,
            test::uninstallEntryBlock(
                kEntry, {{QStringLiteral("DisplayName"), QStringLiteral("Back\\slash")},
                         {QStringLiteral("DisplayVersion"), QStringLiteral("1.0")}}) +
                test::uninstallEntryBlock(QStringLiteral("Parent"),
                                          {{QStringLiteral("DisplayName"), QStringLiteral("P")}}) +
                test::uninstallEntryBlock(QStringLiteral("Parent\\Child"), {}));
        m_state.lvwPalauta.setSorted(true);
        m_state.entry.SelectedEntryKey = kEntry;
        m_state.entry.SelectedEntryName = QStringLiteral("Shown Name");
        ctx.services.backupFolder = m_folder;
        m_ws.view.onFillEntries = [this] { ++entryRefills; };
        m_ws.view.onFillBackups = [this] {
            ++backupRefills;
            ListaaPalautettavatOhjelmat(ctx);
        };
        m_ws.view.onRefresh = [this] {
            ++entryRefills;
            ++backupRefills;
            ListaaPalautettavatOhjelmat(ctx);
        };
    }

    [[nodiscard]] QString backupPath(const QString& name) const { return m_folder + u'/' + name; }
    [[nodiscard]] QStringList backups() const
    {
        return QDir(m_folder).entryList({QStringLiteral("*.reg")}, QDir::Files, QDir::Name);
    }
    [[nodiscard]] bool entryExists(const QString& key)
    {
        return m_registry.exportKey(RegRoot::LocalMachine, kUninstallKeyPath + key).has_value();
    }
    void expectPointerDefault() const { EXPECT_EQ(m_ui.mousePointer(), kPointerDefault); }
    void expectMessagesWithDefaultPointer() const
    {
        for (const int pointer : m_ui.pointerAtMessage)
            EXPECT_EQ(pointer, kPointerDefault);
    }

    test::TestWorkspace m_ws;
    TempPrefix& m_prefix = m_ws.prefix;
    Registry& m_registry = m_ws.registry();
    ScriptedUi& m_ui = m_ws.ui;
    const QString m_folder = m_prefix.path() + QStringLiteral("/backup \"folder\" with blanks");
    WindowState& m_state = m_ws.state;
    Workspace& ctx = m_ws.ctx;
    int entryRefills = 0;
    int backupRefills = 0;
};

TEST_F(BackupCommands, BackupEntryAddsARowWithoutMessageOrEntryRefill)
{
    mVarmuuskopioi_Click(ctx);
    EXPECT_EQ(backups(), QStringList{QStringLiteral("20090302080509.reg")});
    EXPECT_TRUE(m_ui.shown.empty());
    EXPECT_EQ(entryRefills, 0);
    ASSERT_EQ(m_state.lvwPalauta.rowCount(), 1);
    const ListRow* row = m_state.lvwPalauta.rowAt(0);
    EXPECT_EQ(row->cells[0].text, QStringLiteral("2009-03-02  08:05:09"));
    EXPECT_EQ(row->cells[1].text, QStringLiteral("Back\\\\slash"));
    EXPECT_EQ(row->cells[2].text, QStringLiteral("1.0"));
    EXPECT_EQ(m_state.backup.SelectedBackupFile, QStringLiteral("20090302080509.reg"));
    EXPECT_TRUE(entryExists(kEntry));
    expectPointerDefault();
}

TEST_F(BackupCommands, TwoBackupsInOneSecondKeepBoth)
{
    mVarmuuskopioi_Click(ctx);
    mVarmuuskopioi_Click(ctx);
    EXPECT_EQ(backups(), (QStringList{QStringLiteral("20090302080509.reg"),
                                      QStringLiteral("20090302080509_2.reg")}));
    ASSERT_EQ(m_state.lvwPalauta.rowCount(), 2);
    EXPECT_EQ(m_state.lvwPalauta.rowAt(1)->cells[0].text, QStringLiteral("2009-03-02  08:05:09"));
}

TEST_F(BackupCommands, RemoveAnsweredNoChangesNothing)
{
    m_ui.queueAnswer(MsgAnswer::No);
    mPoistaRekisterista_Click(ctx);
    ASSERT_EQ(m_ui.shown.size(), 1u);
    EXPECT_EQ(m_ui.shown[0].text,
              QStringLiteral("Are you sure you want to remove the program entry "
                             "'Shown Name'\nfrom the Add/Remove Programs part of "
                             "the Control Panel?"));
    EXPECT_EQ(m_ui.shown[0].defaultButton, MsgAnswer::No);
    EXPECT_TRUE(backups().isEmpty());
    EXPECT_TRUE(entryExists(kEntry));
    EXPECT_EQ(entryRefills + backupRefills, 0);
    EXPECT_TRUE(m_ui.pointerHistory.empty());
}

TEST_F(BackupCommands, RemoveThenRestoreGivesBackTheSameKey)
{
    const auto before = m_registry.exportKey(RegRoot::LocalMachine, kUninstallKeyPath + kEntry);
    m_ui.queueAnswer(MsgAnswer::Yes);
    mPoistaRekisterista_Click(ctx);
    EXPECT_FALSE(entryExists(kEntry));
    EXPECT_EQ(backups().size(), 1);
    EXPECT_EQ(entryRefills, 1);
    expectPointerDefault();

    m_ui.queueAnswer(MsgAnswer::Yes);
    mPalauta_Click(ctx);
    EXPECT_EQ(m_ui.shown.back().title, QStringLiteral("Restore Entry"));
    EXPECT_EQ(m_registry.exportKey(RegRoot::LocalMachine, kUninstallKeyPath + kEntry), before);
    EXPECT_TRUE(backups().isEmpty());
    EXPECT_EQ(m_state.lvwPalauta.rowCount(), 0);
    EXPECT_TRUE(m_state.backup.SelectedBackupFile.isEmpty());
    expectPointerDefault();
}

// The same subkey in all three sources: remove and restore act on the selected row's own key,
// the backup names that key, and the other two keys are never touched.
class SourceRoundTrip : public BackupCommands, public ::testing::WithParamInterface<SourceKind>
{
protected:
    [[nodiscard]] std::optional<RegKeySnapshot> snapshot(SourceKind kind)
    {
        const EntrySource& source = entrySource(kind);
        return m_registry.exportKey(source.root, source.entryPath(kEntry));
    }
};

TEST_P(SourceRoundTrip, RemoveThenRestoreTouchesOnlyItsOwnKey)
{
    const auto block = [](SourceKind kind) {
        const EntrySource& source = entrySource(kind);
        return test::hiveKeyBlock(source.entryPath(kEntry),
                                  {{QStringLiteral("DisplayName"), source.label + " App"}});
    };
    m_prefix.setHiveBody(RegRoot::LocalMachine,
                         block(SourceKind::Machine) + block(SourceKind::Machine32));
    m_prefix.setHiveBody(RegRoot::CurrentUser, block(SourceKind::User));
    const std::array kinds{SourceKind::Machine, SourceKind::Machine32, SourceKind::User};
    std::vector<std::optional<RegKeySnapshot>> before;
    for (const SourceKind kind : kinds)
        before.push_back(snapshot(kind));
    const EntrySource& source = entrySource(GetParam());
    m_state.entry.SelectedEntrySource = GetParam();

    m_ui.queueAnswer(MsgAnswer::Yes);
    mPoistaRekisterista_Click(ctx);
    for (const SourceKind kind : kinds)
        EXPECT_EQ(snapshot(kind).has_value(), kind != GetParam());
    ASSERT_EQ(backups().size(), 1);
    QFile backup(backupPath(backups()[0]));
    ASSERT_TRUE(backup.open(QIODevice::ReadOnly));
    EXPECT_TRUE(backup.readAll().contains(
        (u'[' + source.entryKeyName(kEntry) + QStringLiteral("]\r\n")).toUtf8()));
    ASSERT_EQ(m_state.lvwPalauta.rowCount(), 1);
    EXPECT_EQ(m_state.lvwPalauta.rowAt(0)->cells[1].text, source.label + " App");

    m_ui.queueAnswer(MsgAnswer::Yes);
    mPalauta_Click(ctx);
    EXPECT_EQ(m_ui.shown.size(), 2u); // the two questions, no error
    for (size_t i = 0; i < kinds.size(); ++i)
        EXPECT_EQ(snapshot(kinds[i]), before[i]);
    EXPECT_TRUE(backups().isEmpty());
}

INSTANTIATE_TEST_SUITE_P(Sources, SourceRoundTrip,
                         ::testing::Values(SourceKind::Machine, SourceKind::Machine32,
                                           SourceKind::User),
                         [](const ::testing::TestParamInfo<SourceKind>& info) {
                             return entrySource(info.param).label.toStdString();
                         });

TEST_F(BackupCommands, FailedExportThenYesDeletesWithoutBackup)
{
    ctx.services.regeditProgram = QStringLiteral("/nonexistent/nixora-regedit");
    m_ui.queueAnswer(MsgAnswer::Yes);
    m_ui.queueAnswer(MsgAnswer::Yes);
    mPoistaRekisterista_Click(ctx);
    ASSERT_EQ(m_ui.shown.size(), 2u);
    EXPECT_EQ(m_ui.shown[1].text,
              QStringLiteral("Nixora cannot backup the program entry information from the system "
                             "registry.\nIf you decide to delete the entry, it cannot be restored."
                             "\n\nDo you want to continue and delete the program entry?"));
    EXPECT_EQ(m_ui.shown[1].defaultButton, MsgAnswer::Yes);
    EXPECT_FALSE(entryExists(kEntry));
    EXPECT_TRUE(backups().isEmpty());
    expectMessagesWithDefaultPointer();
    expectPointerDefault();
}

TEST_F(BackupCommands, FailedExportThenNoKeepsKeyAndRefills)
{
    ctx.services.regeditProgram = QStringLiteral("/bin/false");
    m_ui.queueAnswer(MsgAnswer::Yes);
    m_ui.queueAnswer(MsgAnswer::No);
    mPoistaRekisterista_Click(ctx);
    EXPECT_TRUE(entryExists(kEntry));
    EXPECT_TRUE(backups().isEmpty());
    EXPECT_EQ(entryRefills, 1);
    EXPECT_EQ(backupRefills, 1);
    expectPointerDefault();
}

TEST_F(BackupCommands, FailedBackupEntryShowsTheError)
{
    m_state.entry.SelectedEntryKey = QStringLiteral("Missing");
    mVarmuuskopioi_Click(ctx);
    ASSERT_EQ(m_ui.shown.size(), 1u);
    EXPECT_EQ(m_ui.shown[0].title, QStringLiteral("Error"));
    EXPECT_EQ(m_ui.shown[0].text, QStringLiteral("Nixora cannot backup the program entry "
                                                 "information from the system registry."));
    EXPECT_TRUE(backups().isEmpty());
    expectMessagesWithDefaultPointer();
    expectPointerDefault();
}

TEST_F(BackupCommands, KeyWithSubkeysIsKeptAndItsBackupRemoved)
{
    m_state.entry.SelectedEntryKey = QStringLiteral("Parent");
    m_ui.queueAnswer(MsgAnswer::Yes);
    mPoistaRekisterista_Click(ctx);
    ASSERT_EQ(m_ui.shown.size(), 2u);
    EXPECT_EQ(m_ui.shown[1].text,
              QStringLiteral("The program entry 'Shown Name'\ncannot be removed."));
    EXPECT_TRUE(entryExists(QStringLiteral("Parent")));
    EXPECT_TRUE(backups().isEmpty());
    EXPECT_EQ(m_state.lvwPalauta.rowCount(), 0);
    expectMessagesWithDefaultPointer();
    expectPointerDefault();
}

TEST_F(BackupCommands, RestoreAnsweredNoDoesNotRefill)
{
    mVarmuuskopioi_Click(ctx);
    const int refills = backupRefills;
    m_ui.queueAnswer(MsgAnswer::No);
    mPalauta_Click(ctx);
    EXPECT_EQ(backupRefills, refills);
    EXPECT_EQ(backups().size(), 1);
}

TEST_F(BackupCommands, RestoreOfAVanishedFileSaysSoAndRefills)
{
    mVarmuuskopioi_Click(ctx);
    QFile::remove(backupPath(QStringLiteral("20090302080509.reg")));
    m_ui.queueAnswer(MsgAnswer::Yes);
    mPalauta_Click(ctx);
    ASSERT_EQ(m_ui.shown.size(), 2u);
    EXPECT_EQ(m_ui.shown[1].text, QStringLiteral("Nixora cannot restore the program entry "
                                                 "information to the system registry."));
    EXPECT_EQ(m_state.lvwPalauta.rowCount(), 0);
    EXPECT_EQ(entryRefills, 1);
    expectMessagesWithDefaultPointer();
    expectPointerDefault();
}

struct RefusedBackup {
    const char* label;
    QByteArray content;
    bool win32Prefix = false;
};

class RefusedRestore : public BackupCommands, public ::testing::WithParamInterface<RefusedBackup>
{
};

TEST_P(RefusedRestore, KeepsTheFileAndTheRegistry)
{
    if (GetParam().win32Prefix)
        m_prefix.setArch("win32");
    QDir().mkpath(m_folder);
    writeAll(backupPath(QStringLiteral("20090302080509.reg")), GetParam().content);
    ListaaPalautettavatOhjelmat(ctx);
    const auto hives = [this] {
        QByteArray bytes;
        for (const RegRoot root : {RegRoot::LocalMachine, RegRoot::CurrentUser}) {
            QFile hive(m_prefix.hivePath(root));
            EXPECT_TRUE(hive.open(QIODevice::ReadOnly));
            bytes += hive.readAll();
        }
        return bytes;
    };
    const QByteArray hivesBefore = hives();

    m_ui.queueAnswer(MsgAnswer::Yes);
    mPalauta_Click(ctx);
    ASSERT_EQ(m_ui.shown.size(), 2u);
    EXPECT_EQ(m_ui.shown[1].title, QStringLiteral("Error"));
    EXPECT_EQ(backups().size(), 1);
    EXPECT_EQ(hives(), hivesBefore);
    expectPointerDefault();
}

INSTANTIATE_TEST_SUITE_P(
    Files, RefusedRestore,
    ::testing::Values(
        RefusedBackup{"KeyOutsideUninstall",
                      "REGEDIT4\r\n\r\n" HDR "A]\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\Evil]\r\n"},
        RefusedBackup{"CurrentUserKeyOutsideUninstall",
                      "REGEDIT4\r\n\r\n[HKEY_CURRENT_"
                      "USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\A]\r\n"
                      "\r\n[HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Run]"
                      "\r\n\"A\"=\"x\"\r\n"},
        RefusedBackup{"LookAlikeUninstall2",
                      "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\"
                      "CurrentVersion\\Uninstall2\\A]\r\n"},
        RefusedBackup{"ClassesKey",
                      "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\Classes\\.x]\r\n@=\"y\"\r\n"},
        RefusedBackup{"OtherWow6432NodeKey",
                      "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\Wow6432Node\\Microsoft\\"
                      "Windows\\CurrentVersion\\Run\\A]\r\n"},
        RefusedBackup{"Wow6432NodeUninstallKeyItself",
                      "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\Wow6432Node\\Microsoft\\"
                      "Windows\\CurrentVersion\\Uninstall]\r\n\"x\"=\"y\"\r\n"},
        RefusedBackup{"Wow6432NodeEntryOnA32BitPrefix",
                      "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\Wow6432Node\\Microsoft\\"
                      "Windows\\CurrentVersion\\Uninstall\\A]\r\n\"x\"=\"y\"\r\n",
                      true},
        RefusedBackup{
            "TheUninstallKeyItself",
            "REGEDIT4\r\n\r\n[HKEY_LOCAL_"
            "MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall]\r\n\"x\"=\"y\"\r\n"},
        // U+017F folds to "s" under Unicode's full folding but not under the hive's.
        RefusedBackup{"SoftwareSpelledWithLongS",
                      "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\\xc5\xbfoftware\\Microsoft\\Windows\\"
                      "CurrentVersion\\Uninstall\\A]\r\n"},
        RefusedBackup{"KeyDeletion", "REGEDIT4\r\n\r\n[-HKEY_LOCAL_MACHINE\\Software\\Microsoft\\"
                                     "Windows\\CurrentVersion\\Uninstall\\Parent\\Child]\r\n"},
        RefusedBackup{"ValueDeletion", "REGEDIT4\r\n\r\n" HDR "A]\r\n\"DisplayName\"=-\r\n"},
        RefusedBackup{"Malformed", "REGEDIT4\r\n\r\n" HDR "A]\r\n\"DisplayName\"=\"open\r\n"},
        RefusedBackup{"NoKeys", "REGEDIT4\r\n"}),
    [](const ::testing::TestParamInfo<RefusedBackup>& info) { return info.param.label; });

TEST_F(BackupCommands, FailedImportKeepsTheFile)
{
    mVarmuuskopioi_Click(ctx);
    ctx.services.regeditProgram = QStringLiteral("/bin/false");
    m_ui.queueAnswer(MsgAnswer::Yes);
    mPalauta_Click(ctx);
    ASSERT_EQ(m_ui.shown.size(), 2u);
    EXPECT_EQ(m_ui.shown[1].title, QStringLiteral("Error"));
    EXPECT_EQ(backups().size(), 1);
    expectPointerDefault();
}

TEST_F(BackupCommands, DeleteBackupAnsweredNoStillRefills)
{
    mVarmuuskopioi_Click(ctx);
    const int refills = backupRefills;
    m_ui.queueAnswer(MsgAnswer::No);
    mPoistaVarmuuskopioitu_Click(ctx);
    EXPECT_EQ(m_ui.shown.back().text,
              QStringLiteral("Are you sure you want to delete the backup of 'Back\\\\slash'?"));
    EXPECT_EQ(m_ui.shown.back().defaultButton, MsgAnswer::Yes);
    EXPECT_EQ(backupRefills, refills + 1);
    EXPECT_EQ(backups().size(), 1);
    expectPointerDefault();
}

TEST_F(BackupCommands, DeleteBackupRemovesTheFileAndRow)
{
    mVarmuuskopioi_Click(ctx);
    m_ui.queueAnswer(MsgAnswer::Yes);
    mPoistaVarmuuskopioitu_Click(ctx);
    EXPECT_TRUE(backups().isEmpty());
    EXPECT_EQ(m_state.lvwPalauta.rowCount(), 0);
    EXPECT_EQ(m_ui.shown.size(), 1u);
    expectPointerDefault();
}

// Delete Backup moves the file to the desktop trash (a temporary XDG_DATA_HOME here, made on
// first use), where a file manager finds its original place and puts it back; a second backup
// of the same name does not replace the first in the trash. With no trash the file is deleted.
TEST_F(BackupCommands, DeleteBackupMovesItToTheTrashWhenceAFileManagerPutsItBack)
{
    QTemporaryDir data;
    const QString trash = data.filePath(QStringLiteral("share/Trash"));
    ctx.services.dataHome = data.filePath(QStringLiteral("share"));
    const QString name = QStringLiteral("20090302080509.reg");
    for (const QString& trashedAs : {name, QStringLiteral("20090302080509.2.reg")}) {
        mVarmuuskopioi_Click(ctx);
        QFile backup(backupPath(name));
        ASSERT_TRUE(backup.open(QIODevice::ReadOnly));
        const QByteArray bytes = backup.readAll();
        backup.close();
        m_ui.queueAnswer(MsgAnswer::Yes);
        mPoistaVarmuuskopioitu_Click(ctx);
        EXPECT_TRUE(backups().isEmpty());
        EXPECT_EQ(m_state.lvwPalauta.rowCount(), 0);
        QFile trashed(trash + QStringLiteral("/files/") + trashedAs);
        ASSERT_TRUE(trashed.open(QIODevice::ReadOnly)) << trashedAs.toStdString();
        EXPECT_EQ(trashed.readAll(), bytes);
        QFile info(trash + QStringLiteral("/info/") + trashedAs + QStringLiteral(".trashinfo"));
        ASSERT_TRUE(info.open(QIODevice::ReadOnly));
        EXPECT_EQ(info.readAll(), "[Trash Info]\nPath=" +
                                      QFile::encodeName(backupPath(name)).toPercentEncoding("/") +
                                      "\nDeletionDate=2009-03-02T08:05:09\n");
    }
    EXPECT_EQ(m_ui.shown.size(), 2u); // the two questions, no error

    // What a file manager's restore does: the file back to its Path, the info file gone.
    QFile::remove(trash + QStringLiteral("/info/") + name + QStringLiteral(".trashinfo"));
    ASSERT_TRUE(QFile::rename(trash + QStringLiteral("/files/") + name, backupPath(name)));
    ListaaPalautettavatOhjelmat(ctx);
    ASSERT_EQ(m_state.lvwPalauta.rowCount(), 1);
    EXPECT_EQ(m_state.backup.SelectedBackupName, QStringLiteral("Back\\\\slash"));

    // A data home that cannot hold a trash: deleted, as without one.
    QFile blocker(data.filePath(QStringLiteral("file")));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    ctx.services.dataHome = blocker.fileName();
    m_ui.queueAnswer(MsgAnswer::Yes);
    mPoistaVarmuuskopioitu_Click(ctx);
    EXPECT_TRUE(backups().isEmpty());
    EXPECT_EQ(m_ui.shown.size(), 3u);
    EXPECT_EQ(QDir(trash + QStringLiteral("/files")).entryList(QDir::Files).size(), 1);
}

TEST_F(BackupCommands, ReadOnlyBackupIsNotDeleted)
{
    mVarmuuskopioi_Click(ctx);
    QFile::setPermissions(backupPath(QStringLiteral("20090302080509.reg")),
                          QFileDevice::ReadOwner | QFileDevice::ReadGroup);
    m_ui.queueAnswer(MsgAnswer::Yes);
    mPoistaVarmuuskopioitu_Click(ctx);
    ASSERT_EQ(m_ui.shown.size(), 2u);
    EXPECT_EQ(m_ui.shown[1].text,
              QStringLiteral("Nixora cannot delete the program entry backup file."));
    EXPECT_EQ(m_state.lvwPalauta.rowCount(), 1);
    expectMessagesWithDefaultPointer();
    expectPointerDefault();
}

TEST_F(BackupCommands, DeleteOfAVanishedBackupSaysSo)
{
    mVarmuuskopioi_Click(ctx);
    QFile::remove(backupPath(QStringLiteral("20090302080509.reg")));
    m_ui.queueAnswer(MsgAnswer::Yes);
    mPoistaVarmuuskopioitu_Click(ctx);
    ASSERT_EQ(m_ui.shown.size(), 2u);
    EXPECT_EQ(m_ui.shown[1].text,
              QStringLiteral("Nixora cannot delete the program entry backup file."));
    expectPointerDefault();
}

// ---- The backup page ------------------------------------------------------------------------

TEST_F(BackupCommands, EmptyFolderGivesNoRowsAndNoPopup)
{
    ListaaPalautettavatOhjelmat(ctx);
    EXPECT_EQ(m_state.lvwPalauta.rowCount(), 0);
    EXPECT_TRUE(m_state.backup.SelectedBackupFile.isEmpty());
    EXPECT_FALSE(backupPopupOpensOnMouseUp(m_state, 2));
    EXPECT_TRUE(m_state.lvwPalauta.enabled());
    EXPECT_TRUE(m_state.lvwOhjelmat.enabled());
}

TEST_F(BackupCommands, RefillListsEveryFileSortedAndSelectsTheFirstUnhighlighted)
{
    QDir().mkpath(m_folder);
    writeAll(backupPath(QStringLiteral("20100101000000.reg")),
             "\"DisplayName\"=\"B\"\r\n\"DisplayVersion\"=\"9\"\r\n");
    writeAll(backupPath(QStringLiteral("20090302080509.reg")),
             "\"DisplayName\"=\"A\"\r\n\"DisplayVersion\"=\"10\"\r\n");
    writeAll(backupPath(QStringLiteral("short.REG")), "");
    writeAll(backupPath(QStringLiteral("notes.txt")), "");
    int tabClicks = 0;
    m_ws.view.onShowSelectedPage = [&] { ++tabClicks; };
    ListaaPalautettavatOhjelmat(ctx);
    ListViewModel& list = m_state.lvwPalauta;
    ASSERT_EQ(list.rowCount(), 3);
    EXPECT_EQ(list.rowAt(0)->key, QStringLiteral("20090302080509.reg"));
    EXPECT_EQ(list.rowAt(2)->cells[0].text, QStringLiteral("shor-t.-RE  G::"));
    EXPECT_EQ(list.rowAt(0)->cells[2].toolTip, QStringLiteral("Right-click an entry for a menu."));
    EXPECT_EQ(m_state.backup.SelectedBackupFile, QStringLiteral("20090302080509.reg"));
    EXPECT_EQ(m_state.backup.SelectedBackupName, QStringLiteral("A"));
    EXPECT_FALSE(list.rowAt(0)->highlighted);
    EXPECT_TRUE(backupPopupOpensOnMouseUp(m_state, 2));
    EXPECT_FALSE(backupPopupOpensOnMouseUp(m_state, 1));
    EXPECT_EQ(m_ui.processEventsCalls, 3);
    EXPECT_EQ(tabClicks, 1);

    lvwPalauta_ColumnClick(m_state, 0); // Date again: descending
    EXPECT_EQ(list.rowAt(0)->key, QStringLiteral("short.REG"));
    lvwPalauta_ColumnClick(m_state, 2); // Version, ascending by number
    EXPECT_EQ(list.rowAt(1)->cells[2].text, QStringLiteral("9"));
    EXPECT_EQ(list.rowAt(2)->cells[2].text, QStringLiteral("10"));
    EXPECT_EQ(m_state.backup.SelectedBackupFile, QStringLiteral("20090302080509.reg"));

    lvwPalauta_ItemClick(m_state, list.rowAt(1));
    EXPECT_EQ(m_state.backup.SelectedBackupName, QStringLiteral("B"));
}

// ---- Entries, folders and files that cannot be backed up or read -----------------------------

// Its backup would be larger than a restore reads: refused with a message, never deleted.
TEST_F(BackupCommands, AnEntryTooLargeToRestoreIsNeverRemoved)
{
    ASSERT_TRUE(m_registry
                    .setValue(RegRoot::LocalMachine, kUninstallKeyPath + kEntry,
                              QStringLiteral("Blob"),
                              RegValue{kRegBinary, QByteArray(11 * 1024 * 1024, '\x5a')})
                    .ok());
    m_ui.queueAnswer(MsgAnswer::Yes);
    mPoistaRekisterista_Click(ctx);
    ASSERT_EQ(m_ui.shown.size(), 2u);
    EXPECT_TRUE(m_ui.shown[1].text.contains(QStringLiteral("too large")));
    EXPECT_EQ(m_ui.shown[1].buttons, MsgButtons::Ok);
    EXPECT_TRUE(entryExists(kEntry));
    EXPECT_TRUE(backups().isEmpty());
    expectPointerDefault();
}

// Backups, restores and deletions would all act wherever the link points.
TEST_F(BackupCommands, ABackupFolderThatIsALinkIsNotFollowed)
{
    const QString elsewhere = m_prefix.hostPath(QStringLiteral("elsewhere"));
    QDir().mkpath(elsewhere);
    writeAll(elsewhere + QStringLiteral("/20010101000000.reg"),
             "REGEDIT4\r\n\r\n" HDR "Other]\r\n");
    ASSERT_TRUE(QFile::link(elsewhere, m_folder));
    m_ui.queueAnswer(MsgAnswer::Yes);
    mPoistaRekisterista_Click(ctx);
    ASSERT_EQ(m_ui.shown.size(), 2u);
    EXPECT_TRUE(m_ui.shown[1].text.contains(QStringLiteral("symbolic link")));
    EXPECT_TRUE(entryExists(kEntry));
    EXPECT_EQ(m_state.lvwPalauta.rowCount(), 0);

    m_state.backup.SelectedBackupFile = QStringLiteral("20010101000000.reg");
    m_ui.queueAnswer(MsgAnswer::Yes);
    mPoistaVarmuuskopioitu_Click(ctx);
    EXPECT_EQ(QDir(elsewhere).entryList(QDir::Files),
              QStringList{QStringLiteral("20010101000000.reg")});
    expectPointerDefault();
}

// A FIFO, a 3 GB sparse file and a link into /proc are listed without being read to the end
// (or at all); restoring one says it cannot.
TEST_F(BackupCommands, FilesThatCannotBeReadAreListedAsSuch)
{
    QDir().mkpath(m_folder);
    ASSERT_EQ(::mkfifo(QFile::encodeName(backupPath("20010101000000.reg")).constData(), 0644), 0);
    QFile sparse(backupPath(QStringLiteral("20010101000001.reg")));
    ASSERT_TRUE(sparse.open(QIODevice::WriteOnly));
    ASSERT_TRUE(sparse.resize(qint64(3) << 30));
    sparse.close();
    ASSERT_TRUE(QFile::link(QStringLiteral("/proc/self/pagemap"),
                            backupPath(QStringLiteral("20010101000002.reg"))));
    writeAll(backupPath(QStringLiteral("20010101000003.reg")), "REGEDIT4\r\n\r\n" HDR "Fine]\r\n");
    ListaaPalautettavatOhjelmat(ctx);
    ASSERT_EQ(m_state.lvwPalauta.rowCount(), 4);
    for (int i = 0; i < 3; ++i)
        EXPECT_TRUE(m_state.lvwPalauta.rowAt(i)->cells[1].text.startsWith(
            QStringLiteral("(cannot be read")))
            << i;
    EXPECT_EQ(m_state.lvwPalauta.rowAt(3)->cells[1].text, QStringLiteral("Fine"));

    m_state.backup.SelectedBackupFile = QStringLiteral("20010101000000.reg");
    m_ui.queueAnswer(MsgAnswer::Yes);
    mPalauta_Click(ctx);
    ASSERT_EQ(m_ui.shown.size(), 2u);
    EXPECT_EQ(m_ui.shown[1].title, QStringLiteral("Error"));
    EXPECT_TRUE(QFileInfo::exists(backupPath(QStringLiteral("20010101000000.reg"))));
}

} // namespace
} // namespace nixora
