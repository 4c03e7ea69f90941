// SPDX-License-Identifier: GPL-2.0-or-later
#include "ranking/stretches.h"

#include <algorithm>
#include <cstdlib>
#include <limits>

namespace ranking {

std::vector<Stretch> SplitAtKeys(const std::vector<int32_t>& keys, int32_t frameCount, int parts, double reach) {
    parts = std::max(parts, 1);
    frameCount = std::max(frameCount, 0);
    const int64_t share = std::max<int64_t>(frameCount / parts, 1);
    std::vector<int32_t> bounds{0};
    for (int i = 1; i < parts; ++i) {
        const auto target = int32_t(std::min<int64_t>(int64_t(frameCount) * i / parts, frameCount));
        int32_t bound = target;
        // The nearest key frame after the previous bound, when it lies within reach.
        const auto after = std::upper_bound(keys.begin(), keys.end(), bounds.back());
        const auto at = std::lower_bound(after, keys.end(), target);
        const double farthest = reach * double(share);
        int64_t nearest = std::numeric_limits<int64_t>::max();
        for (auto it : {at, at == after ? keys.end() : at - 1}) {
            if (it == keys.end() || *it >= frameCount) continue;
            const int64_t distance = std::abs(int64_t(*it) - target);
            if (double(distance) <= farthest && distance < nearest) {
                nearest = distance;
                bound = *it;
            }
        }
        bounds.push_back(std::max(bound, bounds.back()));
    }
    bounds.push_back(frameCount);
    std::vector<Stretch> stretches;
    for (int i = 0; i < parts; ++i)
        stretches.push_back({bounds[size_t(i)], std::max(bounds[size_t(i) + 1], bounds[size_t(i)])});
    return stretches;
}

}  // namespace ranking
