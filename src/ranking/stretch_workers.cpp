// SPDX-License-Identifier: GPL-2.0-or-later
// Ranking with every worker reading its own stretches of the video through a reader of its own,
// so that no single thread decodes for all of them.
#include <QElapsedTimer>
#include <QThread>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <thread>

#include <sys/resource.h>
#include <unistd.h>

#include "imaging/jpeg_image.h"
#include "media/picture_scaler.h"
#include "ranking/encode_pool.h"
#include "ranking/ranking.h"
#include "ranking/stretches.h"

namespace ranking {
namespace {

// A worker yields to the window's thread, which must answer while the workers run.
constexpr int kWorkerNice = 5;
// What a worker's open costs, in frames measured: about 30 ms (the file's identity, the
// demuxer, a decode from a key frame) against 1 to 9 ms a frame on the videos of the cost
// model, so a share of 16 frames pays for it on any of them.
constexpr int32_t kFramesPerWorkerOpen = 16;
// Results the calling thread is woken for at once, unless this many milliseconds have passed.
constexpr size_t kResultsPerWake = 16;
constexpr qint64 kWakeMs = 25;

// What the workers share with the calling thread.
class StretchQueue {
public:
    // `shares`: one stretch a worker; `keys`: the key frames of the video, ascending.
    StretchQueue(const std::vector<Stretch>& shares, std::vector<int32_t> keys)
        : shares_(shares), keys_(std::move(keys)) {}

    // The next frame worker `worker` reads: the next of its share, else of the second half of
    // the largest share left, which it takes over. False when nothing is left or on a stop.
    bool NextFrame(size_t worker, int32_t& frame) {
        std::lock_guard lock(mutex_);
        if (stopping_) return false;
        Stretch& mine = shares_[worker];
        if (mine.first >= mine.end && !Steal(mine)) return false;
        frame = mine.first++;
        return true;
    }
    void Stop() { stopping_ = true; }

    // The calling thread is woken for several results at a time, or after a while: woken for
    // each, it would take a core from the workers hundreds of times a second.
    void Deliver(FrameResult result, const std::function<void()>& wake) {
        bool wakeCaller = false;
        {
            std::lock_guard lock(mutex_);
            results_.push_back(std::move(result));
            if (results_.size() < kResultsPerWake && sinceWake_.isValid() && sinceWake_.elapsed() < kWakeMs) return;
            sinceWake_.start();
            wakeCaller = std::exchange(wakeArmed_, false);
        }
        ready_.notify_all();
        if (wakeCaller && wake) wake();
    }
    void WorkerDone(const std::function<void()>& wake) {
        bool wakeCaller = false;
        {
            std::lock_guard lock(mutex_);
            ++workersDone_;
            wakeCaller = std::exchange(wakeArmed_, false);
        }
        ready_.notify_all();
        if (wakeCaller && wake) wake();
    }
    // The results so far; with `wait`, waits a little for several, or for the last worker to end.
    std::vector<FrameResult> Take(bool wait, int workers) {
        std::unique_lock lock(mutex_);
        if (wait) {
            ready_.wait_for(lock, std::chrono::milliseconds(kWakeMs),
                            [&] { return results_.size() >= kResultsPerWake || workersDone_ == workers; });
        }
        return std::exchange(results_, {});
    }
    // Asks for a wake at the next result; false when there is one already, or nothing to wait for.
    bool ArmWake(int workers) {
        std::lock_guard lock(mutex_);
        if (!results_.empty() || workersDone_ == workers) return false;
        wakeArmed_ = true;
        return true;
    }
    bool AllDone(int workers) {
        std::lock_guard lock(mutex_);
        return workersDone_ == workers && results_.empty();
    }

private:
    std::mutex mutex_;
    std::condition_variable ready_;
    // Takes over the second half of the largest share, cut at a key frame near its middle when
    // one lies within reach; a share too short to be worth a second decode from a key frame
    // is left to its worker.
    bool Steal(Stretch& thief) {
        auto victim = std::max_element(shares_.begin(), shares_.end(),
                                       [](const Stretch& a, const Stretch& b) { return a.size() < b.size(); });
        if (victim->size() < 2 * kMinStolenFrames) return false;
        const int32_t lowest = victim->first + kMinStolenFrames;
        const int32_t highest = victim->end - kMinStolenFrames;
        int32_t cut = victim->first + victim->size() / 2;
        const auto key = std::lower_bound(keys_.begin(), keys_.end(), cut);
        for (auto it : {key, key == keys_.begin() ? keys_.end() : key - 1}) {
            if (it != keys_.end() && *it >= lowest && *it <= highest && std::abs(*it - cut) < victim->size() / 4) {
                cut = *it;
                break;
            }
        }
        thief = {cut, victim->end};
        victim->end = cut;
        return true;
    }

