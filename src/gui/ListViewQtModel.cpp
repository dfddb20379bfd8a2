#include "ListViewQtModel.h"

#include <QColor>
#include <QFont>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QTableView>
#include <QTimer>

#include <algorithm>

namespace nixora
{

namespace
{
constexpr int kTwipsPerPixel = 15;
constexpr qint64 kRepaintIntervalMs = 40;
} // namespace

ListViewQtModel::ListViewQtModel(ListViewModel& list, QObject* parent)
    : QAbstractTableModel(parent), m_list(list)
{
    m_boldFont.setBold(true);
    m_shownRows = m_list.rowCount();
    m_list.setListener(this);
}

ListViewQtModel::~ListViewQtModel()
{
    m_list.setListener(nullptr);
}

void ListViewQtModel::attachView(QTableView* view)
{
    m_view = view;
    m_boldFont = view->font();
    m_boldFont.setBold(true);
    view->setModel(this);
    m_appliedWidths = {-1, -1, -1};
    applyViewState();
    applySelection();
}

int ListViewQtModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : m_shownRows;
}

int ListViewQtModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_list.columns().size());
}

ListRow* ListViewQtModel::rowAt(int viewRow) const
{
    if (viewRow < 0 || viewRow >= m_shownRows)
        return nullptr;
    const int listIndex = m_filter.isEmpty() ? viewRow : m_matches[static_cast<size_t>(viewRow)];
    return listIndex < m_list.rowCount() ? m_list.rowAt(listIndex) : nullptr;
}

int ListViewQtModel::shownRowOf(const ListRow* row)
{
    flush();
    const int index = m_list.indexOf(row);
    const int viewRow = index < 0 ? -1 : viewRowOf(index);
    return viewRow < m_shownRows ? viewRow : -1;
}

void ListViewQtModel::setFilter(const QString& text)
{
    if (text == m_filter)
        return;
    m_filter = text;
    m_dirty = true;
    flush();
}

void ListViewQtModel::collectMatches()
{
    m_matches.clear();
    if (m_filter.isEmpty())
        return;
    for (int i = 0; i < m_list.rowCount(); ++i) {
        const ListRow* row = m_list.rowAt(i);
        for (const ListCell& cell : row->cells) {
            if (cell.text.contains(m_filter, Qt::CaseInsensitive)) {
                m_matches.push_back(i);
                break;
            }
        }
    }
}

int ListViewQtModel::viewRowOf(int listIndex) const
{
    if (m_filter.isEmpty())
        return listIndex;
    const auto at = std::lower_bound(m_matches.begin(), m_matches.end(), listIndex);
    return at != m_matches.end() && *at == listIndex ? static_cast<int>(at - m_matches.begin())
                                                     : -1;
}

QColor ListViewQtModel::toQColor(uint32_t windowsRgb)
{
    return QColor(static_cast<int>(windowsRgb & 0xffu), static_cast<int>((windowsRgb >> 8) & 0xffu),
                  static_cast<int>((windowsRgb >> 16) & 0xffu));
}

QVariant ListViewQtModel::data(const QModelIndex& index, int role) const
{
    const ListRow* row = rowAt(index.row());
    if (row == nullptr || index.column() < 0 || index.column() >= 3)
        return {};
    const ListCell& cell = row->cells[static_cast<size_t>(index.column())];
    switch (role) {
    case Qt::DisplayRole:
        return cell.text;
    case Qt::ToolTipRole:
        return cell.toolTip.isEmpty() ? QVariant() : QVariant(cell.toolTip);
    case Qt::ForegroundRole:
        // System colours (high bit set) are the palette's; the view then uses its text colour.
        if (cell.foreColor == kDefaultForeColor || (cell.foreColor & 0xff000000u) != 0)
            return {};
        return toQColor(cell.foreColor);
    case Qt::FontRole:
        return cell.bold ? QVariant(m_boldFont) : QVariant();
    default:
        return {};
    }
}

QVariant ListViewQtModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || section < 0 || section >= 3)
        return {};
    if (role == Qt::DisplayRole)
        return m_list.columns()[static_cast<size_t>(section)].caption;
    if (role == Qt::TextAlignmentRole)
        return QVariant::fromValue(Qt::AlignLeft | Qt::AlignVCenter);
    return {};
}

