#include <gtest/gtest.h>

#include "platform/mdlProsessi.h"
#include "support/TempPrefix.h"

#include <QDir>
#include <QFile>

#include <string>
#include <vector>

namespace nixora
{
namespace
{

TEST(RunHidden, ReturnsExitCodeAndStandardError)
{
    const ChildResult result = runHidden(
        QStringLiteral("/bin/sh"), {QStringLiteral("-c"), QStringLiteral("echo oops >&2; exit 3")});
    EXPECT_TRUE(result.started);
    EXPECT_EQ(result.exitCode, 3);
    EXPECT_EQ(result.standardError, QStringLiteral("oops\n"));
}

TEST(RunHidden, PassesArgumentsVerbatimWithoutShell)
{
    const ChildResult result =
        runHidden(QStringLiteral("/bin/sh"),
                  {QStringLiteral("-c"), QStringLiteral("printf '%s|' \"$@\" >&2"),
                   QStringLiteral("x"), QStringLiteral("a b"), QStringLiteral("$HOME;*")});
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.standardError, QStringLiteral("a b|$HOME;*|"));
}

TEST(RunHidden, AddsExtraEnvironmentToInherited)
{
    qputenv("NIXORA_INHERITED_FOR_TEST", "yes");
    const ChildResult result = runHidden(
        QStringLiteral("/bin/sh"),
        {QStringLiteral("-c"), QStringLiteral("printf '%s %s' \"$NIXORA_INHERITED_FOR_TEST\" "
                                              "\"$WINEPREFIX\" >&2")},
        {QStringLiteral("WINEPREFIX=/tmp/a=b")});
    EXPECT_EQ(result.standardError, QStringLiteral("yes /tmp/a=b"));
}

TEST(RunHidden, MissingProgramIsNotStarted)
{
    const ChildResult result = runHidden(QStringLiteral("/nonexistent/nixora-no-such-program"), {});
    EXPECT_FALSE(result.started);
}

TEST(RunHidden, KilledChildHasNoExitCode)
{
    const ChildResult result =
        runHidden(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), QStringLiteral("kill -9 $$")});
    EXPECT_TRUE(result.started);
    EXPECT_EQ(result.exitCode, -1);
    EXPECT_EQ(result.terminatingSignal, 9);
}

} // namespace
} // namespace nixora

