#include "output/ListingWriter.h"

#include "DurableFile.h"

#include <QFileInfo>
#include <QJsonDocument>

namespace nixora
{
namespace
{

// UTF-8 as QString::toUtf8 writes it: a surrogate without its partner becomes '?'.
char* appendUtf8(char* out, QStringView text)
{
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t c = text[i].unicode();
        if (c < 0x80) {
            *out++ = char(c);
        } else if (c < 0x800) {
            *out++ = char(0xc0 | (c >> 6));
            *out++ = char(0x80 | (c & 0x3f));
        } else if (QChar::isHighSurrogate(c) && i + 1 < n &&
                   QChar::isLowSurrogate(text[i + 1].unicode())) {
            const char32_t u = QChar::surrogateToUcs4(c, text[++i].unicode());
            *out++ = char(0xf0 | (u >> 18));
            *out++ = char(0x80 | ((u >> 12) & 0x3f));
            *out++ = char(0x80 | ((u >> 6) & 0x3f));
            *out++ = char(0x80 | (u & 0x3f));
        } else if (QChar::isSurrogate(c)) {
            *out++ = '?';
        } else {
            *out++ = char(0xe0 | (c >> 12));
            *out++ = char(0x80 | ((c >> 6) & 0x3f));
            *out++ = char(0x80 | (c & 0x3f));
        }
    }
    return out;
}

const QStringList kEntryNames{
    QStringLiteral("subkey"),     QStringLiteral("name"),    QStringLiteral("uninstaller"),
    QStringLiteral("version"),    QStringLiteral("nameTag"), QStringLiteral("uninstallerTag"),
    QStringLiteral("versionTag"), QStringLiteral("verdict"), QStringLiteral("bold"),
    QStringLiteral("source"),     QStringLiteral("reason")};

// A cell that starts with = + - @, a tab or a CR is a formula to a spreadsheet: an apostrophe in
// front keeps it text, as the common guidance against spreadsheet injection says.
[[nodiscard]] QString csvField(const QString& cell)
{
    static const QString kFormulaStarts = QStringLiteral("=+-@\t\r");
    const QString text =
        !cell.isEmpty() && kFormulaStarts.contains(cell.front()) ? u'\'' + cell : cell;
    if (!text.contains(u',') && !text.contains(u'"') && !text.contains(u'\n') &&
        !text.contains(u'\r'))
        return text;
    QString quoted = text;
    quoted.replace(u'"', QStringLiteral("\"\""));
    return u'"' + quoted + u'"';
}

[[nodiscard]] QString htmlHead(const QString& heading)
{
    return QStringLiteral(
               "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n<title>") +
           heading +
           QStringLiteral("</title>\n<style>\n"
                          "body { font-family: sans-serif; }\n"
                          "table { border-collapse: collapse; }\n"
                          "th, td { border: 1px solid #999; padding: 2px 6px; text-align: left; }\n"
                          "tr.phantom td { color: #c00000; font-weight: bold; }\n"
                          "</style>\n</head>\n<body>\n<h1>") +
           heading +
           QStringLiteral("</h1>\n<table>\n<tr><th>Application Name</th>"
                          "<th>Uninstaller Location</th><th>Version</th>"
                          "<th>Phantom</th><th>Reason</th></tr>\n");
}

} // namespace

std::optional<OutputFormat> outputFormatNamed(QStringView name)
{
    if (name == u"tsv")
        return OutputFormat::Tsv;
    if (name == u"json")
        return OutputFormat::Json;
    if (name == u"csv")
        return OutputFormat::Csv;
    if (name == u"html" || name == u"htm")
        return OutputFormat::Html;
    return std::nullopt;
}

std::optional<OutputFormat> outputFormatOfFile(const QString& fileName)
{
    return outputFormatNamed(QFileInfo(fileName).suffix().toLower());
}

