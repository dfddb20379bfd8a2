#include "MenuCommand.h"

#include "BuildInfo.h"
#include "HeadlessListing.h"
#include "LiveRegistry.h"
#include "menus/MenuRemoval.h"

#include <QDateTime>

#include <algorithm>
#include <memory>

namespace nixora
{
namespace
{

using menus::MenuFile;

const QString kFiles = QStringLiteral("files");
const QStringList kNames{QStringLiteral("prefix"),  QStringLiteral("kind"),
                         QStringLiteral("verdict"), QStringLiteral("name"),
                         QStringLiteral("file"),    QStringLiteral("target"),
                         QStringLiteral("reason")};

// The prefixes that can be read, each with a registry of its own; the others are said on
// stderr and make the exit status that refusePrefix gives.
struct OpenPrefixes {
    std::vector<std::unique_ptr<LiveRegistry>> registries;
    std::vector<menus::MenuPrefix> prefixes;
    int refused = 0;
};

OpenPrefixes openPrefixes(const std::vector<Prefix>& prefixes)
{
    OpenPrefixes open;
    for (const Prefix& prefix : prefixes) {
        if (const int refused = refusePrefix(prefix); refused != 0) {
            open.refused = std::max(open.refused, refused);
            continue;
        }
        auto registry = std::make_unique<LiveRegistry>(prefix, build::wineClientProgram());
        registry->setReadSubtrees(RegRoot::CurrentUser,
                                  {menus::kMenuFilesKey, menus::kAssociationsKey});
        open.prefixes.push_back({prefix.path(), registry.get()});
        open.registries.push_back(std::move(registry));
    }
    return open;
}

void printFile(ListingWriter& out, const MenuFile& file, const QStringList& extra = {},
               const QJsonObject& json = {})
{
    static const QStringList withOutcome = kNames + QStringList{QStringLiteral("outcome")};
    out.row(kFiles, extra.isEmpty() ? kNames : withOutcome,
            QStringList{file.prefix, menus::kindText(file.kind), menus::verdictText(file.verdict),
                        file.name, file.path, file.target, file.reason} +
                extra,
            json);
}

int listFiles(const MenuRequest& request, const OpenPrefixes& open, ListingWriter& out)
{
    const menus::MenuInventory inventory =
        menus::scanMenuFiles(menus::UserFolders::from(request.user), open.prefixes, true);
    int stale = 0;
    int orphaned = 0;
    for (const MenuFile& file : inventory.files) {
        stale += file.verdict == menus::MenuVerdict::Stale ? 1 : 0;
        orphaned += file.verdict == menus::MenuVerdict::Orphaned ? 1 : 0;
        printFile(out, file);
    }
    out.status(QStringLiteral("status"),
               QStringLiteral("%1 menu files of %2 prefixes: %3 stale, %4 orphaned")
                   .arg(inventory.files.size())
                   .arg(open.prefixes.size())
                   .arg(stale)
                   .arg(orphaned));
    return open.refused;
}

struct Totals {
    int removed = 0;
    int kept = 0;
    int listed = 0;
};

void removeGroup(const menus::UserFolders& folders, const menus::MenuRemovalGroup& group,
                 ListingWriter& out, Totals& totals)
{
    menus::MenuRemovalRequest removal{folders, group.files, group.prefix,
                                      group.prefix ? Prefix(group.prefix->path).backupFolder()
                                                   : folders.orphanBackups(),
                                      QDateTime::currentDateTime()};
    const menus::MenuRemovalResult result = menus::removeMenuFiles(removal);
    for (const menus::MenuFileOutcome& outcome : result.outcomes) {
        const QString said = outcome.removed() ? result.backupFile : outcome.reason;
        printFile(
            out, outcome.file, {said},
            {{QStringLiteral("removed"), outcome.removed()},
             {QStringLiteral("backupFile"), outcome.removed() ? result.backupFile : QString()}});
    }
    // A refusal before anything was read (a running wineserver) keeps every planned file.
    if (result.outcomes.empty() && !result.refused.isEmpty()) {
        for (const MenuFile& file : group.files)
            printFile(out, file, {result.refused}, {{QStringLiteral("removed"), false}});
        totals.kept += static_cast<int>(group.files.size());
    }
    totals.removed += result.removedCount();
    totals.kept += result.keptCount();
}

int removeFiles(const MenuRequest& request, const OpenPrefixes& open, ListingWriter& out)
{
    const menus::UserFolders folders = menus::UserFolders::from(request.user);
    const menus::MenuInventory inventory = menus::scanMenuFiles(folders, open.prefixes, true);
    Totals totals;
    for (const menus::MenuRemovalGroup& group :
         menus::staleRemovalGroups(inventory, open.prefixes, true)) {
        if (!request.dryRun) {
            removeGroup(folders, group, out, totals);
            continue;
        }
        for (const MenuFile& file : group.files)
            printFile(out, file, {QStringLiteral("dry run")});
        totals.listed += static_cast<int>(group.files.size());
    }
    const QString status = request.dryRun
                               ? QStringLiteral("%1 stale menu files (dry run)").arg(totals.listed)
                               : QStringLiteral("Removed %1 stale menu files; kept %2")
                                     .arg(totals.removed)
                                     .arg(totals.kept);
    out.status(QStringLiteral("status"), status);
    return std::max(open.refused, totals.kept == 0 ? 0 : 1);
}

} // namespace

int runMenuCommand(const MenuRequest& request)
{
    ListingWriter out = stdoutWriter(request.format);
    out.declareList(kFiles);
    if (request.remove)
        out.field(QStringLiteral("dryRun"), request.dryRun);
    out.declareList(QStringLiteral("unreadable"));
    for (const auto& [path, reason] : request.unreadable)
        out.row(QStringLiteral("unreadable"), {QStringLiteral("prefix"), QStringLiteral("reason")},
                {path, reason});
    const OpenPrefixes open = openPrefixes(request.prefixes);
    const int status =
        request.remove ? removeFiles(request, open, out) : listFiles(request, open, out);
    out.finish();
    return std::max(status, request.unreadable.empty() ? 0 : 1);
}

} // namespace nixora
