// SPDX-License-Identifier: GPL-2.0-or-later
// Ranking with every worker reading its own stretches of the video through a reader of its own,
// so that no single thread decodes for all of them.
#include <QThread>
#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <deque>
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

// What the workers share with the calling thread.
class StretchQueue {
public:
    explicit StretchQueue(std::vector<Stretch> stretches) : stretches_(stretches.begin(), stretches.end()) {}

    bool Next(Stretch& stretch) {
        std::lock_guard lock(mutex_);
        if (stopping_ || stretches_.empty()) return false;
        stretch = stretches_.front();
        stretches_.pop_front();
        return true;
    }
    bool Stopping() const { return stopping_; }
    void Stop() { stopping_ = true; }

    void Deliver(FrameResult result, const std::function<void()>& wake) {
        bool wakeCaller = false;
        {
            std::lock_guard lock(mutex_);
            results_.push_back(std::move(result));
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
    // The results so far; with `wait`, waits for one or for the last worker to end first.
    std::vector<FrameResult> Take(bool wait, int workers) {
        std::unique_lock lock(mutex_);
        if (wait) ready_.wait(lock, [&] { return !results_.empty() || workersDone_ == workers; });
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
    std::deque<Stretch> stretches_;
    std::vector<FrameResult> results_;
    std::atomic<bool> stopping_ = false;
    bool wakeArmed_ = false;
    int workersDone_ = 0;
};

void RankStretches(const QString& file, const FrameSource& model, int32_t first, StretchQueue& queue,
                   const RunSettings& settings, const std::function<void()>& wake) {
    setpriority(PRIO_PROCESS, id_t(gettid()), kWorkerNice);
    FrameSource source;
    if (source.OpenVideo(file)) {
        const FrameSource::CropRectangle& r = model.CropRect();
        if (model.CropDefined()) source.SetCropRect(r.top, r.left, r.height, r.width);
        source.SetCropEnabled(model.CropEnabled());
    }
    imaging::JpegImage jpeg;
    settings.jpeg.ApplyTo(&jpeg);
    media::PictureScaler scaler;
    FrameSource::PreparedImage image;
    Stretch stretch;
    while (queue.Next(stretch)) {
        for (int32_t frame = stretch.first; frame < stretch.end && !queue.Stopping(); ++frame) {
            FrameResult result;
            result.index = size_t(frame - first);
            result.frame = frame;
            // A reader that could not open measures nothing, as a frame that cannot be decoded.
            source.PrepareDecoded(frame, image);
            MeasurePicture(image, {}, jpeg, scaler, result.size, result.length);
            queue.Deliver(std::move(result), wake);
        }
    }
    queue.WorkerDone(wake);
}

}  // namespace

int StretchWorkers(const FrameSource& source, int threads, int32_t frames) {
    if (!source.ReopensCheaply() || frames < 2) return 1;
    return std::min(AffordableWorkers(threads, FramePixels(source)), int(frames));
}

void RunStretches(const FrameSource& source, int32_t first, int32_t end, const RunSettings& settings,
                  const RunHooks& hooks) {
    const int workers = std::max(StretchWorkers(source, settings.threads, end - first), 1);
    // Several stretches a worker, so that they finish together, and none so short that opening
    // its decode at a key frame costs much.
    const int parts = std::clamp((end - first) / kFramesPerStretch, workers, workers * kStretchesPerWorker);
    // The key frames of the range, counted from its start.
    std::vector<int32_t> keys;
    for (int32_t key : source.KeyPositions()) {
        if (key >= first && key < end) keys.push_back(key - first);
    }
    std::vector<Stretch> stretches = SplitAtKeys(keys, end - first, parts);
    for (Stretch& s : stretches) {
        s.first += first;
        s.end += first;
    }
    StretchQueue queue(std::move(stretches));
    std::vector<std::thread> threads;
    for (int i = 0; i < workers; ++i) {
        threads.emplace_back(
            [&] { RankStretches(source.VideoFileName(), source, first, queue, settings, hooks.wake); });
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
