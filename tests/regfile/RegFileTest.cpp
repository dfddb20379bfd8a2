#include "RegFileReader.h"
#include "RegFileWriter.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <random>

namespace nixora
{
namespace
{

QByteArray utf16(const QString& text, bool terminated = true)
{
    QByteArray data;
    for (const QChar c : text) {
        data += char(c.unicode() & 0xff);
        data += char(c.unicode() >> 8);
    }
    if (terminated)
        data += QByteArray(2, '\0');
    return data;
}

RegNamedValue value(const QString& name, uint32_t type, const QByteArray& data)
{
    return {name, RegValue{type, data}};
}

// Rebuilds the key a parsed export describes, so that it can be compared with the original.
RegKeySnapshot rebuild(const std::vector<RegChange>& changes, const QString& topPath)
{
    RegKeySnapshot top;
    auto nodeFor = [&](const QString& path) -> RegKeySnapshot* {
        if (!path.startsWith(topPath))
            return nullptr;
        RegKeySnapshot* node = &top;
        for (const QString& part : path.mid(topPath.size()).split(u'\\', Qt::SkipEmptyParts)) {
            auto it = std::find_if(node->subkeys.begin(), node->subkeys.end(),
                                   [&](const RegKeySnapshot& k) { return k.name == part; });
            if (it == node->subkeys.end()) {
                node->subkeys.push_back({part, {}, {}});
                it = node->subkeys.end() - 1;
            }
            node = &*it;
        }
        return node;
    };
    for (const RegChange& change : changes) {
        RegKeySnapshot* node = nodeFor(change.path);
        if (node == nullptr)
            continue;
        if (change.kind == RegChange::Kind::SetValue)
            node->values.push_back({change.name, change.value});
    }
    return top;
}

void expectRoundTrip(const RegKeySnapshot& key, const QString& path)
{
    const RegExportText text = writeRegText(RegRoot::LocalMachine, path, key);
    ASSERT_TRUE(text.ok()) << text.error.toStdString();
    const RegParseResult parsed = parseRegText(text.bytes);
    ASSERT_TRUE(parsed.ok()) << parsed.errorLine << ": " << parsed.error.toStdString() << "\n"
                             << text.bytes.toStdString();
    RegKeySnapshot back = rebuild(parsed.changes, path);
    back.name = key.name;
    EXPECT_EQ(back, key) << text.bytes.toStdString();
}

TEST(RegFileWriter, WritesRegedit4WithCrLfAndEscapes)
{
    RegKeySnapshot key{QStringLiteral("App"), {}, {}};
    key.values = {
        value({}, kRegSz, utf16(QStringLiteral("def"))),
        value(QStringLiteral("Say \"hi\""), kRegSz, utf16(QStringLiteral("C:\\x"))),
        value(QStringLiteral("N"), kRegDword, QByteArray("\x2a\x00\x00\x80", 4)),
        value(QStringLiteral("E"), kRegExpandSz, utf16(QStringLiteral("%a%"))),
        value(QStringLiteral("Q"), kRegQword, QByteArray("\x01\x02\x03\x04\x05\x06\x07\x08")),
        value(QStringLiteral("B"), kRegBinary, QByteArray())};
    key.subkeys = {{QStringLiteral("Sub"),
                    {value(QStringLiteral("M"), kRegMultiSz, QByteArray(4, '\0'))},
                    {}}};
    const QByteArray expected = "REGEDIT4\r\n"
                                "; hex(2) and hex(7) data: UTF-8 text, or ff,fe and the bytes "
                                "as stored\r\n"
                                "\r\n"
                                "[HKEY_LOCAL_MACHINE\\Software\\App]\r\n"
                                "@=\"def\"\r\n"
                                "\"Say \\\"hi\\\"\"=\"C:\\\\x\"\r\n"
                                "\"N\"=dword:8000002a\r\n"
                                "\"E\"=hex(2):25,61,25,00\r\n"
                                "\"Q\"=hex(b):01,02,03,04,05,06,07,08\r\n"
                                "\"B\"=hex:\r\n"
                                "\r\n"
                                "[HKEY_LOCAL_MACHINE\\Software\\App\\Sub]\r\n"
                                "\"M\"=hex(7):00,00\r\n"
                                "\r\n";
    EXPECT_EQ(writeRegText(RegRoot::LocalMachine, QStringLiteral("Software\\App"), key).bytes,
              expected);
}

TEST(RegFileWriter, ContinuesLongHexWithinEightyColumns)
{
    RegKeySnapshot key{QStringLiteral("K"),
                       {value(QStringLiteral("Bin"), kRegBinary, QByteArray(100, '\x7f'))},
                       {}};
    const QByteArray bytes = writeRegText(RegRoot::CurrentUser, QStringLiteral("K"), key).bytes;
    const QList<QByteArray> lines = bytes.split('\n');
    int continued = 0;
    for (const QByteArray& line : lines) {
        EXPECT_LE(line.size(), 81) << line.toStdString(); // 80 columns and the CR
        if (line.endsWith("\\\r")) {
            ++continued;
        }
    }
    EXPECT_EQ(continued, 4);
    EXPECT_TRUE(bytes.contains("\\\r\n  7f,7f"));
}

TEST(RegFileWriter, RefusesKeyNamesAHeaderCannotHold)
{
    RegKeySnapshot key{QStringLiteral("K"), {}, {{QStringLiteral("line\nfeed"), {}, {}}}};
    EXPECT_FALSE(writeRegText(RegRoot::LocalMachine, QStringLiteral("K"), key).ok());
}

struct TrickyValue {
    const char* label;
    RegNamedValue value;
};

class RegFileRoundTrip : public ::testing::TestWithParam<TrickyValue>
{
};

TEST_P(RegFileRoundTrip, GivesBackTheSameValue)
{
    RegKeySnapshot key{QStringLiteral("Entry"), {GetParam().value}, {}};
    expectRoundTrip(
        key, QStringLiteral("Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Entry"));
}

INSTANTIATE_TEST_SUITE_P(
    Values, RegFileRoundTrip,
    ::testing::Values(
        TrickyValue{"QuoteBackslashBrackets", value(QStringLiteral("a\"b\\c[d]e"), kRegSz,
                                                    utf16(QStringLiteral("x\\\"y\" [z]")))},
        TrickyValue{"LineFeedInName",
                    value(QStringLiteral("two\nlines\r\n"), kRegSz, utf16(QStringLiteral("v")))},
        TrickyValue{"NulInName", value(QString(QStringLiteral("a")) + QChar(0) + u'b', kRegSz,
                                       utf16(QStringLiteral("v")))},
        TrickyValue{"LineFeedInData",
                    value(QStringLiteral("d"), kRegSz, utf16(QStringLiteral("a\nb\r")))},
        TrickyValue{"NulInsideData",
                    value(QStringLiteral("d"), kRegSz,
                          utf16(QStringLiteral("a")) + utf16(QStringLiteral("b")))},
        TrickyValue{"NoTerminatingNul",
                    value(QStringLiteral("d"), kRegSz, utf16(QStringLiteral("abc"), false))},
        TrickyValue{"OddByteCount", value(QStringLiteral("d"), kRegSz, QByteArray("a\0b", 3))},
        TrickyValue{"EmptySz", value(QStringLiteral("d"), kRegSz, QByteArray())},
        TrickyValue{"LoneSurrogate",
                    value(QStringLiteral("d"), kRegSz, QByteArray("\x3d\xd8\x00\x00", 4))},
        TrickyValue{"NonAscii", value(QStringLiteral("Nämé 中 \U0001F600"), kRegSz,
                                      utf16(QStringLiteral("Café € \U0001F600")))},
        TrickyValue{"MultiWithEmptyStrings", value(QStringLiteral("m"), kRegMultiSz,
                                                   utf16(QStringLiteral("one")) + utf16({}) +
                                                       utf16(QStringLiteral("two")) + utf16({}))},
        TrickyValue{"ExpandSz", value(QStringLiteral("e"), kRegExpandSz,
                                      utf16(QStringLiteral("%ProgramFiles%\\x")))},
        TrickyValue{"ExpandNonAsciiNoNul", value(QStringLiteral("e"), kRegExpandSz,
                                                 utf16(QStringLiteral("%A%\\Käy €"), false))},
        TrickyValue{"ExpandOddByteCount",
                    value(QStringLiteral("e"), kRegExpandSz, QByteArray("%\0a", 3))},
        TrickyValue{"ExpandStartsLikeTheMark",
                    value(QStringLiteral("e"), kRegExpandSz, QByteArray("\xff\xfe\x00\x00", 4))},
        TrickyValue{"MultiLoneSurrogate",
                    value(QStringLiteral("m"), kRegMultiSz, QByteArray("a\0\x3d\xd8\0\0\0\0", 8))},
        TrickyValue{"Qword", value(QStringLiteral("q"), kRegQword,
                                   QByteArray("\x88\x77\x66\x55\x44\x33\x22\x11"))},
        TrickyValue{"NoneKind", value(QStringLiteral("n"), kRegNone, QByteArray(2, '\0'))},
        TrickyValue{"UnknownKind", value(QStringLiteral("u"), 0xffffffffu, QByteArray("\x01", 1))},
        TrickyValue{"ShortDword", value(QStringLiteral("w"), kRegDword, QByteArray("\x01\x02", 2))},
        TrickyValue{"DefaultValue", value({}, kRegBinary, QByteArray(300, '\xff'))},
        TrickyValue{"AtSignName", value(QStringLiteral("@"), kRegSz, utf16(QStringLiteral("=")))}),
    [](const ::testing::TestParamInfo<TrickyValue>& info) { return info.param.label; });

// Names and data drawn from characters that each need care somewhere in the format.
class KeyGenerator
{
public:
    explicit KeyGenerator(unsigned seed) : m_random(seed) {}

