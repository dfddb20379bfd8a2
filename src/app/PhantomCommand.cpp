#include "PhantomCommand.h"

#include "HeadlessListing.h"
#include "backup/PhantomRemoval.h"

#include <algorithm>
#include <cstdio>

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

void printOutcome(ListingWriter& out, const QString& prefix, const EntryRef& entry,
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

// One prefix: fills its list as the window does, then lists or removes its phantom rows. The
// exit status a prefix that cannot be cleaned calls for, 0 otherwise.
int cleanPrefix(const Prefix& prefix, bool dryRun, ListingWriter& out, Totals& totals)
{
    if (const int refused = refusePrefix(prefix); refused != 0)
        return refused;
    HeadlessWindow window(prefix);
    // A run that removes judges the entries under the writer turn too: another removal of the
    // prefix ends before this one looks at the list, so the two never act on the same entries.
    // A prefix that cannot be written is not locked: its run is refused below.
    Registry& registry = *window.context().services.registry;
    std::unique_ptr<WriterTurn> turn;
    if (!dryRun && registry.checkWritable().ok())
        turn = registry.takeWriterTurn();
    window.loadPreferences();
    window.fillEntries();
    const std::vector<EntryRef> entries = removableEntries(window.context());
    if (dryRun || entries.empty()) {
        for (const EntryRef& entry : entries)
            printOutcome(out, prefix.path(), entry, {},
                         entry.keptBecause.isEmpty() ? kDryRun : entry.keptBecause);
        totals.listed +=
            static_cast<int>(std::count_if(entries.begin(), entries.end(), [](const EntryRef& e) {
                return e.keptBecause.isEmpty();
            }));
        return 0;
    }
    const PhantomRemovalResult result = removePhantomEntries(window.context(), entries);
    // A prefix whose wineserver runs is skipped: each of its phantoms is kept for that reason.
    if (!result.refused.isEmpty()) {
        for (const EntryRef& entry : entries)
            printOutcome(out, prefix.path(), entry, {}, result.refused);
        totals.kept += static_cast<int>(entries.size());
        return 0;
    }
    for (const RemovalOutcome& outcome : result.outcomes)
        printOutcome(out, prefix.path(), outcome.entry, outcome.backupFile, outcome.reason);
    totals.removed += result.removedCount();
    totals.kept += result.keptCount();
    return 0;
}

} // namespace

int runPhantomRemoval(const PhantomRequest& request)
{
    ListingWriter out = stdoutWriter(request.format);
    out.declareList(QStringLiteral("entries"));
    out.field(QStringLiteral("dryRun"), request.dryRun);
    Totals totals;
    int refused = 0;
    for (const Prefix& prefix : request.prefixes)
        refused = std::max(refused, cleanPrefix(prefix, request.dryRun, out, totals));
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
    return refused != 0 ? refused : totals.kept == 0 ? 0 : 1;
}

std::vector<Prefix> discoveredPrefixes(const prefixes::DiscoveryInput& input)
{
    const prefixes::DiscoveryResult found = prefixes::discoverPrefixes(input);
    for (const QString& warning : found.warnings)
        printWarning(warning);
    std::vector<Prefix> result;
    for (const prefixes::DiscoveredPrefix& prefix : found.prefixes) {
        // A prefix that shares another's registry was named among the warnings already.
        if (prefix.problem.isEmpty() && prefix.readOnly.isEmpty())
            result.emplace_back(prefix.path);
        else if (!prefix.problem.isEmpty())
            printWarning(QStringLiteral("skipped %1: %2").arg(prefix.path, prefix.problem));
    }
    return result;
}

} // namespace nixora
