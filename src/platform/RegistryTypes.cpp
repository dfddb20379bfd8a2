#include "RegistryTypes.h"

#include <QtEndian>

#include <algorithm>

namespace nixora
{

RegValue makeStringValue(const QString& text, uint32_t type)
{
    RegValue value;
    value.type = type;
    value.data = QByteArray((text.size() + 1) * 2, '\0');
    qToLittleEndian<char16_t>(text.utf16(), text.size(), value.data.data());
    return value;
}

RegValue makeDwordValue(uint32_t number)
{
    RegValue value;
    value.type = kRegDword;
    value.data = QByteArray(4, Qt::Uninitialized);
    qToLittleEndian(number, value.data.data());
    return value;
}

QString textFromUtf16Le(QByteArrayView data)
{
    // An empty view may carry no pointer at all, which the copy below must not be handed.
    if (data.size() < 2)
        return {};
    QString text(data.size() / 2, Qt::Uninitialized);
    qFromLittleEndian<char16_t>(data.data(), text.size(), text.data());
    return text;
}

uint32_t dwordFromBytes(QByteArrayView data)
{
    char bytes[4] = {};
    if (!data.isEmpty())
        std::copy_n(data.data(), std::min<qsizetype>(data.size(), 4), bytes);
    return qFromLittleEndian<uint32_t>(bytes);
}

namespace
{

constexpr qsizetype kMaxKeyNameLength = 255;
constexpr qsizetype kMaxValueNameLength = 16383;

// Names are C strings to Wine: a NUL inside one would cut the name short when the hive is read
// back, and the key or value would come back under another name.
bool validName(QStringView name)
{
    return !name.contains(QChar(u'\0'));
}

} // namespace

RegResult checkChange(const RegChange& change)
{
    bool pathOk = true;
    bool hasComponent = false;
    for (QStringView part : QStringView(change.path).tokenize(u'\\', Qt::SkipEmptyParts)) {
        hasComponent = true;
        pathOk = pathOk && part.size() <= kMaxKeyNameLength && validName(part);
    }
    if (!pathOk || change.name.size() > kMaxValueNameLength || !validName(change.name))
        return RegResult::failure(RegStatus::InvalidArgument,
                                  QStringLiteral("Invalid registry path: %1").arg(change.path));
    if (change.kind == RegChange::Kind::DeleteTree && !hasComponent)
        return RegResult::failure(RegStatus::InvalidArgument,
                                  QStringLiteral("The root key cannot be deleted."));
    return RegResult::success();
}

} // namespace nixora
