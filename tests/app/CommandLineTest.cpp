#include "BuildInfo.h"
#include "support/FakeWineserver.h"
#include "support/MenuHome.h"
#include "support/TempPrefix.h"
#include "support/TestData.h"

#include <QDirIterator>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <unistd.h>
#include <vector>

namespace nixora
{
namespace
{

struct Outcome {
    int exitCode = -1;
    QString out;
    QString err;
};

// Runs a built program as a user on a console would: no display, no Qt platform chosen; `extra`
// is added to that environment.
Outcome run(const char* program, const QStringList& arguments,
            const QString& winePrefix = QStringLiteral("/nonexistent-prefix"),
            const QProcessEnvironment& extra = {})
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        environment.remove(QLatin1String(name));
    environment.insert(QStringLiteral("WINEPREFIX"), winePrefix);
    environment.insert(extra);
    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(QStringLiteral(NIXORA_BIN_DIR "/") + QLatin1String(program), arguments);
    if (!process.waitForFinished(30000) || process.exitStatus() != QProcess::NormalExit)
        return {};
    return {process.exitCode(), QString::fromLocal8Bit(process.readAllStandardOutput()),
            QString::fromLocal8Bit(process.readAllStandardError())};
}

// What a user meets first at a terminal, over ssh or in a script: every answer must come without
// a display and without Qt aborting, and a mistake must exit 2 with the usage.
TEST(CommandLine, AnswersWithoutADisplayAndRefusesWhatItDoesNotKnow)
{
    const Outcome help = run("nixora", {QStringLiteral("--help")});
    EXPECT_EQ(help.exitCode, 0) << help.err.toStdString();
    EXPECT_TRUE(help.out.contains(QLatin1String("--prefix <DIR>")));

    const Outcome version = run("nixora", {QStringLiteral("--version")});
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_TRUE(version.out.startsWith(QLatin1String("nixora 4."))) << version.out.toStdString();

    for (const QStringList& wrong :
         {QStringList{QStringLiteral("--bogus")}, QStringList{QStringLiteral("stray")},
          QStringList{QStringLiteral("--prefix=")}, QStringList{QStringLiteral("--dry-run")},
          QStringList{QStringLiteral("--remove-phantoms"), QStringLiteral("--all-prefixes"),
                      QStringLiteral("--prefix"), QStringLiteral("/tmp")},
          QStringList{QStringLiteral("--list"), QStringLiteral("--format"), QStringLiteral("xml")},
          QStringList{QStringLiteral("--list-menu-entries"),
                      QStringLiteral("--remove-phantoms")}}) {
        const Outcome refused = run("nixora", wrong);
        EXPECT_EQ(refused.exitCode, 2) << wrong.join(u' ').toStdString();
        EXPECT_TRUE(refused.err.contains(QLatin1String("Usage:"))) << refused.err.toStdString();
        EXPECT_TRUE(refused.out.isEmpty());
    }

    const Outcome window = run("nixora", {});
    EXPECT_EQ(window.exitCode, 2);
    EXPECT_EQ(window.err.count(u'\n'), 1) << window.err.toStdString();
    EXPECT_TRUE(window.err.contains(QLatin1String("nixora --list")));

    const Outcome regedit = run("nixora-regedit", {QStringLiteral("--version")});
    EXPECT_EQ(regedit.exitCode, 0);
    EXPECT_TRUE(regedit.out.startsWith(QLatin1String("nixora-regedit 4.")));
}

// --prefix wins over $WINEPREFIX, also when the folder it names is missing.
TEST(CommandLine, PrefixOptionChoosesThePrefixToList)
{
    test::TempPrefix prefix;
    prefix.setHiveBody(
        RegRoot::LocalMachine,
        test::uninstallEntryBlock(QStringLiteral("ChosenApp"),
                                  {{QStringLiteral("DisplayName"), QStringLiteral("Chosen")}}));
    const Outcome listed =
        run("nixora", {QStringLiteral("--prefix"), prefix.path(), QStringLiteral("--list")});
    EXPECT_EQ(listed.exitCode, 0) << listed.err.toStdString();
    EXPECT_TRUE(listed.out.startsWith(QLatin1String("ChosenApp\tChosen\t")))
        << listed.out.toStdString();

    // The path is quoted on stderr with its control characters escaped, as stdout escapes them:
    // a name must not set the terminal's title or erase what it shows.
    const Outcome missing = run("nixora",
                                {QStringLiteral("--prefix"),
                                 prefix.path() + QStringLiteral("/not-here\x1b]0;owned\x07\x1b[2K"),
                                 QStringLiteral("--list")},
                                prefix.path());
    EXPECT_EQ(missing.exitCode, 2);
    EXPECT_TRUE(missing.err.contains(QLatin1String("not-here\\x1B]0;owned\\x07\\x1B[2K")))
        << missing.err.toStdString();
    EXPECT_FALSE(missing.err.contains(QChar(0x1b)));
    // A folder without Wine's hive is no prefix: not an empty list, and nothing is removed.
    QDir().mkpath(prefix.hostPath(QStringLiteral("empty")));
    QDir().mkpath(prefix.hostPath(QStringLiteral("text")));
    test::writeAll(prefix.hostPath(QStringLiteral("text/system.reg")), "REGEDIT4\r\n");
    for (const auto& [folder, reason] :
         {std::pair{QStringLiteral("not-here"), "no such folder"},
          std::pair{QStringLiteral("empty"), "no system.reg"},
          std::pair{QStringLiteral("text"), "system.reg is not a Wine registry file"}}) {
        const QString dir = prefix.hostPath(folder);
        for (const char* command : {"--list", "--list-backups", "--remove-phantoms"}) {
            const Outcome refused =
                run("nixora", {QStringLiteral("--prefix"), dir, QLatin1String(command)});
            EXPECT_EQ(refused.exitCode, 2) << command << ' ' << dir.toStdString();
            EXPECT_EQ(refused.err, QStringLiteral("nixora: not a Wine prefix: %1 (%2)\n")
                                       .arg(dir, QLatin1String(reason)));
            EXPECT_TRUE(refused.out.isEmpty() || QLatin1String(command) == "--remove-phantoms")
                << refused.out.toStdString();
        }
    }

    // A listing that cannot be written is a failure, not a success.
    QProcess full;
    full.setStandardOutputFile(QStringLiteral("/dev/full"));
    full.start(QStringLiteral(NIXORA_BIN_DIR "/nixora"),
               {QStringLiteral("--prefix"), prefix.path(), QStringLiteral("--list")});
    ASSERT_TRUE(full.waitForFinished(30000));
    EXPECT_EQ(full.exitCode(), 1);
    EXPECT_TRUE(full.readAllStandardError().contains("cannot write the listing"));
}

// A copy of the demo prefix (its dosdevices links included) at `where`.
void copyDemoPrefix(const QString& where)
{
    QDir().mkpath(QFileInfo(where).path());
    ASSERT_EQ(
        QProcess::execute(QStringLiteral("cp"),
                          {QStringLiteral("-a"),
                           test::dataPath(QStringLiteral("../../examples/demo-prefix")), where}),
        0);
}

// Every file below `folder` with its bytes.
std::map<QString, QByteArray> filesBelow(const QString& folder)
{
    std::map<QString, QByteArray> files;
    QDirIterator it(folder, QDir::Files | QDir::Hidden | QDir::NoSymLinks,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        QFile file(it.next());
        if (file.open(QIODevice::ReadOnly))
            files[it.filePath()] = file.readAll();
    }
    return files;
}

// The lines of a listing without its status line, each split at its tabs.
std::vector<QStringList> rowsOf(const QString& out)
{
    QStringList lines = out.split(u'\n', Qt::SkipEmptyParts);
    if (!lines.isEmpty())
        lines.removeLast();
    std::vector<QStringList> rows;
    for (const QString& line : lines)
        rows.push_back(line.split(u'\t'));
    return rows;
}

// Only the backups folder is ever added to a prefix: the listings (of the prefix and of every
// prefix in the home folder) and a dry run leave every file as it was.
TEST(CommandLine, ListingsAndTheDryRunTouchNothingAndTheRunLeavesOnlyBackups)
{
    QTemporaryDir home;
    const QString demo = home.filePath(QStringLiteral(".wine"));
    copyDemoPrefix(demo);
    const auto before = filesBelow(demo);
    QProcessEnvironment environment;
    environment.insert(QStringLiteral("HOME"), home.path());
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), home.filePath(QStringLiteral(".config")));
    for (const QStringList& listing :
         {QStringList{QStringLiteral("--list"), QStringLiteral("--list-backups")},
          QStringList{QStringLiteral("--list"), QStringLiteral("--format=json")},
          QStringList{QStringLiteral("--list-prefixes")}}) {
        const Outcome listed = run("nixora", listing, demo, environment);
        EXPECT_EQ(listed.exitCode, 0) << listed.err.toStdString();
        EXPECT_TRUE(listed.out.contains(QLatin1String("Demo Codec Pack")) ||
                    listed.out.contains(demo))
            << listed.out.toStdString();
    }
    EXPECT_EQ(filesBelow(demo), before);
    const QStringList args{QStringLiteral("--prefix"), demo, QStringLiteral("--remove-phantoms")};

    // The demo's entry on drive D:, whose disk is not plugged in, is marked but never removed.
    const QString driveGone = QStringLiteral("drive D: is not available");
    const Outcome dry = run("nixora", args + QStringList{QStringLiteral("--dry-run")});
    EXPECT_EQ(dry.exitCode, 0) << dry.err.toStdString();
    const std::vector<QStringList> listed = rowsOf(dry.out);
    ASSERT_GE(listed.size(), 2u) << dry.out.toStdString();
    for (const QStringList& row : listed)
        EXPECT_EQ(row.value(4),
                  row.value(2) == u"DemoUsbTool" ? driveGone : QStringLiteral("dry run"))
            << row.join(u'|').toStdString();
    EXPECT_EQ(filesBelow(demo), before);

    const Outcome removed = run("nixora", args);
    EXPECT_EQ(removed.exitCode, 1) << removed.out.toStdString() << removed.err.toStdString();
    const std::vector<QStringList> rows = rowsOf(removed.out);
    ASSERT_EQ(rows.size(), listed.size());
    for (const QStringList& row : rows) {
        if (row.value(2) == u"DemoUsbTool")
            EXPECT_EQ(row.value(4), driveGone);
        else
            EXPECT_TRUE(QFileInfo(row.value(4)).isFile()) << row.join(u'|').toStdString();
    }

    const Outcome list =
        run("nixora", {QStringLiteral("--prefix"), demo, QStringLiteral("--list")});
    EXPECT_FALSE(list.out.contains(QLatin1String("\tphantom\t"))) << list.out.toStdString();
    EXPECT_TRUE(list.out.contains(QLatin1String("\tunknown\t1\tHKLM\t") + driveGone));
    const Outcome backups =
        run("nixora", {QStringLiteral("--prefix"), demo, QStringLiteral("--list-backups")});
    EXPECT_EQ(rowsOf(backups.out).size(), rows.size() - 1) << backups.out.toStdString();
}

