#pragma once

#include "Workspace.h"

namespace nixora
{

void mPalauta_Click(Workspace& ctx);               // "&Restore Entry..."
void mPoistaVarmuuskopioitu_Click(Workspace& ctx); // "&Delete Backup..."

// True when the file parses and only creates keys and sets values strictly below the Uninstall
// keys of the entry sources (no deletions): all that a restore may write. The 32-bit view's key
// counts only when the registry has that view (`wow64View`).
[[nodiscard]] bool isUninstallEntryBackup(const QString& path, bool wow64View);

} // namespace nixora
