#include "app/widgets.h"

#include <QAction>
#include <QGridLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QStyle>
#include <QStyleOptionFocusRect>
#include <QStyledItemDelegate>

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

class GridItem : public QTreeWidgetItem {
public:
    using QTreeWidgetItem::QTreeWidgetItem;
    bool operator<(const QTreeWidgetItem& other) const override {
        const auto* grid = qobject_cast<const ListGrid*>(treeWidget());
        return grid != nullptr ? grid->RowLess(*this, other) : QTreeWidgetItem::operator<(other);
    }
};

}  // namespace

ListGrid::ListGrid(QWidget* parent) : QTreeWidget(parent) {
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setUniformRowHeights(true);
    setAllColumnsShowFocus(true);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setSortingEnabled(false);
    setItemDelegate(new GridRowDelegate(this));
    header()->setSectionsClickable(true);
    header()->setDefaultAlignment(Qt::AlignCenter);
    header()->setSortIndicatorShown(true);
    connect(header(), &QHeaderView::sectionClicked, this,
            [this](int column) { SetSortKeys({column}); });
    // The selection stays visible without the focus: button face with black text.
    QPalette p = palette();
    p.setColor(QPalette::Inactive, QPalette::Highlight, p.color(QPalette::Button));
    p.setColor(QPalette::Inactive, QPalette::HighlightedText, Qt::black);
    setPalette(p);
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

void ListGrid::AddRows(const std::vector<QStringList>& rows) {
    QList<QTreeWidgetItem*> items;
    items.reserve(static_cast<qsizetype>(rows.size()));
    for (const QStringList& cells : rows)
        items.push_back(new GridItem(cells));
    addTopLevelItems(items);
}

QList<QTreeWidgetItem*> ListGrid::SelectedRows() const {
    QList<QTreeWidgetItem*> rows = selectedItems();
    std::sort(rows.begin(), rows.end(), [this](QTreeWidgetItem* a, QTreeWidgetItem* b) {
        return indexOfTopLevelItem(a) < indexOfTopLevelItem(b);
    });
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
    sortItems(m_sortKeys.front(), Qt::AscendingOrder);
}

bool ListGrid::RowLess(const QTreeWidgetItem& a, const QTreeWidgetItem& b) const {
    for (int column : m_sortKeys) {
        const QString x = a.text(column);
        const QString y = b.text(column);
        const int c = m_order ? m_order(x, y) : QString::compare(x, y);
        if (c != 0)
            return c < 0;
    }
    return false;
}

void ListGrid::mousePressEvent(QMouseEvent* event) {
    QTreeWidget::mousePressEvent(event);
    emit mousePressed();
}

void ListGrid::keyPressEvent(QKeyEvent* event) {
    QTreeWidget::keyPressEvent(event);
    emit keyPressed();
}

FlatPushButton::FlatPushButton(const QString& caption, QWidget* parent)
    : QPushButton(caption, parent) {
    setFlat(true);
    setAutoDefault(false);
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

void ListGrid::SetEmptyHint(const QString& hint) {
    m_emptyHint = hint;
    viewport()->update();
}

void ListGrid::paintEvent(QPaintEvent* event) {
    QTreeWidget::paintEvent(event);
    if (topLevelItemCount() != 0 || m_emptyHint.isEmpty())
        return;
    QPainter painter(viewport());
    painter.setPen(palette().color(QPalette::Disabled, QPalette::Text));
    painter.drawText(viewport()->rect().adjusted(8, 8, -8, -8),
                     Qt::AlignHCenter | Qt::AlignTop | Qt::TextWordWrap, m_emptyHint);
}

void ListGrid::drawRow(QPainter* painter, const QStyleOptionViewItem& option,
                       const QModelIndex& index) const {
    QTreeWidget::drawRow(painter, option, index);
    // Grid lines between rows and columns.
    painter->save();
    painter->setPen(palette().color(QPalette::Mid));
    painter->drawLine(option.rect.bottomLeft(), option.rect.bottomRight());
    int x = option.rect.left() - horizontalOffset();
    for (int c = 0; c < columnCount() - 1; ++c) {
        x += columnWidth(c);
        painter->drawLine(x, option.rect.top(), x, option.rect.bottom());
    }
    painter->restore();
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
