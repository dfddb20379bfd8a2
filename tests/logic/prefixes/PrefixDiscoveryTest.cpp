#include "prefixes/PrefixDiscovery.h"
#include "PrefixListing.h"
#include "support/TempPrefix.h"
#include "support/TestData.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <unistd.h>

namespace nixora::prefixes
{
namespace
{

// A user's home with every place prefixes are found, and the traps around them.
class FakeHome
{
public:
    [[nodiscard]] QString path(const QString& relative) const
    {
        return m_dir.path() + u'/' + relative;
    }

    void write(const QString& relative, const QByteArray& content) const
    {
        QDir().mkpath(QFileInfo(path(relative)).path());
        test::writeAll(path(relative), content);
    }

    // A prefix as wineboot leaves it: both hives, drive_c and dosdevices/c:.
    void prefix(const QString& relative, const QByteArray& arch = "win64",
                const QString& machineBody = {}) const
    {
        const QByteArray header = "WINE REGISTRY Version 2\n;; All keys relative to "
                                  "\\\\Machine\n\n#arch=" +
                                  arch + "\n";
        write(relative + QStringLiteral("/system.reg"), header + machineBody.toUtf8());
        write(relative + QStringLiteral("/user.reg"), header);
        QDir().mkpath(path(relative + QStringLiteral("/drive_c")));
        QDir().mkpath(path(relative + QStringLiteral("/dosdevices")));
        QFile::link(QStringLiteral("../drive_c"),
                    path(relative + QStringLiteral("/dosdevices/c:")));
    }

    void link(const QString& target, const QString& relative) const
    {
        QDir().mkpath(QFileInfo(path(relative)).path());
        ASSERT_TRUE(QFile::link(target, path(relative)));
    }

