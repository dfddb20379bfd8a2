#pragma once

#include "Prefix.h"
#include "output/ListingWriter.h"
#include "prefixes/PrefixDiscovery.h"

#include <vector>

namespace nixora
{

// `nixora --remove-phantoms`: the prefixes to clean and how.
struct PhantomRequest {
    std::vector<Prefix> prefixes;
    bool dryRun = false;
    OutputFormat format = OutputFormat::Tsv;
};

// Removes the phantom entries of each prefix as "File > Remove Phantom Entries..." does (each
// backed up and verified first, one hive write per prefix), or with `dryRun` only lists them.
// One line per phantom entry (prefix path, source, subkey, name, backup file or the reason it
// was kept), then a status line. 0 when every phantom was removed (or listed), 1 when any was
// kept or a prefix path is unusable, 2 when a folder is not a Wine prefix (see refusePrefix).
[[nodiscard]] int runPhantomRemoval(const PhantomRequest& request);

// The prefixes discovery finds, for --all-prefixes; those whose hive cannot be read are left out
// with a line on stderr.
[[nodiscard]] std::vector<Prefix> discoveredPrefixes(const prefixes::DiscoveryInput& input);

} // namespace nixora
