#pragma once

#include <QAbstractSpinBox>
#include <QButtonGroup>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

#include <vector>

class QListWidget;
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

// A flat push button that shows when it has the keyboard focus (the style draws no mark on a
// flat button of its own), and that Enter presses as Space does.
class FlatPushButton : public QPushButton {
    Q_OBJECT
public:
    FlatPushButton(const QString& caption, QWidget* parent);

protected:
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
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

// A one-line edit with an ellipsis button at its end.
class EllipsisEdit : public QLineEdit {
    Q_OBJECT
public:
    explicit EllipsisEdit(QWidget* parent = nullptr);

signals:
    void buttonClicked();
};

// Removes the selected lines of a list.
void RemoveSelectedLines(QListWidget* list);

// Set a text only when it differs, so that no change event fires for the same text.
void SetTextIfChanged(QPlainTextEdit* memo, const QString& text);
void SetTextIfChanged(QLineEdit* edit, const QString& text);

}  // namespace fraglane::app
