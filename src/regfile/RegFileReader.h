#pragma once

#include "RegistryTypes.h"

#include <QByteArray>
#include <QString>

#include <optional>
#include <vector>

namespace nixora
{

// Larger files are refused before they are read, and an export never writes one (a backup of
// one entry is a few kilobytes): export and import share this one limit.
inline constexpr qint64 kMaxRegFileSize = kMaxExportBytes;

struct RegKeyPath {
    RegRoot root = RegRoot::LocalMachine;
    QString path; // relative to the root, without leading or trailing backslash
};

// "HKEY_LOCAL_MACHINE\Software\X" and the short roots HKLM and HKCU, in any case. Empty
// components ("A\\B", a trailing backslash) and names holding a NUL are refused.
[[nodiscard]] std::optional<RegKeyPath> parseRegKeyPath(const QString& text);

struct RegParseResult {
    std::vector<RegChange> changes; // in file order; empty when the file was refused
    int errorLine = 0;              // 1-based; 0 when the error belongs to no line
    QString error;                  // empty on success

    [[nodiscard]] bool ok() const { return error.isEmpty(); }
};

// Parses a "REGEDIT4" or "Windows Registry Editor Version 5.00" file (UTF-8, or UTF-16LE with
// its byte-order mark) into the changes it asks for, without applying any of them. Any
// malformed line refuses the whole file. hex(2) and hex(7) data are read as 8-bit text in a
// REGEDIT4 file that says so on its second line, else as the bytes as stored (RegFileFormat.h).
[[nodiscard]] RegParseResult parseRegText(const QByteArray& bytes);

// Reads and parses a file; files larger than kMaxRegFileSize are refused unread.
[[nodiscard]] RegParseResult readRegFile(const QString& fileName);

} // namespace nixora
