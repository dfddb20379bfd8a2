#include "interop/WinePrefix.h"

#include "WineRegistry.h"
#include "menus/MenuBackup.h"
#include "menus/MenuFiles.h"
#include "support/MenuHome.h"
#include "support/TestData.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStandardPaths>

#include <map>

namespace nixora::interop
{
namespace
{

using Snapshot = std::map<QString, test::FileState>;

// Two real NSIS programs installed under Wine with a home folder of the test's own: Wine's menu
// builder writes their menu entries, desktop links, menus, folders and icons there.
class MenuInterop : public WineTest
{
protected:
    void SetUp() override
    {
        WineTest::SetUp();
        if (HasFatalFailure() || IsSkipped())
            return;
        findTestTool(QStringLiteral("makensis"), QStringLiteral("nsis"), m_makensis);
        if (HasFatalFailure() || IsSkipped())
            return;
        m_environment = {
            QStringLiteral("WINEPREFIX=") + m_wine->path(), QStringLiteral("HOME=") + m_home.path(),
            QStringLiteral("XDG_DATA_HOME=") + m_home.file(QStringLiteral(".local/share")),
            QStringLiteral("XDG_CONFIG_HOME=") + m_home.file(QStringLiteral(".config"))};
        moveProfileLinksIntoTheHome();
    }

    // The prefix was made for the user running the tests: its profile folders (Desktop, ...)
    // link to that user's home. Here they link to the test's own home instead, as wineboot links
    // them for the user whose HOME it runs with.
    void moveProfileLinksIntoTheHome() const
    {
        const QDir users(m_wine->hostPath(QStringLiteral("drive_c/users")));
        for (const QFileInfo& user : users.entryInfoList(QDir::Dirs | QDir::NoDotAndDotDot)) {
            for (const QFileInfo& link :
                 QDir(user.filePath())
                     .entryInfoList(QDir::System | QDir::AllEntries | QDir::NoDotAndDotDot)) {
                if (!link.isSymLink())
                    continue;
                const QString target = m_home.file(link.fileName());
                ASSERT_TRUE(QDir().mkpath(target));
                ASSERT_TRUE(QFile::remove(link.filePath()));
                ASSERT_TRUE(QFile::link(target, link.filePath()));
            }
        }
    }

    void install(const QString& name, const QString& extension) const
    {
        const QString setup = m_wine->hostPath(QStringLiteral("drive_c/") + name + ".exe");
        const ToolRun built = runTool(
            m_makensis, {QStringLiteral("-V1"), QStringLiteral("-DOUT=") + setup,
                         QStringLiteral("-DNAME=") + name, QStringLiteral("-DEXT=") + extension,
                         QStringLiteral(NIXORA_TEST_NSIS_MENUS_SCRIPT)});
        ASSERT_EQ(built.exitCode, 0) << built.standardOutput.toStdString();
        runWine({QStringLiteral("C:\\") + name + ".exe"});
    }

    // A 32-bit program under the 32-bit loader, then `wineserver -w`: its shortcuts, the menu
    // builder's files and the registry are all written when it returns.
    void runWine(const QStringList& arguments) const
    {
        const ToolRun run = runTool(QStandardPaths::findExecutable(QStringLiteral("wine")),
                                    arguments, m_environment);
        ASSERT_EQ(run.exitCode, 0) << run.standardError.toStdString();
        (void)runTool(QStringLiteral("wineserver"), {QStringLiteral("-w")}, m_environment);
    }

    // `nixora` on the prefix as the test's user; the JSON document it printed.
    [[nodiscard]] QJsonObject nixora(const QStringList& arguments) const
    {
        const ToolRun run =
            runTool(QStringLiteral(NIXORA_BIN_DIR "/nixora"),
                    arguments + QStringList{QStringLiteral("--prefix"), m_wine->path(),
                                            QStringLiteral("--format"), QStringLiteral("json")},
                    m_environment);
        EXPECT_EQ(run.exitCode, 0)
            << run.standardOutput.toStdString() << run.standardError.toStdString();
        return QJsonDocument::fromJson(run.standardOutput).object();
    }

    // "verdict file" of each listed file whose path contains `program`.
    [[nodiscard]] QStringList listed(const QJsonObject& listing, const QString& program) const
    {
        QStringList files;
        for (const QJsonValue& value : listing.value(QStringLiteral("files")).toArray()) {
            const QJsonObject file = value.toObject();
            if (file.value(QStringLiteral("file")).toString().contains(program))
                files << file.value(QStringLiteral("verdict")).toString() + u' ' +
                             file.value(QStringLiteral("kind")).toString();
        }
        return files;
    }

