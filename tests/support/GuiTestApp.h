#pragma once

#include <QApplication>
#include <QString>

#include <ostream>

namespace nixora::test
{

// The one QApplication of a widget test executable, created on first use (several test files
// share the executable, and gtest_main owns main()).
inline QApplication& guiTestApp()
{
    if (auto* app = qobject_cast<QApplication*>(QCoreApplication::instance()))
        return *app;
    static int argc = 1;
    static char name[] = "gui_tests";
    static char* argv[] = {name, nullptr};
    static QApplication* app = new QApplication(argc, argv);
    return *app;
}

} // namespace nixora::test

// Readable QString values in failure messages.
inline void PrintTo(const QString& text, std::ostream* out)
{
    *out << '"' << text.toStdString() << '"';
}
