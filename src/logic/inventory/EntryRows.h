#pragma once

#include "Entry.h"
#include "Workspace.h"

namespace nixora
{

// The entry list's rows are a projection of the entries: these are the only writers of a row's
// texts, tags, tooltips, colour and bold.

// Adds the entry's row with its name; nothing when its key is taken.
ListRow* addEntryRow(ListViewModel& list, const Entry& entry);

// Writes every cell of the entry's row from the entry: texts, tags and tooltips, and for a
// marked entry the colour 192 and the bold state `boldPhantoms`.
void showEntry(ListViewModel& list, ListRow* row, const Entry& entry, bool boldPhantoms);

// Gives every marked entry's row the bold state of the option, in list order.
void showPhantomsBold(Workspace& ctx);

// The entry a row of the entry list shows.
[[nodiscard]] const Entry* entryOfRow(const Workspace& ctx, const ListRow& row);

// The entries of the rows, in the list's order (or the rows given, in theirs).
[[nodiscard]] std::vector<const Entry*> entriesInListOrder(const Workspace& ctx);
[[nodiscard]] std::vector<const Entry*> entriesOfRows(const Workspace& ctx,
                                                      const std::vector<const ListRow*>& rows);

} // namespace nixora
