#include "RegFileWriter.h"
#include "RegFileFormat.h"

#include <QStringList>

#include <utility>
#include <vector>

namespace nixora
{
namespace
{

constexpr int kMaxLineLength = 80;
constexpr char kLineEnd[] = "\r\n";

// The text of REG_SZ data when a quoted string can carry it exactly: one terminating NUL,
// no other NUL, no line breaks, well-formed UTF-16 (so UTF-8 carries it unchanged).
[[nodiscard]] std::optional<QString> quotableText(const QByteArray& data)
{
    if (data.size() < 2 || data.size() % 2 != 0)
        return std::nullopt;
    QString text = textFromUtf16Le(data);
    if (text.back() != QChar(0))
        return std::nullopt;
    text.chop(1);
    for (const QChar c : text) {
        if (c == QChar(0) || c == u'\r' || c == u'\n')
            return std::nullopt;
    }
    if (!QStringView(text).isValidUtf16())
        return std::nullopt;
    return text;
}

// REG_EXPAND_SZ and REG_MULTI_SZ data as REGEDIT4 holds it: 8-bit text, NULs included;
// data that is not well-formed UTF-16 as its stored bytes behind the mark.
[[nodiscard]] QByteArray eightBitText(const QByteArray& data)
{
    if (data.size() % 2 == 0) {
        const QString text = textFromUtf16Le(data);
        if (QStringView(text).isValidUtf16())
            return text.toUtf8();
    }
    return kStoredBytesMark.toByteArray() + data;
}

[[nodiscard]] QByteArray quoted(const QString& text)
{
    QString out = QStringLiteral("\"");
    for (const QChar c : text) {
        switch (c.unicode()) {
        case u'\\':
            out += QStringLiteral("\\\\");
            break;
        case u'"':
            out += QStringLiteral("\\\"");
            break;
        case u'\n':
            out += QStringLiteral("\\n");
            break;
        case u'\r':
            out += QStringLiteral("\\r");
            break;
        case 0:
            out += QStringLiteral("\\0");
            break;
        default:
            out += c;
        }
    }
    out += u'"';
    return out.toUtf8();
}

// Bytes as comma-separated hex pairs after `lead`, continued with a trailing backslash and two
// blanks of indent whenever a line would pass 80 columns.
void appendHex(QByteArray& out, QByteArray line, const QByteArray& data)
{
    for (qsizetype i = 0; i < data.size(); ++i) {
        QByteArray token = QByteArray::number(uchar(data[i]), 16).rightJustified(2, '0');
        if (i + 1 < data.size())
            token += ',';
        if (line.size() + token.size() > kMaxLineLength - 1 && line != "  ") {
            out += line + '\\' + kLineEnd;
            line = "  ";
        }
        line += token;
    }
    out += line + kLineEnd;
}

void appendValue(QByteArray& out, const RegNamedValue& named)
{
    const QByteArray lead = named.name.isEmpty() ? QByteArray("@=") : quoted(named.name) + '=';
    const RegValue& value = named.value;
    if (value.type == kRegSz) {
        if (const auto text = quotableText(value.data)) {
            out += lead + quoted(*text) + kLineEnd;
            return;
        }
    }
    if (value.type == kRegDword && value.data.size() == 4) {
        const uint32_t number = dwordFromBytes(value.data);
        out += lead + "dword:" + QByteArray::number(number, 16).rightJustified(8, '0') + kLineEnd;
        return;
    }
    const QByteArray kind = value.type == kRegBinary
                                ? QByteArray("hex:")
                                : "hex(" + QByteArray::number(value.type, 16) + "):";
    const bool text = value.type == kRegExpandSz || value.type == kRegMultiSz;
    appendHex(out, lead + kind, text ? eightBitText(value.data) : value.data);
}

[[nodiscard]] bool fitsHeader(const QString& name)
{
    if (name.isEmpty() || name.contains(u'\\') || !QStringView(name).isValidUtf16())
        return false;
    return !name.contains(u'\r') && !name.contains(u'\n');
}

[[nodiscard]] bool appendValues(QByteArray& out, const QString& header, const RegKeySnapshot& key,
                                QString& error)
{
    out += QByteArray(kLineEnd) + '[' + header.toUtf8() + ']' + kLineEnd;
    for (const RegNamedValue& named : key.values) {
        if (!QStringView(named.name).isValidUtf16()) {
            error = QStringLiteral("value name in %1 cannot be written").arg(header);
            return false;
        }
        appendValue(out, named);
    }
    return true;
}

// Keys depth first, each before its subkeys, with a stack of our own rather than a call per
// level.
[[nodiscard]] bool appendKey(QByteArray& out, const QString& header, const RegKeySnapshot& top,
                             QString& error)
{
    std::vector<std::pair<const RegKeySnapshot*, QString>> stack{{&top, header}};
    while (!stack.empty()) {
        auto [key, path] = std::move(stack.back());
        stack.pop_back();
        if (!appendValues(out, path, *key, error))
            return false;
        for (auto it = key->subkeys.rbegin(); it != key->subkeys.rend(); ++it) {
            if (!fitsHeader(it->name)) {
                error = QStringLiteral("key name below %1 cannot be written").arg(path);
                return false;
            }
            stack.emplace_back(&*it, path + u'\\' + it->name);
        }
    }
    return true;
}

// The root as a .reg file names it.
[[nodiscard]] QString regRootName(RegRoot root)
{
    return root == RegRoot::LocalMachine ? QStringLiteral("HKEY_LOCAL_MACHINE")
                                         : QStringLiteral("HKEY_CURRENT_USER");
}

} // namespace

RegExportText writeRegText(RegRoot root, const QString& path, const RegKeySnapshot& key)
{
    RegExportText result;
    const QStringList parts = path.split(u'\\', Qt::SkipEmptyParts);
    for (const QString& part : parts) {
        if (!fitsHeader(part)) {
            result.error = QStringLiteral("key name cannot be written: %1").arg(path);
            return result;
        }
    }
    QString header = regRootName(root);
    if (!parts.isEmpty())
        header += u'\\' + parts.join(u'\\');
    result.bytes = QByteArray("REGEDIT4") + kLineEnd + kEightBitTextLine.toByteArray() + kLineEnd;
    if (!appendKey(result.bytes, header, key, result.error)) {
        result.bytes.clear();
        return result;
    }
    result.bytes += kLineEnd;
    return result;
}

} // namespace nixora
