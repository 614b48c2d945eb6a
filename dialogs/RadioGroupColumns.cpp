#include "dialogs/RadioGroupColumns.h"

#include <QButtonGroup>
#include <QEvent>
#include <QRadioButton>
#include <QStyle>
#include <QStyleOptionGroupBox>
#include <algorithm>

namespace {
// Space between the frame's inner edge and the first column.
constexpr int kLeftInset = 4;
}  // namespace

RadioGroupColumns::RadioGroupColumns(QWidget* parent)
    : QGroupBox(parent), group_(new QButtonGroup(this)) {
    group_->setExclusive(true);
    connect(group_, &QButtonGroup::idClicked, this, &RadioGroupColumns::OnButtonClicked);
}

void RadioGroupColumns::SetItems(const QStringList& items) {
    ClearItems();
    for (const QString& text : items) AddItem(text);
}

void RadioGroupColumns::AddItem(const QString& text) {
    const int index = Count();
    auto* button = new QRadioButton(text, this);
    // Keep the items in the tab order at the group's place, not after the dialog's
    // other controls, whenever the items are filled in.
    if (QWidget* previous = TabPredecessor()) QWidget::setTabOrder(previous, button);
    group_->addButton(button, index);
    items_.append(text);
    buttons_.push_back(button);
    UpdateTabStop();
    ArrangeButtons();
    button->show();
}

QWidget* RadioGroupColumns::TabPredecessor() const {
    if (!buttons_.empty()) return buttons_.back();
    // The group itself takes no focus, so the items follow the last control before it.
    for (QWidget* widget = previousInFocusChain(); widget != nullptr && widget != this;
         widget = widget->previousInFocusChain()) {
        if (widget->isWindow()) return nullptr;
        if (widget->focusPolicy() != Qt::NoFocus && !isAncestorOf(widget)) return widget;
    }
    return nullptr;
}

void RadioGroupColumns::ClearItems() {
    for (QRadioButton* button : buttons_) {
        group_->removeButton(button);
        delete button;
    }
    buttons_.clear();
    items_.clear();
    ReportIndex();
}

QString RadioGroupColumns::ItemText(int index) const {
    if (index < 0 || index >= Count()) return {};
    return items_[index];
}

void RadioGroupColumns::SetColumns(int columns) {
    columns_ = std::clamp(columns, kMinColumns, kMaxColumns);
    ArrangeButtons();
}

int RadioGroupColumns::ItemIndex() const { return group_->checkedId(); }

void RadioGroupColumns::SetItemIndex(int index) {
    if (index >= 0 && index < Count()) {
        buttons_[index]->setChecked(true);
    } else if (QAbstractButton* checked = group_->checkedButton()) {
        // An exclusive group never lets its last checked button go.
        group_->setExclusive(false);
        checked->setChecked(false);
        group_->setExclusive(true);
    }
    ReportIndex();
}

QRadioButton* RadioGroupColumns::ItemButton(int index) const {
    if (index < 0 || index >= Count()) return nullptr;
    return buttons_[index];
}

QRect RadioGroupColumns::ItemGeometry(int index) const {
    const QRadioButton* button = ItemButton(index);
    return button != nullptr ? button->geometry() : QRect();
}

void RadioGroupColumns::resizeEvent(QResizeEvent* event) {
    QGroupBox::resizeEvent(event);
    ArrangeButtons();
}

void RadioGroupColumns::changeEvent(QEvent* event) {
    QGroupBox::changeEvent(event);
    // The caption's height moves the rows.
    if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange)
        ArrangeButtons();
}

QRect RadioGroupColumns::ItemsArea() const {
    // The style knows where its caption and frame lines go: on the frame's top line or
    // above it.
    QStyleOptionGroupBox option;
    initStyleOption(&option);
    const QRect contents =
        style()->subControlRect(QStyle::CC_GroupBox, &option, QStyle::SC_GroupBoxContents, this);
    return contents.adjusted(kLeftInset, 0, 0, 0);
}

void RadioGroupColumns::ArrangeButtons() {
    const int count = Count();
    if (count == 0) return;
    const QRect area = ItemsArea();
    const int perColumn = (count + columns_ - 1) / columns_;
    const int columnWidth = std::max(0, area.width() / columns_);
    const int rowsHeight = std::max(0, area.height());
    const int rowHeight = rowsHeight / perColumn;
    // What the rows leave over is shared above and below them.
    const int top = area.top() + (rowsHeight % perColumn) / 2;
    for (int i = 0; i < count; ++i) {
        const int column = i / perColumn;
        const int row = i % perColumn;
        buttons_[i]->setGeometry(area.left() + column * columnWidth, top + row * rowHeight,
                                 columnWidth, rowHeight);
    }
}

void RadioGroupColumns::OnButtonClicked(int index) {
    if (index == reportedIndex_) return;
    ReportIndex();
    emit clicked();
}

void RadioGroupColumns::UpdateTabStop() {
    const int stop = std::max(0, ItemIndex());
    for (int i = 0; i < Count(); ++i)
        buttons_[i]->setFocusPolicy(i == stop ? Qt::StrongFocus : Qt::ClickFocus);
}

void RadioGroupColumns::ReportIndex() {
    UpdateTabStop();
    const int index = ItemIndex();
    if (index == reportedIndex_) return;
    reportedIndex_ = index;
    emit itemIndexChanged(index);
}
