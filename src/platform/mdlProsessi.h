#pragma once

#include <QString>
#include <QStringList>

#include <cstdint>

// Runs a command line to its end.
namespace mdlProsessi
{

// Starts the command line as Windows would with no application name (the program is found at
// the front of the line by Windows' rules, resolved through the prefix), blocks without a
// time-out until it has ended, and returns its exit code; -1 when nothing could be started.
// A PE program runs under wine with WINEPREFIX set, and the call also waits for the prefix's
// wineserver to exit so that registry changes are on disk when it returns.
[[nodiscard]] int32_t AjaProsessi(const QString& prefixPath, const QString& commandLine);

} // namespace mdlProsessi

namespace nixora
{

// Splits a Windows command line into arguments by the Microsoft C runtime's rules
// (backslashes before quotes, doubled quotes inside quoted text).
[[nodiscard]] QStringList splitWindowsCommandLine(const QString& commandLine);

// Runs a program with an argument list (never a shell line), no window, inheriting the
// environment plus `extraEnvironment` ("NAME=value" items), and waits for it. Returns the exit
// status, or nothing when it could not be started or was killed.
struct ChildResult {
    bool started = false;
    int exitCode = -1;
    QString standardError;
    int terminatingSignal = 0; // the signal that ended the child, 0 when it exited
};
[[nodiscard]] ChildResult runHidden(const QString& program, const QStringList& arguments,
                                    const QStringList& extraEnvironment = {});

} // namespace nixora
