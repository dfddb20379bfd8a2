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

// "/E file key" or "/S file" (switches in any case, '-' as well as '/').
[[nodiscard]] RegeditOutcome runRegedit(Registry& registry, const QStringList& arguments);

// Exports the key (HKEY_LOCAL_MACHINE\..., HKCU\..., any case) with all its subkeys.
[[nodiscard]] RegeditOutcome exportRegFile(Registry& registry, const QString& fileName,
                                           const QString& key);

// Parses the whole file first, then applies it in one registry write; a malformed file changes
// nothing.
[[nodiscard]] RegeditOutcome importRegFile(Registry& registry, const QString& fileName);

// Writes to a temporary file beside `fileName`, flushes it to disk and renames it over
// `fileName`, so that the file is either the old one or complete. Empty on success.
[[nodiscard]] QString writeFileAtomically(const QString& fileName, const QByteArray& bytes);

} // namespace nixora
