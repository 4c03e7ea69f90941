// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once
// Pixel rows from the DIB layout to the screen's: the one conversion the program does itself.

#include <cstdint>

namespace pixel_rows {

// One row of 24-bit blue-green-red pixels to 32-bit opaque 0xFFRRGGBB pixels; reads exactly
// 3 * width bytes and writes exactly width pixels.
void BgrToXrgb(const uint8_t* source, uint32_t* destination, int width);

}  // namespace pixel_rows
