#include "HiveText.h"

#include "TextUtil.h"

#include <cstring>

namespace nixora::hive
{
namespace
{

int hexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

bool isOctal(char c)
{
    return c >= '0' && c <= '7';
}

// One escape after a backslash; `p` points at the character after it. Every escape stands
// for one UTF-16 unit.
const char* parseEscape(const char* p, const char* end, char16_t& unit)
{
    switch (*p) {
    case 'a':
        unit = 7;
        return p + 1;
    case 'b':
        unit = 8;
        return p + 1;
    case 't':
        unit = 9;
        return p + 1;
    case 'n':
        unit = 10;
        return p + 1;
    case 'v':
        unit = 11;
        return p + 1;
    case 'f':
        unit = 12;
        return p + 1;
    case 'r':
        unit = 13;
        return p + 1;
    case 'e':
        unit = 27;
        return p + 1;
    case 'x': {
        ++p;
        if (p == end || hexDigit(*p) < 0) {
            unit = u'x';
            return p;
        }
        unit = 0;
        for (int i = 0; i < 4 && p != end && hexDigit(*p) >= 0; ++i, ++p)
            unit = char16_t(unit * 16 + hexDigit(*p));
        return p;
    }
    default:
        break;
    }
    if (isOctal(*p)) {
        unit = 0;
        for (int i = 0; i < 3 && p != end && isOctal(*p); ++i, ++p)
            unit = char16_t(unit * 8 + (*p - '0'));
        return p;
    }
    unit = char16_t(static_cast<unsigned char>(*p));
    return p + 1;
}

// Where the plain text from `p` on stops: at `endChar`, an escape, a NUL, a byte beyond ASCII,
// or `end`.
const char* plainRunEnd(const char* p, const char* end, char endChar)
{
    while (p != end && static_cast<unsigned char>(*p) < 0x80 && *p != endChar && *p != '\\' &&
           *p != '\0')
        ++p;
    return p;
}

} // namespace

const char* parseEscaped(const char* p, const char* end, char endChar, QString& out)
{
    // Most names and strings are plain ASCII up to their end: one allocation of the right size.
    const char* plainEnd = plainRunEnd(p, end, endChar);
    if (plainEnd != end && *plainEnd == endChar) {
        if (out.isEmpty())
            out = QString::fromLatin1(p, plainEnd - p);
        else
            out += QLatin1StringView(p, plainEnd - p);
        return plainEnd + 1;
    }
    // Every byte of the text gives at most one UTF-16 unit: write into room for all of them.
    const qsizetype start = out.size();
    out.resize(start + (end - p));
    char16_t* const first = reinterpret_cast<char16_t*>(out.data()) + start;
    char16_t* w = first;
    const auto finish = [&out, start, first, &w](const char* result) {
        out.resize(start + (w - first));
        return result;
    };
    while (p != end) {
        const char c = *p;
        if (c == endChar)
            return finish(p + 1);
        if (c == '\0')
            return finish(nullptr);
        if (c == '\\') {
            if (++p == end || *p == '\0') {
                *w++ = u'\\';
                continue;
            }
            p = parseEscape(p, end, *w++);
            continue;
        }
        if (static_cast<unsigned char>(c) < 0x80) {
            *w++ = char16_t(c);
            ++p;
            continue;
        }
        const char* run = p;
        while (p != end && static_cast<unsigned char>(*p) >= 0x80)
            ++p;
        const QString decoded = QString::fromUtf8(run, p - run);
        std::memcpy(w, decoded.utf16(), size_t(decoded.size()) * sizeof(char16_t));
        w += decoded.size();
    }
    return finish(nullptr);
}

void appendEscaped(QByteArray& out, QStringView text, const char* delimiters)
{
    static const char kEscapes[33] = ".......abtnvfr.............e....";
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t c = text[i].unicode();
        const bool hasNext = i + 1 < n;
        const char16_t next = hasNext ? text[i + 1].unicode() : 0;
        if (c > 127) {
            const bool hexFollows = hasNext && next < 128 && hexDigit(char(next)) >= 0;
            out += hexFollows ? "\\x" + QByteArray::number(c, 16).rightJustified(4, '0')
                              : "\\x" + QByteArray::number(c, 16);
            continue;
        }
        if (c < 32) {
            if (kEscapes[c] != '.') {
                out += '\\';
                out += kEscapes[c];
            } else {
                const bool octalFollows = hasNext && next >= '0' && next <= '7';
                out += '\\';
                out += octalFollows ? QByteArray::number(c, 8).rightJustified(3, '0')
                                    : QByteArray::number(c, 8);
            }
            continue;
        }
        if (c == '\\' || strchr(delimiters, char(c)) != nullptr)
            out += '\\';
        out += char(c);
    }
}

