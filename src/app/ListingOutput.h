#pragma once

#include <QJsonArray>
#include <QJsonObject>
#include <QStringList>

#include <map>

namespace nixora
{

enum class OutputFormat { Tsv, Json };

// Where a headless run's rows and status lines go. As TSV each goes out at once, one line each
// (printListingLine); as JSON they are gathered into one document, written by finish(): the
// rows as arrays of objects with the given field names, each status as a field of its own.
class ListingOutput
{
public:
    explicit ListingOutput(OutputFormat format) : m_format(format) {}

    // A top-level field of the JSON document; nothing in TSV.
    void field(const QString& name, const QJsonValue& value);
    // A row of the list `list`: the TSV fields in order, or an object of `names` and `fields`
    // (`json` is merged over it, for fields that are not text).
    void row(const QString& list, const QStringList& names, const QStringList& fields,
             const QJsonObject& json = {});
    // A status line, or the field `name` holding it.
    void status(const QString& name, const QString& text);
    // Every list named so far stays in the document even when it holds no row.
    void declareList(const QString& list);
    void finish();

    [[nodiscard]] OutputFormat format() const { return m_format; }

private:
    OutputFormat m_format;
    QJsonObject m_document;
    std::map<QString, QJsonArray> m_lists;
};

} // namespace nixora