// Scripts read the same rows from the JSON document as from the TSV lines.
TEST(CommandLine, JsonListingsHoldTheRowsOfTheTsvListings)
{
    QTemporaryDir home;
    const QString demo = home.filePath(QStringLiteral("demo"));
    copyDemoPrefix(demo);
    (void)run("nixora", {QStringLiteral("--prefix"), demo, QStringLiteral("--remove-phantoms")});
    const QStringList args{QStringLiteral("--prefix"), demo, QStringLiteral("--list"),
                           QStringLiteral("--list-backups")};
    const Outcome tsv = run("nixora", args);
    const Outcome json = run("nixora", args + QStringList{QStringLiteral("--format=json")});
    ASSERT_EQ(json.exitCode, 0) << json.err.toStdString();
    QJsonParseError error;
    const QJsonObject document = QJsonDocument::fromJson(json.out.toUtf8(), &error).object();
    ASSERT_EQ(error.error, QJsonParseError::NoError) << json.out.toStdString();

    const auto field = [](const QJsonObject& row, const char* name) {
        const QJsonValue value = row.value(QLatin1String(name));
        return value.isBool() ? QString::number(value.toBool() ? 1 : 0) : value.toString();
    };
    QStringList fromJson;
    for (const QJsonValue& value : document.value(QStringLiteral("entries")).toArray()) {
        QStringList row;
        for (const char* name :
             {"subkey", "name", "uninstaller", "version", "nameTag", "uninstallerTag", "versionTag",
              "verdict", "bold", "source", "reason"})
            row << field(value.toObject(), name);
        fromJson << row.join(u'\t');
    }
    fromJson << document.value(QStringLiteral("status")).toString();
    for (const QJsonValue& value : document.value(QStringLiteral("backups")).toArray()) {
        QStringList row;
        for (const char* name : {"file", "date", "name", "version"})
            row << field(value.toObject(), name);
        fromJson << row.join(u'\t');
    }
    fromJson << document.value(QStringLiteral("backupStatus")).toString();
    EXPECT_GT(document.value(QStringLiteral("backups")).toArray().size(), 0);
    EXPECT_EQ(fromJson.join(u'\n') + u'\n', tsv.out);
}

