#pragma once

#include "ListingOutput.h"
#include "Prefix.h"
#include "prefixes/PrefixDiscovery.h"

#include <utility>
#include <vector>

namespace nixora
{

// `nixora --remove-phantoms`: the prefixes to clean and how.
struct PhantomRequest {
    std::vector<Prefix> prefixes;
    // Prefixes that were found but cannot be read: folder and why, each a row of its own.
    std::vector<std::pair<QString, QString>> unreadable;
    bool dryRun = false;
    OutputFormat format = OutputFormat::Tsv;
};

// Removes the phantom entries of each prefix as "File > Remove Phantom Entries..." does (each
// backed up and verified first, one hive write per prefix), or with `dryRun` only lists them.
// One line per phantom entry (prefix path, source, subkey, name, backup file or the reason it
// was kept), one line of two fields (prefix path, reason) per prefix that could not be read
// (in JSON the list "unreadable"), then a status line. 0 when every phantom was removed (or
// listed), 1 when any was kept, a prefix could not be read or a prefix path is unusable, 2 when
// a folder is not a Wine prefix (see refusePrefix). A prefix that fails, for want of memory
// too, ends only its own part of the run.
[[nodiscard]] int runPhantomRemoval(const PhantomRequest& request);

// The prefixes discovery finds, for --all-prefixes; those whose hive cannot be read go to
// `unreadable` instead, with a line on stderr.
[[nodiscard]] std::vector<Prefix>
discoveredPrefixes(const prefixes::DiscoveryInput& input,
                   std::vector<std::pair<QString, QString>>& unreadable);

} // namespace nixora
