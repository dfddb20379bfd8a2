#include "ListingOutput.h"

#include "HeadlessListing.h"

#include <QJsonDocument>

#include <cstdio>

namespace nixora
{

void ListingOutput::field(const QString& name, const QJsonValue& value)
{
    m_document.insert(name, value);
}

void ListingOutput::row(const QString& list, const QStringList& names, const QStringList& fields,
                        const QJsonObject& json)
{
    if (m_format == OutputFormat::Tsv) {
        printListingLine(fields);
        return;
    }
    QJsonObject object;
    for (qsizetype i = 0; i < names.size() && i < fields.size(); ++i)
        object.insert(names[i], fields[i]);
    for (auto it = json.begin(); it != json.end(); ++it)
        object.insert(it.key(), it.value());
    m_lists[list].append(object);
}

void ListingOutput::status(const QString& name, const QString& text)
{
    if (m_format == OutputFormat::Tsv)
        printListingLine({text});
    else
        m_document.insert(name, text);
}

void ListingOutput::declareList(const QString& list)
{
    m_lists.try_emplace(list);
}

void ListingOutput::finish()
{
    if (m_format == OutputFormat::Json) {
        for (const auto& [name, rows] : m_lists)
            m_document.insert(name, rows);
        const QByteArray text = QJsonDocument(m_document).toJson(QJsonDocument::Indented);
        std::fwrite(text.constData(), 1, static_cast<size_t>(text.size()), stdout);
    }
    std::fflush(stdout);
}

} // namespace nixora
