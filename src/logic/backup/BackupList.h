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

// Backups of the menu files of prefixes that are gone belong to no prefix: they are kept in the
// user's data folder and every prefix's restore page lists them, their row keys marked so.
inline const QString kNoPrefixBackupKey = QStringLiteral("(no prefix) ");
// The file a row key names: in the prefix's backup folder or, for a marked key, in the user's.
// Empty when the name could step out of its folder or the folder is a link (restores and
// deletions would act wherever it points).
[[nodiscard]] QString backupFilePath(const Workspace& ctx, const QString& key);

void lvwPalauta_Click(WindowState& state);
void lvwPalauta_ItemClick(WindowState& state, const ListRow* row);
void lvwPalauta_ColumnClick(WindowState& state, int column);
// The selected backup ends while its row cannot be seen: no selected row, empty texts.
void endBackupSelection(WindowState& state);
[[nodiscard]] bool backupPopupOpensOnMouseUp(const WindowState& state, int button);

} // namespace nixora
