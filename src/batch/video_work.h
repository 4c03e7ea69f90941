// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once
// One video's share of a command: open it as "Ouvrir..." does, limit its frames to the crop
// rectangle, then rank every frame as "Best of..." does, or write the chosen frames as
// "Extraire Lot..." does after "Sél.", under the program's names.

#include <QString>
#include <cstdint>
#include <optional>
#include <vector>

#include "batchcli/settings.h"
#include "rankfile/rank_output.h"

namespace batch {

// A file that extract wrote: the frame it holds under its number's name.
struct WrittenFrame {
    int32_t number = 0;
    int32_t frame = 0;
    double time = 0;       // seconds after the first frame
    ranking::Value value;  // the frame's under the measure, with --manifest; not measured: unknown
    bool kept = false;     // a file in the way, left as it was (--skip-existing)
};

// The name of the file of this number, in the output directory.
QString OutputName(const Settings& settings, int32_t number);

// What the video's work tells the command that runs it, here or in a worker process.
class VideoHost {
public:
    virtual ~VideoHost() = default;
    // extract: the count of names the video uses, known once it is open.
    virtual void ReserveNames(int64_t names) = 0;
    // extract: the number of its first name; waits for the videos before it to reserve theirs.
    // Negative when the command is ending.
    virtual int64_t FirstNumber() = 0;
    virtual void Progress(int64_t done, int64_t total) = 0;
    // rank: the video, once open.
    virtual void Opened(const VideoFacts& facts) = 0;
    // rank --segment: the stretch ranked, once open. A segment ranks one video, in the
    // command's own process: the worker processes never see one.
    virtual void Segment(const SegmentFacts&) {}
    // rank: the frames, best first, and the scene cuts of a whole video.
    virtual void Ranked(const std::vector<RankedFrame>& ranked,
                        const std::optional<std::vector<scenes::Cut>>& cuts) = 0;
    // extract: a file was written, or one in the way was left as it is (`kept`).
    virtual void Wrote(const WrittenFrame& file) = 0;
    // A failure, with the file's name and the reason.
    virtual void Failure(const QString& message) = 0;
};

enum class VideoStatus {
    Done,
    Failed,       // the video could not be read, or a file not written; reported
    StopCommand,  // a file was in the way: the whole command stops
    Stopped,      // a stop signal came
};

VideoStatus RunVideo(const Settings& settings, const QString& video, VideoHost& host);

}  // namespace batch
