#include "help/HelpLinks.h"

#include <QDir>
#include <QUrl>

namespace nixora::help
{

namespace
{
const QString kHomePath = QStringLiteral("/nixora/");
const QString kHomeQuery = QStringLiteral("nixora41");
const QString kReferralScript = QStringLiteral("/cgi/referenssi.cgi");

QString encoded(const QString& value)
{
    return QString::fromLatin1(QUrl::toPercentEncoding(value));
}
} // namespace

QString homePage()
{
    return homePageWithoutQuery() + QLatin1Char('?') + kHomeQuery;
}

QString homePageWithoutQuery()
{
    return kProductHost + kHomePath;
}

QString mailtoSupport()
{
    return QStringLiteral("mailto:") + kSupportAddress;
}

QString readmePath(const QString& programFolder)
{
    return QDir(programFolder).absoluteFilePath(kReadmeName);
}

QString referral(const QString& destinationTag, const QString& destination)
{
    return kCompanyHost + kReferralScript + QStringLiteral("?sivu=") +
           encoded(kHomeQuery + destinationTag) + QStringLiteral("&osoite=") + encoded(destination);
}

QString softwareDevelopmentReferral()
{
    return referral(QStringLiteral("ohjelmistot"), kProductHost + QLatin1Char('/'));
}

QString webDesignReferral()
{
    return referral(QStringLiteral("sivupalvelut"), kCompanyHost + QLatin1Char('/'));
}

} // namespace nixora::help
