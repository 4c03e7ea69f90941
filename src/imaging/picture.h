// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once
// The picture of an image control: holds one graphic (usually a bitmap).

#include <functional>
#include <memory>

#include "imaging/bitmap.h"
#include "imaging/graphic.h"

namespace imaging {

class Picture {
public:
    Picture() = default;
    Picture(const Picture&) = delete;
    Picture& operator=(const Picture&) = delete;

    Graphic* graphic() const { return graphic_.get(); }
    // The bitmap held; an empty one is made when the picture holds no bitmap.
    Bitmap& bitmap();
    void setGraphic(std::unique_ptr<Graphic> graphic);
    void clear() { setGraphic(nullptr); }

    // Called after every change, so the control showing the picture can repaint.
    void setChangeListener(std::function<void()> listener);

private:
    void notifyChanged() const {
        if (onChange_) onChange_();
    }

    std::unique_ptr<Graphic> graphic_;
    std::function<void()> onChange_;
};

}  // namespace imaging
