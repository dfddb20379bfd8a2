#include "inventory/HeadlessListing.h"

#include <QApplication>
#include <QCoreApplication>
#include <QMainWindow>

#include <cstring>

int main(int argc, char* argv[])
{
    // The listings print what the window would show and need no display.
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--list") == 0 || std::strcmp(argv[i], "--list-backups") == 0) {
            QCoreApplication app(argc, argv);
            return nixora::runHeadlessListing(QCoreApplication::arguments());
        }
    }

    QApplication app(argc, argv);
    QMainWindow window;
    window.setWindowTitle(QStringLiteral("Nixora"));
    window.show();
    return app.exec();
}
