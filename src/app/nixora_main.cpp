#include "BuildInfo.h"
#include "CommandLineOptions.h"
#include "HeadlessListing.h"
#include "Prefix.h"
#include "PrefixListing.h"
#include "QtUiServices.h"
#include "frmPoisto.h"
#include "prefixes/RecentPrefixes.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QIcon>
#include <QPainter>
#include <QPixmap>
#include <QSvgRenderer>
#include <QTimer>

#include <chrono>
#include <cstdio>

namespace
{

QStringList argumentsOf(int argc, char* argv[])
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    return arguments;
}

nixora::Prefix chosenPrefix(const nixora::NixoraOptions& options)
{
    return options.prefix.isEmpty() ? nixora::Prefix::fromEnvironment()
                                    : nixora::Prefix::fromCommandLine(options.prefix);
}

// The window starts on --prefix, else $WINEPREFIX, else the prefix last opened from the window
// while it still exists, else ~/.wine. The listings leave out the remembered prefix, so that a
// script always lists the same prefix.
nixora::Prefix windowPrefix(const nixora::NixoraOptions& options)
{
    if (!options.prefix.isEmpty() || qEnvironmentVariableIsSet("WINEPREFIX"))
        return chosenPrefix(options);
    const QStringList recent =
        nixora::prefixes::RecentPrefixes(nixora::prefixes::RecentPrefixes::defaultFile()).list();
    if (!recent.isEmpty() && QFileInfo(recent.front()).isDir())
        return nixora::Prefix(recent.front());
    return nixora::Prefix::fromEnvironment();
}

void setApplicationNames()
{
    QCoreApplication::setApplicationName(QStringLiteral("Nixora"));
    QCoreApplication::setApplicationVersion(QLatin1String(nixora::build::kVersion));
}

// Help, version, usage errors and the listings: none of them needs a display.
int runWithoutWindow(int argc, char* argv[], const nixora::ParsedCommandLine& parsed,
                     std::chrono::steady_clock::time_point started)
{
    QCoreApplication app(argc, argv);
    setApplicationNames();
    if (parsed.action != nixora::CommandLineAction::Run)
        return nixora::reportCommandLine(parsed);
    if (parsed.options.listPrefixes)
        return nixora::runPrefixListing();
    nixora::ListingRequest request;
    request.prefix = chosenPrefix(parsed.options);
    request.entries = parsed.options.list;
    request.backups = parsed.options.listBackups;
    request.timings = parsed.options.timings;
    return nixora::runHeadlessListing(request, started);
}

// Rendered here rather than through Qt's SVG icon plugin, which a system may lack.
QIcon applicationIcon()
{
    QSvgRenderer svg(QStringLiteral(":/icons/nixora.svg"));
    QIcon icon;
    for (const int size : {16, 24, 32, 48, 64, 128, 256}) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        svg.render(&painter);
        painter.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

} // namespace

int main(int argc, char* argv[])
{
    const auto started = std::chrono::steady_clock::now();
    // Parsed before any QGuiApplication exists: that one aborts the process when it finds no
    // display, and --help or --list must work over ssh and in scripts.
    const nixora::ParsedCommandLine parsed =
        nixora::parseNixoraCommandLine(argumentsOf(argc, argv));
    if (parsed.action != nixora::CommandLineAction::Run || parsed.options.headless())
        return runWithoutWindow(argc, argv, parsed, started);
    if (!nixora::windowCanOpen()) {
        std::fputs("nixora: no display to open the window on (DISPLAY and WAYLAND_DISPLAY are "
                   "unset); 'nixora --list' prints the list, 'xvfb-run nixora' opens the window\n",
                   stderr);
        return 2;
    }

    QApplication app(argc, argv);
    setApplicationNames();
    QGuiApplication::setDesktopFileName(QStringLiteral("example.nixora.Nixora"));
    QApplication::setWindowIcon(applicationIcon());

    nixora::QtUiServices ui;
    const nixora::SystemClock clock;
    nixora::Services services;
    services.ui = &ui;
    services.clock = &clock;
    services.programFolder = QCoreApplication::applicationDirPath();
    services.regeditProgram =
        QDir(services.programFolder).filePath(QStringLiteral("nixora-regedit"));
    nixora::Workspace workspace(services);
    const nixora::PrefixStatus status = workspace.openPrefix(windowPrefix(parsed.options));

    nixora::frmPoisto window(workspace, status);
    ui.setFallbackParent(&window);
    window.Form_Load();
    // --timings: how long the window took to come up with its lists filled, then quit.
    if (parsed.options.timings) {
        QTimer::singleShot(0, [started] {
            const std::chrono::duration<double, std::milli> spent =
                std::chrono::steady_clock::now() - started;
            std::fprintf(stderr, "timing window %.3f\n", spent.count());
            QApplication::quit();
        });
    }
    return QApplication::exec();
}
