#include "inventory/UninstallStringCheck.h"
#include "inventory/EntryTags.h"

#include <gtest/gtest.h>

#include <QSet>
#include <QStringList>

#include <ostream>

inline void PrintTo(const QString& text, std::ostream* out)
{
    *out << '"' << text.toStdString() << '"';
}

namespace nixora
{
namespace
{

// Stands in for the prefix query: a path exists when it is in the set (letter case ignored).
// It records every path it was asked about.
class SetFileQuery final : public FileQuery
{
public:
    explicit SetFileQuery(const QStringList& existing)
    {
        for (const QString& path : existing)
            m_existing.insert(path.toCaseFolded());
    }
    [[nodiscard]] std::optional<QString> findFirstFile(const QString& windowsPath) override
    {
        asked.insert(windowsPath);
        if (m_existing.contains(windowsPath.toCaseFolded()))
            return windowsPath.section(u'\\', -1);
        return std::nullopt;
    }
    QSet<QString> asked;

private:
    QSet<QString> m_existing;
};

enum class Verdict { Plain, Found, Phantom };

struct CheckCase {
    const char* name;
    const char* command;
    QStringList existing;
    Verdict verdict;
    QStringList mustAsk = {}; // paths the check has to test
    QStringList mustNotAsk = {};
};

void PrintTo(const CheckCase& c, std::ostream* out)
{
    *out << c.name;
}

Verdict checkedVerdict(const QString& command, FileQuery& files)
{
    switch (checkUninstallString(command, files).outcome) {
    case UninstallStringCheck::Outcome::Plain:
        return Verdict::Plain;
    case UninstallStringCheck::Outcome::Found:
        return Verdict::Found;
    default:
        return Verdict::Phantom;
    }
}

class UninstallStringCheckTest : public testing::TestWithParam<CheckCase>
{
};

TEST_P(UninstallStringCheckTest, Verdict)
{
    const CheckCase& c = GetParam();
    ListViewModel list;
    ListRow* row = list.addRow("rekisteriavainApp", "App");
    SetFileQuery files(c.existing);
    EXPECT_EQ(checkedVerdict(QString::fromUtf8(c.command), files), c.verdict);
    TarkistaPoistoohjelmanTiedostot(list, row, QString::fromUtf8(c.command), files, true);

    const QString expectedTip = c.verdict == Verdict::Plain   ? tags::kTipPlain
                                : c.verdict == Verdict::Found ? tags::kTipFound
                                                              : tags::kTipMissing;
    for (const ListCell& cell : row->cells) {
        EXPECT_EQ(cell.toolTip, expectedTip);
        EXPECT_EQ(cell.foreColor,
                  c.verdict == Verdict::Phantom ? kPhantomColor : kDefaultForeColor);
        EXPECT_EQ(cell.bold, c.verdict == Verdict::Phantom);
    }
    EXPECT_EQ(row->cells[0].text, "App"); // the check never touches texts or tags
    EXPECT_TRUE(row->cells[0].tag.isEmpty());
    for (const QString& path : c.mustAsk)
        EXPECT_TRUE(files.asked.contains(path)) << path.toStdString();
    for (const QString& path : c.mustNotAsk)
        EXPECT_FALSE(files.asked.contains(path)) << path.toStdString();
}

const QString kApp = QStringLiteral("C:\\Program Files\\App\\uninstall.exe");

INSTANTIATE_TEST_SUITE_P(
    Commands, UninstallStringCheckTest,
    testing::Values(
        CheckCase{"Empty", "", {}, Verdict::Plain},
        CheckCase{"MsiExecNeverPhantom", "MsiExec.exe /X{1234-5678}", {}, Verdict::Found},
        CheckCase{"BareProgramName", "uninst.exe /S", {}, Verdict::Found},
        CheckCase{"PathWithoutDotNeverTested", "C:\\Tools\\remover", {}, Verdict::Found},
        CheckCase{"QuotedWithSwitch",
                  "\"C:\\Program Files\\App\\uninstall.exe\" /S",
                  {kApp},
                  Verdict::Found,
                  {kApp},
                  {"/S", " /S"}},
        CheckCase{
            "QuotedMissing", "\"C:\\Program Files\\App\\uninstall.exe\" /S", {}, Verdict::Phantom},
        CheckCase{"UnquotedExisting",
                  "C:\\Program Files\\App\\uninst.exe",
                  {"C:\\Program Files\\App\\uninst.exe"},
                  Verdict::Found,
                  {},
                  {"C:\\Program"}},
        CheckCase{"UnquotedMissingCutToFirstWord",
                  "C:\\Program Files\\Gone\\unins000.exe",
                  {"C:\\Program Files\\Gone"},
                  Verdict::Phantom,
                  {"C:\\Program"}},
        CheckCase{"IsUninstNestedFound",
                  "C:\\WINDOWS\\IsUninst.exe -fC:\\Program Files\\App\\DeIsL1.isu",
                  {"C:\\WINDOWS\\IsUninst.exe", "C:\\Program Files\\App\\DeIsL1.isu"},
                  Verdict::Found,
                  {"C:\\Program Files\\App\\DeIsL1.isu"}},
        CheckCase{"IsUninstNestedMissing",
                  "C:\\WINDOWS\\IsUninst.exe -fC:\\Program Files\\App\\DeIsL1.isu",
                  {"C:\\WINDOWS\\IsUninst.exe"},
                  Verdict::Phantom},
        CheckCase{"IsUninstItselfMissing",
                  "C:\\WINDOWS\\IsUninst.exe -fC:\\Program Files\\App\\DeIsL1.isu",
                  {"C:\\Program Files\\App\\DeIsL1.isu"},
                  Verdict::Phantom},
        CheckCase{"RunDllCutsProgramAndComma",
                  "RunDll32 C:\\PROGRA~1\\App\\setup.dll,Uninstall",
                  {"C:\\PROGRA~1\\App\\setup.dll"},
                  Verdict::Found,
                  {"C:\\PROGRA~1\\App\\setup.dll"}},
        CheckCase{"RunDllMissing",
                  "RunDll32 C:\\PROGRA~1\\App\\setup.dll,Uninstall",
                  {},
                  Verdict::Phantom},
        CheckCase{"DashAtEndKeepsNoArgument",
                  "C:\\App\\remove.exe -",
                  {"C:\\App\\remove.exe"},
                  Verdict::Found},
        CheckCase{"SlashOptionArgumentDecides",
                  "C:\\App\\remove.exe /uC:\\App\\data.ini",
                  {"C:\\App\\remove.exe"},
                  Verdict::Phantom,
                  {"C:\\App\\data.ini"}},
        CheckCase{"RestartOnTailWithDrive",
                  "\"C:\\Program Files\\App\\unins.exe\" C:\\a.log foo C:\\Windows\\notepad.exe",
                  {"C:\\Program Files\\App\\unins.exe", "C:\\Windows\\notepad.exe"},
                  Verdict::Found,
                  {"C:\\Windows\\notepad.exe"}},
        CheckCase{"ExistingTailSplitsAtSpaces",
                  "C:\\a.log C:\\b.exe",
                  {"C:\\b.exe"},
                  Verdict::Phantom, // the split pieces are judged again: C:\a.log is missing
                  {"C:\\a.log"}},
        CheckCase{"FirstMissingPieceDecides",
                  "\"C:\\gone.exe\" \"C:\\here.exe\"",
                  {"C:\\here.exe"},
                  Verdict::Phantom,
                  {},
                  {"C:\\here.exe"}},
        CheckCase{"LaterPiecesAllExist",
                  "\"C:\\one.exe\" \"C:\\two.dat\"",
                  {"C:\\one.exe", "C:\\two.dat"},
                  Verdict::Found,
                  {"C:\\two.dat"}},
        CheckCase{"UnbalancedQuote", "\"C:\\App\\x.exe", {"C:\\App\\x.exe"}, Verdict::Found},
        CheckCase{"TabIsNotTrimmed", "C:\\App\\x.exe\t", {"C:\\App\\x.exe"}, Verdict::Phantom}),
    [](const testing::TestParamInfo<CheckCase>& info) { return std::string(info.param.name); });

TEST(UninstallStringCheckOptions, PhantomBoldFollowsOptionAndColourAlwaysSet)
{
    ListViewModel list;
    ListRow* row = list.addRow("rekisteriavainX", "X");
    SetFileQuery files({});
    TarkistaPoistoohjelmanTiedostot(list, row, "C:\\gone\\x.exe", files, false);
    EXPECT_EQ(row->cells[2].foreColor, kPhantomColor);
    EXPECT_FALSE(row->cells[0].bold);
    EXPECT_EQ(list.phantomRowCount(), 1);
}

TEST(UninstallStringCheckOptions, DeepNestingEnds)
{
    // Every level hides the next argument behind an option; the check must end and decide on
    // the innermost file.
    QString command = QStringLiteral("C:\\last.dat");
    QStringList existing{"C:\\last.dat"};
    for (int level = 0; level < 300; ++level) {
        const QString program = QStringLiteral("C:\\p%1.exe").arg(level);
        existing << program;
        command = program + QStringLiteral(" -x") + command;
    }
    SetFileQuery files(existing);
    EXPECT_EQ(checkedVerdict(command, files), Verdict::Found);
    EXPECT_TRUE(files.asked.contains("C:\\last.dat"));
}

} // namespace
} // namespace nixora

