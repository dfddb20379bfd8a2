#pragma once

#include "Registry.h"

#include <QString>

// The three registry operations every other part reads and writes through. Reads never fail
// visibly: anything that cannot be read yields the text "Not Found", and callers test for it.
namespace mdlPoisto
{

inline const QString kNotFound = QStringLiteral("Not Found");

// Data longer than this many bytes (counted in the locale's 8-bit encoding, UTF-8, with the
// terminating NUL) is not read in part: the read yields "Not Found".
inline constexpr int kValueBufferBytes = 2048;
inline constexpr int kSubkeyBufferChars = 2048;

[[nodiscard]] QString LueRekisteriarvo(nixora::Registry& registry, nixora::RegRoot root,
                                       const QString& path, const QString& name);

[[nodiscard]] QString LueAliavain(nixora::Registry& registry, nixora::RegRoot root,
                                  const QString& path, const int32_t& index);

// One step of a walk over all subkeys: the walk ends only past the last key. A key whose name
// the reads above cannot hold (LueAliavain gives "Not Found" for it) is Unreadable and is
// skipped; a key really named "Not Found" is a key like any other.
enum class SubkeyStatus { Name, Unreadable, PastEnd };
struct SubkeyEntry {
    SubkeyStatus status = SubkeyStatus::PastEnd;
    QString name;
};
[[nodiscard]] SubkeyEntry readSubkeyEntry(nixora::Registry& registry, nixora::RegRoot root,
                                          const QString& path, int32_t index);

// Kind 4 stores the text converted to a signed 32-bit number as REG_DWORD; every other kind
// stores REG_SZ. Returns whether the value reached the disk (the program's callers ignore it,
// as writes are silent, but tools and tests look).
bool KirjoitaRekisteriarvo(nixora::Registry& registry, nixora::RegRoot root, const QString& path,
                           const QString& name, int32_t kind, const QString& data);

} // namespace mdlPoisto
