// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once
// A video cut into stretches of consecutive frames that can be read apart: each begins at a key
// frame where one lies near its share's start, so a reader opened on it decodes little that it
// does not use. Together the stretches hold every frame once, in order.

#include <cstdint>
#include <vector>

namespace ranking {

struct Stretch {
    int32_t first = 0;  // the first frame
    int32_t end = 0;    // one past the last; first == end for an empty stretch
    int32_t size() const { return end - first; }
};

// `parts` stretches (at least 1) of frames 0 to frameCount - 1, of near-equal length: a bound
// moves to the nearest of `keys` (ascending positions) within `reach` shares of it (half a
// share by default). With fewer frames than parts, some stretches are empty.
std::vector<Stretch> SplitAtKeys(const std::vector<int32_t>& keys, int32_t frameCount, int parts, double reach = 0.5);

// Workers begin with one stretch each; one that finishes early takes over the second half of
// the largest stretch left, as long as both halves keep at least this many frames: taking
// over costs a decode from a key frame.
constexpr int32_t kMinStolenFrames = 32;

}  // namespace ranking
