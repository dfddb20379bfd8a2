#include "support/TempPrefix.h"

#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

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
          QStringList{QStringLiteral("--prefix=")}}) {
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

    const Outcome missing =
        run("nixora",
            {QStringLiteral("--prefix"), prefix.path() + QStringLiteral("/not-here"),
             QStringLiteral("--list")},
            prefix.path());
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_TRUE(missing.err.contains(QLatin1String("not-here")));
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
