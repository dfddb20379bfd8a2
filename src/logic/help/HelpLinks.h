#pragma once

#include <QString>

// Where the Help menu and the About dialog send the user. Every address lives here.
namespace nixora::help
{

inline const QString kProductHost = QStringLiteral("https://www.nixora.example");
inline const QString kCompanyHost = QStringLiteral("https://www.melqori.example");
inline const QString kSupportAddress = QStringLiteral("support@nixora.example");
inline const QString kReadmeName = QStringLiteral("readme.txt");

// The product home page, "/nixora/?nixora41" on the product site.
[[nodiscard]] QString homePage();
// The same address without its query, as the About dialog shows it.
[[nodiscard]] QString homePageWithoutQuery();
[[nodiscard]] QString mailtoSupport();
// readme.txt in the program's folder (the build tree, an unpacked copy), else where an install
// puts it (<prefix>/share/doc/nixora beside <prefix>/bin); never the current folder.
[[nodiscard]] QString readmePath(const QString& programFolder);

// The referral script on the company site: `sivu` is "nixora41" and the destination's tag,
// `osoite` the destination's address; both percent-encoded.
[[nodiscard]] QString referral(const QString& destinationTag, const QString& destination);
[[nodiscard]] QString softwareDevelopmentReferral(); // the product site
[[nodiscard]] QString webDesignReferral();           // the company site

} // namespace nixora::help
