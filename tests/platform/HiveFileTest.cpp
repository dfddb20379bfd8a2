#include "HiveFile.h"
#include "HiveText.h"
#include "support/TestData.h"
#include "support/TestNames.h"

#include <QFile>

#include <algorithm>
#include <random>

#include <gtest/gtest.h>

using namespace nixora;

namespace
{

RegValue valueOf(HiveFile& hive, const QString& path, const QString& name)
{
    HiveKey* key = hive.findKey(path);
    const HiveValue* value = key ? hive.findValue(key, name) : nullptr;
    return value ? value->value : RegValue{0xffff, "missing"};
}

QByteArray utf16(const QString& text)
{
    return makeStringValue(text).data;
}

// The hive as Wine would save it, every key serialised anew (keeping its time).
QByteArray writtenAfresh(HiveFile& hive)
{
    std::vector<HiveKey*> stack{hive.root()};
    while (!stack.empty()) {
        HiveKey* key = stack.back();
        stack.pop_back();
        (void)hive.values(key);
        key->dirty = true;
        stack.insert(stack.end(), key->children.begin(), key->children.end());
    }
    return hive.serialize(true).value_or(QByteArray());
}

} // namespace

class TestdataRoundTrip : public testing::TestWithParam<const char*>
{
};

TEST_P(TestdataRoundTrip, SerialisingTheWholeTreeGivesTheFileBack)
{
    const QByteArray original = test::readDataFile(QLatin1String(GetParam()));
    ASSERT_FALSE(original.isEmpty());
    auto hive = HiveFile::parse(original);
    ASSERT_TRUE(hive);
    EXPECT_TRUE(*hive->serialize(true) == original);
}

TEST_P(TestdataRoundTrip, RewritingEveryKeyAsWineDoesGivesTheFileBack)
{
    const QByteArray original = test::readDataFile(QLatin1String(GetParam()));
    auto hive = HiveFile::parse(original);
    ASSERT_TRUE(hive);
    // Every key written afresh, each with its time: the serialisation must match Wine's.
    const QByteArray written = writtenAfresh(*hive);
    EXPECT_TRUE(written == original);
    if (written != original) {
        qsizetype i = 0;
        while (i < written.size() && i < original.size() && written[i] == original[i])
            ++i;
        ADD_FAILURE() << "first difference at " << i << ":\n"
                      << original.mid(std::max<qsizetype>(0, i - 200), 300).toStdString()
                      << "\n----\n"
                      << written.mid(std::max<qsizetype>(0, i - 200), 300).toStdString();
    }
}

INSTANTIATE_TEST_SUITE_P(Wine8, TestdataRoundTrip,
                         testing::Values("wine8/fresh/system.reg", "wine8/fresh/user.reg",
                                         "wine8/1000/system.reg", "wine8/1000/user.reg",
                                         "wine8/tricky/system.reg", "wine8/tricky/user.reg",
                                         "wine8/tricky/userdef.reg"),
                         [](const testing::TestParamInfo<const char*>& info) {
                             return test::testName(QLatin1String(info.param));
                         });

class TrickyValues : public testing::Test
{
protected:
    void SetUp() override
    {
        m_hive = HiveFile::parse(test::readDataFile(QStringLiteral("wine8/tricky/system.reg")));
        ASSERT_TRUE(m_hive);
    }
    RegValue value(const QString& name)
    {
        return valueOf(*m_hive,
                       QStringLiteral("Software\\Microsoft\\Windows\\CurrentVersion\\"
                                      "Uninstall\\Test App_1"),
                       name);
    }
    std::unique_ptr<HiveFile> m_hive;
};

