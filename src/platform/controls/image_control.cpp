#include "platform/controls/image_control.h"

#include <QMouseEvent>
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
    picture_.setChangeListener([this] { update(); });
}

void ImageControl::paintEvent(QPaintEvent*) {
    const gfx::Graphic* graphic = picture_.graphic();
    if (graphic == nullptr || graphic->isEmpty()) return;
    QPainter painter(this);
    painter.drawImage(0, 0, graphic->toImage());
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
