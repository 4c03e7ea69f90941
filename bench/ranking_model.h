// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once
// The ranking's cost model: what one frame and one stretch cost on one core, measured, and the
// rate that W workers reading their own stretches should reach from them.

#include <QString>

struct RankingCosts {
    int frames = 0;             // of the video
    double decodeSeconds = 0;   // per frame, read in order
    double convertSeconds = 0;  // per frame, to 24-bit rows
    double encodeSeconds = 0;   // per frame, as JPEG
    double stretchStartSeconds =
        0;                     // per stretch: decoding its first frame from a key frame, beyond a frame read in order
    double openSeconds = 0;    // the first open, which indexes the video (before the ranking)
    double reopenSeconds = 0;  // per worker: opening its reader, which takes the shared index
    int64_t openBytes = 0;     // bytes read by the first open
    int64_t reopenBytes = 0;   // bytes read by a worker's open
};

// Measures the costs on the calling thread alone, in its processor time; false when the video
// cannot be read.
bool MeasureRankingCosts(const QString& file, RankingCosts& costs);

// Frames a second that `workers` workers should rank, each on a core of its own.
double PredictedRate(const RankingCosts& costs, int workers);
// The processor time that ranking takes, all workers together: what a loaded machine still
// shows (listbench's ranking_cpu_seconds).
double PredictedProcessorSeconds(const RankingCosts& costs, int workers);