TEST_F(TrickyValues, TextReadsAsWineShowsIt)
{
    const QString expected = QStringLiteral("Caf\u20ac \"quoted\" back\\slash \u00e4\u4e2dx1 ") +
                             QString::fromUcs4(U"\U0001F600");
    EXPECT_EQ(value(QStringLiteral("DisplayName")), makeStringValue(expected));
    EXPECT_EQ(value(QStringLiteral("Empty")), makeStringValue(QString()));
    EXPECT_EQ(value(QStringLiteral("name\"with\\quote[]")), makeStringValue(QStringLiteral("v")));
    EXPECT_EQ(value(QStringLiteral("UninstallString")),
              makeStringValue(QStringLiteral("%ProgramFiles%\\Test\\unins000.exe"), kRegExpandSz));
}

TEST_F(TrickyValues, MultiStringsKeepTheirInnerNuls)
{
    RegValue multi{kRegMultiSz, utf16(QStringLiteral("one")) + utf16(QStringLiteral("two")) +
                                    utf16(QStringLiteral("three")) + QByteArray(2, '\0')};
    EXPECT_EQ(value(QStringLiteral("Multi")), multi);
    EXPECT_EQ(value(QStringLiteral("EmptyMulti")), (RegValue{kRegMultiSz, QByteArray(2, '\0')}));
}

TEST_F(TrickyValues, NumbersAndBytesKeepTheirKinds)
{
    EXPECT_EQ(value(QStringLiteral("EstimatedSize")), makeDwordValue(1234));
    EXPECT_EQ(value(QStringLiteral("Q")),
              (RegValue{kRegQword, QByteArray::fromHex("8877665544332211")}));
    EXPECT_EQ(value(QStringLiteral("None")), (RegValue{kRegNone, QByteArray(2, '\0')}));
    QByteArray bytes;
    for (int i = 0; i < 48; ++i)
        bytes.append(char(i));
    EXPECT_EQ(value(QStringLiteral("Bin")), (RegValue{kRegBinary, bytes}));
}

TEST_F(TrickyValues, SubkeysAndValuesAreInWinesOrder)
{
    HiveKey* uninstall =
        m_hive->findKey(QStringLiteral("software\\MICROSOFT\\Windows\\CurrentVersion\\Uninstall"));
    ASSERT_NE(uninstall, nullptr);
    QStringList names;
    for (HiveKey* child : uninstall->children)
        names << child->name;
    EXPECT_EQ(names,
              (QStringList{"a_b", "ab", "NoName", "SysComp", "Test App_1", "{ABC}", "{MSI-GUID}"}));
    HiveKey* app = m_hive->findKey(
        QStringLiteral("Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Test App_1"));
    QStringList valueNames;
    for (const HiveValue& v : m_hive->values(app))
        valueNames << v.name;
    EXPECT_EQ(valueNames.mid(0, 4), (QStringList{"", "a_b", "ab", "AB2"}));
}

TEST_F(TrickyValues, LinkKeysAreKeptWithTheirTarget)
{
    auto hive = HiveFile::parse(test::readDataFile(QStringLiteral("wine8/1000/system.reg")));
    HiveKey* link = hive->findKey(QStringLiteral("Software\\Wow6432Node\\Classes"));
    ASSERT_NE(link, nullptr);
    (void)hive->values(link);
    EXPECT_TRUE(link->isLink);
    const HiveValue* target = hive->findValue(link, QStringLiteral("SymbolicLinkValue"));
    ASSERT_NE(target, nullptr);
    EXPECT_EQ(target->value.type, 6u);
    EXPECT_EQ(
        target->value.data,
        utf16(QStringLiteral("\\Registry\\Machine\\Software\\Classes\\Wow6432Node")).chopped(2));
}

namespace
{

const QByteArray kHead = "WINE REGISTRY Version 2\n;; All keys relative to REGISTRY\\\\Machine\n\n"
                         "#arch=win64\n";

struct BadInput {
    const char* name;
    QByteArray body;
};

void PrintTo(const BadInput& input, std::ostream* os)
{
    *os << input.name;
}

} // namespace

class DamagedHive : public testing::TestWithParam<BadInput>
{
};

