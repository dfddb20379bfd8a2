#include <gtest/gtest.h>

#include "platform/mdlProsessi.h"

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
}

} // namespace
} // namespace nixora
