#pragma once

#include <QString>
#include <QStringList>

#include <sys/types.h>

// A running wineserver owns its prefix's registry and writes it back when it exits, undoing
// any change made to the files meanwhile. It is found the way "wineserver -k" finds it.
namespace nixora::wineserver
{

// True when some process holds a write lock on byte 0 of a server's "lock" file.
[[nodiscard]] bool isRunning(const QString& prefixPath);

// The id of the process holding that lock (the server); 0 when one holds it whose id cannot be
// told from here (a process of another pid namespace, such as a sandbox's); -1 when none runs.
[[nodiscard]] pid_t serverProcess(const QString& prefixPath);

} // namespace nixora::wineserver