// Every damaged file must parse, keep the good key readable, give the file back unchanged, and
// keep every byte of the damage when another key is changed.
TEST_P(DamagedHive, KeepsEverythingAndTheGoodKey)
{
    const QByteArray good = "\n[Good] 1796625534\n#time=1dd8615a0ca4520\n\"g\"=\"ok\"\n";
    const QByteArray original = kHead + good + GetParam().body;
    auto hive = HiveFile::parse(original);
    ASSERT_TRUE(hive);
    EXPECT_EQ(valueOf(*hive, "Good", "g"), makeStringValue("ok"));
    EXPECT_TRUE(*hive->serialize(true) == original);
    hive->setValue(hive->createKey(u"Added", 0x1dd8615a0ca4520), "n", makeDwordValue(1), 1);
    const QByteArray written = *hive->serialize();
    EXPECT_TRUE(written.contains(GetParam().body.trimmed())) << written.toStdString();
    EXPECT_TRUE(written.contains("\n[Added] ")) << written.toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Inputs, DamagedHive,
    testing::Values(BadInput{"truncated", "\n[Zed] 1796625534\n#time=1dd8615a0ca4520\n\"a\"=\"ab"},
                    BadInput{"invalid utf8", "\n[Zed] 1\n\"a\"=\"\xff\xfe\xc3\"\n"},
                    BadInput{"nul bytes", QByteArray("\n[Zed] 1\n\"a\"=\"x\0y\"\n\0\0\n", 22)},
                    BadInput{"unbalanced bracket", "\n[Zed\\\\Open 1\n\"a\"=\"x\"\n"},
                    BadInput{"unbalanced quote", "\n[Zed] 1\n\"a=\"x\n\"b\"=hex:01,zz\n"},
                    BadInput{"ten megabyte line",
                             "\n[Zed] 1\n\"a\"=\"" + QByteArray(10 << 20, 'x') + "\"\n"},
                    BadInput{"unknown lines", "\n[Zed] 1\n#future=1\n; comment\ngarbage\n"},
                    BadInput{"crlf", "\r\n[Zed] 1\r\n\"a\"=\"x\"\r\n"}),
    [](const auto& info) { return test::testName(QLatin1String(info.param.name)); });

TEST(DamagedHive, MalformedValuesReadAsEmptyNoneAndKeepTheirText)
{
    const QByteArray original = kHead + "\n[K] 1\n\"a\"=\"unterminated\n\"b\"=hex:01,\\\n  zz\n"
                                        "\"c\"=dword:\n\"d\"=\"fine\"\n";
    auto hive = HiveFile::parse(original);
    ASSERT_TRUE(hive);
    for (const char* name : {"a", "b", "c"})
        EXPECT_EQ(valueOf(*hive, "K", name), RegValue{}) << name;
    EXPECT_EQ(valueOf(*hive, "K", "d"), makeStringValue("fine"));
    hive->setValue(hive->findKey(u"K"), "e", makeDwordValue(2), 0x1dd8615a0ca4520);
    const QByteArray written = *hive->serialize();
    EXPECT_TRUE(written.contains("\"a\"=\"unterminated\n\"b\"=hex:01,\\\n  zz\n\"c\"=dword:\n"
                                 "\"d\"=\"fine\"\n\"e\"=dword:00000002\n"))
        << written.toStdString();
}

TEST(DamagedHive, ABadHeaderIsNotAHive)
{
    for (const QByteArray& text : {QByteArray(), QByteArray("WINE REGISTRY Version 2 \n"),
                                   QByteArray("REGEDIT4\n"), QByteArray("WINE REGISTRY")})
        EXPECT_FALSE(HiveFile::parse(text)) << text.toStdString();
    EXPECT_TRUE(HiveFile::parse("WINE REGISTRY Version 2"));
}