namespace nixora
{
namespace
{

using test::TempPrefix;

struct SplitCase {
    const char* line;
    std::vector<const char*> arguments;
};

class SplitCommandLine : public ::testing::TestWithParam<SplitCase>
{
};

TEST_P(SplitCommandLine, FollowsTheCRuntime)
{
    std::vector<std::string> actual;
    for (const QString& argument : splitWindowsCommandLine(QString::fromUtf8(GetParam().line)))
        actual.push_back(argument.toStdString());
    const std::vector<std::string> expected(GetParam().arguments.begin(),
                                            GetParam().arguments.end());
    EXPECT_EQ(actual, expected) << GetParam().line;
}

INSTANTIATE_TEST_SUITE_P(
    Table, SplitCommandLine,
    ::testing::Values(SplitCase{"", {}}, SplitCase{" \t ", {}}, SplitCase{"/S", {"/S"}},
                      SplitCase{" a\tb  c ", {"a", "b", "c"}},
                      SplitCase{R"("a b" c)", {"a b", "c"}}, SplitCase{R"(x"a b"y)", {"xa by"}},
                      SplitCase{R"("")", {""}}, SplitCase{R"(a "" b)", {"a", "", "b"}},
                      SplitCase{R"(a\b\\c)", {R"(a\b\\c)"}}, SplitCase{R"(a\"b)", {R"(a"b)"}},
                      SplitCase{R"(a\\"b c")", {R"(a\b c)"}}, SplitCase{R"(a\\\"b)", {R"(a\"b)"}},
                      SplitCase{R"("C:\Dir\\" next)", {R"(C:\Dir\)", "next"}},
                      SplitCase{R"("a""b" c)", {R"(a"b)", "c"}},
                      SplitCase{R"("unterminated arg)", {"unterminated arg"}},
                      SplitCase{R"(-f"C:\Program Files\x.isu")", {R"(-fC:\Program Files\x.isu)"}}));

// Programs are small shell scripts inside the prefix's drive_c, named by Windows paths.
class RunProgram : public ::testing::Test
{
protected:
    void addScript(const QString& relative, const QByteArray& body, bool executable = true)
    {
        m_prefix.createFile(relative, "#!/bin/sh\n" + body + "\n", executable);
    }
    [[nodiscard]] int32_t run(const QString& line) const
    {
        return mdlProsessi::AjaProsessi(m_prefix.path(), line);
    }
    [[nodiscard]] QString argumentsSeen() const
    {
        QFile file(m_prefix.hostPath(QStringLiteral("args.txt")));
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    }

    TempPrefix m_prefix;
};

TEST_F(RunProgram, ReturnsTheExitCode)
{
    addScript(QStringLiteral("Program Files/My App/exit0.sh"), "exit 0");
    addScript(QStringLiteral("Program Files/My App/exit3.sh"), "exit 3");
    addScript(QStringLiteral("Program Files/My App/exit255.sh"), "exit 255");
    EXPECT_EQ(run(QStringLiteral("C:\\Program Files\\My App\\exit0.sh")), 0);
    EXPECT_EQ(run(QStringLiteral("c:\\PROGRAM FILES\\my app\\EXIT3.SH")), 3);
    EXPECT_EQ(run(QStringLiteral("  C:\\PROG~FBU\\My App\\exit255.sh /S")), 255);
}

TEST_F(RunProgram, PassesArgumentsSplitByWindowsRules)
{
    addScript(QStringLiteral("Program Files/My App/args.sh"),
              R"(printf '%s\n' "$@" > "$WINEPREFIX/args.txt")");
    EXPECT_EQ(run(QStringLiteral(R"("C:\Program Files\My App\args.sh" /x "two words" a\"b)")), 0);
    EXPECT_EQ(argumentsSeen(), QStringLiteral("/x\ntwo words\na\"b\n"));
}

TEST_F(RunProgram, ProbesUnquotedBlanksAndAppendsExe)
{
    addScript(QStringLiteral("Program Files/My App/uninst.exe"), "exit 5");
    // A folder with the name of a shorter candidate does not count as the program.
    QDir().mkpath(m_prefix.hostPath(QStringLiteral("drive_c/Apps/My")));
    addScript(QStringLiteral("Apps/My Tool"), R"([ "$1" = "-x" ] && exit 4; exit 1)");
    EXPECT_EQ(run(QStringLiteral("C:\\Program Files\\My App\\uninst /S")), 5);
    EXPECT_EQ(run(QStringLiteral("C:\\Apps\\My Tool -x")), 4);
}

TEST_F(RunProgram, FindsBareNamesInTheSystemFolder)
{
    addScript(QStringLiteral("windows/system32/msiexec.exe"), R"([ "$1" = "/X{1}" ] && exit 6)");
    EXPECT_EQ(run(QStringLiteral("MsiExec.exe /X{1}")), 6);
}

TEST_F(RunProgram, SignalKilledChildReportsShellStyleCode)
{
    addScript(QStringLiteral("killed.sh"), "kill -9 $$");
    EXPECT_EQ(run(QStringLiteral("C:\\killed.sh")), 128 + 9);
}

TEST_F(RunProgram, NothingStartableGivesMinusOne)
{
    addScript(QStringLiteral("noexec.sh"), "exit 0", false);
    m_prefix.createFile(QStringLiteral("text.exe"), "just text", true);
    QDir().mkpath(m_prefix.hostPath(QStringLiteral("drive_c/folder.exe")));
    EXPECT_EQ(run(QString()), -1);
    EXPECT_EQ(run(QStringLiteral(" \t ")), -1);
    EXPECT_EQ(run(QStringLiteral("C:\\Program Files\\Gone\\unins000.exe /S")), -1);
    EXPECT_EQ(run(QStringLiteral("\"C:\\noexec.sh\"")), -1);
    EXPECT_EQ(run(QStringLiteral("C:\\text.exe")), -1);
    EXPECT_EQ(run(QStringLiteral("C:\\folder.exe")), -1);
    EXPECT_EQ(run(QStringLiteral("Q:\\setup.exe")), -1);
    EXPECT_EQ(run(QStringLiteral("\"\" C:\\noexec.sh")), -1);
}

} // namespace
} // namespace nixora
