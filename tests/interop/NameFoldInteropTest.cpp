#include "interop/WinePrefix.h"

#include "HiveText.h"
#include "support/TestData.h"

#include <QChar>
#include <QFile>

#include <map>
#include <set>
#include <utility>

namespace nixora::interop
{
namespace
{

using Pair = std::pair<char16_t, char16_t>;

// Every two BMP units that case mappings (lower, upper, title, folding, one after another) join.
[[nodiscard]] std::vector<Pair> caseMappedPairs()
{
    std::map<char16_t, std::set<char16_t>> classes; // each unit's class, by its smallest unit
    std::map<char16_t, char16_t> classOf;
    const auto join = [&](char16_t a, char16_t b) {
        const char16_t ca = classOf.try_emplace(a, a).first->second;
        const char16_t cb = classOf.try_emplace(b, b).first->second;
        if (ca == cb)
            return;
        std::set<char16_t>& into = classes[std::min(ca, cb)];
        std::set<char16_t> from = std::move(classes[std::max(ca, cb)]);
        classes.erase(std::max(ca, cb));
        into.insert({a, b});
        for (const char16_t unit : from)
            into.insert(unit);
        for (const char16_t unit : into)
            classOf[unit] = std::min(ca, cb);
    };
    for (char32_t c = 1; c < 0x10000; ++c) {
        if (QChar::isSurrogate(c) || c == u'\\')
            continue;
        for (const char32_t mapped : {QChar::toLower(c), QChar::toUpper(c), QChar::toTitleCase(c),
                                      QChar::toCaseFolded(c)}) {
            if (mapped != c && mapped < 0x10000 && !QChar::isSurrogate(mapped))
                join(char16_t(c), char16_t(mapped));
        }
    }
    std::vector<Pair> pairs;
    for (const auto& [first, members] : classes) {
        for (auto a = members.begin(); a != members.end(); ++a)
            for (auto b = std::next(a); b != members.end(); ++b)
                pairs.emplace_back(*a, *b);
    }
    return pairs;
}

[[nodiscard]] QByteArray keyName(char16_t unit)
{
    QByteArray name;
    hive::appendEscaped(name, QStringView(&unit, 1), "[]");
    return name;
}

[[nodiscard]] QByteArray keyBlock(const QByteArray& path, const char* value)
{
    return "\n[" + path + "] 1700000000\n#time=1da1b0ef8a00000\n\"" + value + "\"=\"1\"\n";
}

const QByteArray kFold = "Software\\\\NixoraFold\\\\";
const QByteArray kOrder = "Software\\\\NixoraOrder\\\\";

// The names of the keys Wine wrote directly below `parent`, in the order it wrote them.
[[nodiscard]] std::vector<QString> keysWrittenBelow(const QByteArray& text,
                                                    const QByteArray& parent)
{
    std::vector<QString> names;
    const QByteArray start = "\n[" + parent;
    for (qsizetype at = text.indexOf(start); at >= 0; at = text.indexOf(start, at + 1)) {
        const char* p = text.constData() + at + start.size();
        QString name;
        if (hive::parseEscaped(p, text.constData() + text.size(), ']', name) != nullptr)
            names.push_back(name);
    }
    return names;
}

class NameFoldInterop : public WineTest
{
};

// Sibling keys whose names differ in one unit that a case mapping joins, loaded and saved by a
// real wineserver: Wine keeps the two keys apart or makes them one, and Nixora must take the two
// names for one exactly when Wine does. Wine's order of siblings must be Nixora's order too.
TEST_F(NameFoldInterop, TwoNamesAreOneForNixoraExactlyWhenTheyAreOneForWine)
{
    const std::vector<Pair> pairs = caseMappedPairs();
    ASSERT_GT(pairs.size(), 1200u);
    QByteArray added;
    std::set<char16_t> units;
    for (size_t i = 0; i < pairs.size(); ++i) {
        const QByteArray parent = kFold + QByteArray::number(qulonglong(i)) + "\\\\";
        added += keyBlock(parent + keyName(pairs[i].first), "first");
        added += keyBlock(parent + keyName(pairs[i].second), "second");
        units.insert({pairs[i].first, pairs[i].second});
    }
    for (char16_t c = 0x21; c < 0x7f; ++c)
        units.insert(c);
    units.erase(u'\\');
    for (const char16_t unit : units)
        added += keyBlock(kOrder + keyName(unit), "v");
    const QString hivePath = m_wine->hostPath(QStringLiteral("system.reg"));
    test::writeAll(hivePath, test::readAll(hivePath) + added);

    const ToolRun touch =
        m_wine->wine({QStringLiteral("reg"), QStringLiteral("add"),
                      QStringLiteral("HKLM\\Software\\NixoraTouched"), QStringLiteral("/f")});
    ASSERT_EQ(touch.exitCode, 0) << touch.standardError.toStdString();
    m_wine->waitForServer();
    const QByteArray saved = test::readAll(hivePath);
    ASSERT_TRUE(saved.contains("NixoraTouched"));

    int disagreements = 0;
    for (size_t i = 0; i < pairs.size(); ++i) {
        const QByteArray parent = kFold + QByteArray::number(qulonglong(i)) + "\\\\";
        const size_t written = keysWrittenBelow(saved, parent).size();
        ASSERT_TRUE(written == 1 || written == 2) << i;
        const QString a(QChar(pairs[i].first)), b(QChar(pairs[i].second));
        if (hive::sameName(a, b) != (written == 1) && ++disagreements <= 20)
            ADD_FAILURE() << std::hex << "U+" << int(pairs[i].first) << " and U+"
                          << int(pairs[i].second) << ": Wine wrote " << written << " keys";
    }
    EXPECT_EQ(disagreements, 0) << "of " << pairs.size() << " pairs";

    const std::vector<QString> order = keysWrittenBelow(saved, kOrder);
    ASSERT_GT(order.size(), 1000u);
    for (size_t i = 1; i < order.size(); ++i)
        EXPECT_LT(hive::compareNames(order[i - 1], order[i]), 0)
            << std::hex << "U+" << int(order[i - 1][0].unicode()) << " before U+"
            << int(order[i][0].unicode());
}

} // namespace
} // namespace nixora::interop