// The first spelling of a key names it. A later header that spells it in other letter case must
// not rename it when the tree is written back in Wine's order.
TEST(DamagedHive, AKeySpelledInOtherCaseKeepsItsFirstName)
{
    const QByteArray text = "WINE REGISTRY Version 2\n;; All keys relative to REGISTRY\\\\Machine\n"
                            "\n[b\\\\y] 1\n\"v\"=\"1\"\n\n[B\\\\x] 1\n\"w\"=\"2\"\n";
    std::unique_ptr<HiveFile> hive = HiveFile::parse(text);
    ASSERT_TRUE(hive);
    EXPECT_FALSE(hive->isModified());
    std::unique_ptr<HiveFile> again = HiveFile::parse(*hive->serialize(true));
    ASSERT_TRUE(again);
    ASSERT_EQ(again->root()->children.size(), 1u);
    EXPECT_EQ(again->root()->children[0]->name, QStringLiteral("b"));
    EXPECT_EQ(valueOf(*again, "b\\x", "w"), makeStringValue("2"));
    EXPECT_EQ(valueOf(*again, "b\\y", "v"), makeStringValue("1"));
}

class Escapes : public testing::TestWithParam<std::pair<QString, QByteArray>>
{
};

TEST_P(Escapes, WrittenAsWineWritesThemAndReadBack)
{
    QByteArray out;
    hive::appendEscaped(out, GetParam().first, "\"");
    EXPECT_EQ(out, GetParam().second);
    QString back;
    const QByteArray quoted = out + '"';
    EXPECT_NE(hive::parseEscaped(quoted.constData(), quoted.constData() + quoted.size(), '"', back),
              nullptr);
    EXPECT_EQ(back, GetParam().first);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, Escapes,
    testing::Values(std::pair{QStringLiteral("a\"b\\c"), QByteArray("a\\\"b\\\\c")},
                    std::pair{QStringLiteral("\u20ac!"), QByteArray("\\x20ac!")},
                    std::pair{QStringLiteral("\u00e4b"), QByteArray("\\x00e4b")},
                    std::pair{QStringLiteral("\t\n\r\x1b"), QByteArray("\\t\\n\\r\\e")},
                    std::pair{QString(QChar(1)) + "7" + QChar(2) + "x", QByteArray("\\0017\\2x")},
                    std::pair{QStringLiteral("[]"), QByteArray("[]")},
                    std::pair{QStringLiteral("\"C:\\Program Files\\App\u00e4\\x.exe\" /S"),
                              QByteArray("\\\"C:\\\\Program Files\\\\App\\xe4\\\\x.exe\\\" /S")}),
    [](const auto& info) { return test::indexedTestName(info.index, info.param.first); });

// Key lines in any order, spelling and nesting build the same tree: every key is found under
// each spelling of its path and holds the values of all its blocks.
struct KeyOrder {
    const char* name;
    QByteArray keys;     // the "[...]" lines as written in the file, one per block
    QStringList lookups; // path=value pairs that must be found
};

void PrintTo(const KeyOrder& order, std::ostream* os)
{
    *os << order.name;
}

class KeyLines : public testing::TestWithParam<KeyOrder>
{
};

TEST_P(KeyLines, EveryKeyIsFoundWithItsValues)
{
    QByteArray text = kHead;
    int block = 0;
    for (const QByteArray& line : GetParam().keys.split('\n'))
        text += "\n[" + line + "] 1\n\"v" + QByteArray::number(block++) + "\"=\"" + line + "\"\n";
    auto hive = HiveFile::parse(text);
    ASSERT_TRUE(hive);
    for (const QString& lookup : GetParam().lookups) {
        const QStringList parts = lookup.split(u'=');
        HiveKey* key = hive->findKey(parts[0]);
        ASSERT_NE(key, nullptr) << lookup.toStdString();
        const HiveValue* value = hive->findValue(key, parts[1]);
        EXPECT_NE(value, nullptr) << lookup.toStdString();
    }
}

