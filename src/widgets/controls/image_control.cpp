// SPDX-License-Identifier: GPL-2.0-or-later
#include "widgets/controls/image_control.h"

#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <cmath>

namespace {

QPoint PixelAt(const QMouseEvent& event) {
    // Floor, so that a point just left of or above the control is -1, not 0.
    const QPointF at = event.position();
    return {int(std::floor(at.x())), int(std::floor(at.y()))};
}

}  // namespace

ImageControl::ImageControl(QWidget* parent) : QWidget(parent) {
    setMouseTracking(true);
    // The control paints every pixel itself, so what lies beneath need not be painted first:
    // a slideshow repaints the whole picture at every frame.
    setAttribute(Qt::WA_OpaquePaintEvent);
    picture_.setChangeListener([this] { update(); });
}

void ImageControl::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    QRegion uncovered = event->region();
    const imaging::Graphic* graphic = picture_.graphic();
    if (graphic != nullptr && !graphic->isEmpty()) {
        const QImage image = graphic->toImage();
        painter.drawImage(0, 0, image);
        uncovered -= QRect(QPoint(0, 0), image.size());
    }
    for (const QRect& rect : uncovered) painter.fillRect(rect, palette().window());
}

void ImageControl::mousePressEvent(QMouseEvent* event) {
    const QPoint at = PixelAt(*event);
    emit mouseDown(event->button(), event->buttons(), event->modifiers(), at.x(), at.y());
}

void ImageControl::mouseMoveEvent(QMouseEvent* event) {
    const QPoint at = PixelAt(*event);
    emit mouseMove(event->buttons(), event->modifiers(), at.x(), at.y());
}

void ImageControl::mouseReleaseEvent(QMouseEvent* event) {
    const QPoint at = PixelAt(*event);
    emit mouseUp(event->button(), event->buttons(), event->modifiers(), at.x(), at.y());
}
