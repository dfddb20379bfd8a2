#include "output/ListingWriter.h"

#include <QDateTime>

#include <gtest/gtest.h>

namespace nixora
{
namespace
{

Entry entry(const QString& name, const QString& uninstaller, const QString& version, bool phantom)
{
    Entry e;
    e.source = &entrySource(SourceKind::Machine);
    e.columns = {{{name, {}}, {uninstaller, {}}, {version, {}}}};
    e.verdict = phantom ? Verdict::Phantom : Verdict::Found;
    e.marked = phantom;
    return e;
}

QByteArray written(OutputFormat format, const std::vector<const Entry*>& entries,
                   const QString& prefixPath = {}, const QDateTime& when = {})
{
    QByteArray bytes;
    ListingWriter writer(format, [&bytes](QByteArrayView block) { bytes += block; });
    writer.beginEntryTable(prefixPath, when);
    for (const Entry* e : entries)
        writer.entry(*e, false);
    writer.finish();
    return bytes;
}

TEST(ListingWriter, CsvQuotesWhatNeedsItAndHtmlEscapesEveryText)
{
    const Entry odd = entry(QStringLiteral("A \"quoted\", name"), QStringLiteral("C:\\a\r\nb.exe"),
                            QStringLiteral("1,0"), true);
    const Entry plain =
        entry(QStringLiteral("Ångström <b>"), QStringLiteral("C:\\x.exe"), {}, false);
    const std::vector<const Entry*> rows{&odd, &plain};

    EXPECT_EQ(written(OutputFormat::Csv, rows),
              QByteArray("\xEF\xBB\xBF"
                         "Application Name,Uninstaller Location,Version,Phantom\r\n"
                         "\"A \"\"quoted\"\", name\",\"C:\\a\r\nb.exe\",\"1,0\",yes\r\n") +
                  QStringLiteral("Ångström <b>,C:\\x.exe,,no\r\n").toUtf8());

    const QString html =
        QString::fromUtf8(written(OutputFormat::Html, rows, QStringLiteral("/home/u/.wine & co"),
                                  QDateTime(QDate(2026, 1, 2), QTime(3, 4))));
    EXPECT_TRUE(html.contains(QStringLiteral("<h1>Add/Remove Programs entries of "
                                             "/home/u/.wine &amp; co, 2026-01-02 03:04</h1>")));
    EXPECT_TRUE(html.contains(QStringLiteral("<tr class=\"phantom\"><td>A &quot;quoted&quot;")));
    EXPECT_TRUE(html.contains(QStringLiteral("<tr><td>Ångström &lt;b&gt;</td>")));
    EXPECT_FALSE(html.contains(QStringLiteral("<b>")));

    EXPECT_EQ(outputFormatOfFile(QStringLiteral("/tmp/list.HTM")), OutputFormat::Html);
    EXPECT_FALSE(outputFormatOfFile(QStringLiteral("/tmp/list.txt")).has_value());
}

} // namespace
} // namespace nixora
