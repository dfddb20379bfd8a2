#pragma once

#include "Workspace.h"

namespace nixora
{

void mPalauta_Click(Workspace& ctx);               // "&Restore Entry..."
void mPoistaVarmuuskopioitu_Click(Workspace& ctx); // "&Delete Backup..."

// True when the file parses and only creates keys and sets values strictly below
// HKEY_LOCAL_MACHINE\Software\Microsoft\Windows\CurrentVersion\Uninstall\ (no deletions):
// all that a restore may write.
[[nodiscard]] bool isUninstallEntryBackup(const QString& path);

} // namespace nixora