INSTANTIATE_TEST_SUITE_P(
    Orders, KeyLines,
    testing::Values(KeyOrder{"deeper, shallower, sibling, back again",
                             "A\\\\B\\\\C\nA\\\\B\nA\\\\D\nA\\\\B\\\\E",
                             {"A\\B\\C=v0", "A\\B=v1", "A\\D=v2", "A\\B\\E=v3", "A\\B\\C\\=v0"}},
                    KeyOrder{"a name that is a prefix of the next",
                             "A\\\\B\nA\\\\BC\nA\\\\B\\\\C",
                             {"A\\B=v0", "A\\BC=v1", "A\\B\\C=v2"}},
                    KeyOrder{"the same key in another case",
                             "Soft\\\\X\nsoft\\\\Y\nSOFT\\\\x",
                             {"soft\\X=v0", "Soft\\x=v2", "SOFT\\y=v1"}},
                    KeyOrder{"empty components",
                             "A\\\\\\\\B\n\\\\A\\\\C\\\\",
                             {"A\\B=v0", "A\\C=v1", "\\A\\\\B=v0"}},
                    KeyOrder{"escaped and UTF-8 names",
                             "K\\\\\\x00e4b\nK\\\\\xc3\xa4"
                             "c\nK\\\\\xc3\xa4"
                             "b",
                             {"K\\\u00e4b=v0", "K\\\u00e4b=v2", "K\\\u00e4c=v1"}},
                    KeyOrder{"a repeated key later in the file",
                             "A\\\\B\nC\nA\\\\B",
                             {"A\\B=v0", "A\\B=v2", "C=v1"}}),
    [](const auto& info) { return test::testName(QLatin1String(info.param.name)); });

TEST(KeyLookup, ADeletedParentIsNotRemembered)
{
    auto hive = HiveFile::parse(kHead + "\n[P\\\\Q\\\\One] 1\n\"a\"=\"1\"\n\n[P\\\\Q\\\\Two] 1\n");
    ASSERT_TRUE(hive);
    ASSERT_NE(hive->findKey(u"P\\Q\\One"), nullptr);
    ASSERT_NE(hive->findKey(u"P\\Q\\Two"), nullptr);
    hive->deleteKey(hive->findKey(u"P\\Q"), 1);
    EXPECT_EQ(hive->findKey(u"P\\Q\\One"), nullptr);
    EXPECT_EQ(hive->findKey(u"P\\Q"), nullptr);
    HiveKey* fresh = hive->createKey(u"P\\Q\\Three", 1);
    ASSERT_NE(fresh, nullptr);
    EXPECT_EQ(hive->findKey(u"p\\q\\three"), fresh);
    EXPECT_EQ(hive->findKey(u"P\\Q\\One"), nullptr);
}

// Wine lower-cases a name unit only where the upper case of the result leads back: the Kelvin
// sign is not "k", a title-case digraph is neither its upper- nor its lower-case form. Sibling
// keys and values so named are two to Wine; read as one, a write would merge them.
TEST(KeyLookup, NamesWineKeepsApartStayApartThroughAWrite)
{
    const std::vector<std::pair<char16_t, char16_t>> apart{
        {0x01c5, 0x01c6}, {0x01c8, 0x01c9}, {0x01cb, 0x01cc}, {0x01f2, 0x01f3}, {0x01c5, 0x01c4},
        {0x01c8, 0x01c7}, {0x01cb, 0x01ca}, {0x01f2, 0x01f1}, {0x03f4, 0x03b8}, {0x1e9e, 0x00df},
        {0x2126, 0x03c9}, {0x212a, u'k'},   {0x212b, 0x00e5}, {0x0130, u'i'},   {0x03c2, 0x03c3}};
    const auto path = [](size_t pair, char16_t unit) {
        return QStringLiteral("P%1\\").arg(pair) + QChar(unit);
    };
    QByteArray text = kHead;
    for (size_t i = 0; i < apart.size(); ++i) {
        for (const char16_t unit : {apart[i].first, apart[i].second}) {
            QByteArray name;
            hive::appendEscaped(name, QStringView(&unit, 1), "[]");
            text += "\n[P" + QByteArray::number(qulonglong(i)) + "\\\\" + name + "] 1\n\"" + name +
                    "\"=\"" + name + "\"\n";
        }
    }
    auto hive = HiveFile::parse(text);
    ASSERT_TRUE(hive);
    hive->setValue(hive->createKey(u"Other", 1), "v", makeDwordValue(1), 1);
    auto again = HiveFile::parse(*hive->serialize());
    ASSERT_TRUE(again);
    for (size_t i = 0; i < apart.size(); ++i) {
        const auto [a, b] = apart[i];
        EXPECT_FALSE(hive::sameName(QString(QChar(a)), QString(QChar(b)))) << i;
        HiveKey* keyA = again->findKey(path(i, a));
        HiveKey* keyB = again->findKey(path(i, b));
        ASSERT_TRUE(keyA != nullptr && keyB != nullptr && keyA != keyB) << i;
        EXPECT_EQ(valueOf(*again, path(i, a), QChar(a)), makeStringValue(QChar(a))) << i;
        EXPECT_EQ(valueOf(*again, path(i, b), QChar(b)), makeStringValue(QChar(b))) << i;
    }
}

