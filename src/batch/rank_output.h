// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once
// The rank command's output on standard output: per video, "FRAME<TAB>BYTES" lines (after a
// "# VIDEO" line when there are several videos), or one JSON array for them all.

#include <QString>
#include <QStringList>
#include <vector>

#include "framelist/ranking.h"

namespace batch {

struct VideoRanking {
    QString video;
    bool ranked = false;  // false: the video could not be ranked
    std::vector<ranking::Ranked> frames;
    QStringList errors;
};

void PrintRankingText(const VideoRanking& video, bool withHeader);
// [{"video": ..., "frames": [{"frame": F, "bytes": B}, ...], "errors": [...]}, ...]
void PrintRankingJson(const std::vector<VideoRanking>& videos);

}  // namespace batch
