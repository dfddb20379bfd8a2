#include "ListViewModel.h"

#include <QLocale>

#include <algorithm>

namespace nixora
{

namespace
{

// The user's collation locale. The C and POSIX locales state no preference, and Qt's collator
// would compare code units there (no numbers by value): they get the root order, which is
// English's.
QLocale collationLocale()
{
    const QLocale locale = QLocale().collation();
    return locale.language() == QLocale::C ? QLocale(QLocale::English, QLocale::UnitedStates)
                                           : locale;
}

int tieBreak(int collated, const QString& a, const QString& b)
{
    return collated != 0 ? collated : QString::compare(a, b, Qt::CaseSensitive);
}

} // namespace

const QCollator& listTextCollator()
{
    // One per thread: the listing of many prefixes fills lists on several threads at once.
    thread_local std::optional<QCollator> collator;
    const QLocale locale = collationLocale();
    if (!collator || collator->locale().name() != locale.name()) {
        collator.emplace(locale);
        collator->setNumericMode(true);
    }
    return *collator;
}

int compareListText(const QString& a, const QString& b)
{
    return tieBreak(listTextCollator().compare(a, b), a, b);
}

ListViewModel::ListViewModel() = default;
ListViewModel::~ListViewModel() = default;

void ListViewModel::changed()
{
    if (m_listener)
        m_listener->listChanged();
}

// Both rows have their sort keys (makeSortKeys); comparing them orders as compareListText does.
bool ListViewModel::rowLess(const ListRow* a, const ListRow* b) const
{
    const int c = tieBreak(a->sortKey->compare(*b->sortKey), a->cells[m_sortKey].text,
                           b->cells[m_sortKey].text);
    return m_sortOrder == 0 ? c < 0 : c > 0;
}

// Every row to be placed gets the key of its sort column's text; placed rows have theirs. A
// change of locale (the default locale set anew) makes every key again and orders every row
// again.
void ListViewModel::makeSortKeys() const
{
    const QCollator& collator = listTextCollator();
    if (collator.locale().name() != m_keyLocale) {
        dropSortKeys();
        m_keyLocale = collator.locale().name();
        m_orderDirty = true;
    }
    for (size_t i = m_orderDirty ? 0 : m_placedCount; i < m_rows.size(); ++i) {
        ListRow& row = *m_rows[i];
        if (!row.sortKey)
            row.sortKey = collator.sortKey(row.cells[m_sortKey].text);
    }
}

void ListViewModel::dropSortKeys() const
{
    for (const auto& row : m_rows)
        row->sortKey.reset();
}

// Rows are placed lazily, when someone reads the order: a fill of thousands of rows would
// otherwise re-sort after every row. The rows in front of m_placedCount are in order; the ones
// behind it were added (or had their sort text changed) since and go after their equals, which
// is exactly where an eager insertion would have put them.
void ListViewModel::sortIfNeeded() const
{
    if (!m_sorted)
        return;
    if (!m_orderDirty && m_placedCount == m_rows.size())
        return;
    makeSortKeys();
    const auto less = [this](const auto& a, const auto& b) { return rowLess(a.get(), b.get()); };
    const size_t pending = m_rows.size() - m_placedCount;
    if (m_orderDirty || pending > 64 + m_placedCount / 16) {
        if (m_orderDirty)
            std::stable_sort(m_rows.begin(), m_rows.end(), less);
        else {
            std::stable_sort(m_rows.begin() + m_placedCount, m_rows.end(), less);
            std::inplace_merge(m_rows.begin(), m_rows.begin() + m_placedCount, m_rows.end(), less);
        }
    } else {
        for (size_t i = m_placedCount; i < m_rows.size(); ++i) {
            const auto end = m_rows.begin() + i;
            const auto at = std::upper_bound(m_rows.begin(), end, m_rows[i], less);
            std::rotate(at, end, end + 1);
        }
    }
    m_orderDirty = false;
    m_placedCount = m_rows.size();
}

ListRow* ListViewModel::addRow(const QString& key, const QString& text)
{
    if (m_byKey.contains(key))
        return nullptr;
    auto row = std::make_unique<ListRow>();
    row->key = key;
    row->cells[0].text = text;
    ListRow* raw = row.get();
    m_rows.push_back(std::move(row));
    if (!m_sorted)
        m_placedCount = m_rows.size();
    m_byKey.insert(key, raw);
    changed();
    return raw;
}

void ListViewModel::clear()
{
    m_rows.clear();
    m_byKey.clear();
    m_selected = nullptr;
    m_placedCount = 0;
    m_orderDirty = false;
    m_phantomRows = 0;
    changed();
}

int ListViewModel::rowCount() const
{
    return static_cast<int>(m_rows.size());
}

ListRow* ListViewModel::rowAt(int index)
{
    if (index < 0 || index >= rowCount())
        return nullptr;
    sortIfNeeded();
    return m_rows[static_cast<size_t>(index)].get();
}

const ListRow* ListViewModel::rowAt(int index) const
{
    if (index < 0 || index >= rowCount())
        return nullptr;
    sortIfNeeded();
    return m_rows[static_cast<size_t>(index)].get();
}

int ListViewModel::indexOf(const ListRow* row) const
{
    if (!row)
        return -1;
    sortIfNeeded();
    const auto it =
        std::find_if(m_rows.begin(), m_rows.end(), [row](const auto& r) { return r.get() == row; });
    return it == m_rows.end() ? -1 : static_cast<int>(it - m_rows.begin());
}

ListRow* ListViewModel::findByKey(const QString& key) const
{
    return m_byKey.value(key, nullptr);
}

void ListViewModel::setText(ListRow* row, int column, const QString& text)
{
    if (!row || column < 0 || column > 2)
        return;
    if (m_sorted && column == m_sortKey && row->cells[column].text != text) {
        // The row goes behind every pending row, to be placed again by its new text.
        const auto it = std::find_if(m_rows.begin(), m_rows.end(),
                                     [row](const auto& r) { return r.get() == row; });
        if (it != m_rows.end()) {
            if (static_cast<size_t>(it - m_rows.begin()) < m_placedCount)
                --m_placedCount;
            std::rotate(it, it + 1, m_rows.end());
        }
    }
    if (column == m_sortKey)
        row->sortKey.reset();
    row->cells[column].text = text;
    changed();
}

void ListViewModel::setTag(ListRow* row, int column, const QString& tag)
{
    if (!row || column < 0 || column > 2)
        return;
    row->cells[column].tag = tag;
    changed();
}

void ListViewModel::setToolTip(ListRow* row, int column, const QString& toolTip)
{
    if (!row || column < 0 || column > 2)
        return;
    row->cells[column].toolTip = toolTip;
    changed();
}

void ListViewModel::setForeColor(ListRow* row, int column, uint32_t color)
{
    if (!row || column < 0 || column > 2)
        return;
    if (column == 0) {
        m_phantomRows -= row->cells[0].foreColor == kPhantomColor ? 1 : 0;
        m_phantomRows += color == kPhantomColor ? 1 : 0;
    }
    row->cells[column].foreColor = color;
    changed();
}

void ListViewModel::setBold(ListRow* row, int column, bool bold)
{
    if (!row || column < 0 || column > 2)
        return;
    row->cells[column].bold = bold;
    changed();
}

void ListViewModel::setHighlighted(ListRow* row, bool highlighted)
{
    if (!row)
        return;
    if (highlighted) {
        if (m_selected && m_selected != row)
            m_selected->highlighted = false;
        m_selected = row;
    }
    row->highlighted = highlighted;
    changed();
}

void ListViewModel::clearSelection()
{
    if (m_selected == nullptr)
        return;
    m_selected->highlighted = false;
    m_selected = nullptr;
    changed();
}

void ListViewModel::setSorted(bool sorted)
{
    if (sorted == m_sorted)
        return;
    if (!sorted)
        sortIfNeeded();
    m_sorted = sorted;
    if (sorted)
        m_orderDirty = true;
    m_placedCount = m_rows.size();
    changed();
}

void ListViewModel::setSortKey(int column)
{
    if (column < 0 || column > 2)
        return;
    sortIfNeeded();
    if (column != m_sortKey)
        dropSortKeys();
    m_sortKey = column;
    if (m_sorted)
        m_orderDirty = true;
    changed();
}

void ListViewModel::setSortOrder(int order)
{
    sortIfNeeded();
    m_sortOrder = order == 0 ? 0 : 1;
    if (m_sorted)
        m_orderDirty = true;
    changed();
}

void ListViewModel::setEnabled(bool enabled)
{
    m_enabled = enabled;
    changed();
}

void ListViewModel::setGridLines(bool on)
{
    m_gridLines = on;
    changed();
}

void ListViewModel::setColumn(int column, const QString& caption, int widthTwips)
{
    if (column < 0 || column > 2)
        return;
    m_columns[static_cast<size_t>(column)] = {caption, widthTwips};
    changed();
}

void ListViewModel::setColumnWidth(int column, int widthTwips)
{
    if (column < 0 || column > 2)
        return;
    m_columns[static_cast<size_t>(column)].widthTwips = widthTwips;
    changed();
}

void ListViewModel::repaint()
{
    // Every read puts the rows in order first, so a view that draws sorts them then; sorting here
    // would only repeat that work, or do it for nobody when no view listens.
    if (m_listener)
        m_listener->repaintRequested();
}

} // namespace nixora
