#pragma once

#include "Entry.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonObject>
#include <QStringList>

#include <functional>
#include <map>
#include <optional>
#include <vector>

namespace nixora
{

// Every output of the program's lists goes through ListingWriter: the listings on stdout (tsv,
// json) and File > Export List... (csv, html).
enum class OutputFormat { Tsv, Json, Csv, Html };

// The format a name stands for: "tsv", "json", "csv", "html" or "htm"; nothing for others.
[[nodiscard]] std::optional<OutputFormat> outputFormatNamed(QStringView name);
// The format a file name asks for by its extension, in any case.
[[nodiscard]] std::optional<OutputFormat> outputFormatOfFile(const QString& fileName);

// One tab-separated line with its line feed, UTF-8. Control characters in a field (below
// U+0020, and U+007F to U+009F) are written as \xHH, U+2028 and U+2029 as \u2028 and \u2029,
// so that a field can neither break the one-row-per-line layout for any line reader nor drive
// a terminal. Backslashes stay as they are (paths read as paths); JSON is the lossless form.
[[nodiscard]] QByteArray tsvLine(const QStringList& fields);

// A text escaped the same way, for a message on stderr.
[[nodiscard]] QByteArray escapedText(QStringView text);

// Writes rows and status lines in one format. As TSV each goes out at once, one line each; as
// JSON they are gathered into one document, written by finish(): the rows as arrays of objects
// with the given field names, each status as a field of its own (a lone surrogate, which no
// JSON reader takes, becomes U+FFFD). CSV and HTML hold the entry list alone: a header, one row
// per entry, and (HTML) the counts at the end.
class ListingWriter
{
public:
    using Sink = std::function<void(QByteArrayView)>;
    ListingWriter(OutputFormat format, Sink sink);

    [[nodiscard]] OutputFormat format() const { return m_format; }

    // A top-level field of the JSON document; nothing in the other formats.
    void field(const QString& name, const QJsonValue& value);
    // A row of the list `list`: the TSV fields in order, or an object of `names` and `fields`
    // (`json` is merged over it, for fields that are not text). CSV and HTML write none.
    void row(const QString& list, const QStringList& names, const QStringList& fields,
             const QJsonObject& json = {});
    // A status line, or the field `name` holding it.
    void status(const QString& name, const QString& text);
    // Every list named so far stays in the document even when it holds no row.
    void declareList(const QString& list);

    // The heading of a CSV or HTML table: the HTML page names the prefix and the date.
    void beginEntryTable(const QString& prefixPath, const QDateTime& when);
    // One entry of the entry list, in every format; `bold` is its row's bold state.
    void entry(const Entry& entry, bool bold);

    void finish();

private:
    void write(const QByteArray& bytes) { m_sink(bytes); }

    OutputFormat m_format;
    Sink m_sink;
    QJsonObject m_document;
    std::map<QString, QJsonArray> m_lists;
    int m_entries = 0;
    int m_phantoms = 0;
};

// The entries as the format of `fileName` writes them, replacing the file as a whole. Empty
// on success, otherwise what went wrong.
[[nodiscard]] QString exportEntryList(const std::vector<const Entry*>& entries,
                                      const QString& fileName, const QString& prefixPath,
                                      const QDateTime& when);

} // namespace nixora
