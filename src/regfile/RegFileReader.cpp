#include "RegFileReader.h"
#include "RegFileFormat.h"

#include "HiveText.h"
#include "RegularFile.h"
#include "TextUtil.h"

#include <QFile>
#include <QStringDecoder>

#include <utility>

namespace nixora
{
namespace
{

const QString kRegedit4 = QStringLiteral("REGEDIT4");
const QString kRegedit5 = QStringLiteral("Windows Registry Editor Version 5.00");

// A line ends at CR LF, at a lone CR or at a lone LF.
template <typename Text, typename OnLine> void splitLines(const Text& text, OnLine onLine)
{
    qsizetype start = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] != '\r' && text[i] != '\n')
            continue;
        onLine(text.mid(start, i - start));
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
            ++i;
        start = i + 1;
    }
    if (start < text.size())
        onLine(text.mid(start));
}

// Decodes the file into lines; a line that is not UTF-8 gives its number back.
int decodeLines(const QByteArray& bytes, std::vector<QString>& lines)
{
    if (bytes.startsWith("\xff\xfe")) {
        QStringDecoder decoder(QStringConverter::Utf16LE);
        const QString text = decoder(QByteArrayView(bytes).sliced(2));
        splitLines(text, [&](const QString& line) { lines.push_back(line); });
        return 0;
    }
    const QByteArray body = bytes.startsWith("\xef\xbb\xbf") ? bytes.mid(3) : bytes;
    int badLine = 0;
    splitLines(body, [&](const QByteArray& line) {
        QStringDecoder decoder(QStringConverter::Utf8);
        lines.push_back(decoder(line));
        if (decoder.hasError() && badLine == 0)
            badLine = int(lines.size());
    });
    return badLine;
}

class RegParser
{
public:
    RegParseResult run(const std::vector<QString>& lines);

private:
    enum class State { Header, Body, HexContinuation };

    bool parseHeader(QStringView line);
    bool parseBodyLine(QStringView line);
    bool parseContinuation(QStringView line);
    bool parseKeyHeader(QStringView line);
    bool parseValueLine(QStringView line);
    bool parseData(QStringView data, RegChange change);
    bool parseHexData(QStringView data, RegChange change);
    bool finishHexValue(RegChange change);
    bool takeQuoted(QStringView& text, QString& out);
    bool appendHexBytes(QStringView text, QByteArray& out, bool& continues);
    bool fail(const QString& what);

    State m_state = State::Header;
    bool m_eightBitText = false;     // hex(2) and hex(7) hold 8-bit text (RegFileFormat.h)
    std::optional<RegKeyPath> m_key; // none before the first header and after a deletion header
    bool m_keyDeleted = false;
    RegChange m_pendingHex;
    RegParseResult m_result;
    int m_line = 0;
};

RegParseResult RegParser::run(const std::vector<QString>& lines)
{
    m_eightBitText = lines.size() > 1 && trimBlanks(lines[0]) == kRegedit4 &&
                     lines[1] == QLatin1StringView(kEightBitTextLine);
    for (const QString& line : lines) {
        ++m_line;
        bool ok = false;
        switch (m_state) {
        case State::Header:
            ok = parseHeader(line);
            break;
        case State::Body:
            ok = parseBodyLine(line);
            break;
        case State::HexContinuation:
            ok = parseContinuation(line);
            break;
        }
        if (!ok)
            return m_result;
    }
    if (m_state == State::Header)
        fail(QStringLiteral("empty file, expected a REGEDIT4 header"));
    else if (m_state == State::HexContinuation)
        fail(QStringLiteral("hex data continues past the end of the file"));
    return m_result;
}

bool RegParser::fail(const QString& what)
{
    m_result.changes.clear();
    m_result.errorLine = m_line;
    m_result.error = what;
    return false;
}

bool RegParser::parseHeader(QStringView line)
{
    const QStringView header = trimBlanks(line);
    if (header != kRegedit4 && header != kRegedit5)
        return fail(QStringLiteral("not a registry file: the first line must be REGEDIT4 or "
                                   "\"Windows Registry Editor Version 5.00\""));
    m_state = State::Body;
    return true;
}

bool RegParser::parseBodyLine(QStringView line)
{
    const QStringView text = skipBlanks(line);
    if (text.isEmpty() || text.front() == u';')
        return true;
    if (text.front() == u'[')
        return parseKeyHeader(text);
    if (text.front() == u'@' || text.front() == u'"')
        return parseValueLine(text);
    return fail(QStringLiteral("unrecognised line"));
}