// Three prefixes in one home, one of them held by a running wineserver: the other two are
// cleaned, the held one keeps its phantoms with the reason, byte for byte.
TEST(CommandLine, AllPrefixesCleansEveryPrefixButOneWithWineRunning)
{
    QTemporaryDir home;
    const QString wine = home.filePath(QStringLiteral(".wine"));
    const QString tricks = home.filePath(QStringLiteral(".local/share/wineprefixes/"));
    for (const QString& prefix : {wine, tricks + u'a', tricks + u'b'})
        copyDemoPrefix(prefix);
    const auto heldBefore = filesBelow(tricks + u'b');
    test::FakeWineserver server(test::wineserverFolderOf(tricks + u'b'));
    QProcessEnvironment environment;
    environment.insert(QStringLiteral("HOME"), home.path());
    environment.insert(QStringLiteral("XDG_DATA_HOME"),
                       home.filePath(QStringLiteral(".local/share")));
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), home.filePath(QStringLiteral(".config")));

    const Outcome all =
        run("nixora", {QStringLiteral("--remove-phantoms"), QStringLiteral("--all-prefixes")}, wine,
            environment);
    EXPECT_EQ(all.exitCode, 1) << all.out.toStdString() << all.err.toStdString();
    std::map<QString, int> removed;
    std::map<QString, int> kept;
    for (const QStringList& row : rowsOf(all.out)) {
        if (row.value(2) == u"DemoUsbTool") // never removed, wherever it is
            continue;
        if (QFileInfo(row.value(4)).isFile())
            ++removed[row.value(0)];
        else if (row.value(4).contains(QLatin1String("Wine programs are running")))
            ++kept[row.value(0)];
    }
    EXPECT_GT(removed[wine], 0);
    EXPECT_EQ(removed[wine], removed[tricks + u'a']);
    EXPECT_EQ(kept[tricks + u'b'], removed[wine]);
    EXPECT_EQ(removed.size() + kept.size(), 3u) << all.out.toStdString();
    EXPECT_EQ(filesBelow(tricks + u'b'), heldBefore);
}

