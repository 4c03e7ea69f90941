// SPDX-License-Identifier: GPL-2.0-or-later
#include "imaging/bitmap.h"

#include <cstdlib>

namespace imaging {

int Bitmap::bitsPerPixel() const {
    if (image_.isNull()) return 0;
    switch (layout_) {
        case PixelLayout::DeviceDependent:
            return 0;
        case PixelLayout::Bits1:
            return 1;
        case PixelLayout::Bits4:
            return 4;
        case PixelLayout::Bits8:
            return 8;
        case PixelLayout::Bits15:
            return 15;
        case PixelLayout::Bits16:
            return 16;
        case PixelLayout::Bits24:
            return 24;
        case PixelLayout::Bits32:
            return 32;
        case PixelLayout::Other:
            return -1;
    }
    return -1;
}

void Bitmap::setImage(QImage image, PixelLayout layout) {
    image_ = std::move(image);
    layout_ = layout;
    notifyChanged();
}

void Bitmap::clear() {
    image_ = QImage();
    layout_ = PixelLayout::DeviceDependent;
    notifyChanged();
}

uint32_t Bitmap::pixel(int x, int y) const {
    if (!image_.valid(x, y)) return kInvalidColour;
    const QRgb rgb = image_.pixel(x, y);
    return uint32_t(qRed(rgb)) | (uint32_t(qGreen(rgb)) << 8) | (uint32_t(qBlue(rgb)) << 16);
}

void Bitmap::drawNotXorPolyline(std::span<const QPoint> points) {
    if (image_.isNull() || points.size() < 2) return;
    // Inverting needs direct access to the colour bits; palette pictures are widened first.
    if (image_.depth() < 24 || image_.format() == QImage::Format_Indexed8) {
        image_ = image_.convertToFormat(QImage::Format_RGB32);
    }
    for (size_t i = 1; i < points.size(); ++i) invertSegment(points[i - 1], points[i]);
    notifyChanged();
}

// Bresenham's line, leaving out the end point, as the pen of a GDI polyline does.
void Bitmap::invertSegment(QPoint from, QPoint to) {
    int x = from.x(), y = from.y();
    const int dx = std::abs(to.x() - x), dy = -std::abs(to.y() - y);
    const int sx = x < to.x() ? 1 : -1, sy = y < to.y() ? 1 : -1;
    int err = dx + dy;
    while (x != to.x() || y != to.y()) {
        if (image_.valid(x, y)) {
            const QRgb rgb = image_.pixel(x, y);
            image_.setPixel(x, y, qRgba(255 - qRed(rgb), 255 - qGreen(rgb), 255 - qBlue(rgb), qAlpha(rgb)));
        }
        const int e2 = 2 * err;
        if (e2 >= dy) {
            err += dy;
            x += sx;
        }
        if (e2 <= dx) {
            err += dx;
            y += sy;
        }
    }
}

}  // namespace imaging
