// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once
// The frames a command works on: a typed list such as "1,5,9-20", and the frames that
// "extract" writes, chosen from the ranking as "Sél." then "Extraire Lot..." choose them.

#include <QString>
#include <cstdint>
#include <vector>

#include "batchcli/settings.h"

namespace batch {

// Reads comma-separated frame numbers and runs "A-B" (A <= B); false for anything else.
bool ParseFrameList(const QString& text, std::vector<FrameRun>& runs);

// The leading count of a ranking that --best N or --percent P writes out of `frameCount` frames.
int64_t RankedCount(Choice choice, int32_t count, int32_t frameCount);

// The frames of a list that the video holds, in the list's order; `missing` gets the runs, or
// parts of runs, past its last frame.
std::vector<int32_t> ListedFrames(const std::vector<FrameRun>& runs, int32_t frameCount,
                                  std::vector<FrameRun>& missing);
// "VIDEO: frames A-B past the last frame (N)".
QString PastTheEnd(const QString& video, const FrameRun& missing, int32_t frameCount);

}  // namespace batch