    // Temporary paths in results read as "~/...", so the expectations can be written down.
    [[nodiscard]] QString shorten(QString text) const
    {
        return text.replace(QDir(m_dir.path()).canonicalPath(), QStringLiteral("~"))
            .replace(m_dir.path(), QStringLiteral("~"));
    }

private:
    QTemporaryDir m_dir;
};

void buildSteam(const FakeHome& home)
{
    // Flatpak Steam, today's libraryfolders.vdf: the root itself, a second library, and a
    // library on a drive that is not mounted.
    const QString flatpak = QStringLiteral(".var/app/com.valvesoftware.Steam/.local/share/Steam");
    home.write(
        flatpak + QStringLiteral("/steamapps/libraryfolders.vdf"),
        QStringLiteral("\"libraryfolders\"\n{\n"
                       "\t\"0\"\n\t{\n\t\t\"path\"\t\t\"%1\"\n\t\t\"apps\" { \"100\" \"5\" }\n\t}\n"
                       "\t\"1\"\n\t{\n\t\t\"path\"\t\t\"%2\"\n\t}\n"
                       "\t\"2\"\n\t{\n\t\t\"path\"\t\t\"%3\"\n\t}\n}\n")
            .arg(home.path(flatpak), home.path(QStringLiteral("lib2")),
                 home.path(QStringLiteral("unmounted")))
            .toUtf8());
    home.prefix(flatpak + QStringLiteral("/steamapps/compatdata/100/pfx"));
    home.write(
        flatpak + QStringLiteral("/steamapps/appmanifest_100.acf"),
        "\"AppState\"\n{\n\t\"appid\"\t\"100\"\n\t\"name\"\t\"Quake \\\"Remastered\\\"\"\n}\n");
    home.prefix(QStringLiteral("lib2/steamapps/compatdata/200/pfx"), "win32");
    home.write(QStringLiteral("lib2/steamapps/compatdata/300/version"), "never ran\n");

    // Native Steam with the old plain-string form, reached also through ~/.steam/steam.
    home.write(QStringLiteral(".local/share/Steam/steamapps/libraryfolders.vdf"),
               QStringLiteral("\"LibraryFolders\"\n{\n\t\"TimeNextStatsReport\"\t\"1700000000\"\n"
                              "\t\"ContentStatsID\"\t\"-42\"\n\t\"1\"\t\"%1\"\n}\n")
                   .arg(home.path(QStringLiteral("lib3")))
                   .toUtf8());
    home.prefix(QStringLiteral("lib3/steamapps/compatdata/400/pfx"));
    home.link(home.path(QStringLiteral(".local/share/Steam")), QStringLiteral(".steam/steam"));
}

void buildLaunchers(const FakeHome& home)
{
    home.write(QStringLiteral(".local/share/bottles/bottles/Office/bottle.yml"),
               "Name: My Office\nPath: Office\nCustom_Path: false\nRunner: soda-7.0\n");
    home.prefix(QStringLiteral(".local/share/bottles/bottles/Office"));
    home.write(QStringLiteral(".local/share/bottles/bottles/Broken/bottle.yml"),
               "Name: [Broken\nPath: Broken\n");
    home.write(QStringLiteral(".local/share/bottles/data.yml"),
               "custom_bottles_path: " + home.path(QStringLiteral("custombottles")).toUtf8() +
                   "\n");
    home.write(QStringLiteral("custombottles/Games/bottle.yml"),
               "Name: Games\nCustom_Path: true\nPath: " +
                   home.path(QStringLiteral("elsewhere/games")).toUtf8() + "\n");
    home.prefix(QStringLiteral("elsewhere/games"));

    home.write(
        QStringLiteral(".config/lutris/games/the-witcher-1700000000.yml"),
        "game:\n  exe: drive_c/witcher.exe\n  prefix: ~/Games/witcher\nwine:\n  version: lutris\n");
    home.write(QStringLiteral(".config/lutris/games/native-tux-1700000001.yml"),
               "game:\n  exe: /usr/games/tux\n");
    home.prefix(QStringLiteral("Games/witcher"));

    home.write(
        QStringLiteral(".config/heroic/GamesConfig/Quail.json"),
        QStringLiteral("{\"Quail\": {\"winePrefix\": \"%1\", \"wineVersion\": "
                       "{\"name\": \"GE-Proton8\", \"type\": \"proton\"}}, \"version\": \"v0\"}")
            .arg(home.path(QStringLiteral("Games/Heroic/Quail")))
            .toUtf8());
    home.prefix(QStringLiteral("Games/Heroic/Quail/pfx"));
    home.write(QStringLiteral(".config/heroic/GamesConfig/huge.json"),
               QByteArray(1024 * 1024 + 1, ' '));

    // The bottle again, through a PlayOnLinux link: one prefix, two sources.
    home.link(home.path(QStringLiteral(".local/share/bottles/bottles/Office")),
              QStringLiteral(".PlayOnLinux/wineprefix/office-link"));
}

void buildWine(const FakeHome& home)
{
    home.prefix(QStringLiteral("custom/wp"), "win32");
    home.prefix(
        QStringLiteral(".wine"), "win64",
        test::uninstallEntryBlock(
            QStringLiteral("Found"),
            {{QStringLiteral("DisplayName"), QStringLiteral("Found")},
             {QStringLiteral("UninstallString"), QStringLiteral("C:\\uninst.exe")}}) +
            test::uninstallEntryBlock(
                QStringLiteral("Gone"),
                {{QStringLiteral("DisplayName"), QStringLiteral("Gone")},
                 {QStringLiteral("UninstallString"), QStringLiteral("C:\\gone\\uninst.exe")}}));
    home.write(QStringLiteral(".wine/drive_c/uninst.exe"), "MZ");
    home.write(QStringLiteral(".wine/nixora-backups/20240101120000.reg"), "REGEDIT4\r\n");

    const QString tricks = QStringLiteral(".local/share/wineprefixes/");
    home.prefix(tricks + QStringLiteral("tricks"));
    home.link(home.path(QStringLiteral("nowhere")), tricks + QStringLiteral("dangling"));
    home.link(home.path(tricks + QStringLiteral("loop-b")), tricks + QStringLiteral("loop-a"));
    home.link(home.path(tricks + QStringLiteral("loop-a")), tricks + QStringLiteral("loop-b"));
    QDir().mkpath(home.path(tricks + QStringLiteral("not-a-prefix/drive_c")));
    // A system.reg that cannot be read: listed with the reason instead of counts.
    QDir().mkpath(home.path(tricks + QStringLiteral("unreadable-hive/system.reg")));
    home.prefix(tricks + QStringLiteral("locked"));
    QFile::setPermissions(home.path(tricks + QStringLiteral("locked")), {});
}

TEST(PrefixDiscovery, FindsEveryPrefixOfAFakeHomeOnceWithItsCountsAndSkipsWhatIsBroken)
{
    FakeHome home;
    buildSteam(home);
    buildLaunchers(home);
    buildWine(home);

    DiscoveryInput input;
    input.home = home.path({}).chopped(1);
    input.environment.insert(QStringLiteral("WINEPREFIX"), home.path(QStringLiteral("custom/wp/")));
    input.recent = {home.path(QStringLiteral(".wine")), home.path(QStringLiteral("deleted"))};
    const DiscoveryResult result = discoverPrefixes(input);

    QStringList rows;
    for (const DiscoveredPrefix& prefix : result.prefixes)
        rows << (QStringList{prefix.sources.join(u','), prefix.name, home.shorten(prefix.path)} +
                 nixora::prefixListingColumns(prefix))
                    .join(u'|');
    QStringList warnings;
    for (const QString& warning : result.warnings)
        warnings << home.shorten(warning);

    // Root reads a mode-000 folder anyway; anyone else is told it cannot be read.
    const bool lockedReadable = ::geteuid() == 0;
    QStringList expectedRows = {
        "$WINEPREFIX|wp|~/custom/wp|win32|0|0|0",
        "bottles|Games|~/elsewhere/games|win64|0|0|0",
        "bottles,playonlinux|My Office|~/.local/share/bottles/bottles/Office|win64|0|0|0",
        "heroic|Quail|~/Games/Heroic/Quail/pfx|win64|0|0|0",
        "lutris|the-witcher|~/Games/witcher|win64|0|0|0",
        "steam|Quake \"Remastered\"|~/.var/app/com.valvesoftware.Steam/.local/share/Steam/"
        "steamapps/compatdata/100/pfx|win64|0|0|0",
        "steam|Steam app 200|~/lib2/steamapps/compatdata/200/pfx|win32|0|0|0",
        "steam|Steam app 400|~/lib3/steamapps/compatdata/400/pfx|win64|0|0|0",
        "winetricks|tricks|~/.local/share/wineprefixes/tricks|win64|0|0|0",
        "winetricks|unreadable-hive|~/.local/share/wineprefixes/unreadable-hive|-|"
        "system.reg is not a readable file",
        "~/.wine,recent|.wine|~/.wine|win64|2|1|1",
    };
    if (lockedReadable)
        expectedRows.insert(8, "winetricks|locked|~/.local/share/wineprefixes/locked|win64|0|0|0");
    QStringList expectedWarnings = {
        "~/.var/app/com.valvesoftware.Steam/.local/share/Steam/steamapps/libraryfolders.vdf: "
        "~/unmounted is missing",
        "~/.local/share/bottles/bottles/Broken/bottle.yml: not valid YAML (line 2: end of "
        "sequence flow not found)",
        "~/.config/heroic/GamesConfig/huge.json: larger than 1 MB, not read",
        "winetricks: ~/.local/share/wineprefixes/dangling is a link to ~/nowhere, which is missing",
        "winetricks: ~/.local/share/wineprefixes/loop-a is a link to a link (a loop?); only one "
        "level is followed",
        "winetricks: ~/.local/share/wineprefixes/loop-b is a link to a link (a loop?); only one "
        "level is followed",
    };
    if (!lockedReadable)
        expectedWarnings << "winetricks: ~/.local/share/wineprefixes/locked cannot be read";
    // Without this a user other than root could not remove the temporary home.
    QFile::setPermissions(home.path(QStringLiteral(".local/share/wineprefixes/locked")),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    EXPECT_EQ(rows.join(u'\n').toStdString(), expectedRows.join(u'\n').toStdString());
    EXPECT_EQ(warnings.join(u'\n').toStdString(), expectedWarnings.join(u'\n').toStdString());
}

} // namespace
} // namespace nixora::prefixes
