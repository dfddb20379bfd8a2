#pragma once

#include "Workspace.h"

#include <vector>

namespace nixora
{

void mPalauta_Click(Workspace& ctx);               // "&Restore Entry..."
void mPoistaVarmuuskopioitu_Click(Workspace& ctx); // "&Delete Backup..."

// A key below which a restore may create entry keys: the root and the path, ending in '\'.
struct RestorableKey {
    RegRoot root;
    QString path;
};

// The Uninstall keys whose entries a backup may hold and a restore may write: those of the entry
// sources, the 32-bit view's only when the registry has that view (`wow64View`).
[[nodiscard]] std::vector<RestorableKey> restorableKeys(bool wow64View);

// True when the change creates a key or sets a value strictly below one of restorableKeys(),
// the names compared as the hive compares them.
[[nodiscard]] bool isEntryChange(const RegChange& change, bool wow64View);

// True when the file parses and holds only entry changes (no deletions): all that a restore
// may write.
[[nodiscard]] bool isUninstallEntryBackup(const QString& path, bool wow64View);

} // namespace nixora
