#include "HiveFile.h"

#include "HiveText.h"
#include "TextUtil.h"

#include <algorithm>
#include <chrono>
#include <cstring>

namespace nixora
{
namespace
{

constexpr char kHeader[] = "WINE REGISTRY Version 2";

bool isEmptyLine(const char* b, const char* e)
{
    return b == e || (e - b == 1 && *b == '\r');
}

uint64_t parseHexNumber(const char* p, const char* e)
{
    uint64_t number = 0;
    for (; p != e; ++p) {
        const char c = *p;
        if (c >= '0' && c <= '9')
            number = (number << 4) | uint64_t(c - '0');
        else if (c >= 'a' && c <= 'f')
            number = (number << 4) | uint64_t(c - 'a' + 10);
        else if (c >= 'A' && c <= 'F')
            number = (number << 4) | uint64_t(c - 'A' + 10);
        else
            break;
    }
    return number;
}

// "[path] <unix seconds>": the seconds, when no "#time=" line gives the exact time.
uint64_t headerTime(const char* afterBracket, const char* e)
{
    const char* p = skipLineSpace(afterBracket, e);
    uint64_t seconds = 0;
    bool any = false;
    for (; p != e && *p >= '0' && *p <= '9'; ++p, any = true)
        seconds = seconds * 10 + uint64_t(*p - '0');
    return any ? seconds * kTicksPerSecond + kTicks1601To1970 : currentFileTime();
}

bool lineStartsWith(const char* b, const char* e, const char* prefix)
{
    const size_t n = strlen(prefix);
    return size_t(e - b) >= n && memcmp(b, prefix, n) == 0;
}

// True when each component of `path` is spelled exactly as the tree keeps the key it names.
[[nodiscard]] bool spelledAsStored(const HiveKey* key, QStringView path)
{
    qsizetype end = path.size();
    while (end > 0) {
        const qsizetype start = path.lastIndexOf(u'\\', end - 1) + 1;
        if (start < end) {
            if (key == nullptr || key->name != path.mid(start, end - start))
                return false;
            key = key->parent;
        }
        end = start - 1;
    }
    return true;
}

} // namespace

uint64_t currentFileTime()
{
    using Ticks = std::chrono::duration<uint64_t, std::ratio<1, kTicksPerSecond>>;
    const auto sinceEpoch = std::chrono::system_clock::now().time_since_epoch();
    return std::chrono::duration_cast<Ticks>(sinceEpoch).count() + kTicks1601To1970;
}

// Where the first line ends (past its '\n'), or -1 when it is not exactly Wine's header.
qsizetype HiveFile::headerLineEnd(const QByteArray& bytes)
{
    const char* data = bytes.constData();
    hive::LineCursor cursor{data, data + bytes.size()};
    const char* b = nullptr;
    const char* e = nullptr;
    if (!cursor.next(b, e) || QByteArrayView(b, e - b) != QByteArrayView(kHeader))
        return -1;
    return cursor.pos - data;
}

std::unique_ptr<HiveFile> HiveFile::parse(QByteArray bytes)
{
    std::unique_ptr<HiveFile> hive(new HiveFile);
    hive->m_bytes = std::move(bytes);
    if (!hive->scan())
        return nullptr;
    return hive;
}

QByteArray HiveFile::emptyHiveText(RegRoot root, const QByteArray& arch)
{
    QByteArray text = QByteArray(kHeader) + "\n;; All keys relative to ";
    text += root == RegRoot::LocalMachine ? "REGISTRY\\\\Machine"
                                          : "REGISTRY\\\\User\\\\S-1-5-21-0-0-0-1000";
    text += "\n\n#arch=" + (arch.isEmpty() ? QByteArray("win64") : arch) + '\n';
    return text;
}

QString HiveFile::tooLargeText(qint64 size)
{
    const double gib = double(size) / double(qint64(1) << 30);
    return QStringLiteral("too large to read (%1 GiB; Nixora reads hive files up to %2 GiB)")
        .arg(gib, 0, 'f', 1)
        .arg(kMaxFileBytes >> 30);
}

QByteArray HiveFile::arch() const
{
    const qsizetype at = m_bytes.indexOf("\n#arch=");
    if (at < 0 || at >= m_headerEnd)
        return {};
    const qsizetype begin = at + 7;
    qsizetype end = begin;
    while (end < m_bytes.size() && m_bytes[end] != '\n' && m_bytes[end] != '\r')
        ++end;
    return m_bytes.mid(begin, end - begin);
}

std::vector<QStringView> HiveFile::splitPath(QStringView path)
{
    std::vector<QStringView> parts;
    qsizetype start = 0;
    for (qsizetype i = 0; i <= path.size(); ++i) {
        if (i == path.size() || path[i] == u'\\') {
            if (i > start)
                parts.push_back(path.mid(start, i - start));
            start = i + 1;
        }
    }
    return parts;
}

// Reads the file once, line by line, noting where each key's block starts. Only "[path]" lines
// are parsed here; values wait until someone asks for them.
bool HiveFile::scan()
{
    m_root = newKey(nullptr, {});
    m_scanning = true;
    const char* data = m_bytes.constData();
    const qsizetype size = m_bytes.size();
    hive::LineCursor cursor{data, data + size};
    const char* b = nullptr;
    const char* e = nullptr;
    if (!cursor.next(b, e) || QByteArrayView(b, e - b) != QByteArrayView(kHeader))
        return false;
    m_headerEnd = size;
    const char* previousLine = nullptr;
    bool previousEmpty = false;
    while (cursor.next(b, e)) {
        const char* p = skipLineSpace(b, e);
        if (p != e && *p == '[') {
            // Wine writes an empty line before each key; it belongs to the key's block.
            const char* start = previousEmpty ? previousLine : b;
            scanKeyLine(p + 1, e, start - data);
        } else if (p != e && (*p == '"' || *p == '@') && e != p && e[-1] == '\\' &&
                   hive::hexContinues(p, e)) {
            const char* nb = nullptr;
            const char* ne = nullptr;
            while (cursor.next(nb, ne) && ne != nb && ne[-1] == '\\') {
            }
        }
        previousEmpty = isEmptyLine(b, e);
        previousLine = b;
    }
    if (!m_blocks.empty())
        m_blocks.back().end = size;
    finishScan();
    return true;
}

void HiveFile::scanKeyLine(const char* p, const char* lineEnd, qsizetype blockStart)
{
    m_scratch.resize(0); // keeps its room for the next key line
    if (hive::parseEscaped(p, lineEnd, ']', m_scratch) == nullptr)
        return; // Wine skips a malformed key and the values after it; they stay where they are
    HiveKey* key = keyAfter(m_scratch);
    // A header that spells a known key in other letter case ("[B\\x]" after "[b\\y]") cannot
    // be copied as written: after reordering it could come first and rename the key. Such a
    // key is written afresh under the names the tree keeps, as Wine would save it.
    if (!spelledAsStored(key, m_scratch))
        key->dirty = true;
    if (m_blocks.empty())
        m_headerEnd = blockStart;
    else
        m_blocks.back().end = blockStart;
    linkBlock(key, blockStart);
}

HiveKey* HiveFile::walk(HiveKey* key, QStringView path)
{
    qsizetype start = 0;
    for (qsizetype i = 0; i <= path.size() && key != nullptr; ++i) {
        if (i == path.size() || path[i] == u'\\') {
            if (i > start)
                key = childFor(key, path.mid(start, i - start), false);
            start = i + 1;
        }
    }
    return key;
}

// Readers ask for key after key below a few parents (every entry of the Uninstall key), so the
// parents found last are remembered and only the last component is looked up.
HiveKey* HiveFile::findKey(QStringView path)
{
    // A reader takes value after value of one key: the same path again finds the same key.
    if (m_foundKey != nullptr && path == m_foundPath)
        return m_foundKey;
    HiveKey* key = findKeyUncached(path);
    if (key != nullptr) {
        m_foundPath = path.toString();
        m_foundKey = key;
    }
    return key;
}

HiveKey* HiveFile::findKeyUncached(QStringView path)
{
    const qsizetype cut = path.lastIndexOf(u'\\');
    if (cut <= 0)
        return walk(m_root, path);
    const QStringView parentPath = path.left(cut);
    const QStringView rest = path.mid(cut + 1);
    for (const auto& [known, parent] : m_parents) {
        if (known == parentPath)
            return walkBelow(parent, rest);
    }
    HiveKey* parent = walk(m_root, parentPath);
    if (parent == nullptr)
        return nullptr;
    if (m_parents.size() >= kRememberedParents)
        m_parents.erase(m_parents.begin());
    m_parents.emplace_back(parentPath.toString(), parent);
    return walkBelow(parent, rest);
}

// A reader that enumerates subkeys reads each one next: the subkey listed last is taken
// without a search when the path names it as listed.
HiveKey* HiveFile::walkBelow(HiveKey* parent, QStringView rest)
{
    if (m_listedChild != nullptr && m_listedChild->parent == parent && m_listedChild->name == rest)
        return m_listedChild;
    return walk(parent, rest);
}

HiveKey* HiveFile::childAt(HiveKey* key, size_t index)
{
    m_listedChild = index < key->children.size() ? key->children[index] : nullptr;
    return m_listedChild;
}

HiveKey* HiveFile::createKey(QStringView path, uint64_t now)
{
    HiveKey* key = m_root;
    for (QStringView part : splitPath(path)) {
        HiveKey* child = childFor(key, part, false);
        if (child == nullptr) {
            touch(key, now);
            child = childFor(key, part, true);
            child->detailsLoaded = true;
            child->dirty = true;
            child->modified = now;
        }
        key = child;
    }
    return key;
}

void HiveFile::deleteKey(HiveKey* key, uint64_t now)
{
    HiveKey* parent = key->parent;
    if (parent == nullptr)
        return;
    touch(parent, now);
    auto& siblings = parent->children;
    siblings.erase(std::remove(siblings.begin(), siblings.end(), key), siblings.end());
    key->parent = nullptr;
    m_parents.clear();
    m_foundKey = nullptr;
    m_listedChild = nullptr;
}

void HiveFile::touch(HiveKey* key, uint64_t now)
{
    loadDetails(key);
    key->dirty = true;
    key->modified = now;
    m_modified = true;
}

const std::vector<HiveValue>& HiveFile::values(HiveKey* key)
{
    loadDetails(key);
    decodeAll(key);
    return key->values;
}

const HiveValue* HiveFile::findValue(HiveKey* key, QStringView name)
{
    loadDetails(key);
    auto& list = key->values;
    auto it = std::lower_bound(list.begin(), list.end(), name,
                               [](const HiveValue& value, QStringView wanted) {
                                   return hive::compareNames(value.name, wanted) < 0;
                               });
    if (it == list.end() || hive::compareNames(it->name, name) != 0)
        return nullptr;
    decode(*it);
    return &*it;
}

void HiveFile::decode(HiveValue& value) const
{
    const HiveValue::Pending pending = value.pending;
    if (pending.data < 0)
        return;
    value.pending = {};
    const char* data = m_bytes.constData();
    if (!hive::parseOneLineData(data + pending.data, data + pending.dataEnd, value.value))
        value.rawText = hive::valueLineNamed(
            QByteArray(data + pending.line, pending.lineEnd - pending.line), value.name);
}

void HiveFile::decodeAll(HiveKey* key) const
{
    for (HiveValue& value : key->values)
        decode(value);
}

void HiveFile::storeValue(HiveKey* key, HiveValue value)
{
    auto& list = key->values;
    // Wine writes a key's values in order, so a value read from the file usually goes last.
    if (list.empty())
        list.reserve(8); // a typical key's values, without regrowing
    if (list.empty() || hive::compareNames(list.back().name, value.name) < 0) {
        list.push_back(std::move(value));
        return;
    }
    auto it = std::lower_bound(list.begin(), list.end(), value.name,
                               [](const HiveValue& existing, const QString& wanted) {
                                   return hive::compareNames(existing.name, wanted) < 0;
                               });
    if (it != list.end() && hive::compareNames(it->name, value.name) == 0) {
        // A later line for the same name replaces the data; the stored name stays.
        it->value = std::move(value.value);
        it->rawText = hive::valueLineNamed(value.rawText, it->name);
        it->pending = value.pending;
        return;
    }
    list.insert(it, std::move(value));
}

void HiveFile::setValue(HiveKey* key, const QString& name, const RegValue& value, uint64_t now)
{
    touch(key, now);
    storeValue(key, HiveValue{name, value, {}, {}});
}

bool HiveFile::deleteValue(HiveKey* key, QStringView name, uint64_t now)
{
    const HiveValue* found = findValue(key, name);
    if (found == nullptr)
        return false;
    touch(key, now);
    key->values.erase(key->values.begin() + (found - key->values.data()));
    return true;
}

void HiveFile::loadDetails(HiveKey* key)
{
    if (key->detailsLoaded)
        return;
    key->detailsLoaded = true;
    m_valuesOutOfOrder = false;
    for (int32_t index = key->firstBlock; index >= 0; index = m_blocks[size_t(index)].next)
        parseBlock(key, m_blocks[size_t(index)]);
    if (m_valuesOutOfOrder)
        sortLoadedValues(key->values);
}

// Values as the file gives them, put in order once the key is read (see sortLoadedValues).
void HiveFile::storeLoadedValue(HiveKey* key, HiveValue value)
{
    auto& list = key->values;
    if (list.empty())
        list.reserve(8); // a typical key's values, without regrowing
    else if (hive::compareNames(list.back().name, value.name) >= 0)
        m_valuesOutOfOrder = true;
    list.push_back(std::move(value));
}

// One sort instead of an insertion in the middle for each value out of order, which would make a
// key of many values in descending order quadratic to read. Of values with the same name the
// first spelling names the value and the last line gives its data, as a line replacing the value
// would.
void HiveFile::sortLoadedValues(std::vector<HiveValue>& values)
{
    std::stable_sort(values.begin(), values.end(), [](const HiveValue& a, const HiveValue& b) {
        return hive::compareNames(a.name, b.name) < 0;
    });
    size_t kept = 0;
    for (size_t i = 0; i < values.size(); ++i) {
        if (kept > 0 && hive::compareNames(values[kept - 1].name, values[i].name) == 0) {
            HiveValue& first = values[kept - 1];
            first.value = std::move(values[i].value);
            first.rawText = hive::valueLineNamed(values[i].rawText, first.name);
            first.pending = values[i].pending;
        } else if (kept++ != i) {
            values[kept - 1] = std::move(values[i]);
        }
    }
    values.resize(kept);
}

// One "[path]" block: options, values, and whatever else it holds, which is kept as written.
void HiveFile::parseBlock(HiveKey* key, const Block& block)
{
    const char* data = m_bytes.constData();
    hive::LineCursor cursor{data + block.begin, data + block.end};
    const char* b = nullptr;
    const char* e = nullptr;
    bool seenHeader = false;
    bool opaque = false; // after a malformed "[" line nothing belongs to this key
    while (cursor.next(b, e)) {
        const char* p = skipLineSpace(b, e);
        const char first = p != e ? *p : '\0';
        if (!opaque && first == '[' && !seenHeader) {
            seenHeader = true;
            const char* close = hive::keyNameEnd(p + 1, e);
            key->modified = headerTime(close != nullptr ? close : e, e);
            continue;
        }
        if (!opaque && first == '[')
            opaque = true;
        if (opaque) {
            key->otherLines += QByteArrayView(b, cursor.pos - b);
            continue;
        }
        if (p == e)
            continue; // empty lines separate blocks; the writer puts them back
        if (first == '#' && lineStartsWith(p, e, "#time=")) {
            key->modified = parseHexNumber(p + 6, e);
        } else if (first == '#' && lineStartsWith(p, e, "#class=")) {
            key->classLine = QByteArray(b, e - b);
        } else if (first == '#' && lineStartsWith(p, e, "#link")) {
            key->isLink = true;
        } else if (first == '"' || first == '@') {
            HiveValue value;
            // The same few names come back in every key: one copy of each is shared.
            QByteArrayView rawName;
            const char* dataStart = hive::plainValueLineName(p, e, rawName);
            if (dataStart != nullptr) {
                auto known = m_valueNames.constFind(rawName);
                if (known == m_valueNames.cend())
                    known = m_valueNames.insert(rawName, QString::fromLatin1(rawName));
                value.name = *known;
            } else {
                dataStart = hive::parseValueLineName(p, e, value.name);
            }
            if (dataStart != nullptr && hive::isOneLineData(dataStart, e)) {
                const char* lineEnd = cursor.pos;
                if (lineEnd > b && lineEnd[-1] == '\n')
                    --lineEnd;
                value.pending = {b - data, dataStart - data, e - data, lineEnd - data};
                storeLoadedValue(key, std::move(value));
                continue;
            }
            bool malformed = false;
            const char* lineStart = b;
            if (hive::parseValueLine(p, e, cursor, value.name, value.value, malformed)) {
                if (malformed) {
                    value.rawText = QByteArray(lineStart, cursor.pos - lineStart);
                    if (value.rawText.endsWith('\n'))
                        value.rawText.chop(1);
                }
                storeLoadedValue(key, std::move(value));
            } else {
                key->otherLines += QByteArrayView(b, cursor.pos - b);
            }
        } else {
            key->otherLines += QByteArrayView(b, cursor.pos - b);
        }
    }
}

} // namespace nixora
