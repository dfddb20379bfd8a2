#include "WindowMain.h"

#include "BuildInfo.h"
#include "Prefix.h"
#include "PrefixListing.h"
#include "QtUiServices.h"
#include "Settings.h"
#include "Trash.h"
#include "frmPoisto.h"
#include "prefixes/RecentPrefixes.h"

#include <QApplication>
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

// The window starts on --prefix, else $WINEPREFIX, else the prefix last opened from the window
// while it still exists, else ~/.wine. The listings leave out the remembered prefix, so that a
// script always lists the same prefix.
nixora::Prefix windowPrefix(const QString& prefixOption)
{
    if (!prefixOption.isEmpty())
        return nixora::Prefix::fromCommandLine(prefixOption);
    if (qEnvironmentVariableIsSet("WINEPREFIX"))
        return nixora::Prefix::fromEnvironment();
    const QStringList recent =
        nixora::prefixes::RecentPrefixes(nixora::prefixes::RecentPrefixes::defaultFile()).list();
    if (!recent.isEmpty() && QFileInfo(recent.front()).isDir())
        return nixora::Prefix(recent.front());
    return nixora::Prefix::fromEnvironment();
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

// --timings: how long the window took to come up with its lists filled, then quit.
void reportStartupAndQuit(std::chrono::steady_clock::time_point started)
{
    QTimer::singleShot(0, [started] {
        const std::chrono::duration<double, std::milli> spent =
            std::chrono::steady_clock::now() - started;
        std::fprintf(stderr, "timing window %.3f\n", spent.count());
        QApplication::quit();
    });
}

} // namespace

int nixoraRunWindow(int argc, char** argv, const NixoraWindowRequest* request)
{
    QApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Nixora"));
    QCoreApplication::setApplicationVersion(QLatin1String(nixora::build::kVersion));
    QGuiApplication::setDesktopFileName(QStringLiteral("example.nixora.Nixora"));
    QApplication::setWindowIcon(applicationIcon());

    nixora::QtUiServices ui;
    const nixora::SystemClock clock;
    nixora::Services services{.ui = &ui, .clock = clock};
    services.programFolder = QCoreApplication::applicationDirPath();
    services.settingsFile = nixora::settings::defaultStoreFile();
    services.regeditProgram =
        QDir(services.programFolder).filePath(QStringLiteral("nixora-regedit"));
    services.dataHome = nixora::userDataHome();
    services.wineClientProgram = nixora::build::wineClientProgram();
    services.userFolders = nixora::menus::UserFolders::from(nixora::prefixes::userDiscoveryInput());
    nixora::Workspace workspace(services);
    const nixora::PrefixStatus status =
        workspace.openPrefix(windowPrefix(QString::fromUtf8(request->prefix)));

    nixora::frmPoisto window(workspace, status);
    window.setPrefixCounter(&nixora::countPrefix);
    ui.setFallbackParent(&window);
    window.Form_Load();
    if (request->timings != 0) {
        const std::chrono::steady_clock::time_point started{
            std::chrono::nanoseconds(request->startedNanoseconds)};
        reportStartupAndQuit(started);
    }
    return QApplication::exec();
}
