// SPDX-License-Identifier: GPL-2.0-or-later
#include "viewer/viewer_placement.h"

#include <algorithm>
#include <array>

namespace viewer {

namespace {

// A band narrower or lower than this (or than the picture, when smaller) is no room for a viewer:
// covering the main window then shows more of the picture.
constexpr QSize kLeastUsefulSize(320, 240);

int Clamped(int value, int low, int high) { return std::max(low, std::min(value, high)); }

int Area(QSize size) { return size.width() * size.height(); }

}  // namespace

QRect PlaceViewer(QSize wanted, const QRect& current, const QRect& keepClear, const QRect& available) {
    const QSize size = wanted.boundedTo(available.size());
    const QRect here(current.topLeft(), size);
    if (available.contains(here) && !here.intersects(keepClear)) return here;

    // The free bands round the main window, in the order a viewer is looked for in them.
    enum Side { Right, Below, Left, Above };
    const std::array<QRect, 4> bands = {
        QRect(QPoint(keepClear.right() + 1, available.top()), available.bottomRight()) & available,
        QRect(QPoint(available.left(), keepClear.bottom() + 1), available.bottomRight()) & available,
        QRect(available.topLeft(), QPoint(keepClear.left() - 1, available.bottom())) & available,
        QRect(available.topLeft(), QPoint(available.right(), keepClear.top() - 1)) & available,
    };
    const QSize least = kLeastUsefulSize.boundedTo(size);
    int best = -1;
    for (int side = 0; side < int(bands.size()); ++side) {
        const QSize shown = size.boundedTo(bands[side].size());
        if (shown.width() < least.width() || shown.height() < least.height()) continue;
        // The first band that holds the whole viewer, else the one that shows the most of it.
        if (best < 0 || Area(shown) > Area(size.boundedTo(bands[best].size()))) best = side;
        if (shown == size) break;
    }
    if (best < 0) {
        // No room anywhere: over the main window, as near to where the viewer was as the screen allows.
        return QRect(QPoint(Clamped(current.left(), available.left(), available.right() + 1 - size.width()),
                            Clamped(current.top(), available.top(), available.bottom() + 1 - size.height())),
                     size);
    }
    const QRect& band = bands[best];
    const QSize fitted = size.boundedTo(band.size());
    // Against the main window on one axis, as near to where it was as the band allows on the other.
    const int x = Clamped(current.left(), band.left(), band.right() + 1 - fitted.width());
    const int y = Clamped(current.top(), band.top(), band.bottom() + 1 - fitted.height());
    switch (best) {
        case Right:
            return QRect(QPoint(band.left(), y), fitted);
        case Below:
            return QRect(QPoint(x, band.top()), fitted);
        case Left:
            return QRect(QPoint(band.right() + 1 - fitted.width(), y), fitted);
        default:
            return QRect(QPoint(x, band.bottom() + 1 - fitted.height()), fitted);
    }
}

}  // namespace viewer
