#pragma once

#include <QString>
#include <QStringList>

// A running wineserver owns its prefix's registry and writes it back when it exits, undoing
// any change made to the files meanwhile. It is found the way "wineserver -k" finds it.
namespace nixora::wineserver
{

// The folders where the prefix's server could keep its "lock" file:
// server-<dev>-<ino> (lower-case hex, unpadded) of the prefix folder under /tmp/.wine-<uid>/
// and /run/user/<uid>/wine/, and $TMPDIR (else /tmp) joined with the name stored in
// <prefix>/wineserver when that exists, as well as server-<dev>-<ino> inside that folder.
[[nodiscard]] QStringList serverDirectories(const QString& prefixPath);

// True when some process holds a write lock on byte 0 of a server's "lock" file.
[[nodiscard]] bool isRunning(const QString& prefixPath);

} // namespace nixora::wineserver
