#pragma once

#include "Prefix.h"
#include "output/ListingWriter.h"
#include "prefixes/DiscoverySource.h"

#include <utility>
#include <vector>

namespace nixora
{

// `nixora --list-menu-entries` and `nixora --remove-stale-menu-entries`: the prefixes, the
// user whose folders hold the files, and how.
struct MenuRequest {
    std::vector<Prefix> prefixes;
    // Prefixes that were found but cannot be read: folder and why, each a row of its own.
    std::vector<std::pair<QString, QString>> unreadable;
    prefixes::DiscoveryInput user;
    bool remove = false;
    bool dryRun = false;
    OutputFormat format = OutputFormat::Tsv;
};

// Lists the Linux files Wine made for the prefixes' programs (menu entries, desktop links,
// associations and the menus, folders and icons that go with them), then the files of prefixes
// that are gone. One line each: prefix, kind, verdict, name, file, what it starts, why it is
// stale; one line of two fields (prefix, reason) per prefix that could not be read (in JSON the
// list "unreadable"); then a status line. With `remove`, backs up and removes the stale and
// orphaned ones instead (with `dryRun` only lists them), and each line ends with the backup file
// or why the file was kept. 0 when every file was listed or removed, 1 when any was kept, a
// prefix could not be read or a prefix path is unusable, 2 when a folder is not a Wine prefix.
[[nodiscard]] int runMenuCommand(const MenuRequest& request);

} // namespace nixora
