#include "mdlPoisto.h"
#include "WineRegistry.h"
#include "support/TempPrefix.h"
#include "support/TestNames.h"

#include <QFile>

#include <gtest/gtest.h>

using namespace nixora;
using mdlPoisto::kNotFound;

namespace
{

constexpr auto kKey = "Software\\Test";

// A hive with one key whose value lines are given exactly as Wine writes them.
class ReadCase : public testing::TestWithParam<std::pair<const char*, QString>>
{
};

QString hiveWithValueLine(const QString& line)
{
    return QStringLiteral("\n[Software\\\\Test] 1796625534\n#time=1dd8615a0ca4520\n") + line +
           u'\n';
}

} // namespace

TEST_P(ReadCase, ValueReadsAsText)
{
    test::TempPrefix prefix;
    prefix.setHiveBody(RegRoot::LocalMachine,
                       hiveWithValueLine(QString::fromUtf8(GetParam().first)));
    WineRegistry registry(prefix.prefix());
    EXPECT_EQ(mdlPoisto::LueRekisteriarvo(registry, RegRoot::LocalMachine, kKey, "v"),
              GetParam().second);
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, ReadCase,
    testing::Values(std::pair{"\"v\"=dword:00000000", QStringLiteral("000")},
                    std::pair{"\"v\"=dword:00000007", QStringLiteral("007")},
                    std::pair{"\"v\"=dword:000004d2", QStringLiteral("1234")},
                    std::pair{"\"v\"=dword:ffffffff", QStringLiteral("4294967295")},
                    std::pair{"\"v\"=hex:0a,ff,00", QStringLiteral("0AFF00")},
                    std::pair{"\"v\"=hex:", QString()}, std::pair{"\"v\"=\"\"", QString()},
                    std::pair{"\"v\"=hex(1):", QString()},
                    std::pair{"\"v\"=hex(1):41,00", QStringLiteral("A")},
                    std::pair{"\"v\"=str(2):\"%SystemRoot%\\\\x\"",
                              QStringLiteral("%SystemRoot%\\x")},
                    std::pair{"\"v\"=str(7):\"one\\0two\\0\"",
                              QStringLiteral("one") + QChar(0) + QStringLiteral("two") + QChar(0)},
                    std::pair{"\"v\"=\"Caf\\x20ac \\xd83d\\xde00\"",
                              QStringLiteral("Caf\u20ac ") + QString::fromUcs4(U"\U0001F600")},
                    std::pair{"\"v\"=\"unterminated", QString()},
                    std::pair{"\"V\"=\"case\"", QStringLiteral("case")},
                    std::pair{"\"other\"=\"x\"", kNotFound}),
    [](const auto& info) {
        return test::indexedTestName(info.index, QString::fromUtf8(info.param.first));
    });

class BufferLimit : public testing::TestWithParam<std::pair<QString, bool>>
{
};

TEST_P(BufferLimit, DataOver2048BytesWithItsNulIsNotRead)
{
    test::TempPrefix prefix;
    WineRegistry registry(prefix.prefix());
    ASSERT_TRUE(
        registry.setValue(RegRoot::LocalMachine, kKey, "v", makeStringValue(GetParam().first))
            .ok());
    const QString read = mdlPoisto::LueRekisteriarvo(registry, RegRoot::LocalMachine, kKey, "v");
    EXPECT_EQ(read, GetParam().second ? GetParam().first : kNotFound);
}

INSTANTIATE_TEST_SUITE_P(
    Lengths, BufferLimit,
    testing::Values(std::pair{QString(2047, u'a'), true}, std::pair{QString(2048, u'a'), false},
                    std::pair{QString(682, QChar(0x20ac)), true},  // 2046 bytes + NUL
                    std::pair{QString(683, QChar(0x20ac)), false}, // 2049 bytes + NUL
                    std::pair{QString(10000, u'x'), false}),
    [](const auto& info) {
        const QString& text = info.param.first;
        return test::testName(QStringLiteral("%1 x U%2 %3")
                                  .arg(text.size())
                                  .arg(text[0].unicode(), 4, 16, QLatin1Char('0'))
                                  .arg(info.param.second ? "read" : "refused"));
    });