namespace
{

bool startsWith(const char* p, const char* e, const char* prefix)
{
    const qsizetype n = qstrlen(prefix);
    return e - p >= n && memcmp(p, prefix, n) == 0;
}

const char* parseValueName(const char* b, const char* e, QString& name)
{
    const char* p = b + 1;
    if (*b != '@') {
        p = parseEscaped(b + 1, e, '"', name);
        if (p == nullptr)
            return nullptr;
    }
    p = skipLineSpace(p, e);
    if (p == e || *p != '=')
        return nullptr;
    return skipLineSpace(p + 1, e);
}

enum class DataKind { Text, Hex, Dword };

// Wine's table of data prefixes; "hex(N):" carries the kind in hex.
const char* parseDataType(const char* p, const char* e, uint32_t& type, DataKind& kind)
{
    struct Prefix {
        const char* text;
        uint32_t type;
        DataKind kind;
    };
    static const Prefix kPrefixes[] = {
        {"\"", kRegSz, DataKind::Text},
        {"str:\"", kRegSz, DataKind::Text},
        {"str(2):\"", kRegExpandSz, DataKind::Text},
        {"str(7):\"", kRegMultiSz, DataKind::Text},
        {"hex:", kRegBinary, DataKind::Hex},
        {"dword:", kRegDword, DataKind::Dword},
    };
    if (p != e && *p == '"') { // the usual string, first in the table
        type = kRegSz;
        kind = DataKind::Text;
        return p + 1;
    }
    for (const Prefix& prefix : kPrefixes) {
        if (p != e && *p != prefix.text[0])
            continue;
        if (startsWith(p, e, prefix.text)) {
            type = prefix.type;
            kind = prefix.kind;
            return p + qstrlen(prefix.text);
        }
    }
    if (!startsWith(p, e, "hex("))
        return nullptr;
    p += 4;
    uint64_t number = 0;
    for (; p != e && hexDigit(*p) >= 0; ++p)
        number = (number * 16 + hexDigit(*p)) & 0xffffffffu;
    if (!startsWith(p, e, "):"))
        return nullptr;
    type = uint32_t(number);
    kind = DataKind::Hex;
    return p + 2;
}

// Hex bytes "01,02, 03"; returns where they stop, or nullptr on a number above 0xff.
const char* parseHexBytes(const char* p, const char* e, QByteArray& data)
{
    while (p != e && hexDigit(*p) >= 0) {
        unsigned number = 0;
        for (; p != e && hexDigit(*p) >= 0; ++p) {
            number = number * 16 + hexDigit(*p);
            if (number > 0xff)
                return nullptr;
        }
        data.append(char(number));
        p = skipLineSpace(p, e);
        if (p != e && *p == ',')
            p = skipLineSpace(p + 1, e);
    }
    return p;
}

bool parseHexData(const char* p, const char* e, LineCursor* cursor, QByteArray& data)
{
    for (;;) {
        p = parseHexBytes(p, e, data);
        if (p == nullptr)
            return false;
        p = skipLineSpace(p, e);
        if (p == e || *p == '\0')
            return true;
        if (*p != '\\' || cursor == nullptr || !cursor->next(p, e))
            return false;
        p = skipLineSpace(p, e);
    }
}

bool parseDword(const char* p, const char* e, QByteArray& data)
{
    p = skipLineSpace(p, e);
    bool negative = false;
    if (p != e && (*p == '+' || *p == '-'))
        negative = *p++ == '-';
    if (e - p > 2 && p[0] == '0' && (p[1] == 'x' || p[1] == 'X') && hexDigit(p[2]) >= 0)
        p += 2;
    if (p == e || hexDigit(*p) < 0)
        return false;
    uint32_t number = 0;
    for (; p != e && hexDigit(*p) >= 0; ++p)
        number = number * 16 + uint32_t(hexDigit(*p));
    if (negative)
        number = 0u - number;
    data = makeDwordValue(number).data;
    return true;
}

bool parseData(const char* p, const char* e, LineCursor* cursor, RegValue& value)
{
    DataKind kind = DataKind::Text;
    p = parseDataType(p, e, value.type, kind);
    if (p == nullptr)
        return false;
    if (kind == DataKind::Dword)
        return parseDword(p, e, value.data);
    if (kind == DataKind::Hex)
        return parseHexData(p, e, cursor, value.data);
    // Plain ASCII up to the closing quote goes straight into UTF-16 bytes.
    const char* plainEnd = plainRunEnd(p, e, '"');
    if (plainEnd != e && *plainEnd == '"') {
        value.data = QByteArray((plainEnd - p + 1) * 2, '\0');
        char* out = value.data.data();
        for (; p != plainEnd; ++p, out += 2)
            *out = *p;
        return true;
    }
    QString text;
    if (parseEscaped(p, e, '"', text) == nullptr)
        return false;
    value.data = makeStringValue(text, value.type).data;
    return true;
}

} // namespace

bool LineCursor::next(const char*& lineBegin, const char*& lineEnd)
{
    if (pos >= end)
        return false;
    lineBegin = pos;
    const char* newline = static_cast<const char*>(memchr(pos, '\n', end - pos));
    lineEnd = newline != nullptr ? newline : end;
    pos = newline != nullptr ? newline + 1 : end;
    if (lineEnd != lineBegin && lineEnd[-1] == '\r')
        --lineEnd;
    return true;
}

