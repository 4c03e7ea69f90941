// SPDX-License-Identifier: GPL-2.0-or-later
#include "widgets/controls/image_control.h"

#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <cmath>

QPoint ImageControl::PixelAt(const QMouseEvent& event) const {
    // Floor, so that a point just left of or above the control is -1, not 0.
    const QPointF at = event.position() / scale_;
    return {int(std::floor(at.x())), int(std::floor(at.y()))};
}

QSize ImageControl::clientSize() const { return scale_ == 1.0 ? size() : clientSize_; }

void ImageControl::setClientSize(QSize size) {
    clientSize_ = size;
    resize(QSize(int(std::lround(size.width() * scale_)), int(std::lround(size.height() * scale_))));
}

void ImageControl::setScale(double scale) {
    if (!(scale > 0) || scale == scale_) return;
    // At natural size, the size set from outside (a layout, a test) is the client size.
    if (scale_ == 1.0) clientSize_ = size();
    scale_ = scale;
    setClientSize(clientSize_);
    update();
}

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
        if (scale_ == 1.0) {
            painter.drawImage(0, 0, image);
            uncovered -= QRect(QPoint(0, 0), image.size());
        } else {
            const QRectF shown(0, 0, image.width() * scale_, image.height() * scale_);
            painter.setRenderHint(QPainter::SmoothPixmapTransform);
            painter.drawImage(shown, image);
            uncovered -= shown.toAlignedRect().adjusted(0, 0, -1, -1);
        }
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

// The second press of a left double click is the double click, not the start of another drag;
// the other buttons press twice, as before.
void ImageControl::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        mousePressEvent(event);
        return;
    }
    emit doubleClicked(event->button());
}
