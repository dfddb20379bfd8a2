#pragma once

#include "ListViewModel.h"

#include <QAbstractTableModel>
#include <QElapsedTimer>
#include <QFont>
#include <QPointer>

#include <array>
#include <vector>

class QTableView;

namespace nixora
{

// Shows a ListViewModel in a QTableView: captions, widths, texts, tooltips, colour and bold per
// cell, grid lines, the highlighted row and the list's enabled state. The list keeps its own
// order; the view never sorts.
//
// Changes arrive in bursts during a fill, so listChanged() only marks the model dirty and the
// view catches up once on the next turn of the event loop; repaintRequested() catches up at once,
// at most every few dozen milliseconds.
class ListViewQtModel final : public QAbstractTableModel, public ListViewListener
{
    Q_OBJECT
public:
    explicit ListViewQtModel(ListViewModel& list, QObject* parent = nullptr);
    ~ListViewQtModel() override;

    // The view whose grid, enabled state, widths and selection follow the list.
    void attachView(QTableView* view);

    [[nodiscard]] int rowCount(const QModelIndex& parent = {}) const override;
    [[nodiscard]] int columnCount(const QModelIndex& parent = {}) const override;
    [[nodiscard]] QVariant data(const QModelIndex& index, int role) const override;
    [[nodiscard]] QVariant headerData(int section, Qt::Orientation orientation,
                                      int role) const override;
    [[nodiscard]] Qt::ItemFlags flags(const QModelIndex& index) const override;

    // The list row shown at a view row, or nullptr.
    [[nodiscard]] ListRow* rowAt(int viewRow) const;
    // The view row that shows `row` once pending changes are shown; -1 when the filter hides it
    // or it is not in the list.
    [[nodiscard]] int shownRowOf(const ListRow* row);

    // Shows only the rows one of whose texts contains `text` (case-insensitive); an empty text
    // shows every row. The list itself keeps all its rows.
    void setFilter(const QString& text);
    [[nodiscard]] const QString& filter() const { return m_filter; }

    void listChanged() override;
    void repaintRequested() override;

    // True while the view's selection is being set from the list, not by the user.
    [[nodiscard]] bool applyingSelection() const { return m_applyingSelection; }

    // Brings the view up to date now if a change is pending.
    void flush();

    [[nodiscard]] static QColor toQColor(uint32_t windowsRgb);

private:
    void catchUp();
    void applyViewState();
    void applySelection();
    void finishCatchUp();
    void collectMatches();
    [[nodiscard]] int viewRowOf(int listIndex) const;

    ListViewModel& m_list;
    QPointer<QTableView> m_view;
    int m_shownRows = 0;
    bool m_dirty = false;
    bool m_updateQueued = false;
    bool m_applyingSelection = false;
    QFont m_boldFont;
    QElapsedTimer m_sinceRepaint;
    std::array<int, 3> m_appliedWidths{-1, -1, -1};
    std::array<QString, 3> m_shownCaptions;
    QString m_filter;
    std::vector<int> m_matches; // list indices of the shown rows while a filter is set
    bool m_filterShown = false; // the view shows a filtered set (reset once more when cleared)
};

} // namespace nixora