    test::MenuHome m_home;
    QString m_makensis;
    QStringList m_environment;
};

[[nodiscard]] Snapshot withoutCaches(Snapshot files)
{
    std::erase_if(files, [](const auto& item) {
        return item.first.endsWith(QStringLiteral("mimeinfo.cache")) ||
               (item.first.startsWith(QStringLiteral(".local/share/mime/")) &&
                !item.first.startsWith(QStringLiteral(".local/share/mime/packages/")));
    });
    return files;
}

[[nodiscard]] QStringList namesWith(const Snapshot& files, const QString& part)
{
    QStringList names;
    for (const auto& [name, state] : files) {
        if (name.contains(part))
            names << name;
    }
    return names;
}

TEST_F(MenuInterop, FoundThenStaleThenRemovedRestoredAndOrphanedWithOtherFilesUntouched)
{
    install(QStringLiteral("Menu Probe"), QStringLiteral("nxprobe"));
    install(QStringLiteral("Other Probe"), QStringLiteral("nxother"));
    test::writeAll(m_home.file(QStringLiteral(".local/share/applications/my-probe.desktop")),
                   "[Desktop Entry]\nName=My Probe\nExec=env WINEPREFIX=\"" +
                       m_wine->path().toUtf8() + "\" wine program.exe\nType=Application\n");
    const Snapshot installed = withoutCaches(m_home.snapshot());
    ASSERT_GE(namesWith(installed, QStringLiteral("Menu Probe")).size(), 6)
        << "Wine wrote no menu files: " << namesWith(installed, QString()).join(u' ').toStdString();

    const QStringList found =
        listed(nixora({QStringLiteral("--list-menu-entries")}), QStringLiteral("Menu Probe"));
    EXPECT_EQ(found.filter(QStringLiteral("found")).size(), found.size())
        << found.join(u',').toStdString();
    EXPECT_EQ(found.filter(QStringLiteral("menu entry")).size(), 2);
    EXPECT_EQ(found.filter(QStringLiteral("desktop link")).size(), 1);

    // The uninstaller takes its shortcuts; until the prefix starts again, Wine keeps its files.
    runWine(
        {QStringLiteral("C:\\Program Files (x86)\\Menu Probe\\uninst.exe"), QStringLiteral("/S")});
    const Snapshot uninstalled = withoutCaches(m_home.snapshot());
    const QJsonObject stale = nixora({QStringLiteral("--list-menu-entries")});
    EXPECT_EQ(listed(stale, QStringLiteral("Menu Probe")).filter(QStringLiteral("stale")).size(),
              found.size());
    EXPECT_EQ(listed(stale, QStringLiteral("Other Probe")).filter(QStringLiteral("found")).size(),
              listed(stale, QStringLiteral("Other Probe")).size());

    const QJsonObject removal = nixora({QStringLiteral("--remove-stale-menu-entries")});
    const Snapshot removed = withoutCaches(m_home.snapshot());
    EXPECT_TRUE(namesWith(removed, QStringLiteral("Menu Probe")).isEmpty())
        << namesWith(removed, QStringLiteral("Menu Probe")).join(u' ').toStdString();
    EXPECT_TRUE(
        test::emptyFolders(m_home.file(QStringLiteral(".local/share/applications"))).isEmpty());
    for (const auto& [name, state] : removed)
        EXPECT_EQ(uninstalled.at(name), state) << "changed: " << name.toStdString();
    // Each program's two icons: Menu Probe's went, Other Probe's stay.
    EXPECT_EQ(namesWith(uninstalled, QStringLiteral("/apps/")).size(), 4u);
    EXPECT_EQ(namesWith(removed, QStringLiteral("/apps/")).size(), 2u);
    EXPECT_TRUE(removed.count(QStringLiteral(".local/share/applications/my-probe.desktop")));

    const QString backup = removal.value(QStringLiteral("files"))
                               .toArray()
                               .at(0)
                               .toObject()
                               .value(QStringLiteral("backupFile"))
                               .toString();
    WineRegistry registry{Prefix(m_wine->path())};
    EXPECT_EQ(menus::restoreMenuBackup(backup, m_home.folders(), &registry, m_wine->path()),
              QString());
    EXPECT_EQ(withoutCaches(m_home.snapshot()), uninstalled);

    // With the prefix folder gone, every file Wine made for it belongs to no prefix.
    const QString prefixPath = m_wine->path();
    (void)runTool(QStringLiteral("wineserver"), {QStringLiteral("-k")}, m_environment);
    QDir(prefixPath).removeRecursively();
    const menus::MenuInventory gone = menus::scanMenuFiles(m_home.folders(), {}, true);
    int entries = 0;
    for (const menus::MenuFile& file : gone.files) {
        EXPECT_EQ(file.verdict, menus::MenuVerdict::Orphaned) << file.path.toStdString();
        entries += file.kind == menus::MenuFileKind::MenuEntry ? 1 : 0;
    }
    EXPECT_EQ(entries, 4);
}

} // namespace
} // namespace nixora::interop
