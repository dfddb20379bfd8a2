#include "prefixes/PrefixDiscovery.h"
#include "prefixes/Sources.h"

#include "PrefixIdentity.h"

#include <QFile>
#include <QFileInfo>
#include <QHash>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace nixora::prefixes
{
namespace
{

// The canonical folder a candidate stands for, or nothing (with a warning where it matters).
std::optional<QString> resolveCandidate(const Candidate& candidate, QStringList& warnings)
{
    const QFileInfo info(candidate.path);
    const bool link = info.isSymLink();
    if (!link && !info.exists())
        return std::nullopt; // a source's usual folder that this user does not have
    const QString problem = folderProblem(candidate.path);
    if (!problem.isEmpty()) {
        // A broken link is worth reporting wherever it was found; a plain file in a folder
        // of prefixes only when a configuration file named it.
        if (link || candidate.named)
            warnings << QStringLiteral("%1: %2").arg(candidate.source, problem);
        return std::nullopt;
    }
    if (!info.isReadable() || !info.isExecutable()) {
        warnings << QStringLiteral("%1: %2 cannot be read").arg(candidate.source, candidate.path);
        return std::nullopt;
    }
    return info.canonicalFilePath();
}

// A folder whose hives link into another prefix stands aside for that prefix, which is added
// when no source found it; of several folders reaching one system.reg, the first in order
// owns it.
void markSharedRegistries(std::vector<DiscoveredPrefix>& prefixes, QStringList& warnings)
{
    for (size_t i = 0; i < prefixes.size(); ++i) {
        const QString owner = registryOwner(prefixes[i].path);
        if (owner.isEmpty())
            continue;
        prefixes[i].readOnly = readOnlyReason(prefixes[i].path);
        const bool listed = std::any_of(prefixes.begin(), prefixes.end(),
                                        [&owner](const auto& p) { return p.path == owner; });
        if (!listed) {
            const HiveHeader header = readHiveHeader(owner);
            prefixes.push_back({owner,
                                QFileInfo(owner).fileName(),
                                prefixes[i].sources,
                                header.arch,
                                header.problem,
                                {}});
        }
    }
    std::vector<std::pair<HiveIdentity, QString>> owners;
    for (DiscoveredPrefix& prefix : prefixes) {
        const std::optional<HiveIdentity> identity =
            hiveIdentity(prefix.path + QStringLiteral("/system.reg"));
        if (!identity || !prefix.readOnly.isEmpty())
            continue;
        const auto same = std::find_if(owners.begin(), owners.end(),
                                       [&](const auto& seen) { return seen.first == *identity; });
        if (same == owners.end())
            owners.emplace_back(*identity, prefix.path);
        else
            prefix.readOnly = QStringLiteral("The registry of %1 is that of the Wine prefix %2 "
                                             "(their system.reg is one file); it is listed and "
                                             "cleaned there.")
                                  .arg(prefix.path, same->second);
    }
    for (const DiscoveredPrefix& prefix : prefixes) {
        if (!prefix.readOnly.isEmpty())
            warnings << prefix.readOnly;
    }
}

void sortPrefixes(std::vector<DiscoveredPrefix>& prefixes)
{
    std::sort(prefixes.begin(), prefixes.end(), [](const auto& a, const auto& b) {
        const QString sa = a.sources.join(u','), sb = b.sources.join(u',');
        if (sa != sb)
            return sa < sb;
        if (a.name != b.name)
            return a.name < b.name;
        return a.path < b.path;
    });
}

} // namespace

DiscoveryResult discoverPrefixes(const DiscoveryInput& input)
{
    // The most specific sources first: their names win when a prefix is found twice.
    Findings findings;
    findSteamPrefixes(input, findings);
    findBottlesPrefixes(input, findings);
    findLutrisPrefixes(input, findings);
    findHeroicPrefixes(input, findings);
    findPlayOnLinuxPrefixes(input, findings);
    findWinePrefixes(input, findings);
    findRecentPrefixes(input, findings);

    DiscoveryResult result;
    result.warnings = findings.warnings;
    QHash<QString, size_t> byPath;
    for (const Candidate& candidate : findings.candidates) {
        const std::optional<QString> path = resolveCandidate(candidate, result.warnings);
        if (!path)
            continue;
        if (const auto it = byPath.constFind(*path); it != byPath.cend()) {
            QStringList& sources = result.prefixes[*it].sources;
            if (!sources.contains(candidate.source))
                sources << candidate.source;
            continue;
        }
        const HiveHeader header = readHiveHeader(*path);
        if (!header.isHive) {
            if (candidate.named)
                result.warnings << QStringLiteral("%1: %2 holds no Wine registry")
                                       .arg(candidate.source, candidate.path);
            continue;
        }
        byPath.insert(*path, result.prefixes.size());
        result.prefixes.push_back(
            {*path, candidate.name, {candidate.source}, header.arch, header.problem, {}});
    }
    sortPrefixes(result.prefixes);
    markSharedRegistries(result.prefixes, result.warnings);
    sortPrefixes(result.prefixes);
    return result;
}

} // namespace nixora::prefixes