// The menu files Wine left after an uninstaller took the shortcuts: listed stale (TSV and JSON
// alike), a dry run lists what would go and changes no byte of the home or the prefix, the
// removal takes them all and exits 0, and the next listing finds nothing.
TEST(CommandLine, StaleMenuEntriesAreListedDryRunAndRemoved)
{
    test::MenuHome home;
    test::TempPrefix prefix;
    home.install(prefix);
    home.uninstall(prefix);
    QProcessEnvironment environment;
    environment.insert(QStringLiteral("HOME"), home.path());
    environment.insert(QStringLiteral("XDG_DATA_HOME"), home.file(QStringLiteral(".local/share")));
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), home.file(QStringLiteral(".config")));
    const auto command = [&](const QStringList& arguments) {
        return run("nixora", arguments + QStringList{QStringLiteral("--prefix"), prefix.path()},
                   QStringLiteral("/nonexistent-prefix"), environment);
    };

    const Outcome json = command({QStringLiteral("--list-menu-entries"), QStringLiteral("--format"),
                                  QStringLiteral("json")});
    EXPECT_EQ(json.exitCode, 0) << json.err.toStdString();
    const QJsonArray files = QJsonDocument::fromJson(json.out.toUtf8())
                                 .object()
                                 .value(QStringLiteral("files"))
                                 .toArray();
    EXPECT_EQ(files.size(), 12);
    for (const QJsonValue& file : files)
        EXPECT_EQ(file.toObject().value(QStringLiteral("verdict")).toString(),
                  QStringLiteral("stale"));
    const Outcome tsv = command({QStringLiteral("--list-menu-entries")});
    EXPECT_EQ(rowsOf(tsv.out).size(), 12u);
    EXPECT_TRUE(
        tsv.out.endsWith(QStringLiteral("12 menu files of 1 prefixes: 12 stale, 0 orphaned\n")));

    const auto homeBefore = filesBelow(home.path());
    const auto prefixBefore = filesBelow(prefix.path());
    const Outcome dry =
        command({QStringLiteral("--remove-stale-menu-entries"), QStringLiteral("--dry-run")});
    EXPECT_EQ(dry.exitCode, 0) << dry.err.toStdString();
    EXPECT_EQ(dry.out.count(QStringLiteral("\tdry run\n")), 12) << dry.out.toStdString();
    EXPECT_EQ(filesBelow(home.path()), homeBefore);
    EXPECT_EQ(filesBelow(prefix.path()), prefixBefore);

    const Outcome removal = command({QStringLiteral("--remove-stale-menu-entries")});
    EXPECT_EQ(removal.exitCode, 0) << removal.out.toStdString() << removal.err.toStdString();
    EXPECT_TRUE(removal.out.endsWith(QStringLiteral("Removed 12 stale menu files; kept 0\n")));
    EXPECT_FALSE(QFileInfo::exists(home.file(QStringLiteral(".local/share/applications/wine"))));
    EXPECT_TRUE(command({QStringLiteral("--list-menu-entries")})
                    .out.startsWith(QStringLiteral("0 menu files of 1 prefixes")));
}

