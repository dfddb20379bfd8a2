#pragma once

#include "platform/Prefix.h"

#include <chrono>

namespace nixora
{

// What `nixora --list` and `nixora --list-backups` print, and from which prefix.
struct ListingRequest {
    Prefix prefix{QString()};
    bool entries = false; // --list
    bool backups = false; // --list-backups
    bool timings = false; // --timings
};

// Prints the entry list or the backup page exactly as the window would show them after
// start-up, without a display. Returns the exit status. With `timings`, the time of each phase
// since `mainStarted` goes to stderr as "timing <phase> <milliseconds>" lines.
[[nodiscard]] int runHeadlessListing(
    const ListingRequest& request,
    std::chrono::steady_clock::time_point mainStarted = std::chrono::steady_clock::now());

} // namespace nixora
