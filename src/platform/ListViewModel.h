#pragma once

#include <QCollator>
#include <QHash>
#include <QString>

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

namespace nixora
{

// Colours are Windows RGB values (red in the low byte). The default colour is the system's
// window-text colour, which is never 192.
inline constexpr uint32_t kDefaultForeColor = 0x80000008u;
inline constexpr uint32_t kPhantomColor = 192u; // red 192, green 0, blue 0

struct ListCell {
    QString text;
    QString tag;
    QString toolTip;
    uint32_t foreColor = kDefaultForeColor;
    bool bold = false;
};

// One row: cells[0] is the row itself (first column), cells[1] and cells[2] its sub-items.
struct ListRow {
    QString key;
    std::array<ListCell, 3> cells;
    bool highlighted = false;
    // The collation key of the sort column's text, made once when the list first orders the
    // row by it, so that ordering compares bytes instead of collating texts again and again.
    mutable std::optional<QCollatorSortKey> sortKey;
};

// Told about changes so that a view can show them. listChanged() comes with every change and
// must be cheap; repaintRequested() asks for the view to catch up now.
class ListViewListener
{
public:
    virtual ~ListViewListener() = default;
    virtual void listChanged() = 0;
    virtual void repaintRequested() = 0;
};

// A report-style list view as plain data: keyed rows with sub-items, tags, tooltips, colour,
// bold, a sorted switch with sort column and order, one selected row, enabled state, grid lines
// and column widths. Rows are numbered from 0 here, in the list's current order.
//
// While the sorted switch is on, the rows are kept in the order of the sort column's texts;
// rows added later and texts changed later take their sorted place. The comparison is
// compareListText() below.
class ListViewModel
{
public:
    struct Column {
        QString caption;
        int widthTwips = 0;
    };

    ListViewModel();
    ~ListViewModel();
    ListViewModel(const ListViewModel&) = delete;
    ListViewModel& operator=(const ListViewModel&) = delete;

    void setListener(ListViewListener* listener) { m_listener = listener; }

    // Rows. addRow fails (nullptr) when the key is already used. Row pointers stay valid until
    // the row is removed by clear().
    ListRow* addRow(const QString& key, const QString& text);
    void clear();
    [[nodiscard]] int rowCount() const;
    [[nodiscard]] ListRow* rowAt(int index);
    [[nodiscard]] const ListRow* rowAt(int index) const;
    [[nodiscard]] int indexOf(const ListRow* row) const;        // -1 when not in the list
    [[nodiscard]] ListRow* findByKey(const QString& key) const; // exact, case-sensitive

    // Cell properties; column 0 is the row, 1 and 2 its sub-items.
    void setText(ListRow* row, int column, const QString& text);
    void setTag(ListRow* row, int column, const QString& tag);
    void setToolTip(ListRow* row, int column, const QString& toolTip);
    void setForeColor(ListRow* row, int column, uint32_t color);
    void setBold(ListRow* row, int column, bool bold);

    // Selection: highlighting a row makes it the selected row; un-highlighting it keeps it the
    // selected row until another row is selected or the rows are cleared.
    [[nodiscard]] ListRow* selectedRow() const { return m_selected; }
    void setHighlighted(ListRow* row, bool highlighted);
    // The list has no selected row afterwards, as after clear(); the rows stay.
    void clearSelection();

    // Sorting.
    [[nodiscard]] bool sorted() const { return m_sorted; }
    void setSorted(bool sorted);
    [[nodiscard]] int sortKey() const { return m_sortKey; }
    void setSortKey(int column);
    [[nodiscard]] int sortOrder() const { return m_sortOrder; } // 0 ascending, 1 descending
    void setSortOrder(int order);

    // List-wide state.
    [[nodiscard]] bool enabled() const { return m_enabled; }
    void setEnabled(bool enabled);
    [[nodiscard]] bool gridLines() const { return m_gridLines; }
    void setGridLines(bool on);
    [[nodiscard]] const std::array<Column, 3>& columns() const { return m_columns; }
    void setColumn(int column, const QString& caption, int widthTwips);
    void setColumnWidth(int column, int widthTwips);

    // Asks the view to show the list as it is now.
    void repaint();

    // The number of rows whose own fore colour is kPhantomColor, kept up to date as colours
    // change, so counting does not walk (and order) the whole list.
    [[nodiscard]] int phantomRowCount() const { return m_phantomRows; }

private:
    void changed();
    void sortIfNeeded() const;
    void makeSortKeys() const;
    void dropSortKeys() const;
    [[nodiscard]] bool rowLess(const ListRow* a, const ListRow* b) const;

    mutable std::vector<std::unique_ptr<ListRow>> m_rows;
    mutable bool m_orderDirty = false;
    mutable size_t m_placedCount = 0; // rows in front of this are in sorted order
    mutable QString m_keyLocale;      // the collation locale the rows' sort keys were made in
    int m_phantomRows = 0;
    QHash<QString, ListRow*> m_byKey;
    ListRow* m_selected = nullptr;
    bool m_sorted = false;
    int m_sortKey = 0;
    int m_sortOrder = 0;
    bool m_enabled = true;
    bool m_gridLines = false;
    std::array<Column, 3> m_columns;
    ListViewListener* m_listener = nullptr;
};

// The text order of both lists: natural order in the user's collation locale, as QCollator has
// it in numeric mode (numbers by value, so "App 2" before "App 10" and 2.4 before 10.0; letter
// case and accents as the locale orders them). Texts the collator holds equal ("01" and "1")
// are told apart by their code units, so the order never depends on the order rows were added
// in. Negative, zero or positive.
[[nodiscard]] int compareListText(const QString& a, const QString& b);

// The collator behind compareListText for this thread, following the default locale.
[[nodiscard]] const QCollator& listTextCollator();

} // namespace nixora
