#pragma once

#include "Registry.h"

#include <QString>

namespace nixora
{

// True when the backup file, read back through the reader a restore uses, gives exactly the
// key as the registry holds it now: the same keys, value names, kinds and bytes, in order. A
// key is deleted only after this holds.
[[nodiscard]] bool backupGivesKey(Registry& registry, const QString& file, RegRoot root,
                                  const QString& keyPath);

// Why the backup folder cannot be used, or empty when it can; creates it when it is missing.
// A folder that is a symbolic link is never used: backups, restores and deletions would go
// wherever it points.
[[nodiscard]] QString prepareBackupFolder(const QString& folder);

// True when the folder exists and is a real folder, not a link to one.
[[nodiscard]] bool isUsableBackupFolder(const QString& folder);

} // namespace nixora
