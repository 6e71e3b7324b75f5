#include "app/list_grid.h"

#include <QAbstractTableModel>
#include <QEvent>
#include <QHeaderView>
#include <QPainter>
#include <QStyledItemDelegate>

#include <algorithm>
#include <numeric>

#include "app/qt_convert.h"

namespace fraglane::app {

// The rows as one run of cells; the view asks for the texts of the rows it shows.
class GridModel : public QAbstractTableModel {
public:
    explicit GridModel(QStringList headers) : m_headers(std::move(headers)) {}

    int rowCount(const QModelIndex& parent = {}) const override {
        return parent.isValid() ? 0 : Rows();
    }
    int columnCount(const QModelIndex& parent = {}) const override {
        return parent.isValid() ? 0 : static_cast<int>(m_headers.size());
    }
    QVariant data(const QModelIndex& index, int role) const override {
        if (role != Qt::DisplayRole || !index.isValid())
            return {};
        return ToQt(Cell(index.row(), index.column()));
    }
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override {
        if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 ||
            section >= m_headers.size())
            return {};
        return m_headers[section];
    }

    int Rows() const { return static_cast<int>(m_cells.size() / Columns()); }
    size_t Columns() const { return static_cast<size_t>(m_headers.size()); }
    const std::string& Cell(int row, int column) const {
        return m_cells[static_cast<size_t>(row) * Columns() + static_cast<size_t>(column)];
    }

    void Append(std::vector<std::string> cells) {
        const size_t rows = cells.size() / Columns();
        if (rows == 0)
            return;
        const int first = Rows();
        beginInsertRows({}, first, first + static_cast<int>(rows) - 1);
        if (m_cells.empty()) {
            m_cells = std::move(cells);
            m_cells.resize(rows * Columns());
        } else {
            cells.resize(rows * Columns());
            m_cells.insert(m_cells.end(), std::make_move_iterator(cells.begin()),
                           std::make_move_iterator(cells.end()));
        }
        endInsertRows();
    }

    void Reset(std::vector<std::string> cells) {
        beginResetModel();
        m_cells = std::move(cells);
        m_cells.resize(m_cells.size() / Columns() * Columns());
        endResetModel();
    }

    // Puts the rows in the byte order of their keys (stable); selection and focus follow
    // their rows. Keys made once make each comparison one memcmp.
    void Reorder(const std::vector<std::string>& keys) {
        std::vector<int> order(static_cast<size_t>(Rows()));
        std::iota(order.begin(), order.end(), 0);
        auto less = [&keys](int a, int b) {
            return keys[static_cast<size_t>(a)] < keys[static_cast<size_t>(b)];
        };
        if (std::is_sorted(order.begin(), order.end(), less))
            return;  // the rows came in list order: nothing to move
        std::stable_sort(order.begin(), order.end(), less);
        emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
        std::vector<std::string> cells;
        cells.reserve(m_cells.size());
        std::vector<int> position(order.size());
        for (size_t to = 0; to < order.size(); ++to) {
            position[static_cast<size_t>(order[to])] = static_cast<int>(to);
            for (size_t c = 0; c < Columns(); ++c)
                cells.push_back(std::move(m_cells[static_cast<size_t>(order[to]) * Columns() + c]));
        }
        m_cells = std::move(cells);
        const QModelIndexList before = persistentIndexList();
        QModelIndexList after;
        after.reserve(before.size());
        for (const QModelIndex& index : before)
            after.push_back(
                this->index(position[static_cast<size_t>(index.row())], index.column()));
        changePersistentIndexList(before, after);
        emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
    }

private:
    QStringList m_headers;
    std::vector<std::string> m_cells;
};

namespace {

// Rows a little taller than the text, so that the grid line under a row never covers the
// underscores of the names above it (maps and bots are often named "am_lavaarena").
class GridRowDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        return QStyledItemDelegate::sizeHint(option, index) + QSize(0, 3);
    }
};

}  // namespace

ListGrid::ListGrid(const QStringList& headers, QWidget* parent)
    : QTreeView(parent), m_model(std::make_unique<GridModel>(headers)) {
    setModel(m_model.get());
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setUniformRowHeights(true);
    setAllColumnsShowFocus(true);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setItemDelegate(new GridRowDelegate(this));
    header()->setSectionsClickable(true);
    header()->setDefaultAlignment(Qt::AlignCenter);
    header()->setSortIndicatorShown(true);
    connect(header(), &QHeaderView::sectionClicked, this,
            [this](int column) { SetSortKeys({column}); });
    connect(selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex& current) { emit currentRowChanged(current.row()); });
    connect(selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &ListGrid::rowSelectionChanged);
    // The selection stays visible without the focus: button face with black text.
    QPalette p = palette();
    p.setColor(QPalette::Inactive, QPalette::Highlight, p.color(QPalette::Button));
    p.setColor(QPalette::Inactive, QPalette::HighlightedText, Qt::black);
    setPalette(p);
}

// The view lets go of its model before the model goes.
ListGrid::~ListGrid() {
    setModel(nullptr);
}

void ListGrid::BeginUpdate() {
    if (m_updateDepth++ == 0)
        setUpdatesEnabled(false);
}

void ListGrid::EndUpdate() {
    if (m_updateDepth == 0)
        return;
    if (--m_updateDepth == 0) {
        Sort();
        setUpdatesEnabled(true);
    }
}

