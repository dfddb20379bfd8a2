#pragma once

#include "RegistryTypes.h"

#include <QByteArray>
#include <QString>

namespace nixora
{

struct RegExportText {
    QByteArray bytes; // the whole file
    QString error;    // empty on success

    [[nodiscard]] bool ok() const { return error.isEmpty(); }
};

// Writes `key`, found at `path` under `root`, with all its values and subkeys as a "REGEDIT4"
// file: UTF-8, CRLF line ends, an empty line before each key header, values then subkeys in
// the snapshot's order.
//
// Every value comes back byte for byte through parseRegText(). Text that a quoted string
// cannot carry (line breaks or NULs inside REG_SZ data, data without its terminating NUL,
// odd byte counts, broken UTF-16) is written as hex(N) of the raw bytes; hex(N) always holds
// the bytes exactly as stored (UTF-16LE for the text kinds). Line breaks and NULs in value
// names are written as \n, \r and \0. A key name that a header line cannot hold (line breaks,
// broken UTF-16) makes the export fail rather than write something else.
[[nodiscard]] RegExportText writeRegText(RegRoot root, const QString& path,
                                         const RegKeySnapshot& key);

} // namespace nixora