TEST(LueRekisteriarvo, MissingThingsReadAsNotFound)
{
    test::TempPrefix prefix;
    prefix.setHiveBody(RegRoot::LocalMachine, hiveWithValueLine("\"named\"=\"x\""));
    WineRegistry registry(prefix.prefix());
    EXPECT_EQ(mdlPoisto::LueRekisteriarvo(registry, RegRoot::LocalMachine, "Software\\None", "x"),
              kNotFound);
    EXPECT_EQ(mdlPoisto::LueRekisteriarvo(registry, RegRoot::LocalMachine, kKey, "nope"),
              kNotFound);
    EXPECT_EQ(mdlPoisto::LueRekisteriarvo(registry, RegRoot::LocalMachine, kKey, ""), kNotFound);
    EXPECT_EQ(
        mdlPoisto::LueRekisteriarvo(registry, RegRoot::LocalMachine, "Software\\Test\\", "named"),
        "x");
    WineRegistry nowhere(Prefix(prefix.path() + "/does-not-exist"));
    EXPECT_EQ(mdlPoisto::LueRekisteriarvo(nowhere, RegRoot::LocalMachine, kKey, "named"),
              kNotFound);
}

TEST(LueAliavain, EnumeratesInWinesOrderAndEndsWithNotFound)
{
    test::TempPrefix prefix;
    prefix.setHiveBody(RegRoot::LocalMachine,
                       test::hiveKeyBlock("Software\\Test\\b", {{"x", "1"}}) +
                           test::hiveKeyBlock("Software\\Test\\A_B", {{"x", "1"}}) +
                           test::hiveKeyBlock("Software\\Test\\ab", {{"x", "1"}}));
    WineRegistry registry(prefix.prefix());
    QStringList names;
    for (int32_t i = 0;; ++i) {
        const QString name = mdlPoisto::LueAliavain(registry, RegRoot::LocalMachine, kKey, i);
        if (name == kNotFound)
            break;
        names << name;
    }
    EXPECT_EQ(names, (QStringList{"A_B", "ab", "b"}));
    const int32_t index = -1;
    EXPECT_EQ(mdlPoisto::LueAliavain(registry, RegRoot::LocalMachine, kKey, index), kNotFound);
    EXPECT_EQ(index, -1);
}

TEST(LueAliavain, SubkeyNamedNotFoundEndsAnEnumerationEarly)
{
    test::TempPrefix prefix;
    prefix.setHiveBody(RegRoot::LocalMachine,
                       test::hiveKeyBlock("Software\\Test\\Not Found", {{"x", "1"}}) +
                           test::hiveKeyBlock("Software\\Test\\Zed", {{"x", "1"}}));
    WineRegistry registry(prefix.prefix());
    EXPECT_EQ(mdlPoisto::LueAliavain(registry, RegRoot::LocalMachine, kKey, 0), kNotFound);
    EXPECT_EQ(mdlPoisto::LueAliavain(registry, RegRoot::LocalMachine, kKey, 1), "Zed");
}

TEST(KirjoitaRekisteriarvo, CreatesThePathAndStoresTextOrNumber)
{
    test::TempPrefix prefix;
    WineRegistry registry(prefix.prefix());
    const QString path = "Software\\New\\Deep\\Path\\";
    EXPECT_TRUE(
        mdlPoisto::KirjoitaRekisteriarvo(registry, RegRoot::LocalMachine, path, "s", 1, ""));
    EXPECT_TRUE(
        mdlPoisto::KirjoitaRekisteriarvo(registry, RegRoot::LocalMachine, path, "d", 4, "-1"));
    EXPECT_FALSE(mdlPoisto::KirjoitaRekisteriarvo(registry, RegRoot::LocalMachine, path, "bad", 4,
                                                  "twelve"));
    WineRegistry fresh(prefix.prefix());
    EXPECT_EQ(fresh.queryValue(RegRoot::LocalMachine, path, "s"),
              (RegValue{kRegSz, QByteArray(2, '\0')}));
    EXPECT_EQ(mdlPoisto::LueRekisteriarvo(fresh, RegRoot::LocalMachine, path, "d"), "4294967295");
    EXPECT_FALSE(fresh.queryValue(RegRoot::LocalMachine, path, "bad"));
}
