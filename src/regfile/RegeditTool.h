#pragma once

#include "Registry.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace nixora
{

// What nixora-regedit reports: its exit status and, on failure, one line for stderr in the
// form "file:line: what" (or "file: what" when no line is at fault).
struct RegeditOutcome {
    int exitStatus = 0;
    QString error;

    [[nodiscard]] bool ok() const { return exitStatus == 0; }
};

inline constexpr int kRegeditFailed = 1;
inline constexpr int kRegeditUsage = 2;
// The key holds more than one .reg file may: an import would refuse the file.
inline constexpr int kRegeditTooLarge = 3;
// The import failed after one hive had been replaced, and that hive's old contents could not
// be put back: the message names it.
inline constexpr int kRegeditPartlyApplied = 4;

// "/E file key" or "/S file" (switches in any case, '-' as well as '/').
[[nodiscard]] RegeditOutcome runRegedit(Registry& registry, const QStringList& arguments);

// Exports the key (HKEY_LOCAL_MACHINE\..., HKCU\..., any case) with all its subkeys.
[[nodiscard]] RegeditOutcome exportRegFile(Registry& registry, const QString& fileName,
                                           const QString& key);

// Parses the whole file first, then applies it in one registry write; a malformed file changes
// nothing.
[[nodiscard]] RegeditOutcome importRegFile(Registry& registry, const QString& fileName);

} // namespace nixora
