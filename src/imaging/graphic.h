// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once
// Any picture content an image control can hold: a bitmap, a JPEG image, a metafile.

#include <QImage>

namespace imaging {

class Graphic {
public:
    virtual ~Graphic() = default;
    virtual int width() const = 0;
    virtual int height() const = 0;
    virtual bool isEmpty() const { return width() <= 0 || height() <= 0; }
    // The picture as it is drawn on screen.
    virtual QImage toImage() const = 0;
};

}  // namespace imaging
