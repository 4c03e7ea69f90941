// SPDX-License-Identifier: GPL-2.0-or-later
#include "batch/video_work.h"

#include <unistd.h>
#include <QDir>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>
#include <numeric>
#include <set>
#include <utility>

#include "base/errors.h"
#include "batch/aside_folder.h"
#include "batch/interrupt.h"
#include "batch/plot_file.h"
#include "batch/video_file.h"
#include "batchcli/frame_list.h"
#include "batchcli/output_checks.h"
#include "framesource/frame_source.h"
#include "framesource/image_writers.h"
#include "framesource/jpeg_options.h"
#include "framesource/output_types.h"
#include "imaging/jpeg_image.h"
#include "media/file_identity.h"
#include "media/index_store.h"
#include "rankfile/ranking_file.h"
#include "ranking/encode_pool.h"
#include "ranking/frame_choice.h"
#include "ranking/ranking.h"
#include "ranking/stretches.h"

namespace batch {

namespace {

QString Exists(const QString& path) {
    return QStringLiteral("%1: file exists (use --overwrite or --skip-existing); the command stops").arg(path);
}

std::vector<RankedFrame> WithTimes(const FrameSource& source, const std::vector<ranking::Ranked>& ranking) {
    std::vector<RankedFrame> ranked;
    ranked.reserve(ranking.size());
    for (const ranking::Ranked& r : ranking) {
        RankedFrame& frame = ranked.emplace_back();
        frame.frame = r.frame;
        frame.value = r.value;
        frame.time = source.FrameTime(r.frame);
        frame.signature = r.signature;
    }
    return ranked;
}

// Ranks the frames from `first` to `end` (excluded) of the open video, reporting progress out
// of `total` steps.
std::vector<RankedFrame> RankAll(FrameSource& source, const Settings& settings, VideoHost& host, int64_t total,
                                 int32_t first, int32_t end) {
    std::vector<int32_t> frames(size_t(std::max(end - first, 0)));
    std::iota(frames.begin(), frames.end(), first);
    host.Progress(0, total);
    const auto keepGoing = [] { return !StopRequested(); };
    const auto measured = [&](int64_t done) { host.Progress(done, total); };
    return WithTimes(source,
                     ranking::RankFrames(source, frames, settings.Jpeg(), keepGoing, 0, measured, settings.measure));
}

// A frame whose JPEG file is written in the ranking's own pass costs a file written aside (and
// removed when it falls out of the best so far); written after the ranking, it costs a second
// decode and an encoding, some 40 times more at 1080p. Even when every frame of the video
// passes through the best (lengths growing along it), the one pass costs less once the files
// chosen are a sixteenth of the frames.
constexpr int64_t kOnePassShare = 16;

// The frames of a ranking (best first) that the scenes and the gap let through, as many as
// --best or --percent ask; empty with `error` when the ranking has no scenes to choose by.
std::vector<RankedFrame> ChosenByScenesOrTime(const Settings& s, const VideoRanking& ranking, int32_t frameCount,
                                              QString& error) {
    std::vector<frame_choice::Candidate> candidates;
    for (const RankedFrame& r : ranking.frames) candidates.push_back({r.frame, r.value, r.time});
    if (s.perScene) {
        const std::optional<scenes::SceneList> scenes = ScenesOf(ranking);
        if (!scenes) {
            error = WithoutScenes(s.ranking, ranking.video.isNull() ? QStringLiteral("the video") : ranking.video);
            return {};
        }
        candidates = frame_choice::BestOfEachScene(candidates, *scenes);
    }
    if (s.minGap > 0) candidates = frame_choice::SpreadApart(candidates, s.minGap);
    const auto count = std::min<int64_t>(RankedCount(s.choice, s.count, frameCount), int64_t(candidates.size()));
    std::vector<RankedFrame> chosen;
    for (int64_t i = 0; i < count; ++i) {
        const frame_choice::Candidate& c = candidates[size_t(i)];
        chosen.push_back({c.frame, c.value, c.time});
    }
    return chosen;
}

// The prepared frame's value under `measure` (the JPEG encoding's with the command's options).
ranking::Value OutputValue(const FrameSource& source, const Settings& settings, const ranking::Measure& measure) {
    if (!measure.encodes) {
        const std::optional<ranking::Rows> rows = ranking::OutputRows(source);
        return rows ? ranking::Value::Of(measure.ofRows(*rows)) : ranking::Value::Unreadable();
    }
    imaging::JpegImage jpeg;
    settings.Jpeg().ApplyTo(&jpeg);
    if (!image_writers::EncodeDib(source.OutputImage(), source.PaletteBytes(), jpeg))
        return ranking::Value::Unreadable();
    return ranking::Value::Of(int64_t(jpeg.data().size()));
}

class Extraction {
public:
    Extraction(FrameSource& source, const Settings& settings, VideoHost& host)
        : source_(source), s_(settings), host_(host) {}