bool parseValueLine(const char* b, const char* e, LineCursor& cursor, QString& name,
                    RegValue& value, bool& malformed)
{
    name.clear();
    const char* data = parseValueName(b, e, name);
    if (data == nullptr)
        return false;
    value = RegValue{};
    malformed = !parseData(data, e, &cursor, value);
    if (malformed)
        value = RegValue{};
    return true;
}

const char* parseValueLineName(const char* b, const char* e, QString& name)
{
    return parseValueName(b, e, name);
}

const char* keyNameEnd(const char* p, const char* e)
{
    for (const char* from = p; from != e;) {
        const auto* close = static_cast<const char*>(memchr(from, ']', size_t(e - from)));
        if (close == nullptr)
            return nullptr;
        const char* run = close;
        while (run != p && run[-1] == '\\')
            --run;
        if ((close - run) % 2 == 0)
            return memchr(p, '\0', size_t(close - p)) == nullptr ? close + 1 : nullptr;
        from = close + 1;
    }
    return nullptr;
}

const char* plainValueLineName(const char* b, const char* e, QByteArrayView& name)
{
    if (b == e || *b != '"')
        return nullptr;
    const char* q = plainRunEnd(b + 1, e, '"');
    if (q == e || *q != '"')
        return nullptr;
    const char* p = skipLineSpace(q + 1, e);
    if (p == e || *p != '=')
        return nullptr;
    name = QByteArrayView(b + 1, q - b - 1);
    return skipLineSpace(p + 1, e);
}

bool isOneLineData(const char* p, const char* e)
{
    uint32_t type = 0;
    DataKind kind = DataKind::Text;
    return parseDataType(p, e, type, kind) != nullptr && kind != DataKind::Hex;
}

bool parseOneLineData(const char* p, const char* e, RegValue& value)
{
    value = RegValue{};
    if (parseData(p, e, nullptr, value))
        return true;
    value = RegValue{};
    return false;
}

bool hexContinues(const char* b, const char* e)
{
    QString name;
    const char* p = parseValueName(b, e, name);
    if (p == nullptr)
        return false;
    DataKind kind = DataKind::Text;
    uint32_t type = 0;
    p = parseDataType(p, e, type, kind);
    if (p == nullptr || kind != DataKind::Hex)
        return false;
    QByteArray bytes;
    p = parseHexBytes(p, e, bytes);
    if (p == nullptr)
        return false;
    p = skipLineSpace(p, e);
    return p != e && *p == '\\';
}

namespace
{

void appendValueName(QByteArray& out, QStringView name)
{
    if (name.isEmpty()) {
        out += "@=";
    } else {
        out += '"';
        appendEscaped(out, name, "\"");
        out += "\"=";
    }
}

} // namespace

QByteArray valueLineNamed(const QByteArray& line, QStringView name)
{
    const char* b = line.constData();
    const char* e = b + line.size();
    const char* p = skipLineSpace(b, e);
    QString written;
    const char* data = p != e ? parseValueName(p, e, written) : nullptr;
    if (data == nullptr || written == name)
        return line;
    QByteArray out;
    appendValueName(out, name);
    out.append(data, e - data);
    return out;
}

void appendValueLine(QByteArray& out, QStringView name, const RegValue& value)
{
    const qsizetype lineStart = out.size();
    appendValueName(out, name);
    const QByteArray& data = value.data;
    const bool textKind =
        value.type == kRegSz || value.type == kRegExpandSz || value.type == kRegMultiSz;
    // Only properly terminated UTF-16 is written as a string.
    if (textKind && data.size() >= 2 && data.size() % 2 == 0 && data.back() == 0 &&
        data[data.size() - 2] == 0) {
        if (value.type != kRegSz)
            out += "str(" + QByteArray::number(value.type, 16) + "):";
        out += '"';
        appendEscaped(out, textFromUtf16Le(QByteArrayView(data).chopped(2)), "\"");
        out += "\"\n";
        return;
    }
    if (value.type == kRegDword && data.size() == 4) {
        out +=
            "dword:" + QByteArray::number(dwordFromBytes(data), 16).rightJustified(8, '0') + '\n';
        return;
    }
    out += value.type == kRegBinary ? QByteArray("hex:")
                                    : "hex(" + QByteArray::number(value.type, 16) + "):";
    // Wine counts the columns of the first line from the start of the value line.
    int count = int(out.size() - lineStart);
    static const char kDigits[] = "0123456789abcdef";
    for (qsizetype i = 0; i < data.size(); ++i) {
        const auto byte = static_cast<unsigned char>(data[i]);
        out += kDigits[byte >> 4];
        out += kDigits[byte & 15];
        count += 2;
        if (i < data.size() - 1) {
            out += ',';
            if (++count > 76) {
                out += "\\\n  ";
                count = 2;
            }
        }
    }
    out += '\n';
}

} // namespace nixora::hive
