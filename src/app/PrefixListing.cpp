#include "PrefixListing.h"

#include "HeadlessListing.h"
#include "inventory/EntryTags.h"
#include "prefixes/RecentPrefixes.h"

#include <QDir>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <new>
#include <thread>
#include <vector>

namespace nixora
{
namespace
{

// Every prefix's columns, the prefixes shared out over one worker per core. Each fill has its
// own registry, file query and state, so the workers share nothing but the input and their own
// slots of the output; with fifty Steam games the fills are most of the listing's time.
std::vector<QStringList> columnsOfAll(const std::vector<prefixes::DiscoveredPrefix>& found)
{
    std::vector<QStringList> columns(found.size());
    std::atomic<size_t> next{0};
    const auto work = [&] {
        for (size_t i = next++; i < found.size(); i = next++)
            columns[i] = prefixListingColumns(found[i]);
    };
    const size_t workers =
        std::min<size_t>(found.size(), std::max(1U, std::thread::hardware_concurrency()));
    std::vector<std::thread> threads;
    for (size_t i = 1; i < workers; ++i)
        threads.emplace_back(work);
    work();
    for (std::thread& thread : threads)
        thread.join();
    return columns;
}

prefixes::PrefixCounts countReadablePrefix(const prefixes::DiscoveredPrefix& prefix)
{
    HeadlessWindow window{Prefix(prefix.path)};
    window.loadPreferences();
    if (QString problem = window.context().services.registry->readProblem(); !problem.isEmpty())
        return {0, 0, 0, {}, std::move(problem)};
    // Only counts are shown. Component names and versions change the texts of rows, never
    // which rows there are or which are phantoms, and the rows' order does not matter here.
    WindowState& state = window.state();
    state.friendlyNames = false;
    state.lvwOhjelmat.setSorted(false);
    window.fillEntries();
    window.fillBackups();
    return {state.lvwOhjelmat.rowCount(),
            state.lvwOhjelmat.phantomRowCount(),
            state.lvwPalauta.rowCount(),
            registryColumns(window.status()),
            {}};
}

} // namespace

QStringList prefixListingColumns(const prefixes::DiscoveredPrefix& prefix)
{
    const QString arch = prefix.arch.isEmpty() ? QStringLiteral("-") : prefix.arch;
    if (!prefix.problem.isEmpty())
        return {arch, prefix.problem};
    const prefixes::PrefixCounts counts = countPrefix(prefix);
    if (!counts.problem.isEmpty())
        return {arch, counts.problem};
    return QStringList{arch, QString::number(counts.entries), QString::number(counts.phantoms),
                       QString::number(counts.backups)} +
           counts.registry;
}

prefixes::PrefixCounts countPrefix(const prefixes::DiscoveredPrefix& prefix)
{
    // Counted side by side with other prefixes: running out of memory on one ends only its count.
    try {
        return countReadablePrefix(prefix);
    } catch (const std::bad_alloc&) {
        return {0, 0, 0, {}, QStringLiteral("not enough memory to read it")};
    }
}

int runPrefixListing(const prefixes::DiscoveryInput& input, OutputFormat format)
{
    static const QStringList names{QStringLiteral("sources"), QStringLiteral("name"),
                                   QStringLiteral("path"),    QStringLiteral("arch"),
                                   QStringLiteral("entries"), QStringLiteral("phantoms"),
                                   QStringLiteral("backups"), QStringLiteral("registry"),
                                   QStringLiteral("savedAt"), QStringLiteral("readOnlyReason")};
    // A prefix whose hive cannot be read has its reason where the entry count would be.
    static const QStringList problemNames{QStringLiteral("sources"), QStringLiteral("name"),
                                          QStringLiteral("path"), QStringLiteral("arch"),
                                          QStringLiteral("problem")};
    const prefixes::DiscoveryResult found = prefixes::discoverPrefixes(input);
    for (const QString& warning : found.warnings)
        std::fprintf(stderr, "nixora: %s\n", qUtf8Printable(warning));
    const std::vector<QStringList> columns = columnsOfAll(found.prefixes);
    ListingOutput out(format);
    out.declareList(QStringLiteral("prefixes"));
    for (size_t i = 0; i < found.prefixes.size(); ++i) {
        const prefixes::DiscoveredPrefix& prefix = found.prefixes[i];
        QJsonObject json{{QStringLiteral("sources"), QJsonArray::fromStringList(prefix.sources)}};
        // Counts without a registry column come from the files themselves.
        if (columns[i].size() == 4)
            json.insert(QStringLiteral("registry"), QStringLiteral("files"));
        out.row(QStringLiteral("prefixes"), columns[i].size() == 2 ? problemNames : names,
                QStringList{prefix.sources.join(u','), prefix.name, prefix.path} + columns[i],
                json);
    }
    out.status(QStringLiteral("status"), QStringLiteral("%1 prefixes").arg(found.prefixes.size()));
    out.finish();
    return 0;
}

} // namespace nixora
