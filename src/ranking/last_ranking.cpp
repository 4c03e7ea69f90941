// SPDX-License-Identifier: GPL-2.0-or-later
#include "ranking/last_ranking.h"

#include <algorithm>
#include <utility>

namespace ranking {

void LastRanking::Start(const Measure& measure, int32_t frameCount) {
    measure_ = measure;
    values_.assign(size_t(std::max(frameCount, 0)), Value{});
    scenes_ = {};
    emit started();
    emit changed();
}

void LastRanking::SetValue(int32_t frame, Value value) {
    if (frame < 0 || size_t(frame) >= values_.size()) return;
    values_[size_t(frame)] = value;
    emit changed();
}

void LastRanking::SetScenes(scenes::SceneList scenes) {
    scenes_ = std::move(scenes);
    emit changed();
}

void LastRanking::Forget() {
    values_.clear();
    scenes_ = {};
    emit changed();
}

void LastRanking::CopyTo(RankingResult& result) const {
    result.values = values_;
    result.measure = measure_;
    result.scenes = scenes_;
    result.marked = MarkedFrames();
}

}  // namespace ranking
