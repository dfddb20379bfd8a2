#pragma once

#include "ListingOutput.h"
#include "prefixes/PrefixDiscovery.h"
#include "prefixes/RecentPrefixes.h"

#include <QStringList>

namespace nixora
{

// The columns `nixora --list-prefixes` prints after source(s), name and path: the arch, then
// the entry, phantom and backup counts from the window's own fill (followed by "live", or by
// "last save", the files' time and the reason, when Wine programs run in the prefix), or the
// reason the hive cannot be read.
[[nodiscard]] QStringList prefixListingColumns(const prefixes::DiscoveredPrefix& prefix);

// The counts of a readable prefix, from the window's own fill (a prefixes::PrefixCounter).
[[nodiscard]] prefixes::PrefixCounts countPrefix(const prefixes::DiscoveredPrefix& prefix);

// `nixora --list-prefixes`: every prefix discovery finds under `input`, one tab-separated line
// each (sources, name, path, arch, entries, phantoms, backups), then "N prefixes". What was
// skipped goes to stderr, one line each. Reads only. Returns the exit status.
[[nodiscard]] int runPrefixListing(const prefixes::DiscoveryInput& input,
                                   OutputFormat format = OutputFormat::Tsv);

} // namespace nixora