#include "support/TempPrefix.h"

namespace nixora
{
namespace
{

struct PrefixCase {
    const char* name;
    const char* command;
    Verdict verdict;
};

void PrintTo(const PrefixCase& c, std::ostream* out)
{
    *out << c.name;
}

// The same check over the real query of a prefix: Wine's name matching decides.
class PrefixCheckTest : public testing::TestWithParam<PrefixCase>
{
};

TEST_P(PrefixCheckTest, Verdict)
{
    test::TempPrefix prefix;
    prefix.createFile("Program Files/App/uninstall.exe");
    prefix.createFile("Program Files/App/.hidden.exe");
    prefix.createFile("Tools/App.old/readme.txt");
    PrefixFileQuery files(prefix.path());
    EXPECT_EQ(checkedVerdict(QString::fromUtf8(GetParam().command), files), GetParam().verdict);
}

INSTANTIATE_TEST_SUITE_P(
    Prefix, PrefixCheckTest,
    testing::Values(
        PrefixCase{"Exact", "\"C:\\Program Files\\App\\uninstall.exe\" /S", Verdict::Found},
        PrefixCase{"OtherCase", "c:\\PROGRAM FILES\\app\\UNINSTALL.EXE", Verdict::Found},
        PrefixCase{"WineShortName", "C:\\PROG~FBU\\App\\uninstall.exe", Verdict::Found},
        PrefixCase{"WindowsShortName", "C:\\PROGRA~1\\App\\uninstall.exe", Verdict::Phantom},
        PrefixCase{"Wildcard", "C:\\Program Files\\App\\unin*.exe", Verdict::Found},
        PrefixCase{"HiddenFile", "C:\\Program Files\\App\\.hidden.exe", Verdict::Phantom},
        PrefixCase{"FolderWithDot", "C:\\Tools\\App.old", Verdict::Phantom},
        PrefixCase{"DriveWithoutLink", "D:\\App\\uninstall.exe", Verdict::Phantom}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace nixora
