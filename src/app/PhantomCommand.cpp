#include "PhantomCommand.h"

#include "HeadlessListing.h"
#include "backup/PhantomRemoval.h"

#include <cstdio>
#include <new>

namespace nixora
{
namespace
{

const QString kDryRun = QStringLiteral("dry run");

struct Totals {
    int removed = 0;
    int kept = 0;
    int listed = 0;
};

void printOutcome(ListingOutput& out, const QString& prefix, const PhantomEntry& entry,
                  const QString& backupFile, const QString& reason)
{
    static const QStringList names{QStringLiteral("prefix"), QStringLiteral("source"),
                                   QStringLiteral("subkey"), QStringLiteral("name")};
    const bool removed = reason.isEmpty();
    out.row(QStringLiteral("entries"), names,
            {prefix, entry.source->label, entry.subkey, entry.name, removed ? backupFile : reason},
            {{QStringLiteral("removed"), removed},
             {QStringLiteral("backupFile"), backupFile},
             {QStringLiteral("reason"), reason}});
}

void printUnreadable(ListingOutput& out, const QString& prefix, const QString& reason)
{
    static const QStringList names{QStringLiteral("prefix"), QStringLiteral("reason")};
    out.row(QStringLiteral("unreadable"), names, {prefix, reason});
}

// One prefix: fills its list as the window does, then lists or removes its phantom rows.
bool cleanPrefix(const Prefix& prefix, bool dryRun, ListingOutput& out, Totals& totals)
{
    if (!prefix.error().isEmpty() || !prefix.exists()) {
        const QString reason = prefix.error().isEmpty()
                                   ? QStringLiteral("no Wine prefix at %1").arg(prefix.path())
                                   : prefix.error();
        std::fprintf(stderr, "nixora: %s\n", qUtf8Printable(reason));
        return false;
    }
    HeadlessWindow window(prefix);
    window.loadPreferences();
    // Judged without one of its hives, every entry of it would look gone.
    if (const QString problem = window.context().services.registry->readProblem();
        !problem.isEmpty()) {
        printUnreadable(out, prefix.path(), problem);
        return false;
    }
    window.fillEntries();
    const std::vector<PhantomEntry> entries = phantomEntries(window.state().lvwOhjelmat);
    if (dryRun || entries.empty()) {
        for (const PhantomEntry& entry : entries)
            printOutcome(out, prefix.path(), entry, {}, kDryRun);
        totals.listed += static_cast<int>(entries.size());
        return true;
    }
    const PhantomRemovalResult result = removePhantomEntries(window.context(), entries);
    // A prefix whose wineserver runs is skipped: each of its phantoms is kept for that reason.
    if (!result.refused.isEmpty()) {
        for (const PhantomEntry& entry : entries)
            printOutcome(out, prefix.path(), entry, {}, result.refused);
        totals.kept += static_cast<int>(entries.size());
        return true;
    }
    for (const PhantomOutcome& outcome : result.outcomes)
        printOutcome(out, prefix.path(), outcome.entry, outcome.backupFile, outcome.reason);
    totals.removed += result.removedCount();
    totals.kept += result.keptCount();
    return true;
}

} // namespace

int runPhantomRemoval(const PhantomRequest& request)
{
    ListingOutput out(request.format);
    out.declareList(QStringLiteral("entries"));
    out.field(QStringLiteral("dryRun"), request.dryRun);
    out.declareList(QStringLiteral("unreadable"));
    Totals totals;
    bool allRead = request.unreadable.empty();
    for (const auto& [path, reason] : request.unreadable)
        printUnreadable(out, path, reason);
    for (const Prefix& prefix : request.prefixes) {
        try {
            allRead = cleanPrefix(prefix, request.dryRun, out, totals) && allRead;
        } catch (const std::bad_alloc&) {
            // What was done in the other prefixes stays in the output.
            printUnreadable(out, prefix.path(), QStringLiteral("not enough memory to read it"));
            allRead = false;
        }
    }
    const QString status =
        request.dryRun ? QStringLiteral("%1 phantom entries in %2 prefixes (dry run)")
                             .arg(totals.listed)
                             .arg(request.prefixes.size())
                       : QStringLiteral("Removed %1 phantom entries in %2 prefixes; kept %3")
                             .arg(totals.removed)
                             .arg(request.prefixes.size())
                             .arg(totals.kept);
    out.status(QStringLiteral("status"), status);
    out.finish();
    return allRead && totals.kept == 0 ? 0 : 1;
}

std::vector<Prefix> discoveredPrefixes(const prefixes::DiscoveryInput& input,
                                       std::vector<std::pair<QString, QString>>& unreadable)
{
    const prefixes::DiscoveryResult found = prefixes::discoverPrefixes(input);
    for (const QString& warning : found.warnings)
        std::fprintf(stderr, "nixora: %s\n", qUtf8Printable(warning));
    std::vector<Prefix> result;
    for (const prefixes::DiscoveredPrefix& prefix : found.prefixes) {
        if (prefix.problem.isEmpty()) {
            result.emplace_back(prefix.path);
            continue;
        }
        std::fprintf(stderr, "nixora: skipped %s: %s\n", qUtf8Printable(prefix.path),
                     qUtf8Printable(prefix.problem));
        unreadable.emplace_back(prefix.path, prefix.problem);
    }
    return result;
}

} // namespace nixora
