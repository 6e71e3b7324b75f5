#include "app/widgets.h"

#include <QAction>
#include <QGridLayout>
#include <QKeyEvent>
#include <QListWidget>
#include <QMouseEvent>
#include <QPainter>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QStyle>
#include <QStyleOptionFocusRect>

#include <algorithm>

#include "app/qt_convert.h"
#include "platform/text.h"

namespace fraglane::app {

SpinEdit::SpinEdit(QWidget* parent) : QAbstractSpinBox(parent) {
    setButtonSymbols(QAbstractSpinBox::UpDownArrows);
    setAccelerated(true);
    lineEdit()->setText(QStringLiteral("0"));
    setMinimumWidth(64);
    connect(lineEdit(), &QLineEdit::textChanged, this, &SpinEdit::changed);
}

int SpinEdit::value() const {
    return text::IntOrZero(ToStd(lineEdit()->text()));
}

void SpinEdit::setValue(int value) {
    setText(QString::number(value));
}

QString SpinEdit::text() const {
    return lineEdit()->text();
}

void SpinEdit::setText(const QString& text) {
    if (lineEdit()->text() != text)
        lineEdit()->setText(text);
}

void SpinEdit::stepBy(int steps) {
    const long long next = static_cast<long long>(value()) + steps;
    if (next >= INT32_MIN && next <= INT32_MAX)
        setValue(static_cast<int>(next));
}

RadioGroup::RadioGroup(const QString& caption, const QStringList& items, int columns,
                       QWidget* parent)
    : QGroupBox(caption, parent) {
    auto* layout = new QGridLayout(this);
    layout->setContentsMargins(6, 2, 6, 2);
    layout->setVerticalSpacing(0);
    const int rows = (static_cast<int>(items.size()) + columns - 1) / columns;
    m_group.setExclusive(true);
    for (int i = 0; i < items.size(); ++i) {
        auto* button = new QRadioButton(items[i], this);
        m_group.addButton(button, i);
        layout->addWidget(button, i % rows, i / rows);
        m_buttons.push_back(button);
    }
    connect(&m_group, &QButtonGroup::idClicked, this, [this](int id) {
        if (id != m_index) {
            m_index = id;
            emit changed();
        }
    });
}

void RadioGroup::setItemIndex(int index) {
    if (index < -1 || index >= count())
        index = -1;
    if (index == m_index)
        return;
    m_index = index;
    if (index < 0) {
        // An exclusive group cannot uncheck its last button; drop exclusivity for a moment.
        m_group.setExclusive(false);
        for (QRadioButton* b : m_buttons)
            b->setChecked(false);
        m_group.setExclusive(true);
    } else {
        m_buttons[static_cast<size_t>(index)]->setChecked(true);
    }
    emit changed();
}

QString RadioGroup::itemText(int index) const {
    return index >= 0 && index < count() ? m_buttons[static_cast<size_t>(index)]->text()
                                         : QString();
}

EllipsisEdit::EllipsisEdit(QWidget* parent) : QLineEdit(parent) {
    QAction* button = addAction(style()->standardIcon(QStyle::SP_FileDialogContentsView),
                                QLineEdit::TrailingPosition);
    button->setText(QStringLiteral("..."));
    connect(button, &QAction::triggered, this, &EllipsisEdit::buttonClicked);
}

FlatPushButton::FlatPushButton(const QString& caption, QWidget* parent)
    : QPushButton(caption, parent) {
    setFlat(true);
    setAutoDefault(false);
}

void FlatPushButton::keyPressEvent(QKeyEvent* event) {
    // Return, or Enter of the keypad; a push button outside a dialog takes neither.
    const auto modifiers = event->modifiers() & ~Qt::KeypadModifier;
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) &&
        modifiers == Qt::NoModifier) {
        animateClick();
        return;
    }
    QPushButton::keyPressEvent(event);
}

void FlatPushButton::paintEvent(QPaintEvent* event) {
    QPushButton::paintEvent(event);
    if (!hasFocus())
        return;
    QPainter painter(this);
    QStyleOptionFocusRect focus;
    focus.initFrom(this);
    focus.rect = rect().adjusted(2, 2, -2, -2);
    style()->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, &painter, this);
}

CellLabel::CellLabel(QWidget* parent) : QLabel(parent) {
    setWordWrap(true);
    setTextFormat(Qt::PlainText);  // names in its text are never markup
    setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Ignored);
}

StatusPanel::StatusPanel(QWidget* parent) : QLabel(parent) {
    setFrameShape(QFrame::Panel);
    setFrameShadow(QFrame::Sunken);
}

void StatusPanel::SetText(const QString& text) {
    setText(text);
    UpdateToolTip();
}

void StatusPanel::mouseReleaseEvent(QMouseEvent* event) {
    QLabel::mouseReleaseEvent(event);
    if (rect().contains(event->position().toPoint()))
        emit clicked();
}

void StatusPanel::UpdateToolTip() {
    const bool fits = fontMetrics().horizontalAdvance(text()) <= contentsRect().width();
    setToolTip(fits ? QString() : text());
}

void StatusPanel::resizeEvent(QResizeEvent* event) {
    QLabel::resizeEvent(event);
    UpdateToolTip();
}

void StatusPanel::paintEvent(QPaintEvent* event) {
    static_cast<void>(event);
    QPainter painter(this);
    drawFrame(&painter);  // the frame; the text is drawn here, cut to fit
    const QRect area = contentsRect().adjusted(2, 0, -2, 0);
    painter.drawText(area, Qt::AlignLeft | Qt::AlignVCenter,
                     fontMetrics().elidedText(text(), Qt::ElideRight, area.width()));
}

void RemoveSelectedLines(QListWidget* list) {
    for (int i = list->count() - 1; i >= 0; --i) {
        if (list->item(i)->isSelected())
            delete list->takeItem(i);
    }
}

void SetTextIfChanged(QPlainTextEdit* memo, const QString& text) {
    if (memo->toPlainText() != text)
        memo->setPlainText(text);
}

void SetTextIfChanged(QLineEdit* edit, const QString& text) {
    if (edit->text() != text)
        edit->setText(text);
}

}  // namespace fraglane::app
