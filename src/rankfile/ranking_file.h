// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once
// Rankings read back from the files that rank (whole or --segment) and merge print, as text or
// JSON: what merge joins and what extract --ranking takes its order from.

#include <QString>
#include <cstdint>
#include <optional>
#include <vector>

#include "rankfile/rank_output.h"

namespace batch {

// The videos the file ranks, each with its frames in the file's order; empty with `error`
// ("FILE: ...", one line) when it cannot be read or is not such a ranking. The text of one
// video's ranking names none: its video is a null string, `unnamed` in the messages. Frames are
// checked to lie inside the video, each once, and a segment's to be its stretch's. The file is
// read as a stream, each line and each JSON string bounded; CRLF line ends are read as LF.
std::vector<VideoRanking> ReadRankings(const QString& path, QString& error, const QString& unnamed = {});

// The whole ranking of `video` (`frameCount` frames) that the file holds, in its order; empty
// with `error` when the file holds none or another version's.
VideoRanking SavedRanking(const QString& path, const QString& video, int32_t frameCount, QString& error);

// What --per-scene says of a ranking of `video` without scenes.
QString WithoutScenes(const QString& path, const QString& video);

}  // namespace batch
