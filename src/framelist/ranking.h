// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once
// The "Best of..." measure without any window: a frame is prepared as it would be written
// (whole or cropped), encoded as JPEG with the options given, and ranked by the encoding's
// byte length, the largest first. The list window and scripts both rank through here.

#include <cstdint>
#include <functional>
#include <vector>

class FrameSource;
namespace gfx {
class JpegImage;
}

namespace ranking {

struct Measure {
    int64_t size = 0;    // the output picture's size as 32-bit pixels, in bytes
    int64_t length = 0;  // the byte length of its JPEG encoding
};

// Measures one frame of the open video with `jpeg`'s writing options; nothing (both 0) for a
// frame that cannot be prepared.
Measure MeasureFrame(FrameSource& source, int32_t frame, gfx::JpegImage& jpeg);

struct Ranked {
    int32_t frame = 0;
    int64_t length = 0;
};

// Measures `frames` and puts them in ranking order: the largest encoding first, frames of
// equal length by frame number. `keepGoing` is asked before each frame; a stop ranks the frames
// measured so far. The frames are decoded in order on the calling thread and encoded by
// `threads` workers (0: one per core; 1: on the calling thread alone); the lengths are the
// same whatever the count.
std::vector<Ranked> RankFrames(FrameSource& source, const std::vector<int32_t>& frames, gfx::JpegImage& jpeg,
                               const std::function<bool()>& keepGoing = {}, int threads = 0);

}  // namespace ranking
