// SPDX-License-Identifier: GPL-2.0-or-later
#include "ranking/frame_choice.h"

#include <iterator>
#include <map>

namespace frame_choice {

std::vector<Candidate> BestOfEachScene(const std::vector<Candidate>& ranked, const scenes::SceneList& scenes) {
    // Per scene, its best frame outside transitions, else its best inside one.
    std::map<int, const Candidate*> inShot;
    std::map<int, const Candidate*> inTransition;
    for (const Candidate& candidate : ranked) {
        if (!candidate.value.Measured()) continue;
        const int scene = scenes.SceneOf(candidate.frame);
        auto& chosen = scenes.InTransition(candidate.frame) ? inTransition : inShot;
        chosen.emplace(scene, &candidate);  // the first met is the best ranked
    }
    for (const auto& [scene, candidate] : inTransition) inShot.emplace(scene, candidate);
    std::vector<Candidate> best;
    for (const Candidate& candidate : ranked) {
        const auto it = inShot.find(scenes.SceneOf(candidate.frame));
        if (it != inShot.end() && it->second == &candidate) best.push_back(candidate);
    }
    return best;
}

std::vector<Candidate> SpreadApart(const std::vector<Candidate>& ranked, double seconds) {
    std::vector<Candidate> taken;
    // Times taken so far, sorted, so that each frame is checked against its nearest neighbours.
    std::multimap<double, int32_t> times;
    for (const Candidate& candidate : ranked) {
        const auto next = times.lower_bound(candidate.time);
        if (next != times.end() && next->first - candidate.time < seconds) continue;
        if (next != times.begin() && candidate.time - std::prev(next)->first < seconds) continue;
        times.emplace(candidate.time, candidate.frame);
        taken.push_back(candidate);
    }
    return taken;
}

}  // namespace frame_choice