// A prefix whose hives are links to ~/.wine's (an unpacked archive): one prefix, judged and
// backed up in ~/.wine against ~/.wine's own drives; the linked folder is listed with a warning
// and never written, also when it is named with --prefix.
// The home `tools/dev run` gives the demo prefix shows every verdict of every kind it holds.
TEST(CommandLine, TheDemoHomeShowsEveryVerdictOfTheMenuFiles)
{
    QTemporaryDir where;
    const QString prefix = where.filePath(QStringLiteral("prefix"));
    const QString home = where.filePath(QStringLiteral("home"));
    copyDemoPrefix(prefix);
    ASSERT_EQ(QProcess::execute(QStringLiteral("bash"),
                                {test::dataPath(QStringLiteral("../../examples/install-demo-home")),
                                 home, prefix}),
              0);
    QProcessEnvironment environment;
    environment.insert(QStringLiteral("HOME"), home);
    environment.insert(QStringLiteral("XDG_DATA_HOME"), home + QStringLiteral("/.local/share"));
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), home + QStringLiteral("/.config"));
    const Outcome listing =
        run("nixora", {QStringLiteral("--list-menu-entries"), QStringLiteral("--prefix"), prefix},
            QStringLiteral("/nonexistent-prefix"), environment);
    EXPECT_EQ(listing.exitCode, 0) << listing.err.toStdString();
    std::set<QString> seen;
    for (const QStringList& row : rowsOf(listing.out))
        seen.insert(row.value(1) + u' ' + row.value(2));
    const std::set<QString> expected{
        QStringLiteral("menu entry found"),    QStringLiteral("menu entry stale"),
        QStringLiteral("menu entry orphaned"), QStringLiteral("desktop link found"),
        QStringLiteral("menu found"),          QStringLiteral("menu stale"),
        QStringLiteral("menu orphaned"),       QStringLiteral("directory found"),
        QStringLiteral("directory stale"),     QStringLiteral("directory orphaned")};
    EXPECT_EQ(seen, expected) << listing.out.toStdString();
}

