// SPDX-License-Identifier: GPL-2.0-or-later
#include "imaging/picture.h"

namespace imaging {

Bitmap& Picture::bitmap() {
    if (auto* held = dynamic_cast<Bitmap*>(graphic_.get())) return *held;
    setGraphic(std::make_unique<Bitmap>());
    return static_cast<Bitmap&>(*graphic_);
}

void Picture::setGraphic(std::unique_ptr<Graphic> graphic) {
    graphic_ = std::move(graphic);
    if (auto* held = dynamic_cast<Bitmap*>(graphic_.get())) held->setChangeListener(onChange_);
    notifyChanged();
}

void Picture::setChangeListener(std::function<void()> listener) {
    onChange_ = std::move(listener);
    if (auto* held = dynamic_cast<Bitmap*>(graphic_.get())) held->setChangeListener(onChange_);
}

}  // namespace imaging
