#include "prefixes/Vdf.h"

#include <QStringList>

#include <gtest/gtest.h>

namespace nixora::prefixes
{
namespace
{

// The tree as one line: key=value, key{...}, entries separated by ';'.
QString dump(const std::vector<VdfNode>& nodes)
{
    QStringList parts;
    for (const VdfNode& node : nodes)
        parts << (node.isBlock ? node.key + u'{' + dump(node.children) + u'}'
                               : node.key + u'=' + node.value);
    return parts.join(u';');
}

struct VdfCase {
    const char* name;
    const char* text;
    const char* expected; // the dump, or "error: line N: ..." for a text that must be refused
};

class VdfParse : public testing::TestWithParam<VdfCase>
{
};

TEST_P(VdfParse, GivesTheTreeOrTheErrorLine)
{
    const VdfDocument doc = parseVdf(QString::fromUtf8(GetParam().text));
    const QString got = doc.ok() ? dump(doc.entries) : QStringLiteral("error: ") + doc.error;
    EXPECT_EQ(got.toStdString(), GetParam().expected);
}

const VdfCase kCases[] = {
    {"CurrentLibraryFolders",
     "\"libraryfolders\"\n{\n\t\"0\"\n\t{\n\t\t\"path\"\t\t\"/home/u/.local/share/Steam\"\n"
     "\t\t\"apps\"\n\t\t{\n\t\t\t\"228980\"\t\t\"318\"\n\t\t}\n\t}\n}\n",
     "libraryfolders{0{path=/home/u/.local/share/Steam;apps{228980=318}}}"},
    {"OldLibraryFolders",
     "\"LibraryFolders\"\n{\n\t\"TimeNextStatsReport\"\t\t\"1561832478\"\n"
     "\t\"ContentStatsID\"\t\t\"-158337411\"\n\t\"1\"\t\t\"/mnt/games/SteamLibrary\"\n}\n",
     "LibraryFolders{TimeNextStatsReport=1561832478;ContentStatsID=-158337411;1=/mnt/games/"
     "SteamLibrary}"},
    {"Escapes", R"("k" "a\"b\\c\nd\te\q")", "k=a\"b\\c\nd\te\\q"},
    {"WindowsPath", R"("path" "D:\\Games\\Steam")", "path=D:\\Games\\Steam"},
    {"BareTokensCommentsAndConditions",
     "// written by hand\nroot { key value [$WIN32] other \"x y\" // trailing\n }",
     "root{key=value;other=x y}"},
    {"KeysInAnyCaseAndEmptyValues", "\"A\" \"\" \"b\" {}", "A=;b{}"},
    {"QuoteSpansLines", "\"k\" \"two\nlines\"", "k=two\nlines"},
    {"UnterminatedString", "\"a\"\n{\n\t\"b\" \"never closed\n}\n",
     "error: line 3: unterminated string"},
    {"UnclosedBlock", "\"a\"\n{\n\t\"b\" \"c\"\n", "error: line 4: block \"a\" is not closed"},
    {"StrayClose", "\"a\" \"b\"\n}\n", "error: line 2: unexpected '}'"},
    {"KeyWithoutValue", "\"a\" { \"b\" }", "error: line 1: key \"b\" has no value"},
    {"BlockWithoutKey", "{ \"a\" \"b\" }", "error: line 1: expected a key"},
    {"NestedTooDeeply", nullptr, "error: line 1: nested too deeply"},
};

std::vector<VdfCase> cases()
{
    // 100 nested blocks: a hostile file must not exhaust the stack.
    static const std::string deep = [] {
        std::string text;
        for (int i = 0; i < 100; ++i)
            text += "k {";
        return text;
    }();
    std::vector<VdfCase> all(std::begin(kCases), std::end(kCases));
    all.back().text = deep.c_str();
    return all;
}

INSTANTIATE_TEST_SUITE_P(Steam, VdfParse, testing::ValuesIn(cases()),
                         [](const testing::TestParamInfo<VdfCase>& info) {
                             return std::string(info.param.name);
                         });

} // namespace
} // namespace nixora::prefixes
