// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once
// The glyphs of the transport buttons, drawn at start rather than shipped as picture files.
// Two-state strips hold the normal image followed by the disabled one.

#include <QPixmap>

namespace glyphs {

// 30 x 12 strips (two 15 x 12 images).
QPixmap first();     // bar and left triangle
QPixmap previous();  // left triangle
QPixmap next();      // right triangle
QPixmap last();      // right triangle and bar

// 32 x 16 strips (two 16 x 16 images).
QPixmap fastBackward();  // two left triangles
QPixmap fastForward();   // two right triangles
QPixmap gotoFrame();     // arrow down onto a bar

// Single images.
QPixmap pause();  // 16 x 16, two bars
QPixmap play();   // 11 x 18, right triangle

}  // namespace glyphs
