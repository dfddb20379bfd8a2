#pragma once

#include <QString>
#include <QStringList>

#include <sys/types.h>

namespace nixora
{

// How to become a client of the wineserver that serves a prefix. Only the loader of the server's
// own Wine build can: a client of another build is turned away ("version mismatch"), and one
// that does not share the server's synchronisation (esync, fsync) breaks its programs.
struct ServerLoader {
    pid_t server = -1;       // the server's process; -1 when none runs, 0 when it is out of sight
    QString loader;          // the Wine loader to start clients with; empty when none was found
    QStringList environment; // "NAME=value" items a client of this server runs with
    QString error;           // why the server cannot be joined; empty when it can be tried
};

// Finds the server the way "wineserver -k" does, then the loader beside its executable
// (wineserver64 -> wine64, Proton's bin/wineserver -> bin/wine64), else the loader that the
// prefix's own processes run with (their WINELOADER, their executable); WINEESYNC and WINEFSYNC
// are copied from the server or a process of the prefix.
[[nodiscard]] ServerLoader findServerLoader(const QString& prefixPath);

} // namespace nixora