    RegKeySnapshot key(const QString& name, int depth)
    {
        RegKeySnapshot key{name, {}, {}};
        const int values = pick(0, 6);
        for (int i = 0; i < values; ++i)
            key.values.push_back(
                {i == 0 && pick(0, 3) == 0 ? QString() : text(true) + QString::number(i), data()});
        const int subkeys = depth > 0 ? pick(0, 3) : 0;
        for (int i = 0; i < subkeys; ++i)
            key.subkeys.push_back(this->key(text(false) + QString::number(i), depth - 1));
        return key;
    }

private:
    int pick(int low, int high) { return std::uniform_int_distribution<int>(low, high)(m_random); }

    QString text(bool valueName)
    {
        static const QString plain = QStringLiteral("aZ09 \"[]@=;-_.,ä中€\U0001F600\t");
        static const QString nameOnly = QStringLiteral("\\\n\r");
        const QString& pool = valueName && pick(0, 1) ? plain + nameOnly : plain;
        QString out;
        const int length = pick(0, 12);
        for (int i = 0; i < length; ++i) {
            const int at = pick(0, int(pool.size()) - 1);
            if (pool[at].isSurrogate()) {
                out += QStringLiteral("\U0001F600");
                continue;
            }
            out += pool[at];
        }
        return out;
    }