    VideoStatus Run(const QString& video) {
        if (s_.choice == Choice::Frames && !SettleListedFrames(source_, s_)) {
            host_.Failure(OpenFailure(video));
            return VideoStatus::Failed;
        }
        int32_t frameCount = source_.FrameCount();
        std::vector<int32_t> chosen;
        int64_t total = 0;
        if (s_.choice == Choice::Frames) {
            std::vector<FrameRun> missing;
            chosen = ListedFrames(s_.frames, frameCount, missing);
            for (const FrameRun& run : missing) {
                host_.Failure(PastTheEnd(video, run, frameCount));
                failed_ = true;
            }
            total = int64_t(chosen.size());
        }
        // Without scenes or a gap, the count of names is known before the ranking, unless the
        // ranking is to tell the count of frames (packets not looked into yet: RankVideo).
        const bool byScenesOrTime = s_.choice != Choice::Frames && s_.ChoosesByScenesOrTime();
        const bool countByRanking = s_.choice != Choice::Frames && source_.PacketsFound() != media::PacketsState::Whole;
        const bool namesAfterRanking = byScenesOrTime || countByRanking;
        int64_t names =
            s_.choice == Choice::Frames ? int64_t(chosen.size()) : RankedCount(s_.choice, s_.count, frameCount);
        if (s_.choice != Choice::Frames) total = int64_t(frameCount) + (byScenesOrTime ? 0 : names);
        VideoRanking ranking;
        ranking.video = video;
        if (!s_.ranking.isEmpty()) {
            // Refused before the video takes any number.
            QString error;
            ranking = SavedRanking(s_.ranking, video, frameCount, error);
            if (!error.isEmpty()) {
                host_.Failure(error);
                return VideoStatus::Failed;
            }
            // The manifest tells the values by the measure the file ranks with.
            measure_ = ranking.measure;
            // rank's text holds no times: --min-gap takes them from the video.
            for (RankedFrame& r : ranking.frames) r.time = source_.FrameTime(r.frame);
        }
        if (!namesAfterRanking) host_.ReserveNames(names);

        if (s_.choice != Choice::Frames) {
            if (s_.ranking.isEmpty()) {
                const auto recount = [&] {
                    frameCount = source_.FrameCount();
                    names = RankedCount(s_.choice, s_.count, frameCount);
                    total = int64_t(frameCount) + (byScenesOrTime ? 0 : names);
                };
                const auto again = [&] {
                    recount();
                    host_.Progress(0, total);
                };
                // Files chosen by their place in the ranking alone, as the bytes it measures.
                const bool onePass = !byScenesOrTime && output_types::Of(s_.type).jpegOptions && s_.measure.encodes &&
                                     names > 0 && names * kOnePassShare >= frameCount;
                std::optional<std::vector<RankedFrame>> writing;
                if (onePass) writing = RankWriting(names, total, frameCount);
                if (writing) {
                    ranking.frames = std::move(*writing);
                } else if (countByRanking) {
                    if (onePass) again();  // the count the index built from the data gives
                    host_.Progress(0, total);
                    const auto keepGoing = [] { return !StopRequested(); };
                    const auto measured = [&](int64_t done) { host_.Progress(done, total); };
                    ranking.frames = WithTimes(
                        source_, ranking::RankVideo(source_, s_.Jpeg(), keepGoing, 0, measured, again, s_.measure));
                } else {
                    ranking.frames = RankAll(source_, s_, host_, total, 0, frameCount);
                }
                // A damaged stream's count is told by the ranking's own reading (see RankVideo).
                if (source_.FrameCount() != frameCount) recount();
            }
            if (s_.ranking.isEmpty()) {
                if (s_.perScene) FindScenes(ranking, frameCount, 1.0 / source_.FrameDuration());
                // Said as rank says it, whichever frames the choice then takes.
                const auto lost = std::count_if(ranking.frames.begin(), ranking.frames.end(),
                                                [](const RankedFrame& r) { return !r.value.Measured(); });
                if (lost > 0 && !StopRequested()) {
                    host_.Failure(UndecodedFrames(video, lost, s_.measure));
                    failed_ = true;
                }
            }
            if (StopRequested()) {
                if (namesAfterRanking) host_.ReserveNames(0);
                return VideoStatus::Stopped;
            }
            std::vector<RankedFrame> ranked;
            if (byScenesOrTime) {
                QString error;
                ranked = ChosenByScenesOrTime(s_, ranking, frameCount, error);
                if (!error.isEmpty()) {
                    host_.Failure(error);
                    host_.ReserveNames(0);
                    return VideoStatus::Failed;
                }
                names = int64_t(ranked.size());
                total = int64_t(frameCount) + names;
                host_.ReserveNames(names);
            } else {
                ranked = std::move(ranking.frames);
                if (countByRanking) host_.ReserveNames(names);
            }
            for (int64_t i = 0; i < names; ++i) {
                chosen.push_back(ranked[size_t(i)].frame);
                values_.push_back(ranked[size_t(i)].value);
            }
        }
        done_ = total - names;

        const int64_t first = host_.FirstNumber();
        if (first < 0 || StopRequested()) return VideoStatus::Stopped;
        if (names > 0 && first + names - 1 > std::numeric_limits<int32_t>::max()) {
            host_.Failure(QStringLiteral("%1: numbers past %2").arg(video).arg(std::numeric_limits<int32_t>::max()));
            return VideoStatus::Failed;
        }
        if (!NamesRepeat(chosen.size(), first)) return WriteInFileOrder(video, chosen, first, total);
        for (size_t i = 0; i < chosen.size(); ++i) {
            if (StopRequested()) return VideoStatus::Stopped;
            host_.Progress(done_, total);
            const ranking::Value known = i < values_.size() ? values_[i] : ranking::Value{};
            const std::optional<VideoStatus> end = Write(video, chosen[i], int32_t(first + int64_t(i)), known);
            if (end) return *end;
            ++done_;
        }
        host_.Progress(done_, total);
        return failed_ ? VideoStatus::Failed : VideoStatus::Done;
    }

private:
    // Two numbers give the same name (no numbering): the files must then be written in their
    // numbers' order, each over the one before.
    bool NamesRepeat(size_t count, int64_t first) const {
        return count > 1 && s_.Naming().PathOf(int32_t(first)) == s_.Naming().PathOf(int32_t(first + 1));
    }

