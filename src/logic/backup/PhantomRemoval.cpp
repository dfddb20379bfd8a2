#include "backup/PhantomRemoval.h"

#include "backup/BackupCheck.h"
#include "backup/BackupRemoval.h"
#include "inventory/EntryRows.h"

#include <algorithm>

namespace nixora
{
namespace
{

const QString kCancelled = QStringLiteral("Cancelled before it was backed up.");

// The backups, one file each, all written and read back before any key is touched.
void backUpAll(Workspace& ctx, const QString& folderProblem, const PhantomCancel& cancelled,
               std::vector<RemovalOutcome>& outcomes)
{
    const QDateTime now = ctx.services.clock.now();
    const int total = static_cast<int>(outcomes.size());
    int firstFree = 1;
    bool stopped = false;
    for (int i = 0; i < total; ++i) {
        RemovalOutcome& outcome = outcomes[static_cast<size_t>(i)];
        if (!outcome.removed())
            continue;
        stopped = stopped || (cancelled && cancelled(i, total));
        if (stopped) {
            outcome.reason = kCancelled;
            continue;
        }
        if (!folderProblem.isEmpty()) {
            outcome.reason = folderProblem;
            continue;
        }
        const EntrySource& source = *outcome.entry.source;
        Registry& registry = *ctx.services.registry;
        // Another program may have removed it since the list was filled.
        if (!registry.keyExists(source.root, source.entryPath(outcome.entry.subkey))) {
            outcome.reason = QStringLiteral("The entry is no longer in the registry.");
            continue;
        }
        const NewBackup file = writeVerifiedBackup(registry, ctx.services.backupFolder, now,
                                                   firstFree, source, outcome.entry.subkey);
        outcome.reason = file.error;
        outcome.backupFile = file.path;
        outcome.backupStamp = file.stamp;
    }
}

void say(UiServices& ui, const QString& text, MsgIcon icon = MsgIcon::Exclamation)
{
    ui.messageBox({text, QStringLiteral("Nixora"), MsgButtons::Ok, icon, MsgAnswer::Ok});
}

[[nodiscard]] bool askRemoval(Workspace& ctx, size_t count)
{
    const MessageBoxRequest question{
        QStringLiteral("Remove the %1 phantom program entries of the Wine prefix\n%2\nfrom the "
                       "Add/Remove Programs list?\n\nEach entry is backed up first and can be "
                       "restored from the restore page.")
            .arg(count)
            .arg(ctx.services.prefixPath),
        QStringLiteral("Nixora"), MsgButtons::YesNo, MsgIcon::Question, MsgAnswer::No};
    return ctx.services.ui->messageBox(question) == MsgAnswer::Yes;
}

[[nodiscard]] QString summaryOf(const PhantomRemovalResult& result)
{
    constexpr int kListedAtMost = 20;
    QString text = QStringLiteral("Removed %1 phantom program entries.").arg(result.removedCount());
    if (result.keptCount() == 0)
        return text;
    text += QStringLiteral("\nKept %1:").arg(result.keptCount());
    int listed = 0;
    for (const RemovalOutcome& outcome : result.outcomes) {
        if (outcome.removed())
            continue;
        if (listed++ == kListedAtMost) {
            text += QStringLiteral("\n...");
            break;
        }
        text += QStringLiteral("\n'%1': %2").arg(outcome.entry.name, outcome.reason);
    }
    return text;
}

} // namespace

int PhantomRemovalResult::removedCount() const
{
    return static_cast<int>(std::count_if(outcomes.begin(), outcomes.end(),
                                          [](const RemovalOutcome& o) { return o.removed(); }));
}

int PhantomRemovalResult::keptCount() const
{
    return static_cast<int>(outcomes.size()) - removedCount();
}

std::vector<EntryRef> removableEntries(const Workspace& ctx)
{
    std::vector<EntryRef> entries;
    for (const Entry* entry : entriesInListOrder(ctx)) {
        if (entry->verdict == Verdict::Phantom)
            entries.push_back({entry->source, entry->subkey, entry->name(), {}});
        else if (entry->verdict == Verdict::Unknown)
            entries.push_back({entry->source, entry->subkey, entry->name(), entry->reason});
    }
    return entries;
}

PhantomRemovalResult removePhantomEntries(Workspace& ctx, const std::vector<EntryRef>& entries,
                                          const PhantomCancel& cancelled)
{
    PhantomRemovalResult result;
    // Refused before any backup is written: a run that cannot delete leaves nothing behind.
    if (const RegResult writable = ctx.services.registry->checkWritable(); !writable.ok()) {
        result.refused = writable.message;
        return result;
    }
    // Held from the first backup to the last delete, so that two removals on one prefix take
    // turns instead of interleaving.
    const std::unique_ptr<WriterTurn> turn = ctx.services.registry->takeWriterTurn();
    if (!turn) {
        result.refused = QStringLiteral("The registry of %1 cannot be locked for writing.")
                             .arg(ctx.services.prefixPath);
        return result;
    }
    for (const EntryRef& entry : entries)
        result.outcomes.push_back({entry, {}, {}, entry.keptBecause});
    backUpAll(ctx, prepareBackupFolder(ctx.services.backupFolder), cancelled, result.outcomes);
    deleteEntries(*ctx.services.registry, result.outcomes);
    return result;
}

void mRemovePhantoms_Click(Workspace& ctx)
{
    UiServices& ui = *ctx.services.ui;
    const std::vector<EntryRef> entries = removableEntries(ctx);
    const auto phantoms = std::count_if(entries.begin(), entries.end(),
                                        [](const EntryRef& e) { return e.keptBecause.isEmpty(); });
    if (phantoms == 0) {
        say(ui, QStringLiteral("There are no phantom program entries in the list."),
            MsgIcon::Question);
        return;
    }
    if (const RegResult writable = ctx.services.registry->checkWritable(); !writable.ok()) {
        say(ui, QStringLiteral("The phantom program entries cannot be removed.\n\n") +
                    writable.message);
        return;
    }
    if (!askRemoval(ctx, static_cast<size_t>(phantoms)))
        return;
    ui.setMousePointer(kPointerHourglass);
    const bool waitBox = static_cast<int>(entries.size()) > kPhantomWaitThreshold;
    if (waitBox)
        ui.beginWait(QStringLiteral("Removing phantom program entries..."));
    const PhantomRemovalResult result =
        removePhantomEntries(ctx, entries, [&ui, waitBox](int done, int total) {
            if (!waitBox)
                return false;
            ui.setWaitProgress(done, total);
            return ui.waitCancelled();
        });
    if (waitBox)
        ui.endWait();
    if (result.refused.isEmpty())
        ctx.view().refresh();
    ui.setMousePointer(kPointerDefault);
    say(ui,
        result.refused.isEmpty()
            ? summaryOf(result)
            : QStringLiteral("The phantom program entries cannot be removed.\n\n") + result.refused,
        result.keptCount() == 0 && result.refused.isEmpty() ? MsgIcon::Question
                                                            : MsgIcon::Exclamation);
}

} // namespace nixora
