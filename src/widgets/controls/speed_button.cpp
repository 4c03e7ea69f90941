// SPDX-License-Identifier: GPL-2.0-or-later
#include "widgets/controls/speed_button.h"

#include <QIcon>
#include <QMouseEvent>

SpeedButton::SpeedButton(QWidget* parent) : QToolButton(parent) {
    setFocusPolicy(Qt::NoFocus);
    // Move events without a button held are wanted too (a caption that follows Shift).
    setMouseTracking(true);
    // A click latches through nextCheckState without checkStateSet, so watch the toggle.
    connect(this, &QAbstractButton::toggled, this, [this](bool on) {
        if (on) releaseOthers();
    });
    updateStyle();
}

void SpeedButton::setGroupIndex(int index) {
    groupIndex_ = index;
    setCheckable(index > 0);
}

bool SpeedButton::isDown() const { return groupIndex_ > 0 ? isChecked() : QAbstractButton::isDown(); }

void SpeedButton::setDown(bool down) {
    if (groupIndex_ > 0) {
        setChecked(down);
    } else {
        QAbstractButton::setDown(down);
    }
}

void SpeedButton::setGlyph(const QPixmap& strip, int count) {
    glyph_ = strip;
    if (strip.isNull() || count < 1) {
        setIcon(QIcon());
        updateStyle();
        return;
    }
    const int width = strip.width() / count;
    QIcon icon;
    icon.addPixmap(strip.copy(0, 0, width, strip.height()), QIcon::Normal);
    if (count > 1) icon.addPixmap(strip.copy(width, 0, width, strip.height()), QIcon::Disabled);
    setIcon(icon);
    setIconSize(QSize(width, strip.height()));
    updateStyle();
}

void SpeedButton::updateStyle() {
    setToolButtonStyle(icon().isNull() ? Qt::ToolButtonTextOnly : Qt::ToolButtonTextBesideIcon);
}

void SpeedButton::nextCheckState() {
    // A grouped button is not released by clicking it again; another button of its group
    // releases it.
    if (groupIndex_ > 0) {
        setChecked(true);
    } else {
        QToolButton::nextCheckState();
    }
}

void SpeedButton::releaseOthers() {
    if (groupIndex_ <= 0 || parentWidget() == nullptr) return;
    const auto siblings = parentWidget()->findChildren<SpeedButton*>(Qt::FindDirectChildrenOnly);
    for (SpeedButton* other : siblings) {
        if (other != this && other->groupIndex_ == groupIndex_ && other->isChecked()) {
            other->setChecked(false);
        }
    }
}

// The button is pressed before its handler runs: a handler that processes events (a marking
// loop) then sees the release as the click it is, instead of a release the button ignores.
void SpeedButton::mousePressEvent(QMouseEvent* event) {
    const QPoint at = event->position().toPoint();
    QToolButton::mousePressEvent(event);
    emit mouseDown(event->button(), event->modifiers(), at.x(), at.y());
}

void SpeedButton::mouseMoveEvent(QMouseEvent* event) {
    const QPoint at = event->position().toPoint();
    emit mouseMove(event->buttons(), event->modifiers(), at.x(), at.y());
    QToolButton::mouseMoveEvent(event);
}

void SpeedButton::mouseReleaseEvent(QMouseEvent* event) {
    const QPoint at = event->position().toPoint();
    emit mouseUp(event->button(), event->modifiers(), at.x(), at.y());
    QToolButton::mouseReleaseEvent(event);
}
