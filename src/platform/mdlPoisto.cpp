#include "mdlPoisto.h"

#include <cmath>

using nixora::RegValue;

namespace mdlPoisto
{
namespace
{

bool isTextKind(uint32_t type)
{
    return type == nixora::kRegSz || type == nixora::kRegExpandSz || type == nixora::kRegMultiSz;
}

qsizetype utf8Length(QStringView text)
{
    qsizetype bytes = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if (c < 0x80) {
            bytes += 1;
        } else if (c < 0x800) {
            bytes += 2;
        } else if (QChar::isHighSurrogate(c) && i + 1 < text.size() &&
                   QChar::isLowSurrogate(text[i + 1].unicode())) {
            bytes += 4;
            ++i;
        } else {
            bytes += 3;
        }
    }
    return bytes;
}

// Text kinds reach the program in the locale's encoding (UTF-8); the buffer limit counts those
// bytes with the terminating NUL.
std::optional<QString> textOf(const RegValue& value)
{
    QString text = nixora::textFromUtf16Le(value.data);
    // Only a terminator is dropped; text stored without one keeps its last character.
    if (!text.isEmpty() && text.back() == QChar(0))
        text.chop(1);
    if (utf8Length(text) + 1 > kValueBufferBytes)
        return std::nullopt;
    return text;
}

QString dwordText(const QByteArray& data)
{
    return QString::number(nixora::dwordFromBytes(data)).rightJustified(3, u'0');
}

// Kinds the program does not know are handed over as their bytes, less the last one, as text.
QString rawText(const QByteArray& data)
{
    return data.isEmpty() ? QString() : QString::fromUtf8(data.left(data.size() - 1));
}

// The text of a REG_DWORD write converted as the original did: a whole number, or one
// rounded half to even, within the signed 32-bit range; anything else is not written.
std::optional<int32_t> dwordFromText(const QString& data)
{
    const QString trimmed = data.trimmed();
    bool ok = false;
    const qlonglong whole = trimmed.toLongLong(&ok);
    double number = double(whole);
    if (!ok) {
        number = trimmed.toDouble(&ok);
        if (!ok || !std::isfinite(number))
            return std::nullopt;
        number = std::nearbyint(number);
    }
    if (number < -2147483648.0 || number > 2147483647.0)
        return std::nullopt;
    return int32_t(number);
}

} // namespace

QString LueRekisteriarvo(nixora::Registry& registry, nixora::RegRoot root, const QString& path,
                         const QString& name)
{
    const std::optional<RegValue> value = registry.queryValue(root, path, name);
    if (!value)
        return kNotFound;
    if (isTextKind(value->type)) {
        const std::optional<QString> text = textOf(*value);
        return text ? *text : kNotFound;
    }
    if (value->data.size() > kValueBufferBytes)
        return kNotFound;
    if (value->type == nixora::kRegDword)
        return dwordText(value->data);
    if (value->type == nixora::kRegBinary)
        return QString::fromLatin1(value->data.toHex().toUpper());
    return rawText(value->data);
}

QString LueAliavain(nixora::Registry& registry, nixora::RegRoot root, const QString& path,
                    const int32_t& index)
{
    if (index < 0)
        return kNotFound;
    const std::optional<QString> name = registry.subkeyName(root, path, uint32_t(index));
    if (!name || utf8Length(*name) + 1 > kSubkeyBufferChars)
        return kNotFound;
    return *name;
}

SubkeyEntry readSubkeyEntry(nixora::Registry& registry, nixora::RegRoot root, const QString& path,
                            int32_t index)
{
    if (index < 0)
        return {};
    std::optional<QString> name = registry.subkeyName(root, path, uint32_t(index));
    if (!name)
        return {};
    if (utf8Length(*name) + 1 > kSubkeyBufferChars)
        return {SubkeyStatus::Unreadable, QString()};
    return {SubkeyStatus::Name, std::move(*name)};
}

bool KirjoitaRekisteriarvo(nixora::Registry& registry, nixora::RegRoot root, const QString& path,
                           const QString& name, int32_t kind, const QString& data)
{
    RegValue value;
    if (kind == int32_t(nixora::kRegDword)) {
        const std::optional<int32_t> number = dwordFromText(data);
        if (!number)
            return false;
        value = nixora::makeDwordValue(uint32_t(*number));
    } else {
        value = nixora::makeStringValue(data, nixora::kRegSz);
    }
    return registry.setValue(root, path, name, value).ok();
}

} // namespace mdlPoisto
