#include "prefixes/RecentPrefixes.h"

#include <QDir>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace nixora::prefixes
{
namespace
{

TEST(RecentPrefixes, KeepsTenMostRecentFirstOnceEachAcrossInstances)
{
    QTemporaryDir config;
    const QString file = config.filePath(QStringLiteral("nixora/recent-prefixes.conf"));
    for (int i = 0; i < 12; ++i)
        ASSERT_TRUE(RecentPrefixes(file).remember(QStringLiteral("/p/%1").arg(i)));
    ASSERT_TRUE(RecentPrefixes(file).remember(QStringLiteral("/p/5/")));
    EXPECT_EQ(RecentPrefixes(file).list(), QStringList({"/p/5", "/p/11", "/p/10", "/p/9", "/p/8",
                                                        "/p/7", "/p/6", "/p/4", "/p/3", "/p/2"}));
}

TEST(RecentPrefixes, StartUpChoiceIsOptionThenWinePrefixThenLastOpenedIfItExistsThenDotWine)
{
    QTemporaryDir last;
    QProcessEnvironment none;
    QProcessEnvironment wine;
    wine.insert(QStringLiteral("WINEPREFIX"), QStringLiteral("/env/prefix"));
    const QStringList recent = {last.path()};
    const QStringList gone = {last.path() + QStringLiteral("/deleted")};

    EXPECT_EQ(chooseStartupPrefix(QStringLiteral("/opt/p"), wine, recent, "/home/u"), "/opt/p");
    EXPECT_EQ(chooseStartupPrefix({}, wine, recent, "/home/u"), "/env/prefix");
    EXPECT_EQ(chooseStartupPrefix({}, none, recent, "/home/u"), last.path());
    EXPECT_EQ(chooseStartupPrefix({}, none, gone, "/home/u"), "/home/u/.wine");
}

} // namespace
} // namespace nixora::prefixes