TEST(CommandLine, AFolderLinkingToAnotherPrefixsHivesIsNeverJudgedOrWritten)
{
    QTemporaryDir home;
    const QString wine = home.filePath(QStringLiteral(".wine"));
    const QString linked = home.filePath(QStringLiteral(".local/share/wineprefixes/unpacked"));
    copyDemoPrefix(wine);
    QDir().mkpath(linked + QStringLiteral("/drive_c"));
    for (const char* hive : {"/system.reg", "/user.reg"})
        ASSERT_TRUE(QFile::link(wine + QLatin1String(hive), linked + QLatin1String(hive)));
    QProcessEnvironment environment;
    environment.insert(QStringLiteral("HOME"), home.path());
    environment.insert(QStringLiteral("XDG_DATA_HOME"),
                       home.filePath(QStringLiteral(".local/share")));
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), home.filePath(QStringLiteral(".config")));
    const auto found = [&] {
        const Outcome list = run("nixora", {QStringLiteral("--list")}, wine, environment);
        return list.out.count(QLatin1String("\tfound\t"));
    };
    const qsizetype live = found();
    ASSERT_GT(live, 0);

    const Outcome direct =
        run("nixora", {QStringLiteral("--remove-phantoms")}, linked, environment);
    EXPECT_EQ(direct.exitCode, 1) << direct.err.toStdString();
    EXPECT_TRUE(direct.out.contains(QLatin1String("is that of the Wine prefix ") + wine))
        << direct.out.toStdString();
    const Outcome all =
        run("nixora", {QStringLiteral("--remove-phantoms"), QStringLiteral("--all-prefixes")}, wine,
            environment);
    // The demo's entry on a drive that is not there is kept; every other phantom goes.
    EXPECT_EQ(all.exitCode, 1) << all.out.toStdString() << all.err.toStdString();
    EXPECT_TRUE(all.err.contains(linked)) << all.err.toStdString();
    for (const QStringList& row : rowsOf(all.out)) {
        EXPECT_EQ(row.value(0), wine) << row.join(u'|').toStdString();
        EXPECT_TRUE(row.value(4).startsWith(wine + QStringLiteral("/nixora-backups/")) ||
                    row.value(4) == QLatin1String("drive D: is not available"))
            << row.join(u'|').toStdString();
    }
    EXPECT_EQ(found(), live) << "a live entry of ~/.wine was removed";
    EXPECT_EQ(QDir(linked).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
              (QStringList{QStringLiteral("drive_c"), QStringLiteral("system.reg"),
                           QStringLiteral("user.reg")}));
}

