#include "inventory/ListExport.h"

#include <QDateTime>

#include <gtest/gtest.h>

namespace nixora
{
namespace
{

ListRow row(const QString& name, const QString& uninstaller, const QString& version, bool phantom)
{
    ListRow r;
    r.cells[0].text = name;
    r.cells[1].text = uninstaller;
    r.cells[2].text = version;
    r.cells[0].foreColor = phantom ? kPhantomColor : kDefaultForeColor;
    return r;
}

TEST(ListExport, CsvQuotesWhatNeedsItAndHtmlEscapesEveryText)
{
    const ListRow odd = row(QStringLiteral("A \"quoted\", name"), QStringLiteral("C:\\a\r\nb.exe"),
                            QStringLiteral("1,0"), true);
    const ListRow plain =
        row(QStringLiteral("Ångström <b>"), QStringLiteral("C:\\x.exe"), {}, false);
    const std::vector<const ListRow*> rows{&odd, &plain};

    EXPECT_EQ(entryListCsv(rows),
              QByteArray("\xEF\xBB\xBF"
                         "Application Name,Uninstaller Location,Version,Phantom\r\n"
                         "\"A \"\"quoted\"\", name\",\"C:\\a\r\nb.exe\",\"1,0\",yes\r\n") +
                  QStringLiteral("Ångström <b>,C:\\x.exe,,no\r\n").toUtf8());

    const QString html = QString::fromUtf8(entryListHtml(
        rows, QStringLiteral("/home/u/.wine & co"), QDateTime(QDate(2026, 1, 2), QTime(3, 4))));
    EXPECT_TRUE(html.contains(QStringLiteral("<h1>Add/Remove Programs entries of "
                                             "/home/u/.wine &amp; co, 2026-01-02 03:04</h1>")));
    EXPECT_TRUE(html.contains(QStringLiteral("<tr class=\"phantom\"><td>A &quot;quoted&quot;")));
    EXPECT_TRUE(html.contains(QStringLiteral("<tr><td>Ångström &lt;b&gt;</td>")));
    EXPECT_FALSE(html.contains(QStringLiteral("<b>")));

    EXPECT_EQ(listExportFormatFor(QStringLiteral("/tmp/list.HTM")), ListExportFormat::Html);
    EXPECT_FALSE(listExportFormatFor(QStringLiteral("/tmp/list.txt")).has_value());
}

} // namespace
} // namespace nixora
