// SPDX-License-Identifier: GPL-2.0-or-later
#include "widgets/controls/glyphs.h"

#include <QPainter>
#include <QPainterPath>
#include <QPolygon>
#include <functional>

namespace glyphs {

namespace {

using Shape = std::function<void(QPainter&)>;

QPixmap Single(QSize size, const Shape& draw) {
    QPixmap pixmap(size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setPen(Qt::NoPen);
    painter.setBrush(Qt::black);
    draw(painter);
    return pixmap;
}

// The normal image and, beside it, the disabled one: grey with a white shadow one pixel down
// and right, the way disabled glyphs look on the buttons the program imitates.
QPixmap Strip(QSize image, const Shape& draw) {
    QPixmap pixmap(image.width() * 2, image.height());
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setPen(Qt::NoPen);
    painter.setBrush(Qt::black);
    draw(painter);
    painter.translate(image.width() + 1, 1);
    painter.setBrush(Qt::white);
    draw(painter);
    painter.translate(-1, -1);
    painter.setBrush(QColor(128, 128, 128));
    draw(painter);
    return pixmap;
}

void Triangle(QPainter& painter, int left, int top, int width, int height, bool pointsRight) {
    const int middle = top + height / 2;
    QPolygon polygon;
    if (pointsRight) {
        polygon << QPoint(left, top) << QPoint(left + width, middle) << QPoint(left, top + height);
    } else {
        polygon << QPoint(left + width, top) << QPoint(left, middle) << QPoint(left + width, top + height);
    }
    painter.drawPolygon(polygon);
}

}  // namespace

QPixmap first() {
    return Strip({15, 12}, [](QPainter& p) {
        p.drawRect(3, 2, 2, 8);
        Triangle(p, 5, 1, 5, 10, false);
    });
}

QPixmap previous() {
    return Strip({15, 12}, [](QPainter& p) { Triangle(p, 5, 1, 5, 10, false); });
}

QPixmap next() {
    return Strip({15, 12}, [](QPainter& p) { Triangle(p, 5, 1, 5, 10, true); });
}

QPixmap last() {
    return Strip({15, 12}, [](QPainter& p) {
        Triangle(p, 5, 1, 5, 10, true);
        p.drawRect(10, 2, 2, 8);
    });
}

QPixmap fastBackward() {
    return Strip({16, 16}, [](QPainter& p) {
        Triangle(p, 2, 3, 6, 10, false);
        Triangle(p, 8, 3, 6, 10, false);
    });
}

QPixmap fastForward() {
    return Strip({16, 16}, [](QPainter& p) {
        Triangle(p, 2, 3, 6, 10, true);
        Triangle(p, 8, 3, 6, 10, true);
    });
}

QPixmap gotoFrame() {
    return Strip({16, 16}, [](QPainter& p) {
        p.drawRect(6, 2, 4, 5);
        QPolygon head;
        head << QPoint(3, 7) << QPoint(13, 7) << QPoint(8, 12);
        p.drawPolygon(head);
        p.drawRect(2, 13, 12, 2);
    });
}

QPixmap pause() {
    return Single({16, 16}, [](QPainter& p) {
        p.drawRect(4, 3, 3, 10);
        p.drawRect(9, 3, 3, 10);
    });
}

QPixmap play() {
    return Single({11, 18}, [](QPainter& p) { Triangle(p, 2, 3, 7, 12, true); });
}

}  // namespace glyphs