    RegValue data()
    {
        static const uint32_t kinds[] = {kRegNone,  kRegSz,      kRegExpandSz, kRegBinary,
                                         kRegDword, kRegMultiSz, kRegQword,    0x4242u};
        const uint32_t kind = kinds[pick(0, 7)];
        if (kind == kRegSz || kind == kRegExpandSz)
            return {kind, utf16(text(true), pick(0, 5) != 0)};
        if (kind == kRegMultiSz)
            return {kind, utf16(text(true)) + utf16({}) + utf16(text(true)) + utf16({})};
        QByteArray bytes;
        const int size = kind == kRegDword ? (pick(0, 4) ? 4 : pick(0, 7)) : pick(0, 200);
        for (int i = 0; i < size; ++i)
            bytes += char(pick(0, 255));
        return {kind, bytes};
    }

    std::mt19937 m_random;
};

TEST(RegFileRoundTripProperty, ManyGeneratedKeysComeBackUnchanged)
{
    for (unsigned seed = 1; seed <= 300; ++seed) {
        KeyGenerator generator(seed);
        const RegKeySnapshot key = generator.key(QStringLiteral("Gen ] key"), 3);
        SCOPED_TRACE(seed);
        expectRoundTrip(key, QStringLiteral("Software\\Gen ] key"));
        if (HasFatalFailure() || HasFailure())
            return;
    }
}

TEST(RegFileReader, ReadsVersion5Utf16WithDeletionsAndShortRoots)
{
    const QString text = QStringLiteral("Windows Registry Editor Version 5.00\r\n\r\n"
                                        "; a comment\r\n"
                                        "[-hklm\\Software\\Old]\r\n\r\n"
                                        "[hkcu\\Software\\New]\r\n"
                                        "\"Gone\"=-\r\n"
                                        "\"Bin\"=hex:01,02,\\\r\n"
                                        "  03\r\n"
                                        "@=\"Ünï\"\r\n");
    QByteArray bytes("\xff\xfe");
    for (const QChar c : text) {
        bytes += char(c.unicode() & 0xff);
        bytes += char(c.unicode() >> 8);
    }
    const RegParseResult parsed = parseRegText(bytes);
    ASSERT_TRUE(parsed.ok()) << parsed.error.toStdString();
    ASSERT_EQ(parsed.changes.size(), 5u);
    EXPECT_EQ(parsed.changes[0].kind, RegChange::Kind::DeleteTree);
    EXPECT_EQ(parsed.changes[0].root, RegRoot::LocalMachine);
    EXPECT_EQ(parsed.changes[0].path, QStringLiteral("Software\\Old"));
    EXPECT_EQ(parsed.changes[1].kind, RegChange::Kind::CreateKey);
    EXPECT_EQ(parsed.changes[1].root, RegRoot::CurrentUser);
    EXPECT_EQ(parsed.changes[2].kind, RegChange::Kind::DeleteValue);
    EXPECT_EQ(parsed.changes[2].name, QStringLiteral("Gone"));
    EXPECT_EQ(parsed.changes[3].value, (RegValue{kRegBinary, QByteArray("\x01\x02\x03")}));
    EXPECT_EQ(parsed.changes[4].value, (RegValue{kRegSz, utf16(QStringLiteral("Ünï"))}));
}

TEST(RegFileReader, AcceptsLfOnlyLinesAndUtf8Bom)
{
    const RegParseResult parsed =
        parseRegText("\xef\xbb\xbfREGEDIT4\n\n[HKEY_LOCAL_MACHINE\\A]\n\"x\"=dword:1\n");
    ASSERT_TRUE(parsed.ok()) << parsed.error.toStdString();
    ASSERT_EQ(parsed.changes.size(), 2u);
    EXPECT_EQ(parsed.changes[1].value, (RegValue{kRegDword, QByteArray("\x01\0\0\0", 4)}));
}

struct MalformedFile {
    const char* label;
    QByteArray text;
    int line;
};

class RegFileMalformed : public ::testing::TestWithParam<MalformedFile>
{
};

TEST_P(RegFileMalformed, IsRefusedWholeWithItsLine)
{
    const RegParseResult parsed = parseRegText(GetParam().text);
    EXPECT_FALSE(parsed.ok());
    EXPECT_TRUE(parsed.changes.empty());
    EXPECT_EQ(parsed.errorLine, GetParam().line) << parsed.error.toStdString();
}

#define KEY "[HKEY_LOCAL_MACHINE\\Software\\A]\r\n"
INSTANTIATE_TEST_SUITE_P(
    Files, RegFileMalformed,
    ::testing::Values(
        MalformedFile{"BadHeader", "REGEDIT5\r\n\r\n" KEY, 1}, MalformedFile{"Empty", "", 0},
        MalformedFile{"TruncatedContinuation",
                      "REGEDIT4\r\n" KEY "\"a\"=\"ok\"\r\n\"b\"=hex:01,\\\r\n", 4},
        MalformedFile{"ContinuationIntoBlankLine",
                      "REGEDIT4\r\n" KEY "\"b\"=hex:01,\\\r\n\r\n\"c\"=\"x\"\r\n", 4},
        MalformedFile{"BadHex", "REGEDIT4\r\n" KEY "\"b\"=hex:01,zz\r\n", 3},
        MalformedFile{"ThreeDigitHex", "REGEDIT4\r\n" KEY "\"b\"=hex:100\r\n", 3},
        MalformedFile{"BadHexKind", "REGEDIT4\r\n" KEY "\"b\"=hex(q):01\r\n", 3},
        MalformedFile{"UnterminatedName", "REGEDIT4\r\n" KEY "\"b=\"x\r\n", 3},
        MalformedFile{"UnterminatedData",
                      "REGEDIT4\r\n" KEY "\"b\"=\"x\r\n[HKEY_LOCAL_MACHINE\\B]\r\n", 3},
        MalformedFile{"TextAfterString", "REGEDIT4\r\n" KEY "\"b\"=\"x\" y\r\n", 3},
        MalformedFile{"UnknownEscape", "REGEDIT4\r\n" KEY "\"b\"=\"\\q\"\r\n", 3},
        MalformedFile{"LongDword", "REGEDIT4\r\n" KEY "\"b\"=dword:123456789\r\n", 3},
        MalformedFile{"UnknownRoot", "REGEDIT4\r\n[HKEY_USERS\\X]\r\n", 2},
        MalformedFile{"EmptyComponent", "REGEDIT4\r\n[HKLM\\A\\\\B]\r\n", 2},
        MalformedFile{"UnclosedHeader", "REGEDIT4\r\n[HKLM\\A\r\n", 2},
        MalformedFile{"RootDeletion", "REGEDIT4\r\n[-HKLM]\r\n", 2},
        MalformedFile{"ValueBeforeKey", "REGEDIT4\r\n\"a\"=\"b\"\r\n", 2},
        MalformedFile{"ValueUnderDeletedKey", "REGEDIT4\r\n[-HKLM\\A]\r\n\"a\"=\"b\"\r\n", 3},
        MalformedFile{"StrayText", "REGEDIT4\r\n" KEY "garbage\r\n", 3},
        MalformedFile{"InvalidUtf8", "REGEDIT4\r\n" KEY "\"a\"=\"\xff\"\r\n", 3},
        MalformedFile{"EightBitHexNotUtf8",
                      "REGEDIT4\r\n; hex(2) and hex(7) data: UTF-8 text, or ff,fe and the bytes "
                      "as stored\r\n" KEY "\"e\"=hex(2):41,\\\r\n  ff,00\r\n",
                      5},
        MalformedFile{"NulInKeyName", QByteArray("REGEDIT4\r\n[HKLM\\A\0B]\r\n", 22), 2}),
    [](const ::testing::TestParamInfo<MalformedFile>& info) { return info.param.label; });
#undef KEY

TEST(RegFileReader, RefusesAHundredMegabyteFileUnread)
{
    QTemporaryDir dir;
    const QString name = dir.filePath(QStringLiteral("huge.reg"));
    QFile file(name);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("REGEDIT4\r\n");
    ASSERT_TRUE(file.resize(100LL * 1024 * 1024)); // sparse: quick to make
    file.close();
    const RegParseResult parsed = readRegFile(name);
    EXPECT_FALSE(parsed.ok());
    EXPECT_TRUE(parsed.changes.empty());
    EXPECT_TRUE(parsed.error.contains(QStringLiteral("too large")));
}

TEST(RegKeyPath, AcceptsLongAndShortRootsInAnyCase)
{
    EXPECT_EQ(parseRegKeyPath(QStringLiteral("hkey_local_machine\\A\\B"))->path,
              QStringLiteral("A\\B"));
    EXPECT_EQ(parseRegKeyPath(QStringLiteral("Hkcu\\A"))->root, RegRoot::CurrentUser);
    EXPECT_FALSE(parseRegKeyPath(QStringLiteral("HKLM\\A\\")));
    EXPECT_FALSE(parseRegKeyPath(QStringLiteral("HKU\\A")));
}

} // namespace
} // namespace nixora
