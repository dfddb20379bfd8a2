#include "Settings.h"
#include "WineRegistry.h"
#include "support/TempPrefix.h"
#include "support/TestNames.h"

#include <QFile>

#include <gtest/gtest.h>

using namespace nixora;

class StoredText : public testing::TestWithParam<std::pair<const char*, bool>>
{
};

TEST_P(StoredText, OnlyLowerCaseEiMeansOff)
{
    test::TempPrefix prefix;
    prefix.setHiveBody(
        RegRoot::CurrentUser,
        test::hiveKeyBlock("Software\\Qelvaro\\Nixora", {{settings::kRuudukko, GetParam().first}}));
    WineRegistry registry(prefix.prefix());
    EXPECT_EQ(settings::readPreference(registry, settings::kRuudukko), GetParam().second);
}

INSTANTIATE_TEST_SUITE_P(Texts, StoredText,
                         testing::Values(std::pair{"ei", false}, std::pair{"on", true},
                                         std::pair{"EI", true}, std::pair{"off", true},
                                         std::pair{"", true}, std::pair{"ei ", true}),
                         [](const auto& info) {
                             return test::indexedTestName(info.index,
                                                          QString::fromUtf8(info.param.first));
                         });

TEST(Settings, EverythingIsOnForANewUser)
{
    test::TempPrefix prefix;
    WineRegistry registry(prefix.prefix());
    for (const QString& name : {settings::kRuudukko, settings::kTilarivi, settings::kSelkokieli,
                                settings::kRikkinaisetBold, settings::kMuokkausvarmuuskopio})
        EXPECT_TRUE(settings::readPreference(registry, name)) << name.toStdString();
}

TEST(Settings, AWriteIsOnDiskAtOnceAndReadBack)
{
    test::TempPrefix prefix;
    WineRegistry registry(prefix.prefix());
    ASSERT_TRUE(settings::writePreference(registry, settings::kTilarivi, false));
    WineRegistry later(prefix.prefix());
    EXPECT_FALSE(settings::readPreference(later, settings::kTilarivi));
    EXPECT_EQ(later.queryValue(RegRoot::CurrentUser, settings::kReadPath, settings::kTilarivi),
              makeStringValue("ei"));
    ASSERT_TRUE(settings::writePreference(later, settings::kTilarivi, true));
    EXPECT_TRUE(settings::readPreference(registry, settings::kTilarivi));
}

TEST(Settings, AMissingUserHiveIsCreatedWithWinesHeader)
{
    test::TempPrefix prefix;
    const QString user = prefix.hivePath(RegRoot::CurrentUser);
    ASSERT_TRUE(QFile::remove(user));
    WineRegistry registry(prefix.prefix());
    EXPECT_TRUE(settings::readPreference(registry, settings::kSelkokieli));
    EXPECT_FALSE(QFile::exists(user));
    ASSERT_TRUE(settings::writePreference(registry, settings::kSelkokieli, false));
    QFile file(user);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray text = file.readAll();
    EXPECT_TRUE(text.startsWith("WINE REGISTRY Version 2\n;; All keys relative to "
                                "REGISTRY\\\\User\\\\S-1-5-21-0-0-0-1000\n\n#arch=win64\n"))
        << text.toStdString();
    EXPECT_TRUE(text.contains("[Software\\\\Qelvaro\\\\Nixora] ")) << text.toStdString();
    EXPECT_TRUE(text.endsWith("\n\"selkokieli\"=\"ei\"\n")) << text.toStdString();
}

TEST(Settings, AMissingPrefixIsNeverCreated)
{
    test::TempPrefix prefix;
    const QString missing = prefix.path() + "/absent";
    WineRegistry registry{Prefix(missing)};
    EXPECT_TRUE(settings::readPreference(registry, settings::kRuudukko));
    EXPECT_FALSE(settings::writePreference(registry, settings::kRuudukko, false));
    EXPECT_FALSE(QFile::exists(missing));
}
