#include "ListViewModel.h"

#include <algorithm>

namespace nixora
{

namespace
{

// QString::compare without case, with plain ASCII (the usual text) compared here: Qt folds ASCII
// letters to lower case too. From the first unit beyond ASCII on, Qt compares the rest.
int compareFolded(QStringView a, QStringView b)
{
    const qsizetype n = std::min(a.size(), b.size());
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t x = a[i].unicode();
        const char16_t y = b[i].unicode();
        if (x >= 0x80 || y >= 0x80)
            return QtPrivate::compareStrings(a.mid(i), b.mid(i), Qt::CaseInsensitive);
        if (x == y)
            continue;
        const int lowerX = x >= u'A' && x <= u'Z' ? x + 32 : x;
        const int lowerY = y >= u'A' && y <= u'Z' ? y + 32 : y;
        if (lowerX != lowerY)
            return lowerX - lowerY;
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

} // namespace

int compareListText(const QString& a, const QString& b)
{
    const int folded = compareFolded(a, b);
    if (folded != 0)
        return folded;
    return QString::compare(a, b, Qt::CaseSensitive);
}

ListViewModel::ListViewModel() = default;
ListViewModel::~ListViewModel() = default;

void ListViewModel::changed()
{
    if (m_listener)
        m_listener->listChanged();
}

bool ListViewModel::rowLess(const ListRow* a, const ListRow* b) const
{
    const int c = compareListText(a->cells[m_sortKey].text, b->cells[m_sortKey].text);
    return m_sortOrder == 0 ? c < 0 : c > 0;
}

// Rows are placed lazily, when someone reads the order: a fill of thousands of rows would
// otherwise re-sort after every row. The rows in front of m_placedCount are in order; the ones
// behind it were added (or had their sort text changed) since and go after their equals, which
// is exactly where an eager insertion would have put them.
void ListViewModel::sortIfNeeded() const
{
    if (!m_sorted)
        return;
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
