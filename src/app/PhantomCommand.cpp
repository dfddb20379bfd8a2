#include "PhantomCommand.h"

#include "HeadlessListing.h"
#include "backup/PhantomRemoval.h"

#include <algorithm>
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

// One prefix: fills its list as the window does, then lists or removes its phantom rows. The
// exit status a prefix that cannot be cleaned calls for, 0 otherwise.
int cleanPrefix(const Prefix& prefix, bool dryRun, ListingOutput& out, Totals& totals)
{
    if (const int refused = refusePrefix(prefix); refused != 0)
        return refused;
    HeadlessWindow window(prefix);
    window.loadPreferences();
    // Judged without one of its hives, every entry of it would look gone.
    if (const QString problem = window.context().services.registry->readProblem();
        !problem.isEmpty()) {
        printUnreadable(out, prefix.path(), problem);
        return 1;
    }
    window.fillEntries();
    const std::vector<PhantomEntry> entries = phantomEntries(window.state().lvwOhjelmat);
    if (dryRun || entries.empty()) {
        for (const PhantomEntry& entry : entries)
            printOutcome(out, prefix.path(), entry, {}, kDryRun);
        totals.listed += static_cast<int>(entries.size());
        return 0;
    }
    const PhantomRemovalResult result = removePhantomEntries(window.context(), entries);
    // A prefix whose wineserver runs is skipped: each of its phantoms is kept for that reason.
    if (!result.refused.isEmpty()) {
        for (const PhantomEntry& entry : entries)
            printOutcome(out, prefix.path(), entry, {}, result.refused);
        totals.kept += static_cast<int>(entries.size());
        return 0;
    }
    for (const PhantomOutcome& outcome : result.outcomes)
        printOutcome(out, prefix.path(), outcome.entry, outcome.backupFile, outcome.reason);
    totals.removed += result.removedCount();
    totals.kept += result.keptCount();
    return 0;
}

} // namespace

int runPhantomRemoval(const PhantomRequest& request)
{
    ListingOutput out(request.format);
    out.declareList(QStringLiteral("entries"));
    out.field(QStringLiteral("dryRun"), request.dryRun);
    out.declareList(QStringLiteral("unreadable"));
    Totals totals;
    int refused = request.unreadable.empty() ? 0 : 1;
    for (const auto& [path, reason] : request.unreadable)
        printUnreadable(out, path, reason);
    for (const Prefix& prefix : request.prefixes) {
        try {
            refused = std::max(refused, cleanPrefix(prefix, request.dryRun, out, totals));
        } catch (const std::bad_alloc&) {
            // What was done in the other prefixes stays in the output.
            printUnreadable(out, prefix.path(), QStringLiteral("not enough memory to read it"));
            refused = std::max(refused, 1);
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
    return refused != 0 ? refused : totals.kept == 0 ? 0 : 1;
}

std::vector<Prefix> discoveredPrefixes(const prefixes::DiscoveryInput& input,
                                       std::vector<std::pair<QString, QString>>& unreadable)
{
    const prefixes::DiscoveryResult found = prefixes::discoverPrefixes(input);
    for (const QString& warning : found.warnings)
        std::fprintf(stderr, "nixora: %s\n", qUtf8Printable(warning));
    std::vector<Prefix> result;
    for (const prefixes::DiscoveredPrefix& prefix : found.prefixes) {
        // A prefix that shares another's registry was named among the warnings already.
        if (prefix.problem.isEmpty() && prefix.readOnly.isEmpty()) {
            result.emplace_back(prefix.path);
        } else if (!prefix.problem.isEmpty()) {
            std::fprintf(stderr, "nixora: skipped %s: %s\n", qUtf8Printable(prefix.path),
                         qUtf8Printable(prefix.problem));
            unreadable.emplace_back(prefix.path, prefix.problem);
        }
    }
    return result;
}

} // namespace nixora
