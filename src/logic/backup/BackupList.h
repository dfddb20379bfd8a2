#pragma once

#include "Workspace.h"

namespace nixora
{

// What the backup page reads from one backup file.
struct BackupFileInfo {
    QString entryName; // for a file that cannot be read: why, in brackets
    QString version;
    bool readable = true;
};

// Larger files in the backup folder are not read: one entry's backup is a few kilobytes.
inline constexpr qint64 kMaxBackupFileBytes = 64 * 1024 * 1024;
[[nodiscard]] BackupFileInfo readBackupFile(const QString& path);

void ListaaPalautettavatOhjelmat(Workspace& ctx);

void lvwPalauta_Click(WindowState& state);
void lvwPalauta_ItemClick(WindowState& state, const ListRow* row);
void lvwPalauta_ColumnClick(WindowState& state, int column);
// The selected backup ends while its row cannot be seen: no selected row, empty texts.
void endBackupSelection(WindowState& state);
[[nodiscard]] bool backupPopupOpensOnMouseUp(const WindowState& state, int button);

} // namespace nixora
