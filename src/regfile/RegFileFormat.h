#pragma once

#include <QByteArrayView>

namespace nixora
{

// REGEDIT4 means hex(2) (REG_EXPAND_SZ) and hex(7) (REG_MULTI_SZ) data as 8-bit text in the
// ANSI code page, and Wine's and Windows' regedit convert it to UTF-16 on import. Earlier
// versions of our export wrote it as stored, in UTF-16LE, which Wine's regedit reads as text of
// one character. Our exports now say on their second line that they write it as REGEDIT4 means
// it (our code page is UTF-8), and our import reads it so in such a file only; in any other
// REGEDIT4 file (our older backups) it is still read as the bytes as stored.
//
// Data that is not well-formed UTF-16 (an odd number of bytes, a lone surrogate) has no 8-bit
// text form: it is written as ff,fe followed by the bytes as stored. Those two bytes never occur
// in UTF-8, so the mark cannot be mistaken for text; only our import reads such a value back.
inline constexpr QByteArrayView kEightBitTextLine =
    "; hex(2) and hex(7) data: UTF-8 text, or ff,fe and the bytes as stored";
inline constexpr QByteArrayView kStoredBytesMark = "\xff\xfe";

} // namespace nixora