    // Decodes the chosen frames in the file's order, in one pass where the frames lie close
    // (the reader decodes on rather than seeking back to a key frame), and writes each as it
    // is reached under its own number's name: the same files as writing them in their numbers'
    // order, without reaching each frame from a key frame of its own (or, in a damaged
    // recording, from the file's start). The names in the way are looked at first, in the
    // numbers' order: the files before the first one refused are written.
    VideoStatus WriteInFileOrder(const QString& video, const std::vector<int32_t>& chosen, int64_t first,
                                 int64_t total) {
        std::vector<size_t> order;
        std::vector<WrittenFrame> written;
        std::optional<QString> refused;
        for (size_t i = 0; i < chosen.size() && !refused; ++i) {
            const auto number = int32_t(first + int64_t(i));
            const QString path = s_.Naming().PathOf(number);
            const bool taken = s_.existing != Existing::Overwrite && image_writers::Taken(path);
            if (taken && s_.existing == Existing::Skip) {
                // Listed as kept, with the frame this run would have written there.
                const ranking::Value known = i < values_.size() ? values_[i] : ranking::Value{};
                written.push_back({number, chosen[i], source_.FrameTime(chosen[i]), known, true});
                ++done_;
            } else if (taken) {
                refused = path;
            } else {
                order.push_back(i);
            }
        }
        // The files the ranking wrote aside take their names first; the other frames are decoded.
        std::optional<VideoStatus> end;
        std::vector<size_t> decoded;
        for (const size_t i : order) {
            if (aside_ && aside_->Holds(chosen[i])) {
                const ranking::Value known = i < values_.size() ? values_[i] : ranking::Value{};
                const auto number = int32_t(first + int64_t(i));
                pending_.push_back({chosen[i], {number, chosen[i], source_.FrameTime(chosen[i]), known}});
                ++done_;
            } else {
                decoded.push_back(i);
            }
        }
        end = Flush(written);
        host_.Progress(done_, total);
        order = end ? std::vector<size_t>{} : std::move(decoded);
        if (!aside_) {
            aside_.emplace(s_.outDir);
            // Where no folder can be made aside, each file is written aside alone.
            if (aside_->Error() != 0) aside_.reset();
        }
        std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) { return chosen[a] < chosen[b]; });
        std::vector<int32_t> frames;
        for (const size_t i : order) frames.push_back(chosen[i]);

