#include "backup/EntryDeletion.h"

#include <QFile>

namespace nixora
{
namespace
{

[[nodiscard]] QString entryPathOf(const RemovalOutcome& outcome)
{
    return outcome.entry.source->entryPath(outcome.entry.subkey);
}

// No backup is kept of an entry that stays.
void keep(RemovalOutcome& outcome, const QString& reason)
{
    outcome.reason = reason;
    if (!outcome.backupFile.isEmpty())
        QFile::remove(outcome.backupFile);
    outcome.backupFile.clear();
}

// Keys that cannot go are kept before anything is written.
void refuseWhatCannotGo(Registry& registry, std::vector<RemovalOutcome>& outcomes,
                        const DeletionOptions& options)
{
    for (RemovalOutcome& outcome : outcomes) {
        if (!outcome.removed())
            continue;
        const RegRoot root = outcome.entry.source->root;
        const QString path = entryPathOf(outcome);
        // An empty subkey would name the Uninstall key itself.
        if (outcome.entry.subkey.isEmpty() || !registry.keyExists(root, path))
            keep(outcome, QStringLiteral("The key does not exist."));
        else if (options.refuseKeyWithSubkeys && registry.subkeyName(root, path, 0).has_value())
            keep(outcome, QStringLiteral("The key has subkeys."));
    }
}

} // namespace

void deleteEntries(Registry& registry, std::vector<RemovalOutcome>& outcomes,
                   const DeletionOptions& options)
{
    refuseWhatCannotGo(registry, outcomes, options);
    std::vector<RegChange> deletions;
    for (const RemovalOutcome& outcome : outcomes) {
        if (outcome.removed())
            deletions.push_back({RegChange::Kind::DeleteTree,
                                 outcome.entry.source->root,
                                 entryPathOf(outcome),
                                 {},
                                 {}});
    }
    if (deletions.empty())
        return;
    const RegResult applied = registry.apply(deletions);
    for (RemovalOutcome& outcome : outcomes) {
        if (!outcome.removed())
            continue;
        if (applied.ok() && !registry.keyExists(outcome.entry.source->root, entryPathOf(outcome)))
            continue;
        keep(outcome, applied.ok()
                          ? QStringLiteral("The key is still in the registry.")
                          : QStringLiteral("The key cannot be deleted: ") + applied.message);
    }
}

} // namespace nixora
