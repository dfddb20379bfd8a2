#include "HeadlessListing.h"
#include "PrefixListing.h"
#include "QtUiServices.h"
#include "frmPoisto.h"
#include "Prefix.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QTimer>

#include <chrono>
#include <cstdio>
#include <cstring>

int main(int argc, char* argv[])
{
    const auto started = std::chrono::steady_clock::now();
    // The listings print what the window would show and need no display.
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--list-prefixes") == 0) {
            QCoreApplication app(argc, argv);
            return nixora::runPrefixListing();
        }
        if (std::strcmp(argv[i], "--list") == 0 || std::strcmp(argv[i], "--list-backups") == 0) {
            QCoreApplication app(argc, argv);
            return nixora::runHeadlessListing(QCoreApplication::arguments(), started);
        }
    }

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Nixora"));

    nixora::QtUiServices ui;
    const nixora::SystemClock clock;
    nixora::Services services;
    services.ui = &ui;
    services.clock = &clock;
    services.programFolder = QCoreApplication::applicationDirPath();
    services.regeditProgram =
        QDir(services.programFolder).filePath(QStringLiteral("nixora-regedit"));
    nixora::Workspace workspace(services);
    const nixora::PrefixStatus status = workspace.openPrefix(nixora::Prefix::fromEnvironment());

    nixora::frmPoisto window(workspace, status);
    ui.setFallbackParent(&window);
    window.Form_Load();
    // --timings: how long the window took to come up with its lists filled, then quit.
    if (QCoreApplication::arguments().contains(QStringLiteral("--timings"))) {
        QTimer::singleShot(0, [started] {
            const std::chrono::duration<double, std::milli> spent =
                std::chrono::steady_clock::now() - started;
            std::fprintf(stderr, "timing window %.3f\n", spent.count());
            QApplication::quit();
        });
    }
    return QApplication::exec();
}
