// SPDX-License-Identifier: GPL-2.0-or-later
// Ranking with every worker reading its own stretches of the video through a reader of its own,
// so that no single thread decodes for all of them.
#include <QElapsedTimer>
#include <QThread>
#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <exception>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <thread>
#include <utility>

#include <sys/resource.h>
#include <unistd.h>

#include "imaging/jpeg_image.h"
#include "media/file_identity.h"
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
    // `shares`: one stretch a worker; `keys`: the key frames of the video, ascending;
    // `held`: the results that may wait for the calling thread (0: no bound), so that kept
    // pictures take bounded memory.
    StretchQueue(const std::vector<Stretch>& shares, std::vector<int32_t> keys, size_t held)
        : shares_(shares), keys_(std::move(keys)), held_(held) {}

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
    void Stop() {
        {
            std::lock_guard lock(mutex_);
            stopping_ = true;
        }
        room_.notify_all();
    }
    // A worker's error ends the run: the first is kept, to be raised on the calling thread.
    void Fail(std::exception_ptr error) {
        {
            std::lock_guard lock(mutex_);
            if (!error_) error_ = std::move(error);
            stopping_ = true;
        }
        room_.notify_all();
    }
    std::exception_ptr Error() {
        std::lock_guard lock(mutex_);
        return error_;
    }

    // The calling thread is woken for several results at a time, or after a while: woken for
    // each, it would take a core from the workers hundreds of times a second.
    void Deliver(FrameResult result, const std::function<void()>& wake) {
        bool wakeCaller = false;
        {
            std::unique_lock lock(mutex_);
            // Kept pictures wait for room; after a stop the few in hand are still delivered.
            if (held_ > 0) room_.wait(lock, [&] { return stopping_ || results_.size() < held_; });
            results_.push_back(std::move(result));
            if (results_.size() < WakeCount() && sinceWake_.isValid() && sinceWake_.elapsed() < kWakeMs) return;
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
        std::vector<FrameResult> taken;
        {
            std::unique_lock lock(mutex_);
            if (wait) {
                ready_.wait_for(lock, std::chrono::milliseconds(kWakeMs),
                                [&] { return results_.size() >= WakeCount() || workersDone_ == workers; });
            }
            taken = std::exchange(results_, {});
        }
        room_.notify_all();
        return taken;
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
    size_t WakeCount() const { return held_ > 0 ? std::min(held_, kResultsPerWake) : kResultsPerWake; }

    std::mutex mutex_;
    std::condition_variable ready_;
    std::condition_variable room_;
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
    const size_t held_;
    std::vector<FrameResult> results_;
    bool stopping_ = false;
    std::exception_ptr error_;
    bool wakeArmed_ = false;
    QElapsedTimer sinceWake_;
    int workersDone_ = 0;
};

// What a worker opens: the video and its crop, copied on the calling thread, which may close
// or change its own video while the workers run.
struct VideoToRead {
    QString file;
    std::optional<media::FileIdentity> identity;  // the file the caller opened
    FrameSource::CropRectangle crop;
    bool cropDefined = false;
    bool cropEnabled = false;
};

// Opens the caller's video again, or raises why it cannot.
void OpenAgain(const VideoToRead& video, FrameSource& source) {
    // The caller's index as it stands, shared by the file's identity: packets still to be looked
    // into are looked into as this worker reads them, and the caller settles what was found
    // (RankVideo). Without an identity nothing is shared, and the worker's index is checked.
    if (!source.OpenVideo(video.file, {},
                          video.identity ? FrameSource::PacketChecks::AsRead : FrameSource::PacketChecks::AtOpen))
        throw ReopenFailure(ReopenFailure::Reason::CannotOpen, video.file);
    // Another file under the name would give another video's measures, or none.
    const std::optional<media::FileIdentity>& identity = source.VideoIdentity();
    if (video.identity) {
        if (!identity) throw ReopenFailure(ReopenFailure::Reason::CannotOpen, video.file);
        if (!identity->SameContent(*video.identity)) throw ReopenFailure(ReopenFailure::Reason::Replaced, video.file);
    }
    const FrameSource::CropRectangle& r = video.crop;
    if (video.cropDefined) source.SetCropRect(r.top, r.left, r.height, r.width);
    source.SetCropEnabled(video.cropEnabled);
}

void RankStretches(const VideoToRead& video, int32_t first, size_t worker, StretchQueue& queue,
                   const RunSettings& settings, const std::function<void()>& wake) {
    setpriority(PRIO_PROCESS, id_t(gettid()), kWorkerNice);
    try {
        FrameSource source;
        OpenAgain(video, source);
        imaging::JpegImage jpeg;
        settings.jpeg.ApplyTo(&jpeg);
        media::PictureScaler scaler;
        FrameSource::PreparedImage image;
        int32_t frame = 0;
        while (queue.NextFrame(worker, frame)) {
            FrameResult result;
            result.index = size_t(frame - first);
            result.frame = frame;
            source.PrepareDecoded(frame, image);
            Measures measures;
            image.jpeg.clear();
            MeasurePicture(image, {settings.encode, settings.keepPictures, settings.keepEncodings, settings.measure},
                           jpeg, scaler, measures);
            result.size = measures.size;
            result.length = measures.length;
            result.value = measures.value;
            result.signature = measures.signature;
            if (settings.keepPictures) {
                result.image = std::exchange(image, {});
            } else if (settings.keepEncodings) {
                result.image.jpeg = std::exchange(image.jpeg, {});
            }
            queue.Deliver(std::move(result), wake);
        }
    } catch (...) {
        queue.Fail(std::current_exception());
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
    if (hooks.beforeFrame) throw std::invalid_argument("RunStretches: no frame is decoded on the calling thread");
    // The key frames of the range, counted from its start.
    std::vector<int32_t> keys;
    for (int32_t key : source.KeyPositions()) {
        if (key >= first && key < end) keys.push_back(key - first);
    }
    // One share a worker to begin with; a worker that finishes early takes half of another's.
    // Each share but the first begins at a key frame up to a whole share away from the even
    // split, or is left to the worker before: one begun elsewhere would decode from the key
    // frame before it what that worker reads too, which in a stretch of a GOP or two (a
    // cluster's segment of a video) is most of what it reads.
    std::vector<Stretch> shares =
        SplitAtKeys(keys, end - first, std::max(StretchWorkers(source, settings.threads, end - first), 1), 1.0);
    for (size_t i = shares.size() - 1; i > 0; --i) {
        if (std::binary_search(keys.begin(), keys.end(), shares[i].first)) continue;
        shares[i - 1].end = std::max(shares[i - 1].end, shares[i].end);
        shares.erase(shares.begin() + std::ptrdiff_t(i));
    }
    const int workers = int(shares.size());
    for (Stretch& share : shares) {
        share.first += first;
        share.end += first;
    }
    for (int32_t& key : keys) key += first;
    // Kept pictures wait two a worker at most, as in the encoding pool; kept encodings, a tenth
    // of their size or less, eight.
    const size_t held = settings.keepPictures ? 2 * size_t(workers) : settings.keepEncodings ? 8 * size_t(workers) : 0;
    StretchQueue queue(shares, std::move(keys), held);
    const VideoToRead video{source.VideoFileName(), source.VideoIdentity(), source.CropRect(), source.CropDefined(),
                            source.CropEnabled()};
    std::vector<std::thread> threads;
    threads.reserve(size_t(workers));
    const auto going = [&] { return !hooks.keepGoing || hooks.keepGoing(); };
    bool stopped = false;
    const auto report = [&](std::vector<FrameResult> results) {
        for (FrameResult& result : results) {
            // As RunFrames: unless the run finishes after a stop, each result asks first.
            if (stopped || (!settings.finishAfterStop && !going())) {
                stopped = true;
                return;
            }
            if (hooks.onResult) hooks.onResult(result);
        }
    };
    const auto joinAll = [&] {
        queue.Stop();
        for (std::thread& thread : threads) {
            if (thread.joinable()) thread.join();
        }
    };
    try {
        // A thread that cannot start ends the run; those started are joined first.
        for (size_t i = 0; i < size_t(workers); ++i) {
            threads.emplace_back([&, i] { RankStretches(video, first, i, queue, settings, hooks.wake); });
        }
        while (!stopped && !queue.AllDone(workers)) {
            if (!going()) {
                stopped = true;
                break;
            }
            std::vector<FrameResult> results = queue.Take(!hooks.betweenRounds, workers);
            const bool moved = !results.empty();
            report(std::move(results));
            if (hooks.betweenRounds && !stopped) hooks.betweenRounds(!moved && queue.ArmWake(workers));
        }
        // A stop keeps every frame measured so far, wherever it is, when the run finishes
        // after a stop; a worker's error too, and then ends the run.
        joinAll();
        if (!stopped || settings.finishAfterStop) {
            stopped = false;
            report(queue.Take(false, workers));
        }
    } catch (...) {
        joinAll();
        throw;
    }
    if (std::exception_ptr error = queue.Error()) std::rethrow_exception(error);
}

}  // namespace ranking
