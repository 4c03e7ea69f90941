// SPDX-License-Identifier: GPL-2.0-or-later
#include "ranking_model.h"

#include <algorithm>
#include <ctime>
#include <fstream>
#include <string>

#include "framesource/frame_source.h"
#include "imaging/jpeg_image.h"
#include "media/picture_scaler.h"
#include "ranking/ranking.h"
#include "ranking/stretches.h"

namespace {

// The calling thread's processor time: on a machine other programs load, wall time counts their
// turns too. Every cost is measured on this one thread (the decoder runs on it).
class CpuTimer {
public:
    void start() { begin_ = Now(); }
    void restart() { begin_ = Now(); }
    double seconds() const { return Now() - begin_; }

private:
    static double Now() {
        timespec now{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
        return double(now.tv_sec) + double(now.tv_nsec) / 1e9;
    }
    double begin_ = 0;
};

double Seconds(const CpuTimer& timer) { return timer.seconds(); }

// Stretches, each begun with a decode from a key frame, that `workers` workers read: one each,
// and about one taken over each when they end.
int StretchCount(int frames, int workers) {
    return frames >= 2 * workers * ranking::kMinStolenFrames ? 2 * workers : workers;
}

// Bytes this process has read through system calls (rchar).
int64_t BytesRead() {
    std::ifstream in("/proc/self/io");
    std::string key;
    int64_t value = 0;
    while (in >> key >> value) {
        if (key == "rchar:") return value;
    }
    return 0;
}

}  // namespace

bool MeasureRankingCosts(const QString& file, RankingCosts& costs) {
    CpuTimer timer;
    int64_t bytes = BytesRead();
    timer.start();
    FrameSource source;
    if (!source.OpenVideo(file)) return false;
    costs.openSeconds = Seconds(timer);
    costs.openBytes = BytesRead() - bytes;
    costs.frames = source.FrameCount();
    {
        // A worker's reader: the index is the first open's, shared.
        bytes = BytesRead();
        timer.restart();
        FrameSource worker;
        if (!worker.OpenVideo(file)) return false;
        costs.reopenSeconds = Seconds(timer);
        costs.reopenBytes = BytesRead() - bytes;
    }

    // Every frame in order, each step timed apart.
    media::PictureScaler scaler;
    imaging::JpegImage jpeg;
    FrameSource::PreparedImage image;
    double decode = 0, convert = 0, encode = 0;
    int measured = 0;
    for (int32_t frame = 0; frame < costs.frames; ++frame) {
        timer.restart();
        if (!source.PrepareDecoded(frame, image) || !image.decoded) continue;
        decode += Seconds(timer);
        timer.restart();
        int64_t stride = 0;
        const uint8_t* rows = image.decoded->TopDownBits(scaler, stride);
        convert += Seconds(timer);
        if (!rows) continue;
        timer.restart();
        jpeg.encodeBgr(image.decoded->width(), -image.decoded->height(), rows, ptrdiff_t(stride));
        encode += Seconds(timer);
        ++measured;
    }
    if (measured == 0) return false;
    costs.decodeSeconds = decode / measured;
    costs.convertSeconds = convert / measured;
    costs.encodeSeconds = encode / measured;

    // The first frame of stretches spread over the video, each reached from elsewhere in the file:
    // what it costs beyond a frame read in order.
    const std::vector<ranking::Stretch> stretches =
        ranking::SplitAtKeys(source.KeyPositions(), costs.frames, StretchCount(costs.frames, 2));
    double starts = 0;
    int startCount = 0;
    for (auto it = stretches.rbegin(); it != stretches.rend(); ++it) {
        if (it->size() == 0) continue;
        timer.restart();
        if (!source.PrepareDecoded(it->first, image)) continue;
        starts += Seconds(timer);
        ++startCount;
    }
    costs.stretchStartSeconds = startCount > 0 ? std::max(starts / startCount - costs.decodeSeconds, 0.0) : 0;
    return true;
}

double PredictedRate(const RankingCosts& costs, int workers) {
    const double seconds = PredictedProcessorSeconds(costs, workers) / workers;
    return seconds > 0 ? costs.frames / seconds : 0;
}

double PredictedProcessorSeconds(const RankingCosts& costs, int workers) {
    const double perFrame = costs.decodeSeconds + costs.convertSeconds + costs.encodeSeconds;
    const int stretches = StretchCount(costs.frames, workers);
    // The work spreads evenly over the workers; each opens its reader once, on the shared index.
    return costs.frames * perFrame + stretches * costs.stretchStartSeconds + workers * costs.reopenSeconds;
}
