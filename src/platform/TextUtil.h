#pragma once

#include <QString>
#include <QStringView>

#include <utility>

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

// Text cut into lines as Windows' registry editor and Wine read text files: a line ends at CR LF,
// at a lone CR or at a lone LF. The text may come in blocks (a CR at the end of one block and a
// LF at the start of the next are one line end); finish() hands on a last line without an end.
template <typename Line> class LineSplitter
{
public:
    template <typename View, typename OnLine> void feed(View block, OnLine&& onLine)
    {
        qsizetype start = 0;
        if (m_afterCr && !block.isEmpty() && block.front() == u'\n')
            start = 1;
        m_afterCr = false;
        for (qsizetype i = start; i < block.size(); ++i) {
            if (block[i] != u'\r' && block[i] != u'\n')
                continue;
            m_line += block.sliced(start, i - start);
            onLine(std::as_const(m_line));
            m_line.clear();
            if (block[i] == u'\r') {
                if (i + 1 == block.size())
                    m_afterCr = true;
                else if (block[i + 1] == u'\n')
                    ++i;
            }
            start = i + 1;
        }
        m_line += block.sliced(start);
    }

    template <typename OnLine> void finish(OnLine&& onLine)
    {
        if (!m_line.isEmpty())
            onLine(std::as_const(m_line));
        m_line.clear();
        m_afterCr = false;
    }

private:
    Line m_line;
    bool m_afterCr = false;
};

} // namespace nixora