namespace
{

// Units that would end a line for some reader or drive a terminal: the C0 and C1 control
// characters (NEL, U+0085, ends a line for some readers, CSI, U+009B, starts a terminal
// command) and the line and paragraph separators.
[[nodiscard]] constexpr bool needsEscape(char16_t c)
{
    return c < 0x20 || (c >= 0x7f && c <= 0x9f) || c == 0x2028 || c == 0x2029;
}

// "\xHH" for a control character, "\u2028" and "\u2029" for the separators.
char* appendEscape(char* out, char16_t c)
{
    static constexpr char kHex[] = "0123456789ABCDEF";
    *out++ = '\\';
    if (c > 0xff) {
        *out++ = 'u';
        for (int shift = 12; shift >= 0; shift -= 4)
            *out++ = kHex[(c >> shift) & 15];
        return out;
    }
    *out++ = 'x';
    *out++ = kHex[c >> 4];
    *out++ = kHex[c & 15];
    return out;
}

char* appendEscaped(char* out, QStringView field)
{
    qsizetype start = 0;
    for (qsizetype j = 0; j < field.size(); ++j) {
        const char16_t c = field[j].unicode();
        if (!needsEscape(c))
            continue;
        out = appendUtf8(out, field.mid(start, j - start));
        out = appendEscape(out, c);
        start = j + 1;
    }
    return appendUtf8(out, field.mid(start));
}

// A lone surrogate cannot be written as UTF-8, and JSON readers refuse its escape: it becomes
// U+FFFD, as a decoder shows it.
[[nodiscard]] QString withoutLoneSurrogates(const QString& text)
{
    QString result;
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = text[i];
        const bool pair = c.isHighSurrogate() && i + 1 < n && text[i + 1].isLowSurrogate();
        if (pair || !c.isSurrogate()) {
            if (!result.isNull())
                result += pair ? text.mid(i, 2) : QString(c);
            i += pair ? 1 : 0;
            continue;
        }
        if (result.isNull())
            result = text.left(i);
        result += QChar(QChar::ReplacementCharacter);
    }
    return result.isNull() ? text : result;
}

[[nodiscard]] QJsonValue jsonValue(const QJsonValue& value)
{
    if (value.isString())
        return withoutLoneSurrogates(value.toString());
    if (value.isArray()) {
        QJsonArray array;
        for (const QJsonValue& item : value.toArray())
            array.append(jsonValue(item));
        return array;
    }
    if (value.isObject()) {
        QJsonObject object;
        const QJsonObject source = value.toObject();
        for (auto it = source.begin(); it != source.end(); ++it)
            object.insert(withoutLoneSurrogates(it.key()), jsonValue(it.value()));
        return object;
    }
    return value;
}

} // namespace

// The line is encoded straight into one buffer.
QByteArray tsvLine(const QStringList& fields)
{
    qsizetype bytes = 1;
    for (const QString& field : fields)
        bytes += 6 * field.size() + 1; // a unit takes at most six bytes (an escape: "\u2028")
    QByteArray line(bytes, Qt::Uninitialized);
    char* out = line.data();
    for (qsizetype i = 0; i < fields.size(); ++i) {
        if (i > 0)
            *out++ = '\t';
        out = appendEscaped(out, fields[i]);
    }
    *out++ = '\n';
    line.truncate(out - line.constData());
    return line;
}

QByteArray escapedText(QStringView text)
{
    QByteArray bytes(6 * text.size(), Qt::Uninitialized);
    bytes.truncate(appendEscaped(bytes.data(), text) - bytes.constData());
    return bytes;
}

ListingWriter::ListingWriter(OutputFormat format, Sink sink)
    : m_format(format), m_sink(std::move(sink))
{
}

void ListingWriter::field(const QString& name, const QJsonValue& value)
{
    if (m_format == OutputFormat::Json)
        m_document.insert(name, jsonValue(value));
}

void ListingWriter::row(const QString& list, const QStringList& names, const QStringList& fields,
                        const QJsonObject& json)
{
    if (m_format == OutputFormat::Tsv) {
        write(tsvLine(fields));
    } else if (m_format == OutputFormat::Json) {
        QJsonObject object;
        for (qsizetype i = 0; i < names.size() && i < fields.size(); ++i)
            object.insert(names[i], withoutLoneSurrogates(fields[i]));
        for (auto it = json.begin(); it != json.end(); ++it)
            object.insert(it.key(), jsonValue(it.value()));
        m_lists[list].append(object);
    }
}

