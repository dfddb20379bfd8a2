#include "help/HelpLinks.h"

#include "BuildInfo.h"

#include <QDir>
#include <QFileInfo>
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
    const QDir folder(programFolder);
    const QString beside = folder.absoluteFilePath(kReadmeName);
    const QString installed = QDir::cleanPath(
        folder.absoluteFilePath(QLatin1String(build::kDocFolderFromPrograms) + u'/' + kReadmeName));
    return !QFileInfo::exists(beside) && QFileInfo::exists(installed) ? installed : beside;
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
