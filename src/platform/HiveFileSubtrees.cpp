#include "HiveFile.h"

#include "HiveText.h"

#include <cstring>

// Reading a few subtrees of a large hive: the entry list needs the Uninstall and Active Setup
// keys and the settings key, a small part of the megabytes of keys Wine writes into a prefix.
namespace nixora
{
namespace
{

bool isLineBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\v' || c == '\f' || c == '\r';
}

// True when the line ending just before `lineStart` (which follows a '\n') ends in a backslash:
// a hex value continued there would take the next line as data, whatever it holds.
bool continuedBefore(const char* data, const char* lineStart)
{
    const char* e = lineStart - 1;
    if (e > data && e[-1] == '\r')
        --e;
    return e > data && e[-1] == '\\';
}

// The start of the empty line ("" or "\r") just before `lineStart`, or nullptr.
const char* emptyLineBefore(const char* data, const char* lineStart)
{
    if (lineStart - 2 >= data && lineStart[-2] == '\n')
        return lineStart - 1;
    if (lineStart - 3 >= data && lineStart[-2] == '\r' && lineStart[-3] == '\n')
        return lineStart - 2;
    return nullptr;
}

// The next non-empty name of `path` from `at` on, as splitPath would give it.
QStringView nextName(QStringView path, qsizetype& at)
{
    while (at < path.size() && path[at] == u'\\')
        ++at;
    const qsizetype start = at;
    while (at < path.size() && path[at] != u'\\')
        ++at;
    return path.mid(start, at - start);
}

} // namespace

std::unique_ptr<HiveFile> HiveFile::parseSubtrees(QByteArray bytes, const QStringList& subtrees)
{
    std::unique_ptr<HiveFile> hive(new HiveFile);
    hive->m_bytes = std::move(bytes);
    hive->m_partial = true;
    for (const QString& path : subtrees) {
        std::vector<QString> names;
        for (QStringView name : splitPath(path))
            names.push_back(name.toString());
        hive->m_subtrees.push_back(std::move(names));
    }
    switch (hive->scanSubtrees()) {
    case QuickScan::Done:
        return hive;
    case QuickScan::NotAHive:
        return nullptr;
    case QuickScan::Ambiguous:
        break;
    }
    return parse(std::move(hive->m_bytes));
}

bool HiveFile::covers(QStringView path) const
{
    if (!m_partial)
        return true;
    for (const std::vector<QString>& subtree : m_subtrees) {
        qsizetype at = 0;
        bool below = true;
        for (const QString& name : subtree) {
            if (!hive::sameName(nextName(path, at), name)) {
                below = false;
                break;
            }
        }
        if (below)
            return true;
    }
    return false;
}

// Decides whether the '[' at `bracket` opens a key line as the line-by-line scan would see it:
// only blanks before it on its line. That scan takes a key's block to start at the empty line
// Wine writes before it. A line that may continue hex data of the line before is `ambiguous`:
// telling needs the values parsed, which is what this scan avoids.
bool HiveFile::keyLineAt(const char* bracket, const char*& blockStart, const char*& lineEnd,
                         bool& ambiguous) const
{
    const char* data = m_bytes.constData();
    const char* end = data + m_bytes.size();
    const char* lineStart = bracket;
    while (lineStart > data && isLineBlank(lineStart[-1]))
        --lineStart;
    if (lineStart == data || lineStart[-1] != '\n')
        return false;
    const auto* newline = static_cast<const char*>(memchr(bracket, '\n', size_t(end - bracket)));
    lineEnd = newline != nullptr ? newline : end;
    if (lineEnd != bracket && lineEnd[-1] == '\r')
        --lineEnd;
    const char* empty = emptyLineBefore(data, lineStart);
    blockStart = empty != nullptr ? empty : lineStart;
    ambiguous = continuedBefore(data, blockStart);
    return true;
}

// Finds the key lines with memchr and builds keys only below the subtrees asked for; the
// blocks of all other keys are never looked at. Block bounds are those scan() finds.
HiveFile::QuickScan HiveFile::scanSubtrees()
{
    m_root = newKey(nullptr, {});
    const qsizetype firstLineEnd = headerLineEnd(m_bytes);
    if (firstLineEnd < 0)
        return QuickScan::NotAHive;
    const char* data = m_bytes.constData();
    const char* end = data + m_bytes.size();
    m_headerEnd = m_bytes.size();
    bool anyKey = false;
    bool inBlock = false; // the block being passed belongs to a key of the tree
    const char* p = data + firstLineEnd;
    while (p < end) {
        const auto* bracket = static_cast<const char*>(memchr(p, '[', size_t(end - p)));
        if (bracket == nullptr)
            break;
        const char* blockStart = nullptr;
        const char* lineEnd = nullptr;
        bool ambiguous = false;
        p = bracket + 1;
        if (!keyLineAt(bracket, blockStart, lineEnd, ambiguous))
            continue;
        if (ambiguous)
            return QuickScan::Ambiguous;
        p = lineEnd;
        m_scratch.clear();
        if (hive::parseEscaped(bracket + 1, lineEnd, ']', m_scratch) == nullptr)
            continue; // a malformed key line stays in the block before it, as in scan()
        if (!anyKey)
            m_headerEnd = blockStart - data;
        anyKey = true;
        if (inBlock)
            m_blocks.back().end = blockStart - data;
        inBlock = covers(m_scratch);
        if (!inBlock)
            continue;
        linkBlock(keyAfter(m_scratch), blockStart - data);
    }
    if (inBlock)
        m_blocks.back().end = m_bytes.size();
    return QuickScan::Done;
}

} // namespace nixora
