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
    if (!uninstallString.contains(u'{'))
        return std::nullopt;
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

ProductState InstallerRegistrations::stateOf(const QString& productCode)
{
    const std::optional<QString> packed = packedProductCode(productCode);
    if (!packed)
        return ProductState::Usable;
    const auto key = productKey(*packed);
    if (!key)
        return ProductState::NotRegistered;
    if (localPackageExists(*packed) || sourcePackageExists(key->first, key->second))
        return ProductState::Usable;
    return ProductState::PackageMissing;
}

const QStringList& InstallerRegistrations::usersOf(const QString& path,
                                                   std::optional<QStringList>& kept)
{
    if (!kept)
        kept = subkeysOf(m_registry, RegRoot::LocalMachine, path);
    return *kept;
}

// Where the product is registered, if anywhere: per machine, per user, or managed for a user.
std::optional<std::pair<RegRoot, QString>> InstallerRegistrations::productKey(const QString& packed)
{
    if (m_registry.keyExists(RegRoot::LocalMachine, kMachineProducts + packed))
        return std::pair{RegRoot::LocalMachine, kMachineProducts + packed};
    if (m_registry.keyExists(RegRoot::CurrentUser, kUserProducts + packed))
        return std::pair{RegRoot::CurrentUser, kUserProducts + packed};
    for (const QString& sid : usersOf(kManaged, m_managedUsers)) {
        const QString path = kManaged + sid + QStringLiteral("\\Installer\\Products\\") + packed;
        if (m_registry.keyExists(RegRoot::LocalMachine, path))
            return std::pair{RegRoot::LocalMachine, path};
    }
    return std::nullopt;
}

bool InstallerRegistrations::exists(const QString& windowsPath)
{
    // msiexec opens the package by name: a hidden file serves as well as any.
    return !windowsPath.isEmpty() && m_files.fileExists(windowsPath);
}

// The package msiexec keeps a copy of (InstallProperties LocalPackage, under any user's data).
bool InstallerRegistrations::localPackageExists(const QString& packed)
{
    for (const QString& sid : usersOf(kUserData, m_dataUsers)) {
        const QString path = kUserData + sid + QStringLiteral("\\Products\\") + packed +
                             QStringLiteral("\\InstallProperties");
        if (exists(text(m_registry, RegRoot::LocalMachine, path, QStringLiteral("LocalPackage"))
                       .value_or(QString())))
            return true;
    }
    return false;
}

// The package it was installed from: SourceList's LastUsedSource ("n;1;C:\folder\", a kind, an
// index and the folder) and PackageName.
bool InstallerRegistrations::sourcePackageExists(RegRoot root, const QString& productPath)
{
    const QString sourceList = productPath + QStringLiteral("\\SourceList");
    const std::optional<QString> last =
        text(m_registry, root, sourceList, QStringLiteral("LastUsedSource"));
    const std::optional<QString> name =
        text(m_registry, root, sourceList, QStringLiteral("PackageName"));
    if (!last || !name || name->isEmpty())
        return false;
    QString folder = last->section(u';', 2);
    if (!folder.isEmpty() && !folder.endsWith(u'\\'))
        folder += u'\\';
    return exists(folder + *name);
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
