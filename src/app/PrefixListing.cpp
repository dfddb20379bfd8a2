#include "PrefixListing.h"

#include "HeadlessListing.h"
#include "inventory/EntryTags.h"
#include "prefixes/RecentPrefixes.h"

#include <QDir>

#include <cstdio>

namespace nixora
{
namespace
{

int phantomCount(const ListViewModel& list)
{
    int count = 0;
    for (int i = 0; i < list.rowCount(); ++i)
        if (list.rowAt(i)->cells[0].toolTip == tags::kTipMissing)
            ++count;
    return count;
}

} // namespace

QStringList prefixListingColumns(const prefixes::DiscoveredPrefix& prefix)
{
    const QString arch = prefix.arch.isEmpty() ? QStringLiteral("-") : prefix.arch;
    if (!prefix.problem.isEmpty())
        return {arch, prefix.problem};
    HeadlessWindow window{Prefix(prefix.path)};
    window.loadPreferences();
    window.fillEntries();
    window.fillBackups();
    const WindowState& state = window.state();
    return {arch, QString::number(state.lvwOhjelmat.rowCount()),
            QString::number(phantomCount(state.lvwOhjelmat)),
            QString::number(state.lvwPalauta.rowCount())};
}

int runPrefixListing(const prefixes::DiscoveryInput& input)
{
    const prefixes::DiscoveryResult found = prefixes::discoverPrefixes(input);
    for (const QString& warning : found.warnings)
        std::fprintf(stderr, "nixora: %s\n", qUtf8Printable(warning));
    for (const prefixes::DiscoveredPrefix& prefix : found.prefixes)
        printListingLine(QStringList{prefix.sources.join(u','), prefix.name, prefix.path} +
                         prefixListingColumns(prefix));
    printListingLine({QStringLiteral("%1 prefixes").arg(found.prefixes.size())});
    std::fflush(stdout);
    return 0;
}

int runPrefixListing()
{
    prefixes::DiscoveryInput input;
    input.home = QDir::homePath();
    input.environment = QProcessEnvironment::systemEnvironment();
    input.recent = prefixes::RecentPrefixes(prefixes::RecentPrefixes::defaultFile()).list();
    return runPrefixListing(input);
}

} // namespace nixora
