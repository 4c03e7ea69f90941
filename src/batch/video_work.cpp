// SPDX-License-Identifier: GPL-2.0-or-later
#include "batch/video_work.h"

#include <QDir>
#include <QFileInfo>
#include <algorithm>
#include <limits>
#include <numeric>

#include "batch/frame_list.h"
#include "batch/interrupt.h"
#include "framesource/frame_source.h"
#include "framesource/image_writers.h"
#include "framesource/jpeg_options.h"
#include "platform/errors.h"
#include "platform/jpeg_image.h"

namespace batch {

namespace {

QString OpenFailure(const QString& video) {
    const QFileInfo file(video);
    if (!file.exists()) return QStringLiteral("%1: no such file").arg(video);
    if (file.isDir()) return QStringLiteral("%1: is a directory").arg(video);
    if (!file.isReadable()) return QStringLiteral("%1: permission denied").arg(video);
    return QStringLiteral("%1: cannot be read as a video (unknown format, no video stream, or damaged)").arg(video);
}

// The writers' errors are the program's French messages; the command says why in English.
QString WriteFailure(const QString& path, const QString& programMessage) {
    const QFileInfo directory(QFileInfo(path).absolutePath());
    QString reason = QStringLiteral("write failed");
    if (!directory.isDir()) {
        reason = QStringLiteral("no such directory");
    } else if (!directory.isWritable()) {
        reason = QStringLiteral("permission denied");
    } else if (programMessage.endsWith(QStringLiteral(" 112"))) {
        reason = QStringLiteral("no space left on the device");
    } else if (programMessage.startsWith(QStringLiteral("Impossible de créer"))) {
        reason = QStringLiteral("cannot create the file");
    }
    return QStringLiteral("%1: cannot write: %2").arg(path, reason);
}

QString Exists(const QString& path) {
    return QStringLiteral("%1: file exists (use --overwrite or --skip-existing); the command stops").arg(path);
}

// Ranks every frame of the open video, reporting progress out of `total` steps.
std::vector<ranking::Ranked> RankAll(VideoHost& host, int64_t total) {
    std::vector<int32_t> frames(size_t(std::max(FrameSource::FrameCount(), 0)));
    std::iota(frames.begin(), frames.end(), 0);
    gfx::JpegImage jpeg;
    jpegoptions::ApplyTo(&jpeg);
    int64_t asked = 0;
    return ranking::RankFrames(frames, jpeg, [&] {
        host.Progress(asked++, total);
        return !StopRequested();
    });
}

class Extraction {
public:
    Extraction(const Settings& settings, VideoHost& host) : s_(settings), host_(host) {}

