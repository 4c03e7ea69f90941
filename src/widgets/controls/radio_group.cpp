// SPDX-License-Identifier: GPL-2.0-or-later
#include "widgets/controls/radio_group.h"

#include <QButtonGroup>
#include <QEvent>
#include <QFontMetrics>
#include <QRadioButton>
#include <QScopedValueRollback>
#include <algorithm>

RadioGroup::RadioGroup(QWidget* parent) : QGroupBox(parent) {
    group_ = new QButtonGroup(this);
    group_->setExclusive(true);
    // Only a change of selection by the user counts: clicking the selected item again does not.
    connect(group_, &QButtonGroup::idToggled, this, [this](int id, bool checked) {
        if (checked && !settingIndex_) emit clicked(id);
    });
}

QStringList RadioGroup::items() const {
    QStringList texts;
    for (const QRadioButton* button : buttons_) texts << button->text();
    return texts;
}

void RadioGroup::setItems(const QStringList& items) {
    for (QRadioButton* button : buttons_) {
        group_->removeButton(button);
        button->deleteLater();
        button->hide();
    }
    buttons_.clear();
    for (int i = 0; i < items.size(); ++i) {
        auto* button = new QRadioButton(items[i], this);
        group_->addButton(button, i);
        buttons_ << button;
        button->show();
    }
    arrange();
}

int RadioGroup::itemIndex() const { return group_->checkedId(); }

void RadioGroup::setItemIndex(int index) {
    const QScopedValueRollback guard(settingIndex_, true);
    if (QRadioButton* button = buttons_.value(index)) {
        button->setChecked(true);
        return;
    }
    // An exclusive group refuses to leave every button unchecked.
    group_->setExclusive(false);
    for (QRadioButton* button : buttons_) button->setChecked(false);
    group_->setExclusive(true);
}

void RadioGroup::setColumns(int columns) {
    columns_ = std::max(1, columns);
    arrange();
}

void RadioGroup::resizeEvent(QResizeEvent* event) {
    QGroupBox::resizeEvent(event);
    arrange();
}

void RadioGroup::changeEvent(QEvent* event) {
    QGroupBox::changeEvent(event);
    if (event->type() == QEvent::FontChange) arrange();
}

void RadioGroup::arrange() {
    // Items fill the columns top to bottom, sharing the space below the caption evenly.
    if (buttons_.isEmpty()) return;
    const int textHeight = QFontMetrics(font()).height();
    const int perColumn = int((buttons_.size() + columns_ - 1) / columns_);
    const int columnWidth = std::max(1, (width() - 10) / columns_);
    const int available = std::max(perColumn, height() - textHeight - 5);
    const int rowHeight = available / perColumn;
    const int topMargin = textHeight + 1 + (available % perColumn) / 2;
    for (int i = 0; i < buttons_.size(); ++i) {
        buttons_[i]->setGeometry((i / perColumn) * columnWidth + 8, (i % perColumn) * rowHeight + topMargin,
                                 columnWidth, rowHeight);
    }
}