        ranking::RunSettings run;
        run.keepPictures = true;
        // JPEG files are encoded by the workers; so is every frame whose length the manifest
        // tells and no ranking gave (another measure is taken from the rows).
        const bool valuesWanted = !s_.manifest.isEmpty() && values_.size() < chosen.size();
        run.encode = output_types::Of(s_.type).jpegOptions || (valuesWanted && measure_.encodes);
        // Another measure is taken only for the manifest.
        run.measure = valuesWanted ? measure_ : ranking::JpegLength();
        run.jpeg = s_.Jpeg();
        ranking::RunHooks hooks;
        hooks.keepGoing = [&] { return !end && !StopRequested(); };
        hooks.onResult = [&](ranking::FrameResult& result) {
            const size_t i = order[result.index];
            host_.Progress(done_, total);
            const ranking::Value value = i < values_.size()      ? values_[i]
                                         : s_.manifest.isEmpty() ? ranking::Value{}
                                                                 : result.value;
            end = WritePrepared(video, result, int32_t(first + int64_t(i)), value, written);
            ++done_;
        };
        // The files are told in their numbers' order, as the manifest lists them, even when an
        // encoding error ends the run.
        const auto tell = [&] {
            std::sort(written.begin(), written.end(),
                      [](const WrittenFrame& a, const WrittenFrame& b) { return a.number < b.number; });
            for (const WrittenFrame& w : written) host_.Wrote(w);
        };
        try {
            if (!frames.empty()) ranking::RunFrames(source_, frames, run, hooks);
        } catch (...) {
            Flush(written);
            tell();
            throw;
        }
        const std::optional<VideoStatus> last = Flush(written);
        if (!end) end = last;
        tell();
        if (end) return *end;
        if (StopRequested()) return VideoStatus::Stopped;
        if (refused) {
            host_.Failure(Exists(*refused));
            return VideoStatus::StopCommand;
        }
        host_.Progress(done_, total);
        return failed_ ? VideoStatus::Failed : VideoStatus::Done;
    }

    bool WritePreparedFile(const FrameSource::PreparedImage& image, const QString& path) {
        return output_types::Of(s_.type).writePrepared(image, path, s_.Jpeg(), &writeError_);
    }

