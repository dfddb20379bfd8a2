#pragma once

#include <QString>
#include <QStringView>

namespace nixora
{

// True for a name Wine accepts as a DOS 8.3 name as it stands (such names get no hashed short
// name): at most 8 characters, optionally a dot and 1 to 3 more, ASCII only, no blank and none
// of * ? < > | " + = , ; [ ] : / \, and no leading dot except "." and "..".
[[nodiscard]] bool isLegalShortName(QStringView name);

// A component that could be one of Wine's hashed short names ("PROG~FBU", "LONG~1ZR.HTM"): only
// such a component is worth hashing a folder's entries for.
[[nodiscard]] bool looksLikeHashedShortName(QStringView name);

// Wine's hashed 8.3 short name of a long name (for example "Program Files" gives PROG~FBU),
// or the name itself in upper case when it already is a legal 8.3 name.
[[nodiscard]] QString wineShortName(const QString& longName);

} // namespace nixora
