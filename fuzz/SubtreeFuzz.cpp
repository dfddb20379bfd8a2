#include "FuzzTargets.h"

#include "HiveImage.h"
#include "HiveText.h"

#include <array>
#include <string_view>

// The quick scan of a few subtrees judges key lines from their raw bytes; the whole parse reads
// every line. The input drives a generator of hives whose key lines spell the listing's keys,
// their twins and their neighbours in every way Wine reads them, so that the two parses meet.
namespace nixora::fuzz
{
namespace
{

// What the input says, one choice at a time; past its end every choice is the first.
class Choices
{
public:
    explicit Choices(QByteArrayView input) : m_input(input) {}
    [[nodiscard]] bool more() const { return m_at < m_input.size(); }
    [[nodiscard]] unsigned pick(unsigned count)
    {
        return more() ? static_cast<unsigned char>(m_input[m_at++]) % count : 0;
    }

private:
    QByteArrayView m_input;
    qsizetype m_at = 0;
};

const QStringList kSubtrees{
    QStringLiteral("Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall"),
    QStringLiteral("Software\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Uninstall"),
    QStringLiteral("Software\\Microsoft\\Active Setup\\Installed Components"),
    QStringLiteral("Software\\Wow6432Node\\Microsoft\\Active Setup\\Installed Components"),
};

// Paths a key line may start from: the subtrees, keys beside and above them.
const std::array<const char16_t*, 8> kBases{
    u"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall",
    u"Software\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Uninstall",
    u"Software\\Microsoft\\Active Setup\\Installed Components",
    u"Software\\Wow6432Node\\Microsoft\\Active Setup\\Installed Components",
    u"Software\\Microsoft\\Windows\\CurrentVersion\\UninstallX",
    u"Software\\Microsoft\\Windows\\CurrentVersion",
    u"Software\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Uninstal",
    u"Software\\Classes",
};

// Entry names: letter case, non-ASCII units that fold and do not (U+212A is no "k"), brackets,
// quotes, blanks, a NUL.
using namespace std::string_view_literals;
const std::array<std::u16string_view, 12> kNames{
    u"App"sv,    u"aPP"sv, u"\u00c4pp"sv, u"\u00e4PP"sv, u"{1A2B-3C}"sv, u"Br]acket"sv,
    u"\u212a"sv, u"k"sv,   u"a \"q\""sv,  u"\u03a9"sv,   u"x\\y"sv,      u"nul\0z"sv,
};

// One unit of a key name as Wine may read it: escaped in octal or hex, a raw NUL, the other
// letter case, UTF-8.
void spellUnit(QByteArray& out, char16_t unit, unsigned how)
{
    if (unit == 0 && how == 5) {
        out += '\0'; // a NUL byte ends the line for Wine
    } else if (unit == u']' || unit == u'[' || unit == u'\\') {
        out += '\\';
        out += char(unit);
    } else if (unit == 0 || (how == 1 && unit < 0x100)) {
        out += '\\' + QByteArray::number(unit, 8).rightJustified(how == 1 ? 3 : 1, '0');
    } else if (how == 2 || unit < 0x20) {
        out += "\\x" + QByteArray::number(unit, 16).rightJustified(4, '0');
    } else if (how == 3 && unit >= 0x80) {
        out += "\\x" + QByteArray::number(unit, 16);
    } else if (how == 4 && unit < 0x80 && QChar::isLetter(unit)) {
        out += char(QChar::isUpper(unit) ? QChar::toLower(unit) : QChar::toUpper(unit));
    } else {
        out += QString(QChar(unit)).toUtf8();
    }
}

// One name: mostly as Wine writes it, else in other letter case, with one unit escaped, with
// raw UTF-8, or each unit spelled its own way.
void spellName(QByteArray& out, QStringView name, Choices& choices)
{
    const unsigned mode = choices.pick(8);
    if (mode < 4) {
        hive::appendEscaped(out, name, "[]");
        return;
    }
    const qsizetype escaped = qsizetype(choices.pick(16));
    for (qsizetype i = 0; i < name.size(); ++i) {
        const char16_t unit = name[i].unicode();
        const unsigned how = mode == 4   ? 4
                             : mode == 5 ? (i == escaped ? 1 + choices.pick(2) : 3)
                             : mode == 6 ? 0
                                         : choices.pick(6);
        spellUnit(out, unit, how);
    }
}

// A path's components joined by Wine's separator, doubled, empty or trailing at times.
QByteArray spellPath(const QString& path, Choices& choices)
{
    QByteArray out;
    if (choices.pick(16) == 0)
        out += "\\\\";
    const QStringList parts = path.split(u'\\');
    for (qsizetype i = 0; i < parts.size(); ++i) {
        if (i > 0)
            out += choices.pick(12) == 0 ? "\\\\\\\\" : "\\\\";
        spellName(out, parts[i], choices);
    }
    if (choices.pick(12) == 0)
        out += "\\\\";
    return out;
}

// Lines that are no key lines but hold '[' or could be taken for one. Hex data continued onto
// a line that looks like a key line makes the quick scan read the whole file: that one is rare.
QByteArray strayLine(Choices& choices, const QByteArray& keyText)
{
    const unsigned kind = choices.pick(16);
    if (kind == 0)
        return "\"h\"=hex:01,02,\\\n  [" + keyText + "]\n";
    if (kind < 4)
        return ";; comment [" + keyText + "]\n";
    if (kind < 7)
        return "\"v\"=\"[" + keyText + "]\"\n";
    if (kind < 9) // a key line without its closing bracket
        return "[" + keyText + " 1700000000\n";
    if (kind == 9)
        return "#link\n";
    if (kind < 12)
        return "\"@\"=dword:00000001\r\n";
    return "\n";
}

QByteArray generatedHive(Choices& choices)
{
    QByteArray text = "WINE REGISTRY Version 2\n;; All keys relative to REGISTRY\\\\Machine\n\n"
                      "#arch=win64\n";
    for (int block = 0; block < 64 && choices.more(); ++block) {
        QString path = QString::fromUtf16(kBases[choices.pick(unsigned(kBases.size()))]);
        for (unsigned depth = choices.pick(3); depth > 0; --depth) {
            const std::u16string_view name = kNames[choices.pick(unsigned(kNames.size()))];
            path += u'\\' + QString::fromUtf16(name.data(), qsizetype(name.size()));
        }
        const QByteArray keyText = spellPath(path, choices);
        text += choices.pick(4) == 0 ? "\r\n" : "\n";
        text += QByteArray(int(choices.pick(3)), ' ') + '[' + keyText + "] 1700000000\n";
        if (choices.pick(2) == 0)
            text += "#time=1da0000000000000\n";
        text += "\"DisplayName\"=\"" + QByteArray::number(block) + "\"\n";
        if (choices.pick(3) == 0)
            text += strayLine(choices, spellPath(path, choices));
    }
    return text;
}

// Every read the listing makes: each subtree whole, and each entry listed under one subtree
// read by name under every other (the twin of an HKLM entry under Wow6432Node, and back).
QString compareReads(HiveFile& whole, HiveFile& part)
{
    for (const QString& subtree : kSubtrees) {
        if (!part.covers(subtree))
            return QStringLiteral("%1 is not covered").arg(subtree);
        HiveKey* a = whole.findKey(subtree);
        HiveKey* b = part.findKey(subtree);
        if ((a == nullptr) != (b == nullptr))
            return QStringLiteral("%1: found by one parse only").arg(subtree);
        if (a != nullptr) {
            if (QString failure = compareImages(imageOf(whole, a), imageOf(part, b), subtree);
                !failure.isEmpty())
                return failure;
        }
    }
    for (const QString& listed : kSubtrees) {
        HiveKey* list = part.findKey(listed);
        for (size_t i = 0; list != nullptr && i < list->children.size(); ++i) {
            const QString name = part.childAt(list, i)->name;
            for (const QString& other : kSubtrees) {
                HiveKey* a = whole.findKey(other + u'\\' + name);
                HiveKey* b = part.findKey(other + u'\\' + name);
                if ((a == nullptr) != (b == nullptr) ||
                    (a != nullptr && !compareImages(imageOf(whole, a), imageOf(part, b)).isEmpty()))
                    return QStringLiteral("%1 listed, %2 read differently")
                        .arg(listed + u'\\' + name, other);
            }
        }
    }
    return {};
}

} // namespace

QString subtreeParse(QByteArrayView input)
{
    Choices choices(input);
    const QByteArray text = generatedHive(choices);
    std::unique_ptr<HiveFile> whole = HiveFile::parse(text);
    std::unique_ptr<HiveFile> part = HiveFile::parseSubtrees(text, kSubtrees);
    if (!whole || !part)
        return QStringLiteral("a generated hive does not parse");
    if (part->isPartial() && (part->serialize() != text || part->serialize(true)))
        return QStringLiteral("a tree of subtrees would be written");
    return compareReads(*whole, *part);
}

} // namespace nixora::fuzz
