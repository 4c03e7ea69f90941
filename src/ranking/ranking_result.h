// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once
// A ranking's result as its readers take it (the plot's drawing, the list window, rank --plot):
// the value of every frame of the video under the ranking's measure, its scenes, the marked
// frames and the frame shown.

#include <cstdint>
#include <vector>

#include "ranking/measure.h"
#include "ranking/scenes.h"

namespace ranking {

struct RankingResult {
    int32_t frameCount = 0;
    // Per frame: its value under the ranking's measure, in the measure's steps. A shorter vector
    // leaves the frames past its end unmeasured.
    std::vector<ranking::Value> values;
    ranking::Measure measure = ranking::JpegLength();  // what the values are
    scenes::SceneList scenes;
    std::vector<int32_t> marked;  // in any order
    int32_t currentFrame = -1;    // -1: no cursor
    double frameRate = 25;        // frames per second, for the times under the frame numbers; 0: no times
};

}  // namespace ranking
