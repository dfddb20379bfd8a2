#include "backup/PhantomRemoval.h"

#include "backup/BackupCheck.h"
#include "backup/BackupRemoval.h"

#include <QFile>

#include <algorithm>

namespace nixora
{
namespace
{

const QString kCancelled = QStringLiteral("Cancelled before it was backed up.");

// The backups, one file each, all written and read back before any key is touched.
void backUpAll(Workspace& ctx, const QString& folderProblem, const PhantomCancel& cancelled,
               std::vector<PhantomOutcome>& outcomes)
{
    const QDateTime now = ctx.services.clock.now();
    const int total = static_cast<int>(outcomes.size());
    int firstFree = 1;
    bool stopped = false;
    for (int i = 0; i < total; ++i) {
        PhantomOutcome& outcome = outcomes[static_cast<size_t>(i)];
        stopped = stopped || (cancelled && cancelled(i, total));
        if (stopped) {
            outcome.reason = kCancelled;
            continue;
        }
        if (!folderProblem.isEmpty()) {
            outcome.reason = folderProblem;
            continue;
        }
        const QString file = newBackupFilePath(ctx.services.backupFolder, now, firstFree);
        outcome.reason = writeVerifiedBackup(*ctx.services.registry, file, *outcome.entry.source,
                                             outcome.entry.subkey);
        if (outcome.removed())
            outcome.backupFile = file;
    }
}

// One write deletes every backed-up key; whatever is still there afterwards stays, and so no
// backup is kept of it.
void deleteBackedUp(Registry& registry, std::vector<PhantomOutcome>& outcomes)
{
    std::vector<RegChange> deletions;
    for (const PhantomOutcome& outcome : outcomes) {
        if (outcome.removed())
            deletions.push_back({RegChange::Kind::DeleteTree,
                                 outcome.entry.source->root,
                                 outcome.entry.source->entryPath(outcome.entry.subkey),
                                 {},
                                 {}});
    }
    if (deletions.empty())
        return;
    const RegResult applied = registry.apply(deletions);
    for (PhantomOutcome& outcome : outcomes) {
        if (!outcome.removed())
            continue;
        const EntrySource& source = *outcome.entry.source;
        if (applied.ok() &&
            !registry.keyExists(source.root, source.entryPath(outcome.entry.subkey)))
            continue;
        outcome.reason = applied.ok()
                             ? QStringLiteral("The key is still in the registry.")
                             : QStringLiteral("The key cannot be deleted: ") + applied.message;
        QFile::remove(outcome.backupFile);
        outcome.backupFile.clear();
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
    for (const PhantomOutcome& outcome : result.outcomes) {
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
                                          [](const PhantomOutcome& o) { return o.removed(); }));
}

int PhantomRemovalResult::keptCount() const
{
    return static_cast<int>(outcomes.size()) - removedCount();
}

std::vector<PhantomEntry> phantomEntries(const ListViewModel& list)
{
    std::vector<PhantomEntry> entries;
    for (int i = 0; i < list.rowCount(); ++i) {
        const ListRow& row = *list.rowAt(i);
        if (row.cells[0].foreColor != kPhantomColor)
            continue;
        const RowEntry entry = splitEntryRowKey(row.key);
        entries.push_back({entry.source, entry.subkey, row.cells[0].text});
    }
    return entries;
}

PhantomRemovalResult removePhantomEntries(Workspace& ctx, const std::vector<PhantomEntry>& entries,
                                          const PhantomCancel& cancelled)
{
    PhantomRemovalResult result;
    // Refused before any backup is written: a run that cannot delete leaves nothing behind.
    if (const RegResult writable = ctx.services.registry->checkWritable(); !writable.ok()) {
        result.refused = writable.message;
        return result;
    }
    for (const PhantomEntry& entry : entries)
        result.outcomes.push_back({entry, {}, {}});
    backUpAll(ctx, prepareBackupFolder(ctx.services.backupFolder), cancelled, result.outcomes);
    deleteBackedUp(*ctx.services.registry, result.outcomes);
    return result;
}

void mRemovePhantoms_Click(Workspace& ctx)
{
    UiServices& ui = *ctx.services.ui;
    const std::vector<PhantomEntry> entries = phantomEntries(ctx.state.lvwOhjelmat);
    if (entries.empty()) {
        say(ui, QStringLiteral("There are no phantom program entries in the list."),
            MsgIcon::Question);
        return;
    }
    if (const RegResult writable = ctx.services.registry->checkWritable(); !writable.ok()) {
        say(ui, QStringLiteral("The phantom program entries cannot be removed.\n\n") +
                    writable.message);
        return;
    }
    if (!askRemoval(ctx, entries.size()))
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