    // Writes one frame prepared by the run; a status when the video's work ends there.
    std::optional<VideoStatus> WritePrepared(const QString& video, const ranking::FrameResult& result, int32_t number,
                                             ranking::Value value, std::vector<WrittenFrame>& written) {
        const QString path = s_.Naming().PathOf(number);
        if (result.image.dib.empty()) {
            host_.Failure(QStringLiteral("%1: frame %2 could not be decoded; %3 not written")
                              .arg(video)
                              .arg(result.frame)
                              .arg(path));
            failed_ = true;
            return {};
        }
        const WrittenFrame file{number, result.frame, source_.FrameTime(result.frame), value};
        if (!aside_) {
            return Written(
                path, [&] { return WritePreparedFile(result.image, path); }, file, written);
        }
        const int64_t key = kDecodedKey + number;
        int error = 0;
        if (!WriteAside(key, result.image, error)) {
            host_.Failure(WriteFailure(path, error));
            return VideoStatus::Failed;  // the next files would go the same way
        }
        pending_.push_back({key, file});
        pendingBytes_ += int64_t(result.image.dib.size());
        if (pending_.size() < kFilesPerSync && pendingBytes_ < kBytesPerSync) return {};
        return Flush(written);
    }

    // Writes the prepared picture's file into the folder aside as `key`; false with the
    // system's error number (0: the picture gives no such file).
    bool WriteAside(int64_t key, const FrameSource::PreparedImage& image, int& error) {
        error = 0;
        output_types::FileBytes bytes;
        if (!output_types::Of(s_.type).fileBytes(image, s_.Jpeg(), bytes)) return false;
        error = aside_->Write(key,
                              {{bytes.parts[0].data, bytes.parts[0].size}, {bytes.parts[1].data, bytes.parts[1].size}});
        return error == 0;
    }

    // Puts the files written aside on disk together, then gives each its name, in the order
    // written; a status when the video's work ends there (the files after are removed).
    std::optional<VideoStatus> Flush(std::vector<WrittenFrame>& written) {
        std::vector<std::pair<int64_t, WrittenFrame>> files = std::exchange(pending_, {});
        pendingBytes_ = 0;
        std::optional<VideoStatus> end;
        size_t synced = 0;
        int syncError = 0;
        while (synced < files.size() && (syncError = aside_->Sync(files[synced].first)) == 0) ++synced;
        for (size_t i = 0; i < files.size(); ++i) {
            const auto& [key, file] = files[i];
            if (end || i > synced) {
                aside_->Remove(key);
                continue;
            }
            const QString path = s_.Naming().PathOf(file.number);
            int error = syncError;
            if (i < synced) {
                switch (aside_->Place(key, path, s_.existing == Existing::Overwrite, error)) {
                    case AsideFolder::Placed::Done:
                        written.push_back(file);
                        continue;
                    case AsideFolder::Placed::Refused:
                        host_.Failure(Exists(path));
                        end = VideoStatus::StopCommand;
                        continue;
                    case AsideFolder::Placed::Failed:
                        break;
                }
            }
            host_.Failure(WriteFailure(path, error));
            end = VideoStatus::Failed;  // the next files would go the same way
        }
        return end;
    }

