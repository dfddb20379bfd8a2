#include "prefixes/Sources.h"

namespace nixora::prefixes
{

void findRecentPrefixes(const DiscoveryInput& input, Findings& findings)
{
    // A prefix deleted since it was opened is simply gone; no need to say so on every listing.
    for (const QString& path : input.recent)
        findings.add(path, lastComponent(path), kSourceRecent, false);
}

} // namespace nixora::prefixes
