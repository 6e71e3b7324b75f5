#pragma once

#include <QAbstractSpinBox>
#include <QButtonGroup>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTreeWidget>

#include <functional>
#include <vector>

class QPlainTextEdit;

// Controls the window needs that Qt lacks in this form.
namespace fraglane::app {

// A spin edit without bounds: its value is its text read as an integer (0 when the text is not
// one), and changed() fires on every keystroke and every programmatic change of the text.
class SpinEdit : public QAbstractSpinBox {
    Q_OBJECT
public:
    explicit SpinEdit(QWidget* parent = nullptr);
    int value() const;
    void setValue(int value);
    QString text() const;
    void setText(const QString& text);
    void stepBy(int steps) override;

signals:
    void changed();

protected:
    StepEnabled stepEnabled() const override { return StepUpEnabled | StepDownEnabled; }
    QValidator::State validate(QString&, int&) const override { return QValidator::Acceptable; }
};

// A radio group whose index may be -1 (nothing selected). changed() fires whenever the index
// changes, by a click or by setItemIndex.
class RadioGroup : public QGroupBox {
    Q_OBJECT
public:
    RadioGroup(const QString& caption, const QStringList& items, int columns,
               QWidget* parent = nullptr);
    int itemIndex() const { return m_index; }
    void setItemIndex(int index);
    int count() const { return static_cast<int>(m_buttons.size()); }
    QString itemText(int index) const;

signals:
    void changed();

private:
    QButtonGroup m_group;
    std::vector<QRadioButton*> m_buttons;
    int m_index = -1;
};

// A one-line edit with an ellipsis button at its end.
// A flat push button that shows when it has the keyboard focus (the style draws no mark on a
// flat button of its own).
class FlatPushButton : public QPushButton {
    Q_OBJECT
public:
    FlatPushButton(const QString& caption, QWidget* parent);

protected:
    void paintEvent(QPaintEvent* event) override;
};

// A panel of the status bar: a text that does not fit is cut with "…" and shown whole as the
// panel's tooltip.
class StatusPanel : public QLabel {
    Q_OBJECT
public:
    explicit StatusPanel(QWidget* parent);
    void SetText(const QString& text);

signals:
    void clicked();

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void UpdateToolTip();
};

// A word-wrapped label that takes the room its layout cell has and asks for none: showing,
// hiding or refilling it moves no other control. Text beyond the cell is cut off.
class CellLabel : public QLabel {
    Q_OBJECT
public:
    explicit CellLabel(QWidget* parent);
    // A wrapped label would otherwise ask its row for the height of its text.
    bool hasHeightForWidth() const override { return false; }
};

class EllipsisEdit : public QLineEdit {
    Q_OBJECT
public:
    explicit EllipsisEdit(QWidget* parent = nullptr);

signals:
    void buttonClicked();
};

// A one-level list grid: whole-row and multi selection, grid lines, and sorting by a list of
// key columns (the catalogue lists sort by mod first, then name) with a text order its owner
// gives. A header click sorts by that column alone; SetSortKeys puts a several-column order
// back. In update state the grid neither repaints nor re-sorts; EndUpdate sorts and repaints
// once.
class ListGrid : public QTreeWidget {
    Q_OBJECT
public:
    explicit ListGrid(QWidget* parent = nullptr);

    void BeginUpdate();
    void EndUpdate();
    bool IsUpdating() const { return m_updateDepth > 0; }

    // Appends many rows at once (one model insertion, one sort).
    void AddRows(const std::vector<QStringList>& rows);
    int RowCount() const { return topLevelItemCount(); }
    QTreeWidgetItem* Row(int i) const { return topLevelItem(i); }
    // The selected rows in list order.
    QList<QTreeWidgetItem*> SelectedRows() const;

    // The order of two cell texts: negative, zero or positive. Without one, Qt's text order.
    using TextOrder = std::function<int(const QString&, const QString&)>;
    void SetTextOrder(TextOrder order) { m_order = std::move(order); }
    void SetSortKeys(const std::vector<int>& columns);
    const std::vector<int>& SortKeys() const { return m_sortKeys; }
    void Sort();
    bool RowLess(const QTreeWidgetItem& a, const QTreeWidgetItem& b) const;
    // A grey text shown inside the grid while it has no rows (what fills it).
    void SetEmptyHint(const QString& hint);

signals:
    void mousePressed();
    void keyPressed();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void drawRow(QPainter* painter, const QStyleOptionViewItem& option,
                 const QModelIndex& index) const override;
    void paintEvent(QPaintEvent* event) override;

private:
    std::vector<int> m_sortKeys;
    TextOrder m_order;
    QString m_emptyHint;
    int m_updateDepth = 0;
};

// Set a text only when it differs, so that no change event fires for the same text.
void SetTextIfChanged(QPlainTextEdit* memo, const QString& text);
void SetTextIfChanged(QLineEdit* edit, const QString& text);

}  // namespace fraglane::app
