#pragma once

#include "Entry.h"
#include "Registry.h"

#include <vector>

namespace nixora
{

// What became of one entry a removal acted on: removed (its backup, if it has one, is kept), or
// kept and why.
struct RemovalOutcome {
    EntryRef entry;
    QString backupFile; // the backup written for it; empty when there is none
    QString reason;     // set when the entry is kept

    [[nodiscard]] bool removed() const { return reason.isEmpty(); }
};

struct DeletionOptions {
    // As RegDeleteKey does, a key that still has subkeys is kept ("&Remove Entry...").
    bool refuseKeyWithSubkeys = false;
};

// The one deletion routine of "&Remove Entry..." and of the bulk removal: deletes the key of
// every outcome that is not kept yet in one registry write, then reads each key back. An entry
// counts as removed only when its key is gone; the backup of an entry that stays is deleted.
void deleteEntries(Registry& registry, std::vector<RemovalOutcome>& outcomes,
                   const DeletionOptions& options = {});

} // namespace nixora
