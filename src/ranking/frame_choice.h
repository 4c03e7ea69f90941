// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once
// Which frames of a ranking are worth keeping: the best of each scene, and frames spread out
// in time. Both keep the ranking's order.

#include <cstdint>
#include <vector>

#include "ranking/measure.h"
#include "ranking/scenes.h"

namespace frame_choice {

struct Candidate {
    int32_t frame = 0;
    ranking::Value value;  // unreadable: the frame could not be measured
    double time = 0;       // seconds after the first frame
};

// The best frame of each scene, in the ranking's order (`ranked` is best first). A frame inside
// a dissolve or a fade is taken only when its scene has no other; a frame that could not be
// measured never.
std::vector<Candidate> BestOfEachScene(const std::vector<Candidate>& ranked, const scenes::SceneList& scenes);

// Frames taken in the ranking's order, each at least `seconds` from every frame taken before it.
std::vector<Candidate> SpreadApart(const std::vector<Candidate>& ranked, double seconds);

}  // namespace frame_choice
