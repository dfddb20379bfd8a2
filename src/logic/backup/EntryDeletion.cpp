#include "backup/EntryDeletion.h"

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
        (void)removeWrittenFile(outcome.backupFile, outcome.backupStamp);
    outcome.backupFile.clear();
}

enum class KeyState { Present, Gone, Unknown };

// Gone only when the hive was read: its source's Uninstall key is there, the entry's is not.
[[nodiscard]] KeyState readBack(Registry& registry, const RemovalOutcome& outcome)
{
    const EntrySource& source = *outcome.entry.source;
    if (registry.keyExists(source.root, entryPathOf(outcome)))
        return KeyState::Present;
    return registry.keyExists(source.root, source.uninstallPath) ? KeyState::Gone
                                                                 : KeyState::Unknown;
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
    const QString failure = applied.ok() ? QString() : applied.message;
    for (RemovalOutcome& outcome : outcomes) {
        if (!outcome.removed())
            continue;
        switch (readBack(registry, outcome)) {
        case KeyState::Gone:
            break;
        case KeyState::Present:
            keep(outcome, failure.isEmpty()
                              ? QStringLiteral("The key is still in the registry.")
                              : QStringLiteral("The key cannot be deleted: ") + failure);
            break;
        case KeyState::Unknown:
            outcome.reason = QStringLiteral("The registry cannot be read back to tell whether the "
                                            "key was deleted; its backup is kept: %1")
                                 .arg(outcome.backupFile);
            if (!failure.isEmpty())
                outcome.reason += QStringLiteral(" (") + failure + u')';
            break;
        }
    }
}

} // namespace nixora
