#include "output/ListingWriter.h"

#include <QDateTime>
#include <QProcess>

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
    e.reason = phantom ? QStringLiteral("gone <now>") : QString();
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

    EXPECT_EQ(
        written(OutputFormat::Csv, rows),
        QByteArray("\xEF\xBB\xBF"
                   "Application Name,Uninstaller Location,Version,Phantom,Reason\r\n"
                   "\"A \"\"quoted\"\", name\",\"C:\\a\r\nb.exe\",\"1,0\",yes,gone <now>\r\n") +
            QStringLiteral("Ångström <b>,C:\\x.exe,,no,\r\n").toUtf8());

    const QString html =
        QString::fromUtf8(written(OutputFormat::Html, rows, QStringLiteral("/home/u/.wine & co"),
                                  QDateTime(QDate(2026, 1, 2), QTime(3, 4))));
    EXPECT_TRUE(html.contains(QStringLiteral("<h1>Add/Remove Programs entries of "
                                             "/home/u/.wine &amp; co, 2026-01-02 03:04</h1>")));
    EXPECT_TRUE(html.contains(QStringLiteral("<tr class=\"phantom\"><td>A &quot;quoted&quot;")));
    EXPECT_TRUE(html.contains(QStringLiteral("<tr><td>Ångström &lt;b&gt;</td>")));
    EXPECT_TRUE(html.contains(QStringLiteral("<td>yes</td><td>gone &lt;now&gt;</td></tr>")));
    EXPECT_FALSE(html.contains(QStringLiteral("<b>")));

    EXPECT_EQ(outputFormatOfFile(QStringLiteral("/tmp/list.HTM")), OutputFormat::Html);
    EXPECT_FALSE(outputFormatOfFile(QStringLiteral("/tmp/list.txt")).has_value());
}

// What a spreadsheet or a JSON reader does with hostile text: a cell that starts like a formula
// stays text, and a lone surrogate (possible in a registry name) does not make the whole
// document unreadable to a strict parser.
TEST(ListingWriter, CsvCellsNeverStartAFormulaAndJsonStaysStrict)
{
    const Entry formulas = entry(QStringLiteral("=HYPERLINK(\"x\")"), QStringLiteral("+1"),
                                 QStringLiteral("-2,3"), false);
    const Entry more = entry(QStringLiteral("@SUM(A1)"), QStringLiteral("\tC:\\x.exe"),
                             QStringLiteral("\r1"), false);
    EXPECT_EQ(written(OutputFormat::Csv, {&formulas, &more}).mid(3),
              QByteArray("Application Name,Uninstaller Location,Version,Phantom,Reason\r\n"
                         "\"'=HYPERLINK(\"\"x\"\")\",'+1,\"'-2,3\",no,\r\n"
                         "'@SUM(A1),'\tC:\\x.exe,\"'\r1\",no,\r\n"));

    const QString lone = QStringLiteral("App ") + QChar(0xd800) + QStringLiteral(" end");
    Entry broken = entry(lone, QStringLiteral("C:\\") + QChar(0xdc00), {}, false);
    broken.subkey = lone;
    QByteArray json;
    ListingWriter writer(OutputFormat::Json, [&json](QByteArrayView block) { json += block; });
    writer.field(QStringLiteral("prefix"), lone);
    writer.entry(broken, false);
    writer.status(QStringLiteral("status"), lone);
    writer.finish();
    QProcess jq;
    jq.start(QStringLiteral("jq"), {QStringLiteral("-r"), QStringLiteral(".entries[0].name")});
    ASSERT_TRUE(jq.waitForStarted()) << "jq is installed by the setup";
    jq.write(json);
    jq.closeWriteChannel();
    ASSERT_TRUE(jq.waitForFinished(10000));
    EXPECT_EQ(jq.exitCode(), 0) << jq.readAllStandardError().toStdString() << json.toStdString();
    EXPECT_EQ(QString::fromUtf8(jq.readAllStandardOutput()), QStringLiteral("App \uFFFD end\n"));
}

} // namespace
} // namespace nixora
