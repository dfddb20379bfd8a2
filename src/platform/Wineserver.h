#pragma once

#include <QString>
#include <QStringList>

// A running wineserver owns its prefix's registry and writes it back when it exits, undoing
// any change made to the files meanwhile. It is found the way "wineserver -k" finds it.
namespace nixora::wineserver
{

// True when some process holds a write lock on byte 0 of a server's "lock" file.
[[nodiscard]] bool isRunning(const QString& prefixPath);

} // namespace nixora::wineserver
