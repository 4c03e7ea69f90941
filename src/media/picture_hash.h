// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once
// A fingerprint of a decoded picture's visible samples, so that a picture decoded again by
// another route can be told to be the very same one (padding and memory layout aside).

#include <cstdint>

extern "C" {
#include <libavutil/frame.h>
}

namespace media {

// 0 only for a frame whose format is unknown.
uint64_t PictureHash(const AVFrame& frame);

}  // namespace media
