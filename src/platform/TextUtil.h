#pragma once

#include <QString>
#include <QStringView>

namespace nixora
{

// A blank between words: a space or a tab, as Windows command lines and .reg files take it.
[[nodiscard]] constexpr bool isBlank(QChar c)
{
    return c == u' ' || c == u'\t';
}

// White space inside a line of a hive file, which is read as bytes with its line feed already
// cut: C's isspace() without the line feed, as Wine's parser skips it.
[[nodiscard]] constexpr bool isLineSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\v' || c == '\f' || c == '\r';
}

[[nodiscard]] inline const char* skipLineSpace(const char* p, const char* end)
{
    while (p != end && isLineSpace(*p))
        ++p;
    return p;
}

[[nodiscard]] inline QStringView skipBlanks(QStringView text)
{
    while (!text.isEmpty() && isBlank(text.front()))
        text = text.mid(1);
    return text;
}

// Removes leading and trailing blanks (spaces and tabs).
[[nodiscard]] inline QStringView trimBlanks(QStringView text)
{
    text = skipBlanks(text);
    while (!text.isEmpty() && isBlank(text.back()))
        text.chop(1);
    return text;
}

// Removes leading and trailing spaces only, as Basic's Trim does: tabs and line breaks are part
// of the data.
[[nodiscard]] inline QString trimSpaces(const QString& text)
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
