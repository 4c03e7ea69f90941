// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once
// The "Best of..." ranking without any window: a frame is prepared as it would be written
// (whole or cropped), measured (by default the byte length of its JPEG encoding, see
// measure.h), and ranked by its value, the best first. The one loop that feeds frames to the encoding workers lives
// here: the list window's ranking and batch, and the batch command, all run through it.

#include <cstdint>
#include <functional>
#include <vector>

#include "base/errors.h"
#include "framesource/frame_source.h"
#include "framesource/jpeg_options.h"
#include "ranking/measure.h"
#include "ranking/scenes.h"

namespace ranking {

// One frame's outcome, reported in the order the frames were given.
struct FrameResult {
    size_t index = 0;  // its place among the frames given
    int32_t frame = 0;
    int64_t size = 0;    // the output picture as 32-bit pixels, in bytes; 0 when it could not be had
    int64_t length = 0;  // the byte length of its JPEG encoding, when encoded
    Value value;         // under the run's measure
    // The picture's signature, from which scene cuts are found; valid when `size` is not 0.
    scenes::Signature signature{};
    // The picture itself (rows, and its JPEG when encoded), for a run that keeps pictures.
    FrameSource::PreparedImage image;
};

struct RunSettings {
    int threads = 0;  // encoding workers: 0 for one per core, 1 for the calling thread alone
    jpeg_options::JpegOptions jpeg;
    bool encode = true;         // false: the pictures are only prepared (a batch of BMP files)
    bool keepPictures = false;  // results carry their picture, to be written
    // Results carry the JPEG encoding that was measured (the picture's `jpeg`), without rows:
    // a ranking whose pictures are written as those very bytes.
    bool keepEncodings = false;
    bool finishAfterStop = false;  // after a stop, frames already given are still reported
    // What each frame is measured by; a measure that encodes needs `encode`.
    Measure measure = JpegLength();
};

// A worker of a ranking could not read the video again: its file no longer opens (removed,
// renamed, unreadable), or another file now has its name. The ranking ends with it; no frame
// that was not tried is reported.
class ReopenFailure : public errors::Error {
public:
    enum class Reason { CannotOpen, Replaced };
    ReopenFailure(Reason reason, const QString& file);
    Reason reason() const { return reason_; }
    const QString& file() const { return file_; }

private:
    Reason reason_;
    QString file_;
};

struct RunHooks {
    // Asked before each frame is given, and (unless the run finishes after a stop) before each
    // result is reported; false stops the run.
    std::function<bool()> keepGoing;
    // A frame is about to be decoded on the calling thread: the index among the frames given.
    // Only RunFrames decodes there: RunRanking then takes that path, RunStretches refuses it.
    std::function<void(size_t index)> beforeFrame;
    // Each result, on the calling thread, in the order given. An exception ends the run.
    std::function<void(FrameResult& result)> onResult;
    // With it, the run never blocks and gives one frame per round: it is called at the end of
    // each round, with `idle` true when nothing can happen until a worker's result, which
    // `wake` (called on the worker's thread) then announces.
    std::function<void(bool idle)> betweenRounds;
    std::function<void()> wake;
};

// Decodes `frames` in order on the calling thread and converts and encodes them on the workers;
// the results are the same whatever the number of workers.
void RunFrames(FrameSource& source, const std::vector<int32_t>& frames, const RunSettings& settings,
               const RunHooks& hooks);

// How many workers read their own stretches of the source's video: 1 when another reader of
// it would not open it cheaply, or when there is a single frame; never more than the frames
// pay an open for.
int StretchWorkers(const FrameSource& source, int threads, int32_t frames);

// Ranks frames `first` to `end` - 1 with workers that each open the source's video on their
// own (crop as the source's) and read stretches of it that start at key frames: one each to
// begin with, then halves of the largest stretches left (see stretches.h). Results come
// in any order (`index` is the frame's place from `first`); `keepGoing` is asked each round on
// the calling thread, and a stop reports every frame measured so far. The measures are those
// of RunFrames, whatever the number of workers and stretches, and so are the settings' effects
// (pictures encoded or only prepared, kept or not, results after a stop). A worker that cannot
// open the video again, or opens another file (see FrameSource::VideoIdentity), ends the run
// with a ReopenFailure once the frames measured are reported; any other error of a worker ends
// it too. Refuses `beforeFrame` (std::invalid_argument): no frame is decoded on this thread.
void RunStretches(const FrameSource& source, int32_t first, int32_t end, const RunSettings& settings,
                  const RunHooks& hooks);

// Runs `frames` through the stretch workers when they are a run of consecutive frames in order
// (a whole video, a stretch of it), the video reopens cheaply and no `beforeFrame` is asked
// for, else through RunFrames.
// Results may then come in any order, each with its index among `frames`.
void RunRanking(FrameSource& source, const std::vector<int32_t>& frames, const RunSettings& settings,
                const RunHooks& hooks);

struct Ranked {
    int32_t frame = 0;
    Value value;  // unreadable: the frame could not be measured
    scenes::Signature signature{};
};

// Measures `frames` by `measure` and puts them in ranking order (Measure::RanksBefore): the
// best value first, frames of equal value by frame number. `keepGoing` is asked as the
// ranking goes; a stop ranks the frames measured so far, and `measured` is told how many
// there are after each. A frame that cannot be prepared is unreadable, ranked last. All the
// frames of a video that reopens cheaply are read in stretches by workers of their own; other
// lists through RunFrames.
std::vector<Ranked> RankFrames(FrameSource& source, const std::vector<int32_t>& frames,
                               const jpeg_options::JpegOptions& jpeg, const std::function<bool()>& keepGoing = {},
                               int threads = 0, const std::function<void(int64_t measured)>& measured = {},
                               const Measure& measure = JpegLength());

// Ranks every frame of the source's video as RankFrames does. A video opened without its packets
// checked (FrameSource::OpenVideo) is looked into as the ranking reads it; when a packet is
// damaged, or one left unread is, its frames were not those a decode from the start presents:
// the ranking is thrown away, the video indexed again from its data, `again` told, and every
// frame of it ranked again. Raises ReopenFailure when the video cannot be read again for that.
// Once every packet was found whole the index is kept as checked. The frames asked for past a
// count that the reading told (see FrameSource::OpenVideo) are left out.
std::vector<Ranked> RankVideo(FrameSource& source, const jpeg_options::JpegOptions& jpeg,
                              const std::function<bool()>& keepGoing = {}, int threads = 0,
                              const std::function<void(int64_t measured)>& measured = {},
                              const std::function<void()>& again = {}, const Measure& measure = JpegLength());

// The scenes of frames `first` to `end` - 1 from a ranking of them (in any order); frames it
// does not hold take no part.
scenes::SceneList ScenesOf(const std::vector<Ranked>& ranked, int32_t first, int32_t end, double frameRate);

}  // namespace ranking