    // Ranks every frame as RankAll does, and writes aside, as each is measured, the JPEG file
    // of every frame among the `names` best so far: the very bytes measured. A frame that falls
    // out of the best loses its file. A file that cannot be written aside is left to the
    // writing after the ranking, which says why. Nothing when no folder aside could be made, or
    // when the packets, looked into as the ranking read them, showed the video's positions
    // other than its tables said (the files aside are then dropped, the index was built anew).
    std::optional<std::vector<RankedFrame>> RankWriting(int64_t names, int64_t total, int32_t frameCount) {
        aside_.emplace(s_.outDir);
        if (aside_->Error() != 0) {
            aside_.reset();
            return std::nullopt;
        }
        std::vector<int32_t> frames(size_t(std::max(frameCount, 0)));
        std::iota(frames.begin(), frames.end(), 0);
        std::vector<RankedFrame> ranked;
        ranked.reserve(frames.size());
        // The best so far as (length, -frame), so that the worst comes first: the JPEG length
        // alone ranks here (see onePass).
        std::set<std::pair<int64_t, int32_t>> best;
        bool writing = true;
        // Waits for its files when the ranking ends, whichever way.
        AsideWriter writer(*aside_);
        ranking::RunSettings run;
        run.jpeg = s_.Jpeg();
        run.finishAfterStop = true;
        run.keepEncodings = true;
        ranking::RunHooks hooks;
        hooks.keepGoing = [] { return !StopRequested(); };
        hooks.onResult = [&](ranking::FrameResult& result) {
            RankedFrame& r = ranked.emplace_back();
            r.frame = result.frame;
            r.value = result.value;
            r.time = source_.FrameTime(result.frame);
            r.signature = result.signature;
            host_.Progress(int64_t(ranked.size()), total);
            std::vector<uint8_t>& jpeg = result.image.jpeg;
            if (!writing || !r.value.Measured() || int64_t(jpeg.size()) != r.value.steps || StopRequested()) return;
            const std::pair<int64_t, int32_t> place{r.value.steps, -r.frame};
            if (int64_t(best.size()) >= names && place < *best.begin()) return;
            if (!writer.Write(r.frame, std::move(jpeg))) {
                writing = false;
                return;
            }
            best.insert(place);
            if (int64_t(best.size()) > names) {
                writer.Remove(-best.begin()->second);
                best.erase(best.begin());
            }
        };
        host_.Progress(0, total);
        ranking::RunRanking(source_, frames, run, hooks);
        writer.Finish();
        if (!StopRequested() && source_.PacketsFound() != media::PacketsState::Whole) {
            const media::PacketsState checked = source_.CheckPackets([](int) { return !StopRequested(); });
            if (checked == media::PacketsState::Unread && !StopRequested()) {
                throw ranking::ReopenFailure(ranking::ReopenFailure::Reason::CannotOpen, source_.VideoFileName());
            }
            if (checked == media::PacketsState::Damaged) {
                aside_.reset();
                return std::nullopt;
            }
        }
        // Frames asked for past the count the reading told were none (no file was written for
        // them); the best of a smaller count are among those written.
        std::erase_if(ranked, [&](const RankedFrame& r) { return r.frame >= source_.FrameCount(); });
        SortRanking(s_.measure, ranked);
        return ranked;
    }

    // Writes a file through `write`, telling `file` when done; a status when the video's work
    // ends there.
    template <typename WriteFunction>
    std::optional<VideoStatus> Written(const QString& path, const WriteFunction& write, const WrittenFrame& file,
                                       std::vector<WrittenFrame>& written) {
        writeError_ = {};
        try {
            if (write()) {
                written.push_back(file);
                return {};
            }
            // The BMP writer says no when the file appeared meanwhile and may not be replaced,
            // or when the disk took only part of it.
            if (s_.existing != Existing::Overwrite && image_writers::Taken(path)) {
                host_.Failure(Exists(path));
                return VideoStatus::StopCommand;
            }
            host_.Failure(WriteFailure(path, writeError_.systemError));
        } catch (const errors::SilentAbort&) {
            host_.Failure(Exists(path));  // the JPEG writer's refusal of a file that appeared
            return VideoStatus::StopCommand;
        } catch (const errors::FileFailure& failure) {
            host_.Failure(WriteFailure(failure.error()));
        }
        // The next files would go the same way: the video ends here.
        return VideoStatus::Failed;
    }

    bool WriteFile(const QString& path) {
        return output_types::Of(s_.type).writeFrame(source_, path, s_.Jpeg(), &writeError_);
    }

    // Writes one frame, whose value is known (not measured: not yet); a status when the video's
    // work ends there.
    std::optional<VideoStatus> Write(const QString& video, int32_t frame, int32_t number, ranking::Value value) {
        const QString path = s_.Naming().PathOf(number);
        const bool exists = image_writers::Taken(path);
        if (exists && s_.existing == Existing::Skip) {
            host_.Wrote({number, frame, source_.FrameTime(frame), value, true});
            return {};
        }
        if (exists && s_.existing == Existing::Refuse) {
            host_.Failure(Exists(path));
            return VideoStatus::StopCommand;
        }
        if (!source_.PrepareFrame(frame)) {
            host_.Failure(
                QStringLiteral("%1: frame %2 could not be decoded; %3 not written").arg(video).arg(frame).arg(path));
            failed_ = true;
            return {};
        }
        // Only the manifest tells the value: a listed frame is measured for it alone.
        if (!value.Measured() && !s_.manifest.isEmpty()) value = OutputValue(source_, s_, measure_);
        std::vector<WrittenFrame> written;
        const std::optional<VideoStatus> end = Written(
            path, [&] { return WriteFile(path); }, {number, frame, source_.FrameTime(frame), value}, written);
        for (const WrittenFrame& w : written) host_.Wrote(w);
        return end;
    }

