// SPDX-License-Identifier: GPL-2.0-or-later
#include "widgets/controls/up_down.h"

#include <QLineEdit>
#include <QToolButton>
#include <algorithm>

UpDown::UpDown(QWidget* parent) : QWidget(parent) {
    up_ = new QToolButton(this);
    down_ = new QToolButton(this);
    for (QToolButton* arrow : {up_, down_}) {
        arrow->setFocusPolicy(Qt::NoFocus);
        arrow->setAutoRepeat(true);
    }
    up_->setArrowType(Qt::UpArrow);
    down_->setArrowType(Qt::DownArrow);
    up_->setAccessibleName(QStringLiteral("Augmenter"));
    down_->setAccessibleName(QStringLiteral("Diminuer"));
    connect(up_, &QToolButton::clicked, this, [this] { step(1); });
    connect(down_, &QToolButton::clicked, this, [this] { step(-1); });
    resize(12, 21);
}

void UpDown::setMinimum(int minimum) { setRange(minimum, maximum_); }
void UpDown::setMaximum(int maximum) { setRange(minimum_, maximum); }

void UpDown::setRange(int minimum, int maximum) {
    minimum_ = minimum;
    maximum_ = maximum;
    const int low = std::min(minimum_, maximum_);
    const int high = std::max(minimum_, maximum_);
    if (position_ < low || position_ > high) setPosition(std::clamp(position_, low, high));
}

void UpDown::setPosition(int position) {
    const int clamped = std::clamp(position, std::min(minimum_, maximum_), std::max(minimum_, maximum_));
    const bool changed = clamped != position_;
    position_ = clamped;
    writeBuddy();
    if (changed) emit positionChanged(position_);
}

void UpDown::setBuddy(QLineEdit* buddy) {
    if (buddy_) disconnect(buddy_, nullptr, this, nullptr);
    buddy_ = buddy;
    if (!buddy_) return;
    connect(buddy_, &QLineEdit::textChanged, this, &UpDown::readBuddy);
    writeBuddy();
}

void UpDown::step(int direction) {
    const int low = std::min(minimum_, maximum_);
    const int high = std::max(minimum_, maximum_);
    // A reversed range counts down when the up arrow is clicked.
    const int delta = minimum_ <= maximum_ ? direction : -direction;
    int next = position_;
    if (delta > 0) {
        next = position_ < high ? position_ + 1 : (wrap_ ? low : high);
    } else {
        next = position_ > low ? position_ - 1 : (wrap_ ? high : low);
    }
    setPosition(next);
    emit clicked(direction > 0);
}

void UpDown::readBuddy(const QString& text) {
    bool ok = false;
    const int value = text.trimmed().toInt(&ok);
    if (!ok) return;
    const int clamped = std::clamp(value, std::min(minimum_, maximum_), std::max(minimum_, maximum_));
    if (clamped == position_) return;
    position_ = clamped;
    emit positionChanged(position_);
}

void UpDown::writeBuddy() {
    if (!buddy_) return;
    const QString text = QString::number(position_);
    if (buddy_->text() != text) buddy_->setText(text);
}

void UpDown::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    const int half = height() / 2;
    up_->setGeometry(0, 0, width(), half);
    down_->setGeometry(0, half, width(), height() - half);
}