bool RegParser::parseKeyHeader(QStringView line)
{
    const qsizetype close = line.lastIndexOf(u']');
    if (close < 0 || !trimBlanks(line.mid(close + 1)).isEmpty())
        return fail(QStringLiteral("key header without its closing ]"));
    QStringView name = line.mid(1, close - 1);
    const bool deletion = name.startsWith(u'-');
    if (deletion)
        name = name.mid(1);
    const auto key = parseRegKeyPath(name.toString());
    if (!key)
        return fail(QStringLiteral("bad key name: %1").arg(name));
    if (deletion && key->path.isEmpty())
        return fail(QStringLiteral("a root key cannot be deleted"));
    m_key = key;
    m_keyDeleted = deletion;
    RegChange change;
    change.kind = deletion ? RegChange::Kind::DeleteTree : RegChange::Kind::CreateKey;
    change.root = key->root;
    change.path = key->path;
    m_result.changes.push_back(std::move(change));
    return true;
}

bool RegParser::parseValueLine(QStringView line)
{
    if (!m_key || m_keyDeleted)
        return fail(m_keyDeleted ? QStringLiteral("value under a deleted key")
                                 : QStringLiteral("value before the first key header"));
    RegChange change;
    change.root = m_key->root;
    change.path = m_key->path;
    QStringView rest = line;
    if (rest.front() == u'@')
        rest = rest.mid(1);
    else if (!takeQuoted(rest, change.name))
        return false;
    rest = skipBlanks(rest);
    if (!rest.startsWith(u'='))
        return fail(QStringLiteral("expected = after the value name"));
    return parseData(skipBlanks(rest.mid(1)), std::move(change));
}

bool RegParser::parseData(QStringView data, RegChange change)
{
    if (trimBlanks(data) == u"-") {
        change.kind = RegChange::Kind::DeleteValue;
        m_result.changes.push_back(std::move(change));
        return true;
    }
    change.kind = RegChange::Kind::SetValue;
    if (data.startsWith(u'"')) {
        QString text;
        if (!takeQuoted(data, text))
            return false;
        if (!trimBlanks(data).isEmpty())
            return fail(QStringLiteral("text after the closing quote"));
        change.value = makeStringValue(text);
        m_result.changes.push_back(std::move(change));
        return true;
    }
    if (data.startsWith(u"dword:", Qt::CaseInsensitive)) {
        const QStringView digits = trimBlanks(data.mid(6));
        bool ok = false;
        const uint32_t number = digits.size() <= 8 ? digits.toUInt(&ok, 16) : 0;
        if (!ok || digits.isEmpty() || digits.front() == u'+' || digits.front() == u'-')
            return fail(QStringLiteral("bad dword value"));
        change.value = makeDwordValue(number);
        m_result.changes.push_back(std::move(change));
        return true;
    }
    return parseHexData(data, std::move(change));
}

bool RegParser::parseHexData(QStringView data, RegChange change)
{
    uint32_t kind = kRegBinary;
    if (data.startsWith(u"hex:", Qt::CaseInsensitive)) {
        data = data.mid(4);
    } else if (data.startsWith(u"hex(", Qt::CaseInsensitive)) {
        const qsizetype close = data.indexOf(u"):");
        const QStringView digits = close > 4 ? data.mid(4, close - 4) : QStringView();
        bool ok = false;
        kind = digits.size() <= 8 ? digits.toUInt(&ok, 16) : 0;
        if (!ok || digits.front() == u'+' || digits.front() == u'-')
            return fail(QStringLiteral("bad value kind in hex(...)"));
        data = data.mid(close + 2);
    } else {
        return fail(QStringLiteral("unrecognised value data"));
    }
    change.value.type = kind;
    bool continues = false;
    if (!appendHexBytes(data, change.value.data, continues))
        return false;
    if (continues) {
        m_pendingHex = std::move(change);
        m_state = State::HexContinuation;
        return true;
    }
    return finishHexValue(std::move(change));
}