    // Keys of the files decoded after the ranking, apart from the frames' own.
    static constexpr int64_t kDecodedKey = int64_t(1) << 32;
    // Files written aside before they are put on disk together and named.
    static constexpr size_t kFilesPerSync = 64;
    static constexpr int64_t kBytesPerSync = int64_t(256) << 20;

    FrameSource& source_;
    const Settings& s_;
    VideoHost& host_;
    std::optional<AsideFolder> aside_;
    std::vector<std::pair<int64_t, WrittenFrame>> pending_;  // written aside, not yet named
    int64_t pendingBytes_ = 0;
    std::vector<ranking::Value> values_;  // of the ranked frames chosen, in their order
    // What the values are: the command's measure, or the one of the ranking it reads.
    ranking::Measure measure_ = s_.measure;
    bool failed_ = false;
    int64_t done_ = 0;
    errors::FileError writeError_;  // the last write that failed without raising it (the BMP writer's)
};

VideoStatus Rank(FrameSource& source, const Settings& settings, const QString& video, VideoHost& host) {
    const auto opened = [&] {
        host.Opened(
            {source.FrameCount(), 1.0 / source.FrameDuration(), source.FrameWidth(), std::abs(source.FrameHeight())});
    };
    opened();
    ranking::Stretch stretch{0, source.FrameCount()};
    std::optional<media::FileIdentity> identity;
    // Tells the segment's stretch of the video as now indexed.
    const auto segment = [&] {
        stretch = ranking::SplitAtKeys(source.KeyPositions(), source.FrameCount(),
                                       settings.segmentCount)[size_t(settings.segmentIndex - 1)];
        const bool fromTables = source.PacketsFound() != media::PacketsState::Whole;
        host.Segment({settings.segmentIndex, settings.segmentCount, stretch.first, stretch.end, identity->size,
                      QString::fromStdString(identity->Fingerprint()), settings.RankingOptions(), fromTables});
        return fromTables;
    };
    bool fromTables = false;
    if (settings.segmentCount > 0) {
        // Merge joins only parts of one content, whatever their file's name or time.
        identity = media::index_store::IdentityFor(naming::PathBytes(video).toStdString());
        if (!identity) {
            host.Failure(
                QStringLiteral("%1: cannot be read: %2").arg(video, QString::fromLocal8Bit(std::strerror(errno))));
            return VideoStatus::Failed;
        }
        fromTables = segment();
    }
    VideoRanking ranking;
    ranking.video = video;
    ranking.measure = settings.measure;
    if (settings.segmentCount > 0) {
        ranking.frames = RankAll(source, settings, host, stretch.size(), stretch.first, stretch.end);
        // Ranked on an index read from the tables, the segment answers for its stretch's packets
        // (the others' tasks for theirs). One damaged, the video is indexed from its data, as a
        // first open indexes it, that index saved for the other tasks, and the stretch it then
        // gives ranked: merge joins this segment only with others ranked on that index.
        if (fromTables && !StopRequested()) {
            media::PacketsState found = source.CheckStretchPackets(stretch.first, stretch.end);
            if (found != media::PacketsState::Whole) found = source.CheckPackets([](int) { return !StopRequested(); });
            if (StopRequested()) return VideoStatus::Stopped;
            if (found == media::PacketsState::Unread) {
                throw ranking::ReopenFailure(ranking::ReopenFailure::Reason::CannotOpen, source.VideoFileName());
            }
            if (found == media::PacketsState::Damaged) {
                opened();
                segment();
                ranking.frames = RankAll(source, settings, host, stretch.size(), stretch.first, stretch.end);
            }
        }
    } else {
        // Opened without its packets read, the video may turn out damaged: its frames are then
        // told and ranked again.
        host.Progress(0, source.FrameCount());
        const auto keepGoing = [] { return !StopRequested(); };
        const auto measured = [&](int64_t done) { host.Progress(done, source.FrameCount()); };
        const auto again = [&] {
            opened();
            host.Progress(0, source.FrameCount());
        };
        ranking.frames = WithTimes(
            source, ranking::RankVideo(source, settings.Jpeg(), keepGoing, 0, measured, again, settings.measure));
        stretch = {0, source.FrameCount()};
    }
    if (StopRequested()) return VideoStatus::Stopped;
    const int64_t total = stretch.size();
    // A segment's scenes are found by merge, which sees the frames on each side of its ends.
    if (settings.segmentCount == 0) FindScenes(ranking, source.FrameCount(), 1.0 / source.FrameDuration());
    host.Progress(total, total);
    host.Ranked(ranking.frames, ranking.cuts);
    if (!settings.plot.isEmpty()) {
        const int error = WritePlot(ranking, source.FrameCount(), 1.0 / source.FrameDuration(), settings.plot,
                                    settings.existing == Existing::Overwrite);
        if (error == EEXIST) {
            host.Failure(QStringLiteral("%1: file exists (use --overwrite)").arg(settings.plot));
            return VideoStatus::Failed;
        }
        if (error != 0) {
            host.Failure(WriteFailure(settings.plot, error));
            return VideoStatus::Failed;
        }
    }
    const std::vector<RankedFrame>& ranked = ranking.frames;
    const auto lost =
        std::count_if(ranked.begin(), ranked.end(), [](const RankedFrame& r) { return !r.value.Measured(); });
    if (lost == 0) return VideoStatus::Done;
    host.Failure(UndecodedFrames(video, lost, settings.measure));
    return VideoStatus::Failed;
}