Qt::ItemFlags ListViewQtModel::flags(const QModelIndex& index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable;
}

void ListViewQtModel::listChanged()
{
    m_dirty = true;
    if (m_updateQueued)
        return;
    m_updateQueued = true;
    QTimer::singleShot(0, this, [this] {
        m_updateQueued = false;
        flush();
    });
}

void ListViewQtModel::repaintRequested()
{
    // A long fill asks for a repaint every few rows. Drawing more often than the eye can follow
    // only slows the fill down; the last state is drawn on the next turn of the event loop.
    if (m_sinceRepaint.isValid() && m_sinceRepaint.elapsed() < kRepaintIntervalMs)
        return;
    flush();
    if (m_view && m_view->isVisible())
        m_view->viewport()->repaint();
    m_sinceRepaint.start();
}

void ListViewQtModel::flush()
{
    if (!m_dirty)
        return;
    m_dirty = false;
    catchUp();
}

void ListViewQtModel::catchUp()
{
    if (!m_filter.isEmpty() || m_filterShown) {
        // Filtered rows move about as the list changes: show them anew.
        beginResetModel();
        collectMatches();
        m_filterShown = !m_filter.isEmpty();
        m_shownRows = m_filterShown ? static_cast<int>(m_matches.size()) : m_list.rowCount();
        endResetModel();
        finishCatchUp();
        return;
    }
    const int rows = m_list.rowCount();
    if (rows == 0 || rows < m_shownRows) {
        beginResetModel();
        m_shownRows = rows;
        endResetModel();
    } else {
        // A fill only adds rows. The list keeps them sorted, so new rows may land anywhere:
        // announce the added count at the end, then say that every row's content changed.
        // Cheaper than a reset, which the view answers by rebuilding everything.
        if (rows > m_shownRows) {
            beginInsertRows({}, m_shownRows, rows - 1);
            m_shownRows = rows;
            endInsertRows();
        }
        emit dataChanged(index(0, 0), index(rows - 1, columnCount() - 1));
    }
    finishCatchUp();
}

void ListViewQtModel::finishCatchUp()
{
    std::array<QString, 3> captions;
    for (size_t column = 0; column < captions.size(); ++column)
        captions[column] = m_list.columns()[column].caption;
    if (captions != m_shownCaptions) {
        m_shownCaptions = captions;
        emit headerDataChanged(Qt::Horizontal, 0, columnCount() - 1);
    }
    applyViewState();
    applySelection();
}

void ListViewQtModel::applyViewState()
{
    if (!m_view)
        return;
    m_view->setShowGrid(m_list.gridLines());
    m_view->setEnabled(m_list.enabled());
    // The header shows the column the rows are ordered by and which way.
    QHeaderView* header = m_view->horizontalHeader();
    header->setSortIndicatorShown(m_list.sorted());
    header->setSortIndicator(m_list.sortKey(),
                             m_list.sortOrder() == 0 ? Qt::AscendingOrder : Qt::DescendingOrder);
    // Widths are applied when the list changes them, so a column the user dragged keeps its
    // width across fills.
    for (int column = 0; column < 3; ++column) {
        const int twips = m_list.columns()[static_cast<size_t>(column)].widthTwips;
        if (twips != m_appliedWidths[static_cast<size_t>(column)]) {
            m_appliedWidths[static_cast<size_t>(column)] = twips;
            m_view->setColumnWidth(column, twips / kTwipsPerPixel);
        }
    }
}

void ListViewQtModel::applySelection()
{
    if (!m_view || m_view->selectionModel() == nullptr)
        return;
    QItemSelectionModel* selection = m_view->selectionModel();
    const ListRow* selected = m_list.selectedRow();
    const int row =
        selected != nullptr && selected->highlighted ? viewRowOf(m_list.indexOf(selected)) : -1;
    m_applyingSelection = true;
    if (row < 0 || row >= m_shownRows) {
        selection->clearSelection();
    } else {
        selection->select(index(row, 0),
                          QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        selection->setCurrentIndex(index(row, 0), QItemSelectionModel::NoUpdate);
    }
    m_applyingSelection = false;
}

} // namespace nixora