    std::vector<Stretch> shares_;
    const std::vector<int32_t> keys_;
    std::vector<FrameResult> results_;
    std::atomic<bool> stopping_ = false;
    bool wakeArmed_ = false;
    QElapsedTimer sinceWake_;
    int workersDone_ = 0;
};

// What a worker opens: the video and its crop, copied on the calling thread, which may close
// or change its own video while the workers run.
struct VideoToRead {
    QString file;
    FrameSource::CropRectangle crop;
    bool cropDefined = false;
    bool cropEnabled = false;
};

void RankStretches(const VideoToRead& video, int32_t first, size_t worker, StretchQueue& queue,
                   const RunSettings& settings, const std::function<void()>& wake) {
    setpriority(PRIO_PROCESS, id_t(gettid()), kWorkerNice);
    FrameSource source;
    if (source.OpenVideo(video.file)) {
        const FrameSource::CropRectangle& r = video.crop;
        if (video.cropDefined) source.SetCropRect(r.top, r.left, r.height, r.width);
        source.SetCropEnabled(video.cropEnabled);
    }
    imaging::JpegImage jpeg;
    settings.jpeg.ApplyTo(&jpeg);
    media::PictureScaler scaler;
    FrameSource::PreparedImage image;
    int32_t frame = 0;
    while (queue.NextFrame(worker, frame)) {
        FrameResult result;
        result.index = size_t(frame - first);
        result.frame = frame;
        // A reader that could not open measures nothing, as a frame that cannot be decoded.
        source.PrepareDecoded(frame, image);
        Measures measures;
        MeasurePicture(image, {}, jpeg, scaler, measures);
        result.size = measures.size;
        result.length = measures.length;
        result.signature = measures.signature;
        queue.Deliver(std::move(result), wake);
    }
    queue.WorkerDone(wake);
}

}  // namespace

int StretchWorkers(const FrameSource& source, int threads, int32_t frames) {
    if (!source.ReopensCheaply() || frames < 2) return 1;
    // Each worker opens the video (the index is shared, but the file's identity is read and
    // the first frame decoded from a key frame): a worker is started only for as many frames
    // as that costs, or it slows the ranking down.
    const int worthOpening = std::max(1, int(frames / kFramesPerWorkerOpen));
    return std::min({AffordableWorkers(threads, FramePixels(source)), int(frames), worthOpening});
}

void RunStretches(const FrameSource& source, int32_t first, int32_t end, const RunSettings& settings,
                  const RunHooks& hooks) {
    const int workers = std::max(StretchWorkers(source, settings.threads, end - first), 1);
    // The key frames of the range, counted from its start.
    std::vector<int32_t> keys;
    for (int32_t key : source.KeyPositions()) {
        if (key >= first && key < end) keys.push_back(key - first);
    }
    // One share a worker to begin with; a worker that finishes early takes half of another's.
    std::vector<Stretch> shares = SplitAtKeys(keys, end - first, workers);
    for (Stretch& share : shares) {
        share.first += first;
        share.end += first;
    }
    for (int32_t& key : keys) key += first;
    StretchQueue queue(shares, std::move(keys));
    const VideoToRead video{source.VideoFileName(), source.CropRect(), source.CropDefined(), source.CropEnabled()};
    std::vector<std::thread> threads;
    for (size_t i = 0; i < size_t(workers); ++i) {
        threads.emplace_back([&, i] { RankStretches(video, first, i, queue, settings, hooks.wake); });
    }
    const auto going = [&] { return !hooks.keepGoing || hooks.keepGoing(); };
    const auto report = [&](std::vector<FrameResult> results) {
        for (FrameResult& result : results) {
            if (hooks.onResult) hooks.onResult(result);
        }
    };
    try {
        while (!queue.AllDone(workers)) {
            if (!going()) break;
            std::vector<FrameResult> results = queue.Take(!hooks.betweenRounds, workers);
            const bool moved = !results.empty();
            report(std::move(results));
            if (hooks.betweenRounds) hooks.betweenRounds(!moved && queue.ArmWake(workers));
        }
        // A stop keeps every frame measured so far, wherever it is.
        queue.Stop();
        for (std::thread& thread : threads) thread.join();
        report(queue.Take(false, workers));
    } catch (...) {
        queue.Stop();
        for (std::thread& thread : threads) thread.join();
        throw;
    }
}

}  // namespace ranking