int ListGrid::ColumnCount() const {
    return static_cast<int>(m_model->Columns());
}

int ListGrid::RowCount() const {
    return m_model->Rows();
}

void ListGrid::AddRows(std::vector<std::string> cells) {
    m_model->Append(std::move(cells));
}

void ListGrid::Clear() {
    m_model->Reset({});
}

void ListGrid::SetSortedRows(std::vector<std::string> cells, const std::vector<int>& sortKeys) {
    m_sortKeys = sortKeys;
    if (!sortKeys.empty())
        header()->setSortIndicator(sortKeys.front(), Qt::AscendingOrder);
    m_model->Reset(std::move(cells));
}

const std::string& ListGrid::Cell(int row, int column) const {
    return m_model->Cell(row, column);
}

QString ListGrid::Text(int row, int column) const {
    return ToQt(Cell(row, column));
}

int ListGrid::CurrentRow() const {
    return currentIndex().isValid() ? currentIndex().row() : -1;
}

void ListGrid::SetCurrentRow(int row) {
    selectionModel()->setCurrentIndex(
        m_model->index(row, 0), QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

void ListGrid::FocusRow(int row) {
    selectionModel()->setCurrentIndex(m_model->index(row, 0), QItemSelectionModel::NoUpdate);
}

void ListGrid::SetRowSelected(int row, bool selected) {
    selectionModel()->select(m_model->index(row, 0), (selected ? QItemSelectionModel::Select
                                                               : QItemSelectionModel::Deselect) |
                                                         QItemSelectionModel::Rows);
}

std::vector<int> ListGrid::SelectedRowsAsChosen() const {
    std::vector<int> rows;
    for (const QModelIndex& index : selectionModel()->selectedRows())
        rows.push_back(index.row());
    return rows;
}

std::vector<int> ListGrid::SelectedRows() const {
    std::vector<int> rows = SelectedRowsAsChosen();
    std::sort(rows.begin(), rows.end());
    return rows;
}

void ListGrid::SetSortKeys(const std::vector<int>& columns) {
    m_sortKeys = columns;
    if (!columns.empty())
        header()->setSortIndicator(columns.front(), Qt::AscendingOrder);
    Sort();
}

void ListGrid::Sort() {
    if (m_sortKeys.empty() || IsUpdating())
        return;
    std::vector<std::string> keys(static_cast<size_t>(RowCount()));
    for (int row = 0; row < RowCount(); ++row) {
        std::string& key = keys[static_cast<size_t>(row)];
        for (int column : m_sortKeys) {
            if (m_key)
                m_key(key, Cell(row, column));
            else
                key += Cell(row, column);
            key += '\0';
        }
    }
    m_model->Reorder(keys);
}

void ListGrid::mousePressEvent(QMouseEvent* event) {
    QTreeView::mousePressEvent(event);
    emit mousePressed();
}

void ListGrid::keyPressEvent(QKeyEvent* event) {
    QTreeView::keyPressEvent(event);
    emit keyPressed();
}

void ListGrid::SetEmptyHint(const QString& hint) {
    m_emptyHint = hint;
    viewport()->update();
}

void ListGrid::SetStretchColumn(int column, int minimum, int otherWidth) {
    m_stretchColumn = column;
    m_stretchMinimum = minimum;
    m_otherWidth = otherWidth;
    header()->setStretchLastSection(false);
    FitColumns();
}

void ListGrid::FitColumns() {
    if (m_stretchColumn < 0 || ColumnCount() != 2)
        return;
    const int total = viewport()->width();
    const int other = std::clamp(total - m_stretchMinimum, 0, m_otherWidth);
    setColumnWidth(1 - m_stretchColumn, other);
    setColumnWidth(m_stretchColumn, std::max(m_stretchMinimum, total - other));
}

bool ListGrid::viewportEvent(QEvent* event) {
    // The viewport also changes size when a scroll bar comes or goes.
    if (event->type() == QEvent::Resize)
        FitColumns();
    return QTreeView::viewportEvent(event);
}

void ListGrid::SetReading(bool reading) {
    m_reading = reading;
    viewport()->update();
}

void ListGrid::paintEvent(QPaintEvent* event) {
    QTreeView::paintEvent(event);
    const QString hint = m_reading ? QStringLiteral("reading the catalogue\u2026") : m_emptyHint;
    if (RowCount() != 0 || hint.isEmpty())
        return;
    QPainter painter(viewport());
    painter.setPen(palette().color(QPalette::Disabled, QPalette::Text));
    painter.drawText(viewport()->rect().adjusted(8, 8, -8, -8),
                     Qt::AlignHCenter | Qt::AlignTop | Qt::TextWordWrap, hint);
}

void ListGrid::drawRow(QPainter* painter, const QStyleOptionViewItem& option,
                       const QModelIndex& index) const {
    QTreeView::drawRow(painter, option, index);
    // Grid lines between rows and columns.
    painter->save();
    painter->setPen(palette().color(QPalette::Mid));
    painter->drawLine(option.rect.bottomLeft(), option.rect.bottomRight());
    int x = option.rect.left() - horizontalOffset();
    for (int c = 0; c < ColumnCount() - 1; ++c) {
        x += columnWidth(c);
        painter->drawLine(x, option.rect.top(), x, option.rect.bottom());
    }
    painter->restore();
}

}  // namespace fraglane::app
