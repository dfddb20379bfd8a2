#include "ListExport.h"

#include <QFileInfo>
#include <QSaveFile>

#include <algorithm>

namespace nixora
{

namespace
{

[[nodiscard]] bool isPhantom(const ListRow& row)
{
    return row.cells[0].foreColor == kPhantomColor;
}

[[nodiscard]] QString csvField(const QString& text)
{
    if (!text.contains(u',') && !text.contains(u'"') && !text.contains(u'\n') &&
        !text.contains(u'\r'))
        return text;
    QString quoted = text;
    quoted.replace(u'"', QStringLiteral("\"\""));
    return u'"' + quoted + u'"';
}

} // namespace

std::optional<ListExportFormat> listExportFormatFor(const QString& fileName)
{
    const QString suffix = QFileInfo(fileName).suffix().toLower();
    if (suffix == u"csv")
        return ListExportFormat::Csv;
    if (suffix == u"html" || suffix == u"htm")
        return ListExportFormat::Html;
    return std::nullopt;
}

QByteArray entryListCsv(const std::vector<const ListRow*>& rows)
{
    QString text = QStringLiteral("Application Name,Uninstaller Location,Version,Phantom\r\n");
    for (const ListRow* row : rows) {
        for (const ListCell& cell : row->cells)
            text += csvField(cell.text) + u',';
        text += isPhantom(*row) ? QStringLiteral("yes\r\n") : QStringLiteral("no\r\n");
    }
    return QByteArray("\xEF\xBB\xBF") + text.toUtf8();
}

QByteArray entryListHtml(const std::vector<const ListRow*>& rows, const QString& prefixPath,
                         const QDateTime& when)
{
    const QString heading = QStringLiteral("Add/Remove Programs entries of %1, %2")
                                .arg(prefixPath, when.toString(QStringLiteral("yyyy-MM-dd HH:mm")))
                                .toHtmlEscaped();
    QString html =
        QStringLiteral(
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
                       "<th>Phantom</th></tr>\n");
    for (const ListRow* row : rows) {
        html += isPhantom(*row) ? QStringLiteral("<tr class=\"phantom\">") : QStringLiteral("<tr>");
        for (const ListCell& cell : row->cells)
            html += QStringLiteral("<td>") + cell.text.toHtmlEscaped() + QStringLiteral("</td>");
        html += isPhantom(*row) ? QStringLiteral("<td>yes</td></tr>\n")
                                : QStringLiteral("<td>no</td></tr>\n");
    }
    html += QStringLiteral("</table>\n<p>%1 entries, %2 phantom.</p>\n</body>\n</html>\n")
                .arg(rows.size())
                .arg(std::count_if(rows.begin(), rows.end(),
                                   [](const ListRow* row) { return isPhantom(*row); }));
    return html.toUtf8();
}

QString exportEntryList(const std::vector<const ListRow*>& rows, const QString& fileName,
                        const QString& prefixPath, const QDateTime& when)
{
    const std::optional<ListExportFormat> format = listExportFormatFor(fileName);
    if (!format)
        return QStringLiteral("Choose a file name that ends in .csv or .html.");
    const QByteArray bytes = *format == ListExportFormat::Csv
                                 ? entryListCsv(rows)
                                 : entryListHtml(rows, prefixPath, when);
    QSaveFile file(fileName);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit())
        return file.errorString();
    return {};
}

} // namespace nixora
