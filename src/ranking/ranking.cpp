// SPDX-License-Identifier: GPL-2.0-or-later
#include "ranking/ranking.h"

#include <algorithm>

#include "ranking/encode_pool.h"

namespace ranking {

ReopenFailure::ReopenFailure(Reason reason, const QString& file)
    : errors::Error(reason == Reason::Replaced
                        ? QStringLiteral("Le fichier %1 a été remplacé par une autre vidéo pendant le tri.").arg(file)
                        : QStringLiteral("La vidéo %1 ne peut plus être ouverte : le tri s'arrête.").arg(file)),
      reason_(reason),
      file_(file) {}

void RunFrames(FrameSource& source, const std::vector<int32_t>& frames, const RunSettings& settings,
               const RunHooks& hooks) {
    const auto going = [&] { return !hooks.keepGoing || hooks.keepGoing(); };
    EncodePool pool(settings.threads, FramePixels(source), settings.jpeg, settings.keepPictures, settings.encode,
                    hooks.wake, settings.keepEncodings, settings.measure);
    size_t next = 0;
    size_t reported = 0;
    bool giving = true;
    const auto report = [&](EncodePool::Result result) {
        FrameResult outcome;
        outcome.index = reported++;
        outcome.frame = frames[outcome.index];
        outcome.size = result.measures.size;
        outcome.length = result.measures.length;
        outcome.value = result.measures.value;
        outcome.signature = result.measures.signature;
        outcome.image = std::move(result.image);
        if (hooks.onResult) hooks.onResult(outcome);
        if (!settings.keepPictures) {
            outcome.image.jpeg.clear();  // a frame that cannot be prepared next keeps no encoding
            pool.Recycle(std::move(outcome.image));
        }
    };
    while (true) {
        bool moved = false;
        while (giving && next < frames.size() && !pool.Full()) {
            if (!going()) {
                giving = false;
                break;
            }
            if (hooks.beforeFrame) hooks.beforeFrame(next);
            // A frame that cannot be prepared is measured as nothing, not as the previous picture.
            FrameSource::PreparedImage image = settings.keepPictures ? FrameSource::PreparedImage{} : pool.Blank();
            source.PrepareDecoded(frames[next++], image);
            pool.Submit(std::move(image));
            moved = true;
            if (hooks.betweenRounds) break;  // one frame a round, so that events run between frames
        }
        if (!giving && !settings.finishAfterStop) return;
        while (pool.Ready() && (settings.finishAfterStop || going())) {
            report(pool.Take());
            moved = true;
        }
        if (!pool.Pending() && (!giving || next >= frames.size())) return;
        if (hooks.betweenRounds) {
            hooks.betweenRounds(!moved && pool.ArmWake());
            if (!settings.finishAfterStop && !going()) return;
        } else if (!moved) {
            report(pool.Take());  // nothing to give and nothing ready: wait for the oldest
        }
    }
}

void RunRanking(FrameSource& source, const std::vector<int32_t>& frames, const RunSettings& settings,
                const RunHooks& hooks) {
    const bool consecutive = !frames.empty() && frames.back() - frames.front() == int32_t(frames.size()) - 1 &&
                             std::is_sorted(frames.begin(), frames.end());
    // The stretch workers decode on their own threads: a hook before each decode on this one
    // needs the single reader.
    if (consecutive && !hooks.beforeFrame && StretchWorkers(source, settings.threads, int32_t(frames.size())) > 1) {
        RunStretches(source, frames.front(), frames.back() + 1, settings, hooks);
    } else {
        RunFrames(source, frames, settings, hooks);
    }
}

std::vector<Ranked> RankFrames(FrameSource& source, const std::vector<int32_t>& frames,
                               const jpeg_options::JpegOptions& jpeg, const std::function<bool()>& keepGoing,
                               int threads, const std::function<void(int64_t measured)>& measured,
                               const Measure& measure) {
    std::vector<Ranked> ranked;
    ranked.reserve(frames.size());
    RunSettings settings;
    settings.threads = threads;
    settings.jpeg = jpeg;
    settings.finishAfterStop = true;
    settings.measure = measure;
    // The JPEG encoding is made only when it is the measure.
    settings.encode = measure.encodes;
    RunHooks hooks;
    hooks.keepGoing = keepGoing;
    hooks.onResult = [&](FrameResult& result) {
        ranked.push_back({result.frame, result.value, result.signature});
        if (measured) measured(int64_t(ranked.size()));
    };
    RunRanking(source, frames, settings, hooks);
    std::stable_sort(ranked.begin(), ranked.end(), [&](const Ranked& a, const Ranked& b) {
        return measure.RanksBefore(a.value, a.frame, b.value, b.frame);
    });
    return ranked;
}

std::vector<Ranked> RankVideo(FrameSource& source, const jpeg_options::JpegOptions& jpeg,
                              const std::function<bool()>& keepGoing, int threads,
                              const std::function<void(int64_t measured)>& measured, const std::function<void()>& again,
                              const Measure& measure) {
    const auto going = [&] { return !keepGoing || keepGoing(); };
    while (true) {
        std::vector<int32_t> frames(size_t(std::max(source.FrameCount(), 0)));
        for (size_t i = 0; i < frames.size(); ++i) frames[i] = int32_t(i);
        std::vector<Ranked> ranked = RankFrames(source, frames, jpeg, keepGoing, threads, measured, measure);
        // The count the ranking's own reading told: the frames asked for past it were none.
        const auto pastTheEnd = [&] {
            std::erase_if(ranked, [&](const Ranked& r) { return r.frame >= source.FrameCount(); });
            return ranked;
        };
        // A stopped ranking is given as it stands; what it read is still recorded.
        if (!going() || source.PacketsFound() == media::PacketsState::Whole) return pastTheEnd();
        const media::PacketsState checked = source.CheckPackets([&](int) { return going(); });
        if (checked == media::PacketsState::Whole) return pastTheEnd();  // those left unread were whole
        if (checked == media::PacketsState::Unread) {
            if (!going()) return ranked;
            throw ReopenFailure(ReopenFailure::Reason::CannotOpen, source.VideoFileName());
        }
        if (again) again();
    }
}

scenes::SceneList ScenesOf(const std::vector<Ranked>& ranked, int32_t first, int32_t end, double frameRate) {
    const size_t count = size_t(std::max(end - first, 0));
    std::vector<scenes::Signature> signatures(count);
    std::vector<bool> measured(count, false);
    for (const Ranked& r : ranked) {
        if (r.frame < first || r.frame >= end || !r.value.Measured()) continue;
        signatures[size_t(r.frame - first)] = r.signature;
        measured[size_t(r.frame - first)] = true;
    }
    scenes::SceneList list = scenes::FindScenes(signatures, measured, frameRate);
    for (scenes::Cut& cut : list.cuts) {
        cut.frame += first;
        cut.transitionFirst += first;
        cut.transitionEnd += first;
    }
    return list;
}

}  // namespace ranking