    VideoStatus Run(const QString& video) {
        const int32_t frameCount = FrameSource::FrameCount();
        std::vector<int32_t> chosen;
        int64_t total = 0;
        if (s_.choice == Choice::Frames) {
            std::vector<FrameRun> missing;
            chosen = ListedFrames(s_.frames, frameCount, missing);
            for (const FrameRun& run : missing) {
                const QString frames = run.first == run.last
                                           ? QStringLiteral("frame %1").arg(run.first)
                                           : QStringLiteral("frames %1-%2").arg(run.first).arg(run.last);
                host_.Failure(QStringLiteral("%1: %2 past the last frame (%3)").arg(video, frames).arg(frameCount - 1));
                failed_ = true;
            }
            total = int64_t(chosen.size());
        } else {
            total = int64_t(frameCount) + RankedCount(s_.choice, s_.count, frameCount);
        }
        const int64_t names =
            s_.choice == Choice::Frames ? int64_t(chosen.size()) : RankedCount(s_.choice, s_.count, frameCount);
        host_.ReserveNames(names);

        if (s_.choice != Choice::Frames) {
            const std::vector<ranking::Ranked> ranked = RankAll(host_, total);
            if (StopRequested()) return VideoStatus::Stopped;
            for (int64_t i = 0; i < names; ++i) chosen.push_back(ranked[size_t(i)].frame);
        }
        done_ = total - names;

        const int64_t first = host_.FirstNumber();
        if (first < 0 || StopRequested()) return VideoStatus::Stopped;
        if (names > 0 && first + names - 1 > std::numeric_limits<int32_t>::max()) {
            host_.Failure(QStringLiteral("%1: numbers past %2").arg(video).arg(std::numeric_limits<int32_t>::max()));
            return VideoStatus::Failed;
        }
        for (size_t i = 0; i < chosen.size(); ++i) {
            if (StopRequested()) return VideoStatus::Stopped;
            host_.Progress(done_, total);
            const std::optional<VideoStatus> end = Write(video, chosen[i], int32_t(first + int64_t(i)));
            if (end) return *end;
            ++done_;
        }
        host_.Progress(done_, total);
        return failed_ ? VideoStatus::Failed : VideoStatus::Done;
    }

private:
    // Writes one frame; a status when the video's work ends there.
    std::optional<VideoStatus> Write(const QString& video, int32_t frame, int32_t number) {
        const QString name = naming::ImageName(s_.prefix, s_.numbering, number, s_.width, s_.type);
        const QString path = QDir(s_.outDir).filePath(name);
        const bool exists = QFileInfo::exists(path);
        if (exists && s_.existing == Existing::Skip) return {};
        if (exists && s_.existing == Existing::Refuse) {
            host_.Failure(Exists(path));
            return VideoStatus::StopCommand;
        }
        if (!FrameSource::PrepareFrame(frame)) {
            host_.Failure(
                QStringLiteral("%1: frame %2 could not be decoded; %3 not written").arg(video).arg(frame).arg(path));
            failed_ = true;
            return {};
        }
        try {
            const bool written = s_.type == naming::OutputType::Jpeg ? FrameSource::WriteJpegFile(path)
                                                                     : FrameSource::WriteBmpFile(path);
            if (written) return {};
            // The BMP writer says no when the file appeared meanwhile and may not be replaced,
            // or when the disk took only part of it.
            if (s_.existing != Existing::Overwrite && QFileInfo::exists(path)) {
                host_.Failure(Exists(path));
                return VideoStatus::StopCommand;
            }
            host_.Failure(WriteFailure(path, {}));
        } catch (const errors::SilentAbort&) {
            host_.Failure(Exists(path));  // the JPEG writer's refusal of a file that appeared
            return VideoStatus::StopCommand;
        } catch (const errors::Error& error) {
            host_.Failure(WriteFailure(path, error.message()));
        }
        // The next files would go the same way: the video ends here.
        return VideoStatus::Failed;
    }

    const Settings& s_;
    VideoHost& host_;
    bool failed_ = false;
    int64_t done_ = 0;
};

VideoStatus Rank(const QString& video, VideoHost& host) {
    const int64_t total = FrameSource::FrameCount();
    const std::vector<ranking::Ranked> ranked = RankAll(host, total);
    if (StopRequested()) return VideoStatus::Stopped;
    host.Progress(total, total);
    host.Ranked(ranked);
    // A JPEG encoding is never empty: a length of 0 is a frame that could not be had.
    const auto lost =
        std::count_if(ranked.begin(), ranked.end(), [](const ranking::Ranked& r) { return r.length == 0; });
    if (lost == 0) return VideoStatus::Done;
    host.Failure(QStringLiteral("%1: %2 frames could not be decoded (ranked last, with 0 bytes)").arg(video).arg(lost));
    return VideoStatus::Failed;
}

VideoStatus Work(const Settings& settings, const QString& video, VideoHost& host) {
    if (!FrameSource::OpenVideo(video, [](int) { return !StopRequested(); })) {
        if (StopRequested()) return VideoStatus::Stopped;
        host.Failure(OpenFailure(video));
        return VideoStatus::Failed;
    }
    if (settings.crop) {
        const FrameSource::CropRectangle& r = *settings.crop;
        FrameSource::SetCropRect(r.top, r.left, r.height, r.width);
        FrameSource::SetCropEnabled(true);
        if (FrameSource::CropOutsideFrames() || !FrameSource::CropImage()) {
            host.Failure(QStringLiteral("%1: the crop rectangle %2,%3,%4,%5 does not lie inside its %6x%7 frames")
                             .arg(video)
                             .arg(r.left)
                             .arg(r.top)
                             .arg(r.width)
                             .arg(r.height)
                             .arg(FrameSource::FrameWidth())
                             .arg(std::abs(FrameSource::FrameHeight())));
            return VideoStatus::Failed;
        }
    }
    try {
        if (settings.command == Command::Rank) return Rank(video, host);
        return Extraction(settings, host).Run(video);
    } catch (const errors::Error& error) {
        // A JPEG codec error: the program's message names its code.
        host.Failure(QStringLiteral("%1: JPEG encoding failed (%2)").arg(video, error.message()));
        return VideoStatus::Failed;
    }
}

}  // namespace

VideoStatus RunVideo(const Settings& settings, const QString& video, VideoHost& host) {
    const VideoStatus status = Work(settings, video, host);
    FrameSource::CloseVideo();
    return status;
}

}  // namespace batch
