#include "WineRegistry.h"
#include "backup/BackupList.h"
#include "backup/RestoreDelete.h"
#include "menus/MenuBackup.h"
#include "menus/MenuRemoval.h"
#include "support/FakeWineserver.h"
#include "support/MenuHome.h"
#include "support/TestData.h"
#include "support/TestWorkspace.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

namespace nixora
{
namespace
{

using menus::MenuFile;
using menus::MenuInventory;
using test::FileState;
using test::MenuHome;
using test::TempPrefix;
using test::writeAll;

using Snapshot = std::map<QString, FileState>;

const QString kEntries = QStringLiteral(".local/share/applications/wine/Programs/Menu Probe/");
const QString kMenus =
    QStringLiteral(".config/menus/applications-merged/wine-Programs-Menu Probe-");
const QString kDirectories = QStringLiteral(".local/share/desktop-directories/wine-");
const QString kIcons = QStringLiteral(".local/share/icons/hicolor/32x32/apps/");

// One line per file: whose (P for the prefix, "gone" for the one that was deleted), kind,
// verdict and path below the home; a directory with the folder name Wine wrote into it.
QString listing(const MenuInventory& inventory, const MenuHome& home, const QString& prefix)
{
    QString text;
    for (const MenuFile& file : inventory.files) {
        const QString owner = file.prefix == prefix   ? QStringLiteral("P")
                              : file.prefix.isEmpty() ? QStringLiteral("-")
                                                      : QStringLiteral("other");
        text += QStringLiteral("%1 %2 %3 %4")
                    .arg(owner, menus::kindText(file.kind), menus::verdictText(file.verdict),
                         file.path.mid(home.path().size() + 1));
        if (file.kind == menus::MenuFileKind::Directory)
            text += QStringLiteral(" = ") + file.name;
        text += u'\n';
    }
    return text;
}

// Menu Probe's files in the order the inventory lists them, each with `verdicts` in turn:
// entries (2), desktop link, association and MIME package, menus (2), directories (3), icons.
QString probeListing(const QString& owner, const QStringList& verdicts)
{
    const std::pair<const char*, QString> files[] = {
        {"menu entry", kEntries + QStringLiteral("Menu Probe.desktop")},
        {"menu entry", kEntries + QStringLiteral("Uninstall.desktop")},
        {"desktop link", QStringLiteral("Desktop/Menu Probe.desktop")},
        {"association", QStringLiteral(".local/share/applications/wine-extension-nxprobe.desktop")},
        {"association", QStringLiteral(".local/share/mime/packages/x-wine-extension-nxprobe.xml")},
        {"menu", kMenus + QStringLiteral("Menu Probe.menu")},
        {"menu", kMenus + QStringLiteral("Uninstall.menu")},
        {"directory", kDirectories + QStringLiteral("Programs-Menu Probe.directory = Menu Probe")},
        {"directory", kDirectories + QStringLiteral("Programs.directory = Programs")},
        {"directory", kDirectories + QStringLiteral("wine.directory = Wine")},
        {"icon", kIcons + QStringLiteral("EA24_uninst.0.png")},
        {"icon", kIcons + QStringLiteral("FB82_probe.0.png")},
    };
    QString text;
    qsizetype i = 0;
    for (const auto& [kind, path] : files)
        text += QStringLiteral("%1 %2 %3 %4\n")
                    .arg(owner, QLatin1String(kind), verdicts.value(i++, verdicts.last()), path);
    return text;
}

enum class Stage { Installed, Uninstalled, ProgramGone, PrefixDeleted };

struct ScanCase {
    const char* label;
    Stage stage;
    const char* owner;
    QStringList verdicts;
};

class MenuScan : public ::testing::TestWithParam<ScanCase>
{
};

// Wine's rules as the menu builder applies them at the next start: a menu file is stale once its
// shortcut is gone, an association once nothing opens its extension; a desktop link (no record)
// when its shortcut or program is gone; a prefix that is gone leaves orphans; a .directory file
// or icon is stale when only stale files use it.
TEST_P(MenuScan, JudgesEachFileByWhatItStarts)
{
    MenuHome home;
    TempPrefix prefix;
    home.install(prefix);
    if (GetParam().stage == Stage::Uninstalled)
        home.uninstall(prefix);
    if (GetParam().stage == Stage::ProgramGone)
        QFile::remove(
            prefix.hostPath(QStringLiteral("drive_c/Program Files (x86)/MenuProbe/probe.exe")));
    const QString path = prefix.path();
    std::vector<menus::MenuPrefix> prefixes;
    WineRegistry registry{Prefix(path)};
    if (GetParam().stage == Stage::PrefixDeleted)
        QDir(path).removeRecursively();
    else
        prefixes.push_back({path, &registry});

    const MenuInventory inventory = menus::scanMenuFiles(home.folders(), prefixes, true);
    EXPECT_EQ(
        listing(inventory, home, GetParam().stage == Stage::PrefixDeleted ? QString() : path)
            .toStdString(),
        probeListing(QString::fromLatin1(GetParam().owner), GetParam().verdicts).toStdString());
}

INSTANTIATE_TEST_SUITE_P(
    Stages, MenuScan,
    ::testing::Values(
        ScanCase{"Installed", Stage::Installed, "P", {QStringLiteral("found")}},
        ScanCase{"UninstalledBeforeThePrefixStartsAgain",
                 Stage::Uninstalled,
                 "P",
                 {QStringLiteral("stale")}},
        // The shortcuts stay: Wine keeps the menu entries, but the desktop link starts nothing.
        ScanCase{"ProgramGoneShortcutsStay",
                 Stage::ProgramGone,
                 "P",
                 {QStringLiteral("found"), QStringLiteral("found"), QStringLiteral("stale"),
                  QStringLiteral("found")}},
        ScanCase{
            "PrefixFolderDeleted", Stage::PrefixDeleted, "other", {QStringLiteral("orphaned")}}),
    [](const auto& info) { return std::string(info.param.label); });

// The caches the desktop's tools rebuild after a removal are theirs, not the program's files.
Snapshot withoutCaches(Snapshot files)
{
    std::erase_if(files, [](const auto& item) {
        return item.first.endsWith(QStringLiteral("applications/mimeinfo.cache")) ||
               (item.first.startsWith(QStringLiteral(".local/share/mime/")) &&
                !item.first.startsWith(QStringLiteral(".local/share/mime/packages/")));
    });
    return files;
}

// The names of the files in `before` that are missing from `after`; every other file must be
// the same in both.
QStringList removedFiles(const Snapshot& before, const Snapshot& after)
{
    QStringList removed;
    for (const auto& [path, state] : before) {
        const auto found = after.find(path);
        if (found == after.end())
            removed << path;
        else
            EXPECT_EQ(found->second, state) << "changed: " << path.toStdString();
    }
    return removed;
}

// Every removal of a stale file the menu builder made, and only those: groups, backups and all.
std::vector<menus::MenuRemovalResult> removeStale(const MenuHome& home,
                                                  const std::vector<menus::MenuPrefix>& prefixes)
{
    const MenuInventory inventory = menus::scanMenuFiles(home.folders(), prefixes, true);
    std::vector<menus::MenuRemovalResult> results;
    for (const menus::MenuRemovalGroup& group :
         menus::staleRemovalGroups(inventory, prefixes, true))
        results.push_back(
            menus::removeMenuFiles({home.folders(), group.files, group.prefix,
                                    group.prefix ? Prefix(group.prefix->path).backupFolder()
                                                 : home.folders().orphanBackups(),
                                    QDateTime(QDate(2024, 5, 6), QTime(7, 8, 9))}));
    return results;
}

QString shortcutExec(const QString& prefix, const QString& program)
{
    return QStringLiteral("Exec=env WINEPREFIX=\"%1\" wine %2\n").arg(prefix, program);
}

// Around Menu Probe's stale files lie files that must never go: a launcher of the user's that
// starts the same program (and shows its icon), one on the desktop, a live prefix's menu entry
// (its menus use the shared .directory files), a Wine-made entry behind a link that leads out
// of the user's folders, and a record of the prefix that names a file outside them.
TEST(MenuRemoval, TouchesNothingButTheStaleFilesWineMade)
{
    MenuHome home;
    TempPrefix prefix;
    TempPrefix other;
    home.install(prefix);
    home.uninstall(prefix);
    const QString program = QStringLiteral("C:\\\\Program\\ Files\\\\MenuProbe\\\\probe.exe");
    writeAll(home.file(QStringLiteral(".local/share/applications/my-probe.desktop")),
             "[Desktop Entry]\nName=My Probe\n" + shortcutExec(prefix.path(), program).toUtf8() +
                 "Type=Application\nIcon=FB82_probe.0\n");
    writeAll(home.file(QStringLiteral("Desktop/My Probe.desktop")),
             "[Desktop Entry]\nName=My Probe\n" + shortcutExec(prefix.path(), program).toUtf8() +
                 "Type=Application\nStartupNotify=true\nTerminal=false\n");
    other.createFile(QStringLiteral("other.lnk"), "shortcut");
    QDir().mkpath(home.file(QStringLiteral(".local/share/applications/wine/Programs/Other")));
    writeAll(home.file(kEntries + QStringLiteral("../Other/Other.desktop")),
             "[Desktop Entry]\nName=Other\n" +
                 shortcutExec(other.path(), QStringLiteral("C:\\\\other.lnk")).toUtf8() +
                 "Type=Application\nStartupNotify=true\n");
    writeAll(home.file(QStringLiteral(
                 ".config/menus/applications-merged/wine-Programs-Other-Other.menu")),
             test::readAll(home.file(kMenus + QStringLiteral("Uninstall.menu")))
                 .replace("Menu Probe", "Other")
                 .replace("Other-Uninstall", "Other-Other"));
    QTemporaryDir outside;
    writeAll(
        outside.filePath(QStringLiteral("Gone.desktop")),
        "[Desktop Entry]\nName=Gone\n" +
            shortcutExec(QStringLiteral("/nonexistent/prefix"), QStringLiteral("x.exe")).toUtf8() +
            "Type=Application\nStartupNotify=true\n");
    QFile::link(outside.path(),
                home.file(QStringLiteral(".local/share/applications/wine/Programs/Linked")));
    WineRegistry registry{prefix.prefix()};
    QString outsideName = u'\\' + outside.filePath(QStringLiteral("Gone.desktop"));
    ASSERT_TRUE(registry
                    .setValue(RegRoot::CurrentUser, menus::kMenuFilesKey,
                              QStringLiteral("\\\\?\\unix") + outsideName.replace(u'/', u'\\'),
                              makeStringValue(QStringLiteral("C:\\gone.lnk")))
                    .ok());
    const Snapshot before = withoutCaches(home.snapshot());
    const QByteArray outsideBefore =
        test::readAll(outside.filePath(QStringLiteral("Gone.desktop")));

    const std::vector<menus::MenuRemovalResult> results =
        removeStale(home, {{prefix.path(), &registry}});

    ASSERT_EQ(results.size(), 1u);
    EXPECT_EQ(results[0].keptCount(), 0) << results[0].refused.toStdString();
    QStringList removed = removedFiles(before, withoutCaches(home.snapshot()));
    QStringList expected{kMenus + QStringLiteral("Menu Probe.menu"),
                         kMenus + QStringLiteral("Uninstall.menu"),
                         QStringLiteral("Desktop/Menu Probe.desktop"),
                         kEntries + QStringLiteral("Menu Probe.desktop"),
                         kEntries + QStringLiteral("Uninstall.desktop"),
                         QStringLiteral(".local/share/applications/wine-extension-nxprobe.desktop"),
                         kDirectories + QStringLiteral("Programs-Menu Probe.directory"),
                         kIcons + QStringLiteral("EA24_uninst.0.png"),
                         QStringLiteral(".local/share/mime/packages/x-wine-extension-nxprobe.xml")};
    removed.sort();
    expected.sort();
    EXPECT_EQ(removed.join(u'\n').toStdString(), expected.join(u'\n').toStdString());
    EXPECT_EQ(test::readAll(outside.filePath(QStringLiteral("Gone.desktop"))), outsideBefore);
    EXPECT_TRUE(
        test::emptyFolders(home.file(QStringLiteral(".local/share/applications"))).isEmpty());
    EXPECT_TRUE(
        QFile::exists(home.file(QStringLiteral(".local/share/applications/mimeinfo.cache"))))
        << "update-desktop-database was not run";
    // Only the outside record is left: the others went with their files.
    const auto records = registry.exportKey(RegRoot::CurrentUser, menus::kMenuFilesKey);
    ASSERT_TRUE(records.has_value());
    EXPECT_EQ(records->values.size(), 1u);
    EXPECT_FALSE(registry.keyExists(RegRoot::CurrentUser,
                                    menus::kAssociationsKey + QStringLiteral("\\.nxprobe")));
}

// The backup is a row of the restore page; "Restore Entry" refuses to overwrite a file that took
// a removed file's place, changes nothing then, and once the place is free puts every file back
// byte for byte with its mode and time, and the prefix's records with them.
TEST(MenuRemoval, RestoreBringsBackEveryFileAndRecord)
{
    MenuHome home;
    test::TestWorkspace workspace;
    home.install(workspace.prefix);
    home.uninstall(workspace.prefix);
    workspace.reopen();
    workspace.ctx.services.userFolders = home.folders();
    Registry& registry = workspace.registry();
    const Snapshot installed = withoutCaches(home.snapshot());
    const auto recordsBefore =
        registry.exportKey(RegRoot::CurrentUser, QStringLiteral("Software\\Wine"));

    const auto results = removeStale(home, {{workspace.prefix.path(), &registry}});
    ASSERT_EQ(results.size(), 1u);
    ListaaPalautettavatOhjelmat(workspace.ctx);
    ASSERT_EQ(workspace.state.lvwPalauta.rowCount(), 1);
    const ListRow& row = *workspace.state.lvwPalauta.rowAt(0);
    EXPECT_EQ(row.key, QStringLiteral("20240506070809.menus"));
    EXPECT_EQ(row.cells[1].text.toStdString(),
              "Menu entries: Menu Probe, Uninstall, probe (12 files)");
    EXPECT_EQ(row.cells[2].text.toStdString(), "(menu files)");

    const QString taken = home.file(kEntries + QStringLiteral("Uninstall.desktop"));
    QDir().mkpath(QFileInfo(taken).path());
    writeAll(taken, "[Desktop Entry]\nName=Someone else's\n");
    const Snapshot blocked = withoutCaches(home.snapshot());
    workspace.ui.queueAnswer(MsgAnswer::Yes);
    mPalauta_Click(workspace.ctx);
    ASSERT_EQ(workspace.ui.shown.size(), 2u);
    EXPECT_TRUE(workspace.ui.shown[1].text.contains(QStringLiteral("is there already")))
        << workspace.ui.shown[1].text.toStdString();
    EXPECT_EQ(withoutCaches(home.snapshot()), blocked);
    EXPECT_EQ(workspace.state.lvwPalauta.rowCount(), 1);

    QFile::remove(taken);
    workspace.ui.queueAnswer(MsgAnswer::Yes);
    mPalauta_Click(workspace.ctx);
    EXPECT_EQ(workspace.ui.shown.size(), 3u);
    EXPECT_EQ(withoutCaches(home.snapshot()), installed);
    EXPECT_EQ(registry.exportKey(RegRoot::CurrentUser, QStringLiteral("Software\\Wine")),
              recordsBefore);
    EXPECT_EQ(workspace.state.lvwPalauta.rowCount(), 0);
}

// While the prefix's wineserver runs it owns the records: nothing is backed up or removed.
TEST(MenuRemoval, IsRefusedWhileTheWineserverRuns)
{
    MenuHome home;
    TempPrefix prefix;
    home.install(prefix);
    home.uninstall(prefix);
    WineRegistry registry{prefix.prefix()};
    const Snapshot before = home.snapshot();
    test::FakeWineserver server(test::wineserverFolderOf(prefix.path()));

    const auto results = removeStale(home, {{prefix.path(), &registry}});
    ASSERT_EQ(results.size(), 1u);
    EXPECT_FALSE(results[0].refused.isEmpty());
    EXPECT_EQ(home.snapshot(), before);
    EXPECT_FALSE(QFileInfo::exists(prefix.prefix().backupFolder()));
}

// Paths and texts with tabs, line breaks and '%' read back as they were written.
TEST(MenuBackupFile, ReadsBackWhatItWrote)
{
    menus::MenuBackup backup{
        QStringLiteral("Menu entries: 100% \"done\"\ttab"),
        QStringLiteral("/p/with\nbreak"),
        {{menus::kMenuFilesKey, QStringLiteral("\\\\?\\unix\\a%20b\\c.desktop"),
          makeStringValue(QStringLiteral("C:\\x.lnk"))}},
        {{QStringLiteral("/h/a\tb%41/\nx.desktop"),
          QByteArray("\n\0end\n", 6),
          0750,
          {1700000000, 5}},
         {QStringLiteral("/h/empty"), QByteArray(), 0644, {0, 0}}}};
    const QByteArray encoded = menus::encodeMenuBackup(backup);
    EXPECT_EQ(menus::decodeMenuBackup(encoded), backup);
    EXPECT_FALSE(menus::decodeMenuBackup(encoded.chopped(5)).has_value());
}

} // namespace
} // namespace nixora
