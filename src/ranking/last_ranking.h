// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once
// The last ranking of the list window, as an object its readers observe: the measure it was
// made by, each frame's value, the scenes found when it ended, and the marked frames read from
// where the marks are kept (the list's table). The table and the plot follow its signals
// rather than being handed copies.

#include <QObject>
#include <cstdint>
#include <functional>
#include <vector>

#include "ranking/measure.h"
#include "ranking/ranking_result.h"
#include "ranking/scenes.h"

namespace ranking {

class LastRanking : public QObject {
    Q_OBJECT

public:
    explicit LastRanking(QObject* parent = nullptr) : QObject(parent) {}

    // A ranking by `measure` starts over the video's `frameCount` frames, none measured yet.
    void Start(const Measure& measure, int32_t frameCount);
    // A frame measured; a frame past the count is left out (a command run from the loop may
    // have closed the video).
    void SetValue(int32_t frame, Value value);
    void SetScenes(scenes::SceneList scenes);
    // No values and no scenes: the table is built again or emptied.
    void Forget();

    // Where the marked frames are read, in any order.
    void setMarksSource(std::function<std::vector<int32_t>()> source) { marks_ = std::move(source); }
    // The marks may have changed where they are kept.
    void MarksChanged() { emit changed(); }

    const Measure& measure() const { return measure_; }
    // Per frame of the video; empty when no ranking was made since the table was built.
    const std::vector<Value>& values() const { return values_; }
    const scenes::SceneList& scenes() const { return scenes_; }
    std::vector<int32_t> MarkedFrames() const { return marks_ ? marks_() : std::vector<int32_t>{}; }
    // The ranking and the marks into what the plot draws; the video's fields are left as they are.
    void CopyTo(RankingResult& result) const;

signals:
    // A ranking started: every value is back to none.
    void started();
    // Any of it may have changed: values, scenes, marks.
    void changed();

private:
    Measure measure_ = JpegLength();
    std::vector<Value> values_;
    scenes::SceneList scenes_;
    std::function<std::vector<int32_t>()> marks_;
};

}  // namespace ranking
