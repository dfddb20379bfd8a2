#include "InstallerProducts.h"

#include "TextUtil.h"

#include <QRegularExpression>

#include <algorithm>

namespace nixora
{
namespace
{

const QString kMachineProducts = QStringLiteral("Software\\Classes\\Installer\\Products\\");
const QString kUserProducts = QStringLiteral("Software\\Microsoft\\Installer\\Products\\");
const QString kInstallerData =
    QStringLiteral("Software\\Microsoft\\Windows\\CurrentVersion\\Installer\\");
const QString kManaged = kInstallerData + QStringLiteral("Managed\\");
const QString kUserData = kInstallerData + QStringLiteral("UserData\\");

[[nodiscard]] bool isHexDigit(QChar c)
{
    return (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F');
}

[[nodiscard]] std::optional<QString> text(Registry& registry, RegRoot root, const QString& path,
                                          const QString& name)
{
    const std::optional<RegValue> value = registry.queryValue(root, path, name);
    if (!value || (value->type != kRegSz && value->type != kRegExpandSz))
        return std::nullopt;
    QString decoded = textFromUtf16Le(value->data);
    while (decoded.endsWith(QChar(0)))
        decoded.chop(1);
    return decoded;
}

// The subkeys of `path`: the user SIDs below Managed and UserData.
[[nodiscard]] QStringList subkeysOf(Registry& registry, RegRoot root, const QString& path)
{
    QStringList names;
    for (uint32_t i = 0;; ++i) {
        std::optional<QString> name = registry.subkeyName(root, path, i);
        if (!name)
            return names;
        names << *name;
    }
}

// Where the product is registered, if anywhere: the key whose SourceList names its source.
[[nodiscard]] std::optional<std::pair<RegRoot, QString>> productKey(Registry& registry,
                                                                    const QString& packed)
{
    if (registry.keyExists(RegRoot::LocalMachine, kMachineProducts + packed))
        return std::pair{RegRoot::LocalMachine, kMachineProducts + packed};
    if (registry.keyExists(RegRoot::CurrentUser, kUserProducts + packed))
        return std::pair{RegRoot::CurrentUser, kUserProducts + packed};
    for (const QString& sid : subkeysOf(registry, RegRoot::LocalMachine, kManaged)) {
        const QString path = kManaged + sid + QStringLiteral("\\Installer\\Products\\") + packed;
        if (registry.keyExists(RegRoot::LocalMachine, path))
            return std::pair{RegRoot::LocalMachine, path};
    }
    return std::nullopt;
}

[[nodiscard]] bool exists(FileQuery& files, const QString& windowsPath)
{
    return !windowsPath.isEmpty() && files.findFirstFile(windowsPath).has_value();
}

// The package msiexec keeps a copy of (InstallProperties LocalPackage, under any user's data).
[[nodiscard]] bool localPackageExists(Registry& registry, FileQuery& files, const QString& packed)
{
    for (const QString& sid : subkeysOf(registry, RegRoot::LocalMachine, kUserData)) {
        const QString path = kUserData + sid + QStringLiteral("\\Products\\") + packed +
                             QStringLiteral("\\InstallProperties");
        if (exists(files,
                   text(registry, RegRoot::LocalMachine, path, QStringLiteral("LocalPackage"))
                       .value_or(QString())))
            return true;
    }
    return false;
}

// The package it was installed from: SourceList's LastUsedSource ("n;1;C:\folder\", a kind, an
// index and the folder) and PackageName.
[[nodiscard]] bool sourcePackageExists(Registry& registry, FileQuery& files, RegRoot root,
                                       const QString& productPath)
{
    const QString sourceList = productPath + QStringLiteral("\\SourceList");
    const std::optional<QString> last =
        text(registry, root, sourceList, QStringLiteral("LastUsedSource"));
    const std::optional<QString> name =
        text(registry, root, sourceList, QStringLiteral("PackageName"));
    if (!last || !name || name->isEmpty())
        return false;
    QString folder = last->section(u';', 2);
    if (!folder.isEmpty() && !folder.endsWith(u'\\'))
        folder += u'\\';
    return exists(files, folder + *name);
}

} // namespace

bool isProductCode(QStringView text)
{
    if (text.size() != 38 || text.front() != u'{' || text.back() != u'}')
        return false;
    for (qsizetype i = 1; i < 37; ++i) {
        const bool dash = i == 9 || i == 14 || i == 19 || i == 24;
        if (dash ? text[i] != u'-' : !isHexDigit(text[i]))
            return false;
    }
    return true;
}

std::optional<QString> packedProductCode(QStringView productCode)
{
    if (!isProductCode(productCode))
        return std::nullopt;
    QString digits;
    for (QChar c : productCode.mid(1, 36)) {
        if (c != u'-')
            digits += c.toUpper();
    }
    QString packed;
    for (const auto [start, length] : {std::pair{0, 8}, {8, 4}, {12, 4}}) {
        QString part = digits.mid(start, length);
        std::reverse(part.begin(), part.end());
        packed += part;
    }
    for (int i = 16; i < 32; i += 2)
        packed += QString(digits[i + 1]) + digits[i];
    return packed;
}

std::optional<QString> installerProductOf(bool windowsInstaller, const QString& subkey,
                                          const QString& uninstallString)
{
    if (windowsInstaller && isProductCode(subkey))
        return subkey;
    static const QRegularExpression msiexec(
        QStringLiteral("^\\s*\"?(?:[^\"]*\\\\)?msiexec(?:\\.exe)?\"?\\s+[/-][ix]\\s*(\\{[^}]*\\})"),
        QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch match = msiexec.match(uninstallString);
    if (match.hasMatch() && isProductCode(match.capturedView(1)))
        return match.captured(1);
    return std::nullopt;
}

bool hasWindowsInstallerFlag(Registry& registry, RegRoot root, const QString& entryPath)
{
    const std::optional<RegValue> value =
        registry.queryValue(root, entryPath, QStringLiteral("WindowsInstaller"));
    return value && value->type == kRegDword && value->data.size() == 4 &&
           dwordFromBytes(value->data) == 1;
}

ProductState installerProductState(Registry& registry, FileQuery& files, const QString& productCode)
{
    const std::optional<QString> packed = packedProductCode(productCode);
    if (!packed)
        return ProductState::Usable;
    const auto key = productKey(registry, *packed);
    if (!key)
        return ProductState::NotRegistered;
    if (localPackageExists(registry, files, *packed) ||
        sourcePackageExists(registry, files, key->first, key->second))
        return ProductState::Usable;
    return ProductState::PackageMissing;
}

QStringList installerMachineKeys()
{
    return {kMachineProducts, kManaged, kUserData};
}

QStringList installerUserKeys()
{
    return {kUserProducts};
}

} // namespace nixora
