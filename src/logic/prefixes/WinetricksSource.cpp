#include "prefixes/Sources.h"

#include <QDir>

namespace nixora::prefixes
{

void findWinePrefixes(const DiscoveryInput& input, Findings& findings)
{
    QString named = input.environment.value(QStringLiteral("WINEPREFIX"));
    while (named.size() > 1 && named.endsWith(u'/'))
        named.chop(1);
    if (!named.isEmpty() && !QDir::isAbsolutePath(named))
        findings.warn(QStringLiteral("WINEPREFIX"),
                      QStringLiteral("%1 is not an absolute path").arg(named));
    else if (!named.isEmpty())
        findings.add(named, lastComponent(named), kSourceWinePrefix, true);

    const QString wine = input.home + QStringLiteral("/.wine");
    findings.add(wine, lastComponent(wine), kSourceDefault, false);

    QString winetricks = input.environment.value(QStringLiteral("WINE_PREFIXES"));
    if (winetricks.isEmpty())
        winetricks = input.xdgDataHome() + QStringLiteral("/wineprefixes");
    for (const QString& entry : folderEntries(winetricks))
        findings.add(entry, lastComponent(entry), kSourceWinetricks, false);
}

} // namespace nixora::prefixes
