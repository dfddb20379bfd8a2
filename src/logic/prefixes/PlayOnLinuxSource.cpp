#include "prefixes/Sources.h"

namespace nixora::prefixes
{

void findPlayOnLinuxPrefixes(const DiscoveryInput& input, Findings& findings)
{
    for (const QString& entry :
         folderEntries(input.home + QStringLiteral("/.PlayOnLinux/wineprefix")))
        findings.add(entry, lastComponent(entry), kSourcePlayOnLinux, false);
}

} // namespace nixora::prefixes
