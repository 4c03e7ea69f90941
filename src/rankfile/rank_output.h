// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once
// The rank command's output on standard output: per video, "FRAME<TAB>VALUE" lines (after a
// "# VIDEO" line when there are several videos), or one JSON array for them all; and the same
// for one stretch of a video (rank --segment), with what merge needs to join the stretches.

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <optional>
#include <vector>

#include "ranking/measure.h"
#include "ranking/scenes.h"

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
    ranking::Value value;  // under the ranking's measure; unreadable: the frame could not be decoded
    double time = 0;       // seconds after the first frame
    int scene = 0;         // from 1; 0 when not known (a segment's frame, an older ranking's)
    // A segment's frames carry their signature, from which merge finds the scenes.
    scenes::Signature signature{};
};

// The first line of a segment's text.
inline constexpr char kSegmentHeader[] = "# orvexa-batch segment ";
// The first line of a text ranked by another measure than the JPEG length, followed by its name.
inline constexpr char kMeasureHeader[] = "# orvexa-batch measure ";

// Which stretch of which file a segment ranks, and how.
struct SegmentFacts {
    int index = 0;  // from 1
    int count = 0;
    int32_t first = 0;  // the stretch's frames, end excluded
    int32_t end = 0;
    int64_t fileSize = 0;
    QString fingerprint;  // the video's content (media::FileIdentity::Fingerprint)
    QString options;      // Settings::RankingOptions
    // Ranked on an index read from the video's sample tables, whose packets this segment found
    // whole in its own stretch only: it joins only segments ranked on such an index.
    bool fromTables = false;
};

struct VideoRanking {
    QString video;
    ranking::Measure measure = ranking::JpegLength();
    bool ranked = false;  // false: the video could not be ranked
    std::optional<VideoFacts> facts;
    std::optional<SegmentFacts> segment;  // only with facts, for a ranking of one stretch
    std::vector<RankedFrame> frames;
    // The scene cuts, when the ranking has scenes (a whole video's ranking).
    std::optional<std::vector<scenes::Cut>> cuts;
    QStringList errors;
};

// Finds the scenes of a whole ranking from its frames' signatures (`frameCount` frames at
// `frameRate`): the cuts, and each frame's scene.
void FindScenes(VideoRanking& video, int32_t frameCount, double frameRate);
// The scenes as a ranking gives them: its cuts, or those its frames' scene numbers show
// (without transitions); nothing for a ranking without scenes.
std::optional<scenes::SceneList> ScenesOf(const VideoRanking& video);

// FRAME<TAB>VALUE<TAB>SCENE lines, VALUE as the measure prints it (Measure::Text; for a frame
// not decoded 0 bytes, or "-"). A segment's text is "# orvexa-batch segment K/N", "# KEY VALUE"
// lines (video, file_size, fingerprint, frame_count, frame_rate, width, height, first, end,
// options, positions, and measure but for the JPEG length), then
// FRAME<TAB>VALUE<TAB>TIME<TAB>SIGNATURE (hexadecimal) lines.
QByteArray RankingText(const VideoRanking& video, bool withHeader);
// The line a whole ranking's text starts with, once, when its measure is not the JPEG length.
QByteArray MeasureLine(const ranking::Measure& measure);
// A frame's value as the text prints it, and back (false for anything else).
QByteArray ValueText(const ranking::Measure& measure, const ranking::Value& value);
bool ValueFromText(const ranking::Measure& measure, const QByteArray& text, ranking::Value& value);
// Ranking order: the better value first, equal values by frame number, frames not decoded last.
void SortRanking(const ranking::Measure& measure, std::vector<RankedFrame>& frames);
// [{"video": ..., "frame_count": ..., "frame_rate": ..., "width": ..., "height": ...,
//   "scenes": N, "cuts": [{"frame": F, "time": T, "transition_first": A, "transition_end": B}, ...],
//   "frames": [{"frame": F, "time": T, "bytes": B, "scene": S}, ...], "errors": [...]}, ...],
// a frame a line; another measure than the JPEG length adds "measure" and "unit" after
// "height", and names each frame's value by the measure (Measure::jsonField); a segment has "segment": {"index": K,
// "count": N, "first": F, "end": E, "file_size": S, "fingerprint": P, "options": O, "positions": "tables" or "checked"}
// after "height", no scenes, and a "signature" for each frame. A segment without positions (an older one) was ranked on
// a checked index.
QByteArray RankingJson(const std::vector<VideoRanking>& videos);

// The name as the text's "# VIDEO" line writes it, and back.
QByteArray OneLine(const QString& name);
QString FromOneLine(const QByteArray& line);

// What rank says of a video, or a stretch, whose frames were not all decoded.
QString UndecodedFrames(const QString& video, int64_t count, const ranking::Measure& measure);

}  // namespace batch