// Hundreds of siblings, each key twice (the second time in other letter case, with a value of
// its own), and values out of order: any order of the keys builds the tree Wine's order does.
TEST(KeyLookup, SiblingsInAnyOrderBuildTheSameTree)
{
    std::vector<QByteArray> keys; // each key's two blocks
    for (int i = 0; i < 300; ++i) {
        const QByteArray number = QByteArray::number(i).rightJustified(3, '0');
        keys.push_back("\n[Software\\\\Entry\\x00e4" + number + "] 1\n\"b\"=\"" + number +
                       "\"\n\"a\"=\"1\"\n\n[SOFTWARE\\\\ENTRY\\x00c4" + number +
                       "] 1\n\"B\"=\"2\"\n\"c\"=\"3\"\n");
    }
    const auto treeOf = [](const std::vector<QByteArray>& order) {
        QByteArray text = kHead;
        for (const QByteArray& key : order)
            text += key;
        return writtenAfresh(*HiveFile::parse(text));
    };
    const QByteArray inWinesOrder = treeOf(keys);
    EXPECT_TRUE(inWinesOrder.contains("\n[Software\\\\Entry\\x00e4042] 1\n#time=19db1ded5d71680\n"
                                      "\"a\"=\"1\"\n\"b\"=\"2\"\n\"c\"=\"3\"\n"))
        << inWinesOrder.left(400).toStdString();
    EXPECT_EQ(inWinesOrder.count("\n["), 300);
    std::vector<QByteArray> reversed(keys.rbegin(), keys.rend());
    EXPECT_TRUE(treeOf(reversed) == inWinesOrder);
    reversed.insert(reversed.end(), keys.begin(), keys.end());
    std::vector<QByteArray> twice = keys;
    twice.insert(twice.end(), keys.begin(), keys.end());
    EXPECT_TRUE(treeOf(reversed) == treeOf(twice));
    std::vector<QByteArray> shuffled = keys;
    std::shuffle(shuffled.begin(), shuffled.end(), std::mt19937(7));
    EXPECT_TRUE(treeOf(shuffled) == inWinesOrder);
}

// A tree of one subtree lacks the rest of the file; in any build it is never written.
TEST(KeyLookup, APartialTreeIsNeverWritten)
{
    const QByteArray text = kHead + "\n[A\\\\In] 1\n\"v\"=\"1\"\n\n[B\\\\Out] 1\n\"w\"=\"2\"\n";
    auto hive = HiveFile::parseSubtrees(text, {QStringLiteral("A")});
    ASSERT_TRUE(hive && hive->isPartial());
    EXPECT_EQ(hive->findKey(u"B\\Out"), nullptr);
    EXPECT_EQ(hive->serialize(), text);
    EXPECT_EQ(hive->serialize(true), std::nullopt);
    hive->setValue(hive->findKey(u"A\\In"), "v", makeDwordValue(2), 1);
    EXPECT_EQ(hive->serialize(), std::nullopt);
}
