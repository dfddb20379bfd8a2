#pragma once

#include <QString>

namespace nixora
{

// Removes leading and trailing blanks only: tabs and line breaks are part of the data.
[[nodiscard]] inline QString trimBlanks(const QString& text)
{
    qsizetype first = 0;
    qsizetype last = text.size();
    while (first < last && text.at(first) == u' ')
        ++first;
    while (last > first && text.at(last - 1) == u' ')
        --last;
    return text.mid(first, last - first);
}

} // namespace nixora
