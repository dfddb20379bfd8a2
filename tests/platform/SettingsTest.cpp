#include "Settings.h"
#include "WineRegistry.h"
#include "support/TempPrefix.h"
#include "support/TestNames.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>

using namespace nixora;

namespace
{

// The user's configuration folder of a test: the store is <folder>/nixora/settings.reg.
class SettingsStore : public testing::Test
{
protected:
    [[nodiscard]] QString file() const { return m_config.filePath("nixora/settings.reg"); }
    [[nodiscard]] std::unique_ptr<WineRegistry> open() const
    {
        return WineRegistry::settingsStore(file());
    }

    QTemporaryDir m_config;
};

class StoredText : public testing::TestWithParam<std::pair<const char*, bool>>
{
};

} // namespace

TEST_P(StoredText, OnlyLowerCaseEiMeansOff)
{
    QTemporaryDir config;
    const QString file = config.filePath("nixora/settings.reg");
    test::writeHiveFile(
        file, RegRoot::CurrentUser,
        test::hiveKeyBlock(settings::kReadPath, {{settings::kRuudukko, GetParam().first}}));
    EXPECT_EQ(settings::readPreference(*WineRegistry::settingsStore(file), settings::kRuudukko),
              GetParam().second);
}

INSTANTIATE_TEST_SUITE_P(Texts, StoredText,
                         testing::Values(std::pair{"ei", false}, std::pair{"on", true},
                                         std::pair{"EI", true}, std::pair{"off", true},
                                         std::pair{"", true}, std::pair{"ei ", true}),
                         [](const auto& info) {
                             return test::indexedTestName(info.index,
                                                          QString::fromUtf8(info.param.first));
                         });

TEST_F(SettingsStore, EverythingIsOnForANewUser)
{
    const auto store = open();
    for (const QString& name : {settings::kRuudukko, settings::kTilarivi, settings::kSelkokieli,
                                settings::kRikkinaisetBold, settings::kMuokkausvarmuuskopio})
        EXPECT_TRUE(settings::readPreference(*store, name)) << name.toStdString();
    EXPECT_FALSE(QFileInfo::exists(m_config.filePath("nixora"))) << "reading makes nothing";
}

TEST_F(SettingsStore, AWriteIsOnDiskAtOnceAndReadBack)
{
    const auto store = open();
    ASSERT_TRUE(settings::writePreference(*store, settings::kTilarivi, false));
    const auto later = open();
    EXPECT_FALSE(settings::readPreference(*later, settings::kTilarivi));
    EXPECT_EQ(later->queryValue(RegRoot::CurrentUser, settings::kReadPath, settings::kTilarivi),
              makeStringValue("ei"));
    ASSERT_TRUE(settings::writePreference(*later, settings::kTilarivi, true));
    EXPECT_TRUE(settings::readPreference(*store, settings::kTilarivi));
}

// The first write makes the folder, private to the user, and a hive with Wine's header.
TEST_F(SettingsStore, TheFirstWriteMakesAPrivateFolderAndAHive)
{
    const auto store = open();
    ASSERT_TRUE(settings::writePreference(*store, settings::kSelkokieli, false));
    struct stat folder {
    };
    ASSERT_EQ(::stat(QFile::encodeName(m_config.filePath("nixora")).constData(), &folder), 0);
    EXPECT_EQ(folder.st_mode & 07777, 0700u);
    QFile file(this->file());
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray text = file.readAll();
    EXPECT_TRUE(text.startsWith("WINE REGISTRY Version 2\n")) << text.toStdString();
    EXPECT_TRUE(text.contains("[Software\\\\Qelvaro\\\\Nixora] ")) << text.toStdString();
    EXPECT_TRUE(text.endsWith("\n\"selkokieli\"=\"ei\"\n")) << text.toStdString();
    EXPECT_EQ(QDir(m_config.filePath("nixora"))
                  .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
              QStringList{"settings.reg"});
}
