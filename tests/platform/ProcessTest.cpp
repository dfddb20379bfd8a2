#include <gtest/gtest.h>

#include "mdlProsessi.h"
#include "support/TempPrefix.h"
#include "support/TestData.h"
#include "support/TestNames.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <csignal>
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
                      SplitCase{R"(-f"C:\Program Files\x.isu")", {R"(-fC:\Program Files\x.isu)"}}),
    [](const auto& info) {
        return test::indexedTestName(info.index, QString::fromUtf8(info.param.line));
    });

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
        return QString::fromUtf8(test::readAll(m_prefix.hostPath(QStringLiteral("args.txt"))));
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

// The wait covers what the uninstaller started (a grandchild left running in the background, as
// an NSIS uninstaller leaves its copy in %TEMP%) but not a program of the prefix that ran before.
TEST_F(RunProgram, WaitsForWhatTheProgramStartedButNotForWhatRanBefore)
{
    QProcess before;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("WINEPREFIX"), m_prefix.path());
    before.setProcessEnvironment(environment);
    before.start(QStringLiteral("/bin/sleep"), {QStringLiteral("30")});
    ASSERT_TRUE(before.waitForStarted());
    const QString done = m_prefix.hostPath(QStringLiteral("grandchild-done"));
    addScript(QStringLiteral("uninst.sh"),
              "(sleep 1; touch '" + QFile::encodeName(done) + "') >/dev/null 2>&1 &\nexit 4");
    const mdlProsessi::RunOutcome outcome = mdlProsessi::AjaProsessiOdottaen(
        m_prefix.path(), QStringLiteral("C:\\uninst.sh"), [] { return true; });
    EXPECT_EQ(outcome.exitCode, 4);
    EXPECT_FALSE(outcome.cancelled);
    EXPECT_TRUE(QFile::exists(done));
    EXPECT_EQ(before.state(), QProcess::Running);
    before.kill();
    before.waitForFinished();
}

TEST_F(RunProgram, CancelStopsTheWaitAndLeavesTheProgramRunning)
{
    const QString pidFile = m_prefix.hostPath(QStringLiteral("pid"));
    addScript(QStringLiteral("uninst.sh"),
              "echo $$ > '" + QFile::encodeName(pidFile) + "'\nexec sleep 30");
    const mdlProsessi::RunOutcome outcome =
        mdlProsessi::AjaProsessiOdottaen(m_prefix.path(), QStringLiteral("C:\\uninst.sh"),
                                         [&pidFile] { return QFileInfo(pidFile).size() == 0; });
    EXPECT_TRUE(outcome.cancelled);
    QFile file(pidFile);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const pid_t pid = pid_t(file.readAll().trimmed().toInt());
    ASSERT_GT(pid, 0);
    EXPECT_EQ(::kill(pid, 0), 0) << "the uninstaller was ended";
    ::kill(pid, SIGKILL);
}

// Stand-ins for wine and wineserver on PATH record how they were called: this checks the wiring
// without a Wine installation. The real thing runs in WineRunsWindowsProgram below.
class FakeWine : public RunProgram
{
protected:
    void SetUp() override
    {
        m_savedPath = qgetenv("PATH");
        const QString bin = m_bin.path();
        writeTool(bin + QStringLiteral("/wine"),
                  R"(printf '%s\n' "$WINEPREFIX" "$@" > "$WINEPREFIX/wine.txt"; exit 9)");
        writeTool(bin + QStringLiteral("/wineserver"),
                  R"(printf '%s\n' "$WINEPREFIX" "$@" > "$WINEPREFIX/wineserver.txt")");
        m_prefix.createFile(QStringLiteral("Program Files/Pe/setup.exe"), "MZ\x90\0fake");
    }
    void TearDown() override { qputenv("PATH", m_savedPath); }

    static void writeTool(const QString& path, const QByteArray& body)
    {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("#!/bin/sh\n" + body + "\n");
        file.setPermissions(file.permissions() | QFile::ExeOwner);
    }
    [[nodiscard]] QString recorded(const char* name) const
    {
        return QString::fromUtf8(test::readAll(m_prefix.hostPath(QString::fromLatin1(name))));
    }

    QTemporaryDir m_bin;
    QByteArray m_savedPath;
};

// "wineserver -w" would wait for every Wine program of the prefix: it is never called.
TEST_F(FakeWine, WindowsProgramRunsUnderWineWithoutWineserverWait)
{
    qputenv("PATH", QFile::encodeName(m_bin.path()) + ":" + m_savedPath);
    EXPECT_EQ(run(QStringLiteral(R"(C:\Program Files\Pe\setup /S "two words")")), 9);
    const QString prefixLine = m_prefix.path() + u'\n';
    EXPECT_EQ(recorded("wine.txt"),
              prefixLine + QStringLiteral("C:\\Program Files\\Pe\\setup.exe\n/S\ntwo words\n"));
    EXPECT_EQ(recorded("wineserver.txt"), QString());
}

TEST_F(FakeWine, WindowsProgramWithoutWineIsNotStarted)
{
    qputenv("PATH", QFile::encodeName(m_bin.path()) + "/none");
    EXPECT_EQ(run(QStringLiteral(R"(C:\Program Files\Pe\setup.exe)")), -1);
    EXPECT_TRUE(recorded("wine.txt").isEmpty());
}

// A real Windows program, built with mingw-w64 and run by the installed Wine. Slow (Wine sets
// the prefix up first), so it runs only where both are installed.
TEST_F(RunProgram, WineRunsWindowsProgram)
{
    const QString wine = QStandardPaths::findExecutable(QStringLiteral("wine"));
    const QString compiler =
        QStandardPaths::findExecutable(QStringLiteral("x86_64-w64-mingw32-gcc"));
    if (wine.isEmpty() || compiler.isEmpty())
        GTEST_SKIP() << "wine or x86_64-w64-mingw32-gcc not installed; Windows programs untested";

    const QString source =
        m_prefix.createFile(QStringLiteral("src/exit7.c"),
                            "#include <string.h>\nint main(int argc, char** argv) {\n"
                            "    return argc == 3 && strcmp(argv[2], \"b c\") == 0 ? 7 : 1;\n}\n");
    const QString program =
        m_prefix.hostPath(QStringLiteral("drive_c/Program Files/Pe Test/exit7.exe"));
    QDir().mkpath(QFileInfo(program).path());
    ASSERT_EQ(runHidden(compiler, {QStringLiteral("-o"), program, source}).exitCode, 0);

    const QStringList environment{QStringLiteral("WINEPREFIX=") + m_prefix.path(),
                                  QStringLiteral("WINEDEBUG=-all")};
    ASSERT_TRUE(runHidden(QStandardPaths::findExecutable(QStringLiteral("wineboot")),
                          {QStringLiteral("-i")}, environment)
                    .started);
    (void)runHidden(QStandardPaths::findExecutable(QStringLiteral("wineserver")),
                    {QStringLiteral("-w")}, environment);

    EXPECT_EQ(run(QStringLiteral(R"("C:\Program Files\Pe Test\exit7.exe" a "b c")")), 7);
}

} // namespace
} // namespace nixora
