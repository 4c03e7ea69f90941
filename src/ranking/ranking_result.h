// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once
// A ranking's result as its readers take it (the plot's drawing, the list window, rank --plot):
// the length of every frame of the video, its scenes, the marked frames and the frame shown.

#include <cstdint>
#include <vector>

#include "ranking/scenes.h"

namespace ranking {

// A frame's length before it is measured.
constexpr int64_t kNotMeasured = -1;

struct RankingResult {
    int32_t frameCount = 0;
    // Per frame: its JPEG length, kNotMeasured, or 0 when the frame could not be decoded. A
    // shorter vector leaves the frames past its end unmeasured.
    std::vector<int64_t> lengths;
    scenes::SceneList scenes;
    std::vector<int32_t> marked;  // in any order
    int32_t currentFrame = -1;    // -1: no cursor
    double frameRate = 25;        // frames per second, for the times under the frame numbers; 0: no times
};

}  // namespace ranking
