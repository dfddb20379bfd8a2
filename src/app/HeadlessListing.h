#pragma once

#include <QStringList>

#include <chrono>

namespace nixora
{

// `nixora --list` and `nixora --list-backups`: print the entry list or the backup page exactly as
// the window would show them after start-up, without a display. Returns the exit status.
// With --timings, the time of each phase since `mainStarted` goes to stderr as
// "timing <phase> <milliseconds>" lines.
[[nodiscard]] int runHeadlessListing(
    const QStringList& arguments,
    std::chrono::steady_clock::time_point mainStarted = std::chrono::steady_clock::now());

} // namespace nixora
