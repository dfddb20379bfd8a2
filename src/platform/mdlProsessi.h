#pragma once

#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>

// Runs a command line to its end.
namespace mdlProsessi
{

// Starts the command line as Windows would with no application name (the program is found at
// the front of the line by Windows' rules, resolved through the prefix), blocks without a
// time-out until it has ended, and returns its exit code; -1 when nothing could be started,
// which includes a Windows program that Wine could not load. A PE program runs under the
// prefix's Wine loader (the 64-bit one for a 64-bit prefix) with WINEPREFIX set, and the call
// also waits for the prefix's wineserver to exit so that registry changes are on disk.
[[nodiscard]] int32_t AjaProsessi(const QString& prefixPath, const QString& commandLine);

// AjaProsessi with a wait the caller can see and end: instead of waiting for every Wine program
// of the prefix, it waits for the program, then for the prefix's processes that were not running
// before it started (an uninstaller's copy of itself, the programs it started), then, when no
// wineserver ran before, for the server to exit so that the registry is on disk.
// `keepWaiting` is called every 50 ms or so; when it returns false, waiting stops and the
// program goes on running.
struct RunOutcome {
    int32_t exitCode = -1;        // -1: not started
    bool cancelled = false;       // the wait was stopped; the program may still run
    bool serverRanBefore = false; // its registry changes reach the disk only when that server ends
};
[[nodiscard]] RunOutcome AjaProsessiOdottaen(const QString& prefixPath, const QString& commandLine,
                                             const std::function<bool()>& keepWaiting);

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
    bool cancelled = false;    // runHiddenWatched only: the wait was stopped, the child runs on
};
[[nodiscard]] ChildResult runHidden(const QString& program, const QStringList& arguments,
                                    const QStringList& extraEnvironment = {});
// The same, calling `keepWaiting` every 50 ms while the child runs; when it returns false the
// wait stops and the child is left running (its standard error is not collected). Of the
// standard error of a child that ended, the first 64 KiB are kept.
[[nodiscard]] ChildResult runHiddenWatched(const QString& program, const QStringList& arguments,
                                           const QStringList& extraEnvironment,
                                           const std::function<bool()>& keepWaiting);

} // namespace nixora
