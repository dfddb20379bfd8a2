#pragma once

#include "Prefix.h"
#include "prefixes/DiscoverySource.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <vector>

namespace nixora::prefixes
{

struct DiscoveredPrefix {
    QString path;        // canonical: links resolved
    QString name;        // from the first source that found it
    QStringList sources; // every source that found it, in the order the sources run
    QString arch;        // "win32" or "win64" from the hive's #arch line; empty when absent
    QString problem;     // why the hive cannot be read; empty when it can
    // Why it is listed but never written: its registry is another listed prefix's (a hive
    // linked there, or one system.reg reached from two folders). Empty for the prefix that
    // owns its registry.
    QString readOnly;
};

struct DiscoveryResult {
    std::vector<DiscoveredPrefix> prefixes; // sorted by sources, then name, then path
    QStringList warnings;                   // one line for each thing skipped, and why
};

// Runs every source and keeps the folders whose system.reg starts with Wine's hive header. A
// prefix reached twice (through links, or from two sources) appears once with every source.
// Folders that share a registry are one prefix: the one that holds the real hives (added when
// no source found it) is judged and cleaned, the others are marked readOnly with a warning.
// Reads only: nothing is written, created or started.
[[nodiscard]] DiscoveryResult discoverPrefixes(const DiscoveryInput& input);

// What `nixora --list-prefixes` and File > Prefixes show of a readable prefix: the counts of the
// window's own fill.
struct PrefixCounts {
    int entries = 0;
    int phantoms = 0;
    int backups = 0;
    // Where they were read while Wine programs run there: "live", or "last save", the hive
    // files' time and why the prefix's wineserver cannot be joined; empty for the files.
    QStringList registry;
    QString problem; // why the prefix's registry could not be read; the counts are 0 then
};
// Counts one prefix; safe to call from any thread (each call works on its own registry).
using PrefixCounter = std::function<PrefixCounts(const DiscoveredPrefix&)>;

} // namespace nixora::prefixes
