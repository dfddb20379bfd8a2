#pragma once

#include <QString>

namespace nixora
{

// The loader that starts a Windows program in a prefix. Where 32-bit Wine is installed beside
// 64-bit Wine (Debian's wine32 and wine64, WineHQ's packages), `wine` is the 32-bit loader: a
// program it starts sees the 32-bit view of the registry and C:\windows\system32 redirected to
// syswow64, and in a prefix made without 32-bit support it cannot start at all. A 64-bit prefix
// therefore gets the 64-bit loader of the same Wine installation, which starts 32-bit programs
// as 64-bit Windows does; a 32-bit prefix, or one whose hive names no architecture, gets `wine`.
// Empty when Wine is not installed.
[[nodiscard]] QString wineLoaderFor(const QString& prefixPath);

// The 64-bit loader of the Wine installation that `wine` on PATH belongs to: `wine64` beside
// the real file of `wine`, or in <bin>/../lib/wine/ where `wine` is a wrapper script (Debian),
// else `wine64` on PATH, else `wine` itself (a 64-bit-only or new-WoW64 Wine has only that one).
// Empty when none is found.
[[nodiscard]] QString wine64Loader();

// True when the prefix's machine hive says "#arch=win64" in its header.
[[nodiscard]] bool isWin64Prefix(const QString& prefixPath);

} // namespace nixora
