#pragma once

#include "FileQuery.h"
#include "Registry.h"

#include <QString>

#include <QStringList>

#include <optional>
#include <utility>

namespace nixora
{

// Windows Installer (MSI) products as Wine's msi.dll registers them.

// The packed form of a product code, as the Installer keys name a product: the braces and
// dashes go, the first 8, the next 4 and the next 4 hex digits are reversed, and each pair of
// the last 16 is swapped ("{23067521-119B-4B0A-BCDD-38835D58077B}" packs to
// "12576032B911A0B4CBDD8338D58570B7"). Nothing when the text is not a product code.
[[nodiscard]] std::optional<QString> packedProductCode(QStringView productCode);

// True for "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" with hex digits in either case.
[[nodiscard]] bool isProductCode(QStringView text);

// The product an entry belongs to: its key name when it has WindowsInstaller=1 (REG_DWORD) and
// that name is a product code; else the product code of an uninstall string
// "MsiExec.exe /X{...}" or "/I{...}" (any case, with or without .exe and a folder).
[[nodiscard]] std::optional<QString>
installerProductOf(bool windowsInstaller, const QString& subkey, const QString& uninstallString);

// Whether the entry's key has WindowsInstaller=1 as a REG_DWORD, as Windows' list and Wine's
// uninstaller test it.
[[nodiscard]] bool hasWindowsInstallerFlag(Registry& registry, RegRoot root,
                                           const QString& entryPath);

// What an uninstall of the product through msiexec /x would meet.
enum class ProductState {
    Usable,         // registered, and its cached or source package is there
    NotRegistered,  // msiexec /x fails with 1605: no Installer key knows the product
    PackageMissing, // msiexec /x fails with 1612: neither package can be found
};

// The Installer's registrations as one fill of the entry list reads them: the users it keeps
// data for are read once, then each product is looked up by its packed code.
class InstallerRegistrations
{
public:
    InstallerRegistrations(Registry& registry, FileQuery& files)
        : m_registry(registry), m_files(files)
    {
    }

    [[nodiscard]] ProductState stateOf(const QString& productCode);

private:
    [[nodiscard]] const QStringList& usersOf(const QString& path, std::optional<QStringList>& kept);
    [[nodiscard]] std::optional<std::pair<RegRoot, QString>> productKey(const QString& packed);
    [[nodiscard]] bool localPackageExists(const QString& packed);
    [[nodiscard]] bool sourcePackageExists(RegRoot root, const QString& productPath);
    [[nodiscard]] bool exists(const QString& windowsPath);

    Registry& m_registry;
    FileQuery& m_files;
    std::optional<QStringList> m_managedUsers;
    std::optional<QStringList> m_dataUsers;
};

// The keys (below their roots) the checks read, for a registry that parses only what is read.
[[nodiscard]] QStringList installerMachineKeys();
[[nodiscard]] QStringList installerUserKeys();

} // namespace nixora
