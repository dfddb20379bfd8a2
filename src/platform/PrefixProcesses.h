#pragma once

#include <QString>

#include <sys/types.h>

#include <functional>
#include <set>

// The processes that belong to a Wine prefix, as Linux shows them under /proc: every process
// whose environment names the prefix in WINEPREFIX (Wine passes its environment on to every
// program it starts, and so do shell scripts to their children).
namespace nixora::prefixprocesses
{

// Process ids of the prefix's processes that we may read (our own user's), without our own.
[[nodiscard]] std::set<pid_t> processesOf(const QString& prefixPath);

// Wine's own services (services.exe, winedevice.exe, explorer.exe, ... and the wineserver):
// they start with the server and end with it, so they are no program's work to wait for.
[[nodiscard]] bool isWineService(pid_t pid);

// Called while waiting, every 50 ms or so; returning false stops the wait.
using KeepWaiting = std::function<bool()>;

// What was running before a program was started, so that only what it started is waited for.
struct Snapshot {
    std::set<pid_t> processes;
    bool serverRunning = false;
};
[[nodiscard]] Snapshot takeSnapshot(const QString& prefixPath);

// After the started program has ended: waits until every process of the prefix that was not
// running at `before` has ended (an NSIS uninstaller's copy of itself in %TEMP% among them),
// then, when no wineserver ran before, until the server the program started has exited and
// so written the registry to disk. False when `keepWaiting` stopped the wait first.
[[nodiscard]] bool waitForStartedProcesses(const QString& prefixPath, const Snapshot& before,
                                           const KeepWaiting& keepWaiting);

} // namespace nixora::prefixprocesses