void ListingWriter::status(const QString& name, const QString& text)
{
    if (m_format == OutputFormat::Tsv)
        write(tsvLine({text}));
    else if (m_format == OutputFormat::Json)
        m_document.insert(name, withoutLoneSurrogates(text));
}

void ListingWriter::declareList(const QString& list)
{
    m_lists.try_emplace(list);
}

void ListingWriter::beginEntryTable(const QString& prefixPath, const QDateTime& when)
{
    if (m_format == OutputFormat::Csv) {
        write(QByteArray("\xEF\xBB\xBF") +
              QStringLiteral("Application Name,Uninstaller Location,Version,Phantom,Reason\r\n")
                  .toUtf8());
    } else if (m_format == OutputFormat::Html) {
        const QString heading =
            QStringLiteral("Add/Remove Programs entries of %1, %2")
                .arg(prefixPath, when.toString(QStringLiteral("yyyy-MM-dd HH:mm")))
                .toHtmlEscaped();
        write(htmlHead(heading).toUtf8());
    }
}

void ListingWriter::entry(const Entry& entry, bool bold)
{
    ++m_entries;
    m_phantoms += entry.marked ? 1 : 0;
    const auto& [name, uninstaller, version] = entry.columns;
    if (m_format == OutputFormat::Csv) {
        QString line;
        for (const EntryColumn& column : entry.columns)
            line += csvField(column.text) + u',';
        line += entry.marked ? QStringLiteral("yes,") : QStringLiteral("no,");
        line += csvField(entry.reason) + QStringLiteral("\r\n");
        write(line.toUtf8());
    } else if (m_format == OutputFormat::Html) {
        QString line =
            entry.marked ? QStringLiteral("<tr class=\"phantom\">") : QStringLiteral("<tr>");
        for (const EntryColumn& column : entry.columns)
            line += QStringLiteral("<td>") + column.text.toHtmlEscaped() + QStringLiteral("</td>");
        line += entry.marked ? QStringLiteral("<td>yes</td>") : QStringLiteral("<td>no</td>");
        line +=
            QStringLiteral("<td>") + entry.reason.toHtmlEscaped() + QStringLiteral("</td></tr>\n");
        write(line.toUtf8());
    } else {
        row(QStringLiteral("entries"), kEntryNames,
            {entry.subkey, name.text, uninstaller.text, version.text, name.tag, uninstaller.tag,
             version.tag, verdictName(entry.verdict),
             bold ? QStringLiteral("1") : QStringLiteral("0"), entry.source->label, entry.reason},
            {{QStringLiteral("bold"), bold}});
    }
}

void ListingWriter::finish()
{
    if (m_format == OutputFormat::Json) {
        for (const auto& [name, rows] : m_lists)
            m_document.insert(name, rows);
        write(QJsonDocument(m_document).toJson(QJsonDocument::Indented));
    } else if (m_format == OutputFormat::Html) {
        write(QStringLiteral("</table>\n<p>%1 entries, %2 phantom.</p>\n</body>\n</html>\n")
                  .arg(m_entries)
                  .arg(m_phantoms)
                  .toUtf8());
    }
}

QString exportEntryList(const std::vector<const Entry*>& entries, const QString& fileName,
                        const QString& prefixPath, const QDateTime& when)
{
    const std::optional<OutputFormat> format = outputFormatOfFile(fileName);
    if (format != OutputFormat::Csv && format != OutputFormat::Html)
        return QStringLiteral("Choose a file name that ends in .csv or .html.");
    QByteArray bytes;
    ListingWriter writer(*format, [&bytes](QByteArrayView block) { bytes += block; });
    writer.beginEntryTable(prefixPath, when);
    for (const Entry* entry : entries)
        writer.entry(*entry, false);
    writer.finish();
    return replaceFileDurably(fileName, bytes);
}

} // namespace nixora
