#include "HiveFile.h"

#include "HiveText.h"
#include "TextUtil.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>

// Reading a few subtrees of a large hive: the entry list needs the Uninstall and Active Setup
// keys and the settings key, a small part of the megabytes of keys Wine writes into a prefix.
namespace nixora
{
namespace
{

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

// The subtree's path as Wine writes plain ASCII names, lower case; empty when a name needs
// escaping or folding beyond ASCII.
QByteArray plainKeyText(const std::vector<QString>& names)
{
    QByteArray text;
    for (const QString& name : names) {
        if (!text.isEmpty())
            text += "\\\\";
        for (QChar c : name) {
            if (c.unicode() < 0x20 || c.unicode() > 0x7e || c == u'[' || c == u']')
                return {};
            text += char(hive::foldNameUnit(c.unicode()));
        }
    }
    return text;
}

// The bits that make an ASCII letter of `plain` lower case: set where `plain` holds a letter.
QByteArray caseBits(const QByteArray& plain)
{
    QByteArray bits(plain.size(), '\0');
    for (qsizetype i = 0; i < plain.size(); ++i)
        bits[i] = plain[i] >= 'a' && plain[i] <= 'z' ? char(0x20) : char(0);
    return bits;
}

// True when the raw key text certainly names no key at or below `plain`: it differs from it at
// a plain ASCII character. An escape or a byte beyond ASCII could still spell the name. Eight
// bytes are compared at a time; `bits` (caseBits of `plain`) folds their letters.
bool plainlyOutside(const char* p, const char* e, const QByteArray& plain, const QByteArray& bits)
{
    const auto n = size_t(plain.size());
    const auto available = size_t(e - p);
    const auto differsPlainly = [](char c) {
        return c != '\\' && (static_cast<unsigned char>(c) & 0x80) == 0;
    };
    size_t i = 0;
    for (; i + 8 <= n && i + 8 <= available; i += 8) {
        uint64_t raw = 0;
        uint64_t want = 0;
        uint64_t fold = 0;
        std::memcpy(&raw, p + i, 8);
        std::memcpy(&want, plain.constData() + i, 8);
        std::memcpy(&fold, bits.constData() + i, 8);
        const uint64_t diff = (raw | fold) ^ want;
        if (diff != 0)
            return differsPlainly(p[i + size_t(std::countr_zero(diff)) / 8]);
    }
    for (; i < n; ++i) {
        if (i == available)
            return true;
        if (char(p[i] | bits[qsizetype(i)]) != plain[qsizetype(i)])
            return differsPlainly(p[i]);
    }
    return false;
}

} // namespace

// A quick look at the raw key text; false only when no subtree can hold the key.
bool HiveFile::mayCover(const char* p, const char* e) const
{
    if (m_plainSubtrees.size() != m_subtrees.size())
        return true;
    for (size_t i = 0; i < m_plainSubtrees.size(); ++i) {
        if (!plainlyOutside(p, e, m_plainSubtrees[i], m_plainCaseBits[i]))
            return true;
    }
    return false;
}

std::unique_ptr<HiveFile> HiveFile::parseSubtrees(QByteArray bytes, const QStringList& subtrees)
{
    std::unique_ptr<HiveFile> hive(new HiveFile);
    hive->m_bytes = std::move(bytes);
    hive->m_partial = true;
    for (const QString& path : subtrees) {
        std::vector<QString> names;
        for (QStringView name : splitPath(path))
            names.push_back(name.toString());
        const QByteArray plain = plainKeyText(names);
        if (!plain.isEmpty()) {
            hive->m_plainSubtrees.push_back(plain);
            hive->m_plainCaseBits.push_back(caseBits(plain));
        }
        hive->m_spelledSubtrees.push_back(QStringList(names.begin(), names.end()).join(u'\\'));
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
    // Readers spell the paths as they were asked for: an exact prefix settles most reads.
    for (const QString& spelled : m_spelledSubtrees) {
        if (path.startsWith(spelled) &&
            (path.size() == spelled.size() || path[spelled.size()] == u'\\'))
            return true;
    }
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
    while (lineStart > data && isLineSpace(lineStart[-1]))
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

// Decodes a key line's name, [name, nameEnd) before its ']', into m_scratch. Wine writes the keys
// in order, so a name shares most of its text with the one decoded before it: the part up to the
// last path separator the two share is kept as decoded, and only the rest is decoded. Separators
// are remembered only while the text before them is plain ASCII and escaped backslashes, where
// every escape is exactly one unit.
void HiveFile::decodeKeyName(const char* name, const char* nameEnd, const char* lineEnd)
{
    const qsizetype size = nameEnd - name;
    qsizetype same = 0;
    const qsizetype n = std::min(size, m_lastKeyNameSize);
    for (; same + 8 <= n; same += 8) {
        uint64_t a = 0;
        uint64_t b = 0;
        std::memcpy(&a, name + same, 8);
        std::memcpy(&b, m_lastKeyName + same, 8);
        if (a != b)
            break;
    }
    while (same < n && name[same] == m_lastKeyName[same])
        ++same;
    while (!m_keyNameSeparators.empty() && m_keyNameSeparators.back().raw > same)
        m_keyNameSeparators.pop_back();
    const KeyNameSeparator kept =
        m_keyNameSeparators.empty() ? KeyNameSeparator{} : m_keyNameSeparators.back();
    m_scratch.resize(kept.decoded);
    (void)hive::parseEscaped(name + kept.raw, lineEnd, ']', m_scratch);
    m_lastKeyName = name;
    m_lastKeyNameSize = size;
    qsizetype decoded = kept.decoded;
    for (qsizetype raw = kept.raw; raw < size;) {
        const char c = name[raw];
        if (static_cast<unsigned char>(c) >= 0x80)
            break;
        if (c == '\\') {
            if (raw + 1 >= size || name[raw + 1] != '\\')
                break;
            raw += 2;
            m_keyNameSeparators.push_back({raw, ++decoded});
            continue;
        }
        ++raw;
        ++decoded;
    }
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
    m_scanning = true;
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
        const char* nameEnd = hive::keyNameEnd(bracket + 1, lineEnd);
        if (nameEnd == nullptr)
            continue; // a malformed key line stays in the block before it, as in scan()
        if (!anyKey)
            m_headerEnd = blockStart - data;
        anyKey = true;
        if (inBlock)
            m_blocks.back().end = blockStart - data;
        inBlock = mayCover(bracket + 1, lineEnd);
        if (!inBlock)
            continue;
        decodeKeyName(bracket + 1, nameEnd - 1, lineEnd);
        inBlock = covers(m_scratch);
        if (!inBlock)
            continue;
        linkBlock(keyAfter(m_scratch), blockStart - data);
    }
    if (inBlock)
        m_blocks.back().end = m_bytes.size();
    finishScan();
    return QuickScan::Done;
}

} // namespace nixora
