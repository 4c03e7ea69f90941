// SPDX-License-Identifier: GPL-2.0-or-later
#include <algorithm>

#include "ranking/scenes.h"

namespace scenes {

int SceneList::SceneOf(int32_t frame) const {
    return 1 + int(std::upper_bound(cuts.begin(), cuts.end(), frame,
                                    [](int32_t f, const Cut& cut) { return f < cut.frame; }) -
                   cuts.begin());
}

bool SceneList::InTransition(int32_t frame) const {
    for (const Cut& cut : cuts) {
        if (frame >= cut.transitionFirst && frame < cut.transitionEnd) return true;
    }
    return false;
}

SceneList FindScenes(const std::vector<Signature>&, const std::vector<bool>&, double) { return {}; }

}  // namespace scenes
