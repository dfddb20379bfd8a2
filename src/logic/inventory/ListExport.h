#pragma once

#include "ListViewModel.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <optional>
#include <vector>

namespace nixora
{

enum class ListExportFormat { Csv, Html };

// The format a file name asks for by its extension (.csv, .html or .htm, any case).
[[nodiscard]] std::optional<ListExportFormat> listExportFormatFor(const QString& fileName);

// The entry list's rows as shown: name, uninstaller, version and whether the row is a phantom.
// CSV: RFC 4180 quoting, CRLF line ends, UTF-8 with a byte order mark so that spreadsheets
// read the names right.
[[nodiscard]] QByteArray entryListCsv(const std::vector<const ListRow*>& rows);

// One self-contained HTML page: the prefix and the date in the heading, phantom rows marked.
[[nodiscard]] QByteArray entryListHtml(const std::vector<const ListRow*>& rows,
                                       const QString& prefixPath, const QDateTime& when);

// Writes the rows to `fileName` in the format its extension names, replacing the file as a
// whole. Returns an empty text on success, otherwise what went wrong.
[[nodiscard]] QString exportEntryList(const std::vector<const ListRow*>& rows,
                                      const QString& fileName, const QString& prefixPath,
                                      const QDateTime& when);

} // namespace nixora
