#include "ShortName.h"

#include "FileQuery.h"

#include <QString>

#include <cstdint>

namespace nixora
{
namespace
{

constexpr char16_t kShortNameAlphabet[] = u"ABCDEFGHIJKLMNOPQRSTUVWXYZ012345";

[[nodiscard]] bool isInvalidInShortName(QChar c)
{
    static constexpr QStringView kInvalid = u"*?<>|\"+=,;[] ~.";
    return c.unicode() > 0x7f || kInvalid.contains(c);
}

[[nodiscard]] char16_t lower(QChar c)
{
    return c.toLower().unicode();
}

// Wine 8's hash_short_file_name: 16 bits, over UTF-16 units folded to lower case.
[[nodiscard]] uint16_t shortNameHash(QStringView name)
{
    uint16_t hash = 0xBEEF;
    const qsizetype n = name.size();
    for (qsizetype i = 0; i + 1 < n; ++i)
        hash = static_cast<uint16_t>((hash << 3) ^ (hash >> 5) ^ lower(name[i]) ^
                                     (lower(name[i + 1]) << 8));
    if (n > 0)
        hash = static_cast<uint16_t>((hash << 3) ^ (hash >> 5) ^ lower(name[n - 1]));
    return hash;
}

void appendShortChar(QString& out, QChar c)
{
    out += isInvalidInShortName(c) ? QChar(u'_') : c.toUpper();
}

} // namespace

bool isLegalShortName(QStringView name)
{
    static constexpr QStringView kIllegal = u"*?<>|\"+=,;[]:/\\ ";
    if (name.isEmpty() || name.size() > 12)
        return false;
    if (name.front() == u'.')
        return name == u"." || name == u"..";
    qsizetype dot = -1;
    for (qsizetype i = 0; i < name.size(); ++i) {
        const QChar c = name[i];
        if (c.unicode() > 0x7f || c.unicode() < 0x20 || kIllegal.contains(c))
            return false;
        if (c == u'.') {
            if (dot >= 0)
                return false;
            dot = i;
        }
    }
    if (dot < 0)
        return name.size() <= 8;
    const qsizetype extension = name.size() - dot - 1;
    return dot <= 8 && extension >= 1 && extension <= 3;
}

bool looksLikeHashedShortName(QStringView name)
{
    return name.size() >= 8 && name[4] == u'~' && isLegalShortName(name) &&
           (name.size() == 8 || name[8] == u'.');
}

QString wineShortName(const QString& longName)
{
    if (isLegalShortName(longName))
        return longName.toUpper();

    // The extension starts at the last dot that is neither the first nor the last character.
    qsizetype extension = -1;
    for (qsizetype i = 1; i + 1 < longName.size(); ++i) {
        if (longName[i] == u'.')
            extension = i;
    }
    const qsizetype baseEnd = extension >= 0 ? extension : longName.size();

    QString out;
    for (qsizetype i = 0; i < baseEnd && i < 4; ++i)
        appendShortChar(out, longName[i]);
    while (out.size() < 5)
        out += u'~';
    const uint16_t hash = shortNameHash(longName);
    out += QChar(kShortNameAlphabet[(hash >> 10) & 31]);
    out += QChar(kShortNameAlphabet[(hash >> 5) & 31]);
    out += QChar(kShortNameAlphabet[hash & 31]);
    if (extension >= 0) {
        out += u'.';
        for (qsizetype i = extension + 1; i < longName.size() && i <= extension + 3; ++i)
            appendShortChar(out, longName[i]);
    }
    return out;
}

} // namespace nixora
