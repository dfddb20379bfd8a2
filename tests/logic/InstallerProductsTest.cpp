#include "InstallerProducts.h"

#include <gtest/gtest.h>

#include <optional>

namespace nixora
{
namespace
{

struct PackCase {
    const char* name;
    const char* productCode;
    const char* packed; // nullptr: not a product code
};

class PackedProductCode : public testing::TestWithParam<PackCase>
{
};

// The Installer keys name a product by this packing; a key looked for under any other name is
// never found, and its entry would be called unregistered.
TEST_P(PackedProductCode, PacksAsTheInstallerKeysNameTheProduct)
{
    const std::optional<QString> packed =
        packedProductCode(QString::fromLatin1(GetParam().productCode));
    if (GetParam().packed == nullptr)
        EXPECT_FALSE(packed.has_value()) << packed.value_or(QString()).toStdString();
    else
        EXPECT_EQ(packed, QString::fromLatin1(GetParam().packed));
}

INSTANTIATE_TEST_SUITE_P(
    Codes, PackedProductCode,
    testing::Values(PackCase{"IssueExample", "{23067521-119B-4B0A-BCDD-38835D58077B}",
                             "12576032B911A0B4CBDD8338D58570B7"},
                    PackCase{"EveryDigitDistinct", "{01234567-89AB-CDEF-0123-456789ABCDEF}",
                             "76543210BA98FEDC1032547698BADCFE"},
                    PackCase{"LowerCaseDigits", "{6f1c2d3e-0000-4000-8000-000000000001}",
                             "E3D2C1F6000000040800000000000010"},
                    PackCase{"WithoutBraces", "23067521-119B-4B0A-BCDD-38835D58077B", nullptr},
                    PackCase{"DashMisplaced", "{2306752-1119B-4B0A-BCDD-38835D58077B}", nullptr},
                    PackCase{"NotHex", "{2306752G-119B-4B0A-BCDD-38835D58077B}", nullptr},
                    PackCase{"TooShort", "{23067521-119B-4B0A-BCDD-38835D58077}", nullptr},
                    PackCase{"Word", "{NAMELESS}", nullptr}),
    [](const auto& info) { return std::string(info.param.name); });

struct ProductCase {
    const char* name;
    bool windowsInstaller;
    const char* subkey;
    const char* uninstallString;
    const char* product; // nullptr: none
};

class InstallerProductOf : public testing::TestWithParam<ProductCase>
{
};

// Which entries the Installer checks look at, and which product they ask about.
TEST_P(InstallerProductOf, FindsTheProductOfWhatWindowsInstallerWrites)
{
    const ProductCase& c = GetParam();
    const std::optional<QString> product = installerProductOf(
        c.windowsInstaller, QString::fromLatin1(c.subkey), QString::fromLatin1(c.uninstallString));
    if (c.product == nullptr)
        EXPECT_FALSE(product.has_value()) << product.value_or(QString()).toStdString();
    else
        EXPECT_EQ(product, QString::fromLatin1(c.product));
}

#define CODE "{23067521-119B-4B0A-BCDD-38835D58077B}"
INSTANTIATE_TEST_SUITE_P(
    Entries, InstallerProductOf,
    testing::Values(
        ProductCase{"FlagAndKeyAsWineWritesThem", true, CODE, "MsiExec.exe /I" CODE, CODE},
        ProductCase{"FlagWithAnotherUninstaller", true, CODE, "C:\\setup.exe /remove", CODE},
        ProductCase{"FlagOnAKeyThatIsNoProductCode", true, "App", "C:\\setup.exe", nullptr},
        ProductCase{"RemoveString", false, "App", "MsiExec.exe /X" CODE, CODE},
        ProductCase{"LowerCaseWithBlank", false, "App", "msiexec /x " CODE, CODE},
        ProductCase{"FullQuotedPath", false, "App",
                    "\"C:\\windows\\system32\\msiexec.exe\" /I" CODE, CODE},
        ProductCase{"NotAProductCode", false, "App", "MsiExec.exe /X{NAMELESS}", nullptr},
        ProductCase{"OtherSwitch", false, "App", "MsiExec.exe /f" CODE, nullptr},
        ProductCase{"OtherProgram", false, "App", "notmsiexec.exe /x" CODE, nullptr}),
    [](const auto& info) { return std::string(info.param.name); });
#undef CODE

} // namespace
} // namespace nixora
