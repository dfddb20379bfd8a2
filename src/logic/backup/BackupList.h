#pragma once

#include "Workspace.h"

namespace nixora
{

// What the backup page reads from one backup file.
struct BackupFileInfo {
    QString entryName;
    QString version;
};
[[nodiscard]] BackupFileInfo readBackupFile(const QString& path);

void ListaaPalautettavatOhjelmat(Workspace& ctx);

void lvwPalauta_Click(WindowState& state);
void lvwPalauta_ItemClick(WindowState& state, const ListRow* row);
void lvwPalauta_ColumnClick(WindowState& state, int column);
[[nodiscard]] bool backupPopupOpensOnMouseUp(const WindowState& state, int button);

} // namespace nixora
