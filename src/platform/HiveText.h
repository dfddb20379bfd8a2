#pragma once

#include <QByteArray>
#include <QString>
#include <QStringView>

#include "RegistryTypes.h"

// Wine's text conventions inside hive files: escaped strings and case-insensitive names.
namespace nixora::hive
{

// Parses escaped text starting at `p` up to the unescaped `endChar` and appends it (UTF-16) to
// `out`. Returns the position just past `endChar`, or nullptr when the text is not terminated
// before `end` or a NUL byte (Wine reads lines as C strings).
[[nodiscard]] const char* parseEscaped(const char* p, const char* end, char endChar, QString& out);

// Appends `text` escaped as Wine writes it; `delimiters` (one or two characters) get a
// backslash. Every unit is written, a NUL too: a string's terminator is the caller's to leave
// out, and a name that ends in a NUL would lose it.
void appendEscaped(QByteArray& out, QStringView text, const char* delimiters);

// Wine's name order: UTF-16 units compared after lower-casing each one on its own with Wine's
// case table (foldNameUnit), then the length. This is the only comparison used for names anywhere
// in the program, so two names are the same exactly when the wineserver takes them for one.
[[nodiscard]] int compareNames(QStringView a, QStringView b);

// Wine's lower-casing of one UTF-16 unit: Unicode's simple lower-case mapping where the upper
// case of the result leads back to the unit, else the unit itself (U+212A KELVIN SIGN, U+1E9E
// and the title-case digraphs such as U+01C5 stay as they are; U+017F is no "s").
[[nodiscard]] char16_t foldNameUnit(char16_t c);

// True when `path` begins with `prefix`, compared as the hive compares names.
[[nodiscard]] bool startsWithName(QStringView path, QStringView prefix);

[[nodiscard]] inline bool sameName(QStringView a, QStringView b)
{
    return a.size() == b.size() && compareNames(a, b) == 0;
}

// The lines of one part of a hive file, without their line ends ("\n" or "\r\n").
struct LineCursor {
    const char* pos;
    const char* end;
    bool next(const char*& lineBegin, const char*& lineEnd);
};

// Parses a value line as Wine does (`b` points at '@' or '"'); hex data continued with a
// backslash takes further lines from `cursor`. Returns false when not even the name could be
// read. A name followed by data Wine cannot read gives an empty REG_NONE value and `malformed`.
bool parseValueLine(const char* b, const char* e, LineCursor& cursor, QString& name,
                    RegValue& value, bool& malformed);

// Where the name of a key line ends: just after the ']' that parseEscaped would stop at (the
// first one no backslash escapes, with no NUL before it), found without decoding the name;
// nullptr when there is none.
[[nodiscard]] const char* keyNameEnd(const char* p, const char* e);

// A value line's name (`b` points at '@' or '"'), and where its data starts after the '=';
// nullptr when not even the name could be read.
[[nodiscard]] const char* parseValueLineName(const char* b, const char* e, QString& name);

// The same for the usual name, plain ASCII without escapes: its bytes go to `name`. Nullptr
// for any other line (parseValueLineName reads it then).
[[nodiscard]] const char* plainValueLineName(const char* b, const char* e, QByteArrayView& name);

// True when the data from `p` on is a string or a dword: one line that can be decoded on its own,
// later, with parseOneLineData.
[[nodiscard]] bool isOneLineData(const char* p, const char* e);

// Decodes such data as parseValueLine would; false when Wine could not read it.
[[nodiscard]] bool parseOneLineData(const char* p, const char* e, RegValue& value);

// True when a value line holds hex data that Wine continues on the next line.
[[nodiscard]] bool hexContinues(const char* b, const char* e);

// A value line kept as written (one Wine could not read), with its name spelled `name`: of lines
// for one name the first spelling names the value, also when a later line gives its data.
[[nodiscard]] QByteArray valueLineNamed(const QByteArray& line, QStringView name);

// Appends the value line as Wine writes it, ending in '\n'.
void appendValueLine(QByteArray& out, QStringView name, const RegValue& value);

} // namespace nixora::hive
