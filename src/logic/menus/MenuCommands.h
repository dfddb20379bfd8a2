#pragma once

#include "Workspace.h"
#include "menus/MenuFiles.h"

#include <vector>

namespace nixora::menus
{

// The open prefix's menu files and those of prefixes that are gone, as File > Menu Entries...
// lists them.
[[nodiscard]] MenuInventory menuInventoryOf(Workspace& ctx);

// "Remove Stale Entries": one question naming the counts and the prefix (No the default), the
// removal of the stale files of the prefix and of the orphans (each group backed up first), a
// refill of the backup list and one summary. True when anything was removed.
bool removeStaleMenuFiles_Click(Workspace& ctx, const MenuInventory& inventory);

// What "&Uninstall Application..." offers to clean after the uninstaller removed its entry:
// the stale files of the prefix that were found before it ran (their shortcuts went with it) or
// start something in its install folder. `before` is the inventory from before the run and
// `installFolder` the entry's install folder as Windows names it (may be empty).
[[nodiscard]] std::vector<const MenuFile*> filesLeftBy(const MenuInventory& before,
                                                       const MenuInventory& after,
                                                       const QString& prefix,
                                                       const QString& installFolder);

// Asks whether to remove those files, in the uninstall command's question style (No the
// default), and removes them with their backup on Yes.
void offerStaleMenuFiles(Workspace& ctx, const MenuInventory& after,
                         const std::vector<const MenuFile*>& files, const QString& entryName);

} // namespace nixora::menus
