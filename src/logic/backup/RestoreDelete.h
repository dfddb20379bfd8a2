#pragma once

#include "WindowContext.h"

namespace nixora
{

void mPalauta_Click(WindowContext& ctx);               // "&Restore Entry..."
void mPoistaVarmuuskopioitu_Click(WindowContext& ctx); // "&Delete Backup..."

// True when the file parses and only creates keys and sets values strictly below
// HKEY_LOCAL_MACHINE\Software\Microsoft\Windows\CurrentVersion\Uninstall\ (no deletions):
// all that a restore may write.
[[nodiscard]] bool isUninstallEntryBackup(const QString& path);

} // namespace nixora
