// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once
// A bitmap with a drawing surface: its picture, the pixel layout it claims, a pixel read as a
// packed colour and an inverting (NOT-XOR) polyline pen.

#include <QImage>
#include <QPoint>
#include <cstdint>
#include <functional>
#include <span>
#include <utility>

#include "imaging/graphic.h"

namespace imaging {

enum class PixelLayout { DeviceDependent, Bits1, Bits4, Bits8, Bits15, Bits16, Bits24, Bits32, Other };

constexpr uint32_t kInvalidColour = 0xFFFFFFFFu;

class Bitmap : public Graphic {
public:
    Bitmap() = default;
    Bitmap(QImage image, PixelLayout layout) : image_(std::move(image)), layout_(layout) {}

    int width() const override { return image_.width(); }
    int height() const override { return image_.height(); }
    QImage toImage() const override { return image_; }

    const QImage& image() const { return image_; }
    PixelLayout layout() const { return layout_; }
    // Bits per pixel as reported to the user: 0 for device-dependent or empty, -1 for a layout
    // that has no plain depth.
    int bitsPerPixel() const;

    void setImage(QImage image, PixelLayout layout);
    // Moves the picture out (the bitmap is left empty, without notice), so that a caller
    // refilling a picture of the same size can reuse its memory.
    QImage takeImage() { return std::exchange(image_, QImage()); }
    void clear();

    // The pixel as 0x00BBGGRR; kInvalidColour outside the picture.
    uint32_t pixel(int x, int y) const;
    // Inverts the pixels of an open polyline, each segment without its end point, like a
    // black one-pixel pen in NOT-XOR mode; drawing it again restores the picture. Parts outside
    // the picture are cut off.
    void drawNotXorPolyline(std::span<const QPoint> points);

    // Called after every change of the picture, so the control showing it can repaint.
    void setChangeListener(std::function<void()> listener) { onChange_ = std::move(listener); }
    void notifyChanged() const {
        if (onChange_) onChange_();
    }

private:
    void invertSegment(QPoint from, QPoint to);

    QImage image_;
    PixelLayout layout_ = PixelLayout::DeviceDependent;
    std::function<void()> onChange_;
};

}  // namespace imaging
