#include "inventory/EntryRows.h"

namespace nixora
{

ListRow* addEntryRow(ListViewModel& list, const Entry& entry)
{
    return list.addRow(entry.rowKey(), entry.name());
}

void showEntry(ListViewModel& list, ListRow* row, const Entry& entry, bool boldPhantoms)
{
    if (row == nullptr)
        return;
    for (int column = 0; column < 3; ++column) {
        const EntryColumn& shown = entry.columns[static_cast<size_t>(column)];
        list.setText(row, column, shown.text);
        list.setTag(row, column, shown.tag);
        list.setToolTip(row, column, entry.toolTip);
        if (entry.marked) {
            list.setForeColor(row, column, kPhantomColor);
            list.setBold(row, column, boldPhantoms);
        }
    }
}

void showPhantomsBold(Workspace& ctx)
{
    ListViewModel& list = ctx.state.lvwOhjelmat;
    for (int index = 0; index < list.rowCount(); ++index) {
        ListRow* row = list.rowAt(index);
        const Entry* entry = entryOfRow(ctx, *row);
        if (entry == nullptr || !entry->marked)
            continue;
        for (int column = 0; column < 3; ++column)
            list.setBold(row, column, ctx.state.boldPhantoms);
    }
}

const Entry* entryOfRow(const Workspace& ctx, const ListRow& row)
{
    return ctx.entries.find(row.key);
}

std::vector<const Entry*> entriesOfRows(const Workspace& ctx,
                                        const std::vector<const ListRow*>& rows)
{
    std::vector<const Entry*> entries;
    entries.reserve(rows.size());
    for (const ListRow* row : rows) {
        if (const Entry* entry = row != nullptr ? entryOfRow(ctx, *row) : nullptr)
            entries.push_back(entry);
    }
    return entries;
}

std::vector<const Entry*> entriesInListOrder(const Workspace& ctx)
{
    const ListViewModel& list = ctx.state.lvwOhjelmat;
    std::vector<const ListRow*> rows;
    rows.reserve(static_cast<size_t>(list.rowCount()));
    for (int i = 0; i < list.rowCount(); ++i)
        rows.push_back(list.rowAt(i));
    return entriesOfRows(ctx, rows);
}

} // namespace nixora
