#pragma once

#include <QItemSelectionModel>
#include <QTreeView>

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

// A one-level list grid over rows of text cells, held as the bytes the catalogue holds.
namespace fraglane::app {

class GridModel;

// Whole-row and multi selection, grid lines, and sorting by a list of key columns (the
// catalogue lists sort by mod first, then name) with a text order its owner gives. A header
// click sorts by that column alone; SetSortKeys puts a several-column order back. The rows are
// a model the view reads from: only the rows in sight are turned into texts and painted, so a
// list of 100,000 maps costs its bytes and one sort. In update state the grid neither repaints
// nor re-sorts; EndUpdate sorts and repaints once.
class ListGrid : public QTreeView {
    Q_OBJECT
public:
    ListGrid(const QStringList& headers, QWidget* parent = nullptr);
    ~ListGrid() override;

    void BeginUpdate();
    void EndUpdate();
    bool IsUpdating() const { return m_updateDepth > 0; }

    int ColumnCount() const;
    int RowCount() const;
    // The cells of the rows to append, row after row (ColumnCount() cells a row).
    void AddRows(std::vector<std::string> cells);
    // Puts these rows in place of the grid's, trusting that they come sorted by these columns.
    void SetSortedRows(std::vector<std::string> cells, const std::vector<int>& sortKeys);
    void Clear();
    const std::string& Cell(int row, int column) const;
    QString Text(int row, int column) const;

    // The row with the focus, or -1. SetCurrentRow makes a row current and the one selected,
    // as a click does; FocusRow moves the focus and leaves the selection as it is.
    int CurrentRow() const;
    void SetCurrentRow(int row);
    void FocusRow(int row);
    void SetRowSelected(int row, bool selected);
    // The selected rows in list order, and in the order the operator selected them.
    std::vector<int> SelectedRows() const;
    std::vector<int> SelectedRowsAsChosen() const;

    // The rows' order: the byte order of the keys that this appends for a cell (and a NUL
    // after each key column). Without one, the cells' own byte order.
    using SortKey = std::function<void(std::string& key, std::string_view cell)>;
    void SetSortKey(SortKey key) { m_key = std::move(key); }
    void SetSortKeys(const std::vector<int>& columns);
    const std::vector<int>& SortKeys() const { return m_sortKeys; }
    void Sort();
    // A grey text shown inside the grid while it has no rows (what fills it).
    void SetEmptyHint(const QString& hint);
    // While set, the empty grid says that its rows are being read instead.
    void SetReading(bool reading);
    // Two columns, one of them stretching: it keeps at least `minimum`, the other column
    // `otherWidth` while the room allows, and the stretching one takes the rest.
    void SetStretchColumn(int column, int minimum, int otherWidth);

signals:
    void currentRowChanged(int row);
    void rowSelectionChanged();
    void mousePressed();
    void keyPressed();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void drawRow(QPainter* painter, const QStyleOptionViewItem& option,
                 const QModelIndex& index) const override;
    void paintEvent(QPaintEvent* event) override;
    bool viewportEvent(QEvent* event) override;

private:
    void FitColumns();

    std::unique_ptr<GridModel> m_model;
    std::vector<int> m_sortKeys;
    SortKey m_key;
    QString m_emptyHint;
    int m_updateDepth = 0;
    bool m_reading = false;
    int m_stretchColumn = -1;
    int m_stretchMinimum = 0;
    int m_otherWidth = 0;
};

}  // namespace fraglane::app