// Without /proc the program cannot tell its own folder: it must not look for the window module
// from the current folder, where anyone may have planted one.
TEST(CommandLine, WithoutProcNoWindowModuleIsLoadedFromTheCurrentFolder)
{
    if (::geteuid() != 0 || QProcess::execute(QStringLiteral("unshare"),
                                              {QStringLiteral("-m"), QStringLiteral("true")}) != 0)
        GTEST_SKIP() << "a mount namespace without /proc needs root and unshare";
    QTemporaryDir dir;
    const QString here = dir.filePath(QStringLiteral("bin"));
    const QString planted =
        QDir::cleanPath(here + u'/' + QLatin1String(build::kWindowModuleFromPrograms));
    QDir().mkpath(here);
    QDir().mkpath(QFileInfo(planted).path());
    ASSERT_TRUE(QFile::copy(QStringLiteral(NIXORA_PLANTED_MODULE), planted));
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    QProcess nixora;
    nixora.setProcessEnvironment(environment);
    nixora.setWorkingDirectory(here);
    nixora.start(
        QStringLiteral("unshare"),
        {QStringLiteral("-m"), QStringLiteral("--propagation"), QStringLiteral("private"),
         QStringLiteral("sh"), QStringLiteral("-c"),
         QStringLiteral("mount -t tmpfs none /proc && echo 'empty /proc' >&2 && exec \"$0\""),
         QStringLiteral(NIXORA_BIN_DIR "/nixora")});
    ASSERT_TRUE(nixora.waitForFinished(30000));
    // Some containers let root make a mount namespace but not set it up or mount over /proc.
    const QByteArray err = nixora.readAllStandardError();
    if (!err.startsWith("empty /proc\n"))
        GTEST_SKIP() << "this machine refuses a namespace with an empty /proc: "
                     << err.toStdString();
#if defined(__SANITIZE_ADDRESS__)
    // LeakSanitizer needs /proc when the program ends (and reads its options from there): its
    // fatal error replaces the program's exit status.
    EXPECT_NE(nixora.exitCode(), 0) << err.toStdString();
#else
    EXPECT_EQ(nixora.exitCode(), 2) << err.toStdString();
#endif
    EXPECT_FALSE(nixora.readAllStandardOutput().contains("planted"));
    EXPECT_TRUE(err.contains("/proc/self/exe cannot be read")) << err.toStdString();
}

// A prefix whose system.reg was grown to 64 GiB (`truncate -s 64G`) beside one that is fine:
// each listing and the bulk run report it on its own row, and the other prefix is done.
TEST(CommandLine, AHiveTooLargeToReadIsItsOwnRowAndTheOtherPrefixesAreDone)
{
    QTemporaryDir home;
    const QString wine = home.filePath(QStringLiteral(".wine"));
    const QString big = home.filePath(QStringLiteral(".local/share/wineprefixes/big"));
    copyDemoPrefix(wine);
    copyDemoPrefix(big);
    ASSERT_TRUE(QFile::resize(big + QStringLiteral("/system.reg"), qint64(64) << 30));
    QProcessEnvironment environment;
    environment.insert(QStringLiteral("HOME"), home.path());
    environment.insert(QStringLiteral("XDG_DATA_HOME"),
                       home.filePath(QStringLiteral(".local/share")));
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), home.filePath(QStringLiteral(".config")));
    const QString tooLarge = QStringLiteral("too large to read (64.0 GiB;");

    const Outcome prefixes = run("nixora", {QStringLiteral("--list-prefixes")}, wine, environment);
    EXPECT_EQ(prefixes.exitCode, 0) << prefixes.err.toStdString();
    std::map<QString, QStringList> byPath;
    for (const QStringList& row : rowsOf(prefixes.out))
        byPath[row.value(2)] = row;
    ASSERT_EQ(byPath.size(), 2u) << prefixes.out.toStdString();
    EXPECT_EQ(byPath[wine].size(), 7);
    EXPECT_TRUE(byPath[big].value(4).contains(tooLarge)) << prefixes.out.toStdString();

    const Outcome bulk = run("nixora",
                             {QStringLiteral("--remove-phantoms"), QStringLiteral("--all-prefixes"),
                              QStringLiteral("--format"), QStringLiteral("json")},
                             wine, environment);
    EXPECT_EQ(bulk.exitCode, 1) << bulk.err.toStdString();
    QJsonParseError error;
    const QJsonObject document = QJsonDocument::fromJson(bulk.out.toUtf8(), &error).object();
    ASSERT_EQ(error.error, QJsonParseError::NoError) << bulk.out.toStdString();
    const QJsonArray entries = document.value(QStringLiteral("entries")).toArray();
    EXPECT_GT(entries.size(), 0);
    for (const QJsonValue& entry : entries) {
        const QJsonObject row = entry.toObject();
        EXPECT_EQ(row.value(QStringLiteral("prefix")).toString(), wine);
        // All but the demo's entry on a drive that is not there.
        EXPECT_TRUE(row.value(QStringLiteral("removed")).toBool() ||
                    row.value(QStringLiteral("reason")) ==
                        QLatin1String("drive D: is not available"))
            << QJsonDocument(row).toJson().toStdString();
    }
    const QJsonArray unreadable = document.value(QStringLiteral("unreadable")).toArray();
    ASSERT_EQ(unreadable.size(), 1) << bulk.out.toStdString();
    EXPECT_EQ(unreadable[0].toObject().value(QStringLiteral("prefix")).toString(), big);
    EXPECT_TRUE(
        unreadable[0].toObject().value(QStringLiteral("reason")).toString().contains(tooLarge));

    const Outcome list = run("nixora", {QStringLiteral("--prefix"), big, QStringLiteral("--list")});
    EXPECT_EQ(list.exitCode, 1);
    EXPECT_TRUE(list.out.isEmpty()) << list.out.toStdString();
    EXPECT_TRUE(list.err.contains(tooLarge)) << list.err.toStdString();
}

