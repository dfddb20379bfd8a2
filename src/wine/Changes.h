#pragma once

#include "Request.h"

#include <string>
#include <vector>

namespace wineclient
{

// How a change set ended. On failure every change made before the failing one has been undone
// (undone is false when even that failed), so the registry is as it was before the run.
struct ChangeOutcome {
    bool ok = true;
    size_t failedIndex = 0;
    std::string reason; // "notfound", "hassubkeys" or "error"
    LONG code = ERROR_SUCCESS;
    bool undone = true;
};

// Applies the changes in order through the Win32 registry API, all in the 64-bit view (where
// Software\Wow6432Node is an ordinary key, as in the hive files), then flushes each root that
// was changed.
[[nodiscard]] ChangeOutcome applyChanges(const std::vector<Change>& changes);

} // namespace wineclient
