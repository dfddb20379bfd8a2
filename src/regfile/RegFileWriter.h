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
// file: UTF-8, CRLF line ends, the line that says how hex(2) and hex(7) are written
// (RegFileFormat.h), an empty line before each key header, values then subkeys in the
// snapshot's order.
//
// Every value comes back byte for byte through parseRegText(). REG_EXPAND_SZ and REG_MULTI_SZ
// data are hex(2) and hex(7) of 8-bit (UTF-8) text, as REGEDIT4 means them, so that Wine's
// regedit reads back every ASCII text exactly. REG_SZ text that a quoted string cannot carry
// (line breaks or NULs inside, no terminating NUL, odd byte counts, broken UTF-16) is written
// as hex(1) of the bytes as stored; hex(N) of any other kind holds the bytes as stored too.
// Line breaks and NULs in value
// names are written as \n, \r and \0. A key name that a header line cannot hold (line breaks,
// broken UTF-16) makes the export fail rather than write something else.
[[nodiscard]] RegExportText writeRegText(RegRoot root, const QString& path,
                                         const RegKeySnapshot& key);

} // namespace nixora