// The file names of the shared objects the dynamic loader initialised, from LD_DEBUG=libs output.
QStringList loadedLibraries(const QString& loaderOutput)
{
    static const QRegularExpression initLine(QStringLiteral("calling init: (\\S+)"));
    QStringList loaded;
    for (const QRegularExpressionMatch& match : initLine.globalMatch(loaderOutput))
        loaded << QFileInfo(match.captured(1)).fileName();
    return loaded;
}

// Qt Gui, Widgets and Svg and what they bring: OpenGL, fontconfig, X11.
bool isGuiLibrary(const QString& fileName)
{
    static const QRegularExpression gui(
        QStringLiteral("^lib(Qt6(Gui|Widgets|Svg)|GL|EGL|GLX|OpenGL|fontconfig|X11|xcb)\\.so"));
    return gui.match(fileName).hasMatch();
}

// Listings, --help, --version, refusals and the no-display message start with Qt Core alone;
// the GUI libraries come only with the window module, which opens the window.
TEST(CommandLine, OnlyTheWindowLoadsGuiLibraries)
{
    test::TempPrefix prefix;
    QTemporaryDir home;
    QProcessEnvironment loader;
    loader.insert(QStringLiteral("LD_DEBUG"), QStringLiteral("libs"));
    loader.insert(QStringLiteral("HOME"), home.path());
    loader.insert(QStringLiteral("XDG_CONFIG_HOME"), home.filePath(QStringLiteral(".config")));
    const QString inPrefix = QStringLiteral("--prefix=") + prefix.path();
    for (const QStringList& arguments :
         {QStringList{QStringLiteral("--list"), inPrefix},
          QStringList{QStringLiteral("--list-backups"), inPrefix},
          QStringList{QStringLiteral("--list-prefixes")}, QStringList{QStringLiteral("--help")},
          QStringList{QStringLiteral("--version")}, QStringList{QStringLiteral("--bogus")},
          QStringList{}}) {
        const Outcome headless = run("nixora", arguments, prefix.path(), loader);
        const QStringList loaded = loadedLibraries(headless.err);
        EXPECT_TRUE(loaded.contains(QLatin1String("libQt6Core.so.6")))
            << arguments.join(u' ').toStdString();
        for (const QString& library : loaded)
            EXPECT_FALSE(isGuiLibrary(library))
                << library.toStdString() << " in nixora " << arguments.join(u' ').toStdString();
    }

    loader.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    const Outcome window =
        run("nixora", {QStringLiteral("--timings"), inPrefix}, prefix.path(), loader);
    EXPECT_EQ(window.exitCode, 0) << window.err.right(2000).toStdString();
    EXPECT_TRUE(window.err.contains(QLatin1String("timing window")));
    const QStringList loaded = loadedLibraries(window.err);
    EXPECT_TRUE(loaded.contains(QLatin1String("nixora-window.so")));
    EXPECT_TRUE(loaded.contains(QLatin1String("libQt6Widgets.so.6")));
}

} // namespace
} // namespace nixora