bool RegParser::finishHexValue(RegChange change)
{
    RegValue& value = change.value;
    if (m_eightBitText && (value.type == kRegExpandSz || value.type == kRegMultiSz)) {
        if (value.data.startsWith(kStoredBytesMark)) {
            value.data.remove(0, kStoredBytesMark.size());
        } else {
            // U+FEFF at the front is text here, not a byte-order mark.
            QStringDecoder decoder(QStringConverter::Utf8,
                                   QStringConverter::Flag::ConvertInitialBom);
            const QString text = decoder(value.data);
            if (decoder.hasError())
                return fail(QStringLiteral("hex(%1) data is not UTF-8 text").arg(value.type));
            value.data = makeStringValue(text, value.type).data.chopped(2);
        }
    }
    m_result.changes.push_back(std::move(change));
    return true;
}

bool RegParser::parseContinuation(QStringView line)
{
    if (trimBlanks(line).isEmpty())
        return fail(QStringLiteral("hex data continued with an empty line"));
    bool continues = false;
    if (!appendHexBytes(line, m_pendingHex.value.data, continues))
        return false;
    if (!continues) {
        m_state = State::Body;
        return finishHexValue(std::exchange(m_pendingHex, {}));
    }
    return true;
}

// "00,1f,ff" with an optional trailing comma and an optional trailing backslash that continues
// the data on the next line.
bool RegParser::appendHexBytes(QStringView text, QByteArray& out, bool& continues)
{
    text = trimBlanks(text);
    continues = text.endsWith(u'\\');
    if (continues)
        text = trimBlanks(text.chopped(1));
    if (text.endsWith(u','))
        text = text.chopped(1);
    if (text.isEmpty())
        return true;
    for (const QStringView token : text.split(u',')) {
        const QStringView digits = trimBlanks(token);
        bool ok = digits.size() == 1 || digits.size() == 2;
        const uint byte = ok ? digits.toUInt(&ok, 16) : 0;
        if (!ok || digits.front() == u'+')
            return fail(QStringLiteral("bad hex byte \"%1\"").arg(token));
        out += char(byte);
    }
    return true;
}

// Reads a quoted string at the front of `text` and moves `text` past its closing quote.
bool RegParser::takeQuoted(QStringView& text, QString& out)
{
    out.clear();
    for (qsizetype i = 1; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c == u'"') {
            text = text.mid(i + 1);
            return true;
        }
        if (c != u'\\') {
            out += c;
            continue;
        }
        if (++i >= text.size())
            break;
        switch (text[i].unicode()) {
        case u'\\':
            out += u'\\';
            break;
        case u'"':
            out += u'"';
            break;
        case u'n':
            out += u'\n';
            break;
        case u'r':
            out += u'\r';
            break;
        case u'0':
            out += QChar(0);
            break;
        default:
            return fail(QStringLiteral("unknown escape \\%1 in a quoted string").arg(text[i]));
        }
    }
    return fail(QStringLiteral("unterminated quoted string"));
}

} // namespace

std::optional<RegKeyPath> parseRegKeyPath(const QString& text)
{
    const qsizetype slash = text.indexOf(u'\\');
    const QString rootName = slash < 0 ? text : text.left(slash);
    RegKeyPath key;
    if (hive::sameName(rootName, u"HKEY_LOCAL_MACHINE") || hive::sameName(rootName, u"HKLM"))
        key.root = RegRoot::LocalMachine;
    else if (hive::sameName(rootName, u"HKEY_CURRENT_USER") || hive::sameName(rootName, u"HKCU"))
        key.root = RegRoot::CurrentUser;
    else
        return std::nullopt;
    if (slash < 0)
        return key;
    key.path = text.mid(slash + 1);
    for (const QStringView part : QStringView(key.path).split(u'\\')) {
        if (part.isEmpty() || part.contains(QChar(u'\0')))
            return std::nullopt;
    }
    return key;
}

RegParseResult parseRegText(const QByteArray& bytes)
{
    std::vector<QString> lines;
    if (const int badLine = decodeLines(bytes, lines)) {
        RegParseResult result;
        result.errorLine = badLine;
        result.error = QStringLiteral("not valid UTF-8");
        return result;
    }
    return RegParser().run(lines);
}

RegParseResult readRegFile(const QString& fileName)
{
    QByteArray bytes;
    const FileRead read = readRegularFile(fileName, kMaxRegFileSize, bytes);
    if (!read.ok()) {
        RegParseResult result;
        result.error = read.status == FileReadStatus::TooLarge
                           ? QStringLiteral("file too large for a registry file (more than %1 "
                                            "bytes)")
                                 .arg(kMaxRegFileSize)
                           : read.error;
        return result;
    }
    return parseRegText(bytes);
}

} // namespace nixora
