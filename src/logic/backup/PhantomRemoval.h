#pragma once

#include "Workspace.h"
#include "backup/EntryDeletion.h"

#include <QString>

#include <functional>
#include <vector>

namespace nixora
{

struct PhantomRemovalResult {
    QString refused; // the whole run was refused (a wineserver runs): nothing was touched
    std::vector<RemovalOutcome> outcomes;

    [[nodiscard]] int removedCount() const;
    [[nodiscard]] int keptCount() const;
};

// Every entry of the last fill (all sources) that is marked as a phantom, in the list's order;
// those that cannot be told to be phantoms come with the reason a removal keeps them.
[[nodiscard]] std::vector<EntryRef> removableEntries(const Workspace& ctx);

// Asked before each entry with the number done and the total: true ends the run there; the
// entries not yet backed up are kept.
using PhantomCancel = std::function<bool(int done, int total)>;

// Backs every entry up as "&Remove Entry..." does (a REGEDIT4 file in the backup folder, read
// back through the restore's reader and compared with the key), then deletes every entry whose
// backup holds in one registry write, so that the hive is rewritten once however many entries
// go. An entry is never deleted without its verified backup; the backup of an entry that stays
// is removed again.
[[nodiscard]] PhantomRemovalResult removePhantomEntries(Workspace& ctx,
                                                        const std::vector<EntryRef>& entries,
                                                        const PhantomCancel& cancelled = {});

// "File > Remove Phantom Entries...": one question naming the count and the prefix, the
// removal (with a wait box and Cancel for more than kPhantomWaitThreshold entries), one refresh
// of both lists and one summary.
void mRemovePhantoms_Click(Workspace& ctx);
inline constexpr int kPhantomWaitThreshold = 20;

} // namespace nixora
