// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once
// Where a viewer window goes when it is sized for a picture: never beyond the screen's available
// area (a larger picture scrolls at 1:1), and clear of the main window wherever there is room
// beside, below, left of or above it.

#include <QRect>
#include <QSize>

namespace viewer {

// `wanted`: the outer size that would show the whole picture; `current`: the viewer's frame now;
// `keepClear`: the main window's frame; `available`: the screen's area for windows. Returns the
// viewer's new frame. It stays where it is when it fits there.
QRect PlaceViewer(QSize wanted, const QRect& current, const QRect& keepClear, const QRect& available);

}  // namespace viewer
