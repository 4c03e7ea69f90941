// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once
// The rank command's output on standard output: per video, "FRAME<TAB>BYTES" lines (after a
// "# VIDEO" line when there are several videos), or one JSON array for them all.

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <optional>
#include <vector>

namespace batch {

// What the JSON output tells of a video that could be opened.
struct VideoFacts {
    int32_t frameCount = 0;
    double frameRate = 0;  // frames per second
    int32_t width = 0;
    int32_t height = 0;
};

struct RankedFrame {
    int32_t frame = 0;
    int64_t length = 0;  // the JPEG encoding's; 0 for a frame that could not be decoded
    double time = 0;     // seconds after the first frame
};

struct VideoRanking {
    QString video;
    bool ranked = false;  // false: the video could not be ranked
    std::optional<VideoFacts> facts;
    std::vector<RankedFrame> frames;
    QStringList errors;
};

QByteArray RankingText(const VideoRanking& video, bool withHeader);
// [{"video": ..., "frame_count": ..., "frame_rate": ..., "width": ..., "height": ...,
//   "frames": [{"frame": F, "time": T, "bytes": B}, ...], "errors": [...]}, ...], a frame a line
QByteArray RankingJson(const std::vector<VideoRanking>& videos);

}  // namespace batch