VideoStatus Work(FrameSource& source, const Settings& settings, const QString& video, VideoHost& host) {
    const VideoFile file(source, video, {}, PacketChecksFor(settings));
    if (!file.IsOpen()) {
        if (StopRequested()) return VideoStatus::Stopped;
        host.Failure(OpenFailure(video));
        return VideoStatus::Failed;
    }
    if (settings.crop) {
        const FrameSource::CropRectangle& r = *settings.crop;
        source.SetCropRect(r.top, r.left, r.height, r.width);
        source.SetCropEnabled(true);
        if (source.CropOutsideFrames() || !source.CropImage()) {
            host.Failure(QStringLiteral("%1: the crop rectangle %2,%3,%4,%5 does not lie inside its %6x%7 frames")
                             .arg(video)
                             .arg(r.left)
                             .arg(r.top)
                             .arg(r.width)
                             .arg(r.height)
                             .arg(source.FrameWidth())
                             .arg(std::abs(source.FrameHeight())));
            return VideoStatus::Failed;
        }
    }
    try {
        if (settings.command == Command::Rank) return Rank(source, settings, video, host);
        return Extraction(source, settings, host).Run(video);
    } catch (const ranking::ReopenFailure& failure) {
        host.Failure(failure.reason() == ranking::ReopenFailure::Reason::Replaced
                         ? QStringLiteral("%1: the file was replaced by another video during the ranking").arg(video)
                         : QStringLiteral("%1: cannot open the video again to rank it (removed, renamed or "
                                          "unreadable since it was opened)")
                               .arg(video));
        return VideoStatus::Failed;
    } catch (const errors::Error& error) {
        // A JPEG codec error: the program's message names its code.
        host.Failure(QStringLiteral("%1: JPEG encoding failed (%2)").arg(video, error.message()));
        return VideoStatus::Failed;
    }
}

}  // namespace

VideoStatus RunVideo(const Settings& settings, const QString& video, VideoHost& host) {
    FrameSource source;
    return Work(source, settings, video, host);
}

QString OutputName(const Settings& s, int32_t number) { return s.Naming().NameOf(number); }

}  // namespace batch
