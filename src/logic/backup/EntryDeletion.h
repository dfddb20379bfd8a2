#pragma once

#include "DurableFile.h"
#include "Entry.h"
#include "Registry.h"

#include <vector>

namespace nixora
{

// What became of one entry a removal acted on: removed (its backup, if it has one, is kept), or
// kept and why. A kept entry whose key may be gone keeps its backup too.
struct RemovalOutcome {
    EntryRef entry;
    QString backupFile;    // the backup written for it; empty when there is none
    FileStamp backupStamp; // the backup as this process wrote it
    QString reason;        // set when the entry is kept

    [[nodiscard]] bool removed() const { return reason.isEmpty(); }
};

struct DeletionOptions {
    // As RegDeleteKey does, a key that still has subkeys is kept ("&Remove Entry...").
    bool refuseKeyWithSubkeys = false;
};

// The one deletion routine of "&Remove Entry..." and of the bulk removal: deletes the key of
// every outcome that is not kept yet in one registry write, then reads each key back, whatever
// the write said (it may have replaced one hive and failed on the other). An entry counts as
// removed when its key is certainly gone; a backup is deleted only when its key is certainly
// still there, and only while it is the file this process wrote.
void deleteEntries(Registry& registry, std::vector<RemovalOutcome>& outcomes,
                   const DeletionOptions& options = {});

} // namespace nixora
