// SPDX-License-Identifier: GPL-2.0-or-later
#include "batch/video_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <algorithm>
#include <cerrno>

#include "batch/interrupt.h"
#include "batchcli/settings.h"
#include "framesource/frame_source.h"
#include "framesource/naming.h"

namespace batch {

VideoFile::VideoFile(FrameSource& source, const QString& video, const std::function<void(int)>& told,
                     FrameSource::PacketChecks checks)
    : source_(source) {
    const auto progress = [&](int percent) {
        if (told) told(percent);
        return !StopRequested();
    };
    const QByteArray path = naming::PathBytes(video);
    if (path == video.toUtf8()) {
        open_ = source_.OpenVideo(video, progress, checks);
        return;
    }
    // The readers take a path as UTF-8 text: one that is not UTF-8 reaches them as the name of
    // a descriptor open on it, kept while the video is.
    heldFile_ = open(path.constData(), O_RDONLY | O_CLOEXEC);
    if (heldFile_ < 0) return;
    open_ = source_.OpenVideo(QStringLiteral("/proc/self/fd/%1").arg(heldFile_), progress, checks);
    if (!open_) Close();
}

VideoFile::~VideoFile() { Close(); }

void VideoFile::Close() {
    source_.CloseVideo();
    if (heldFile_ >= 0) close(heldFile_);
    heldFile_ = -1;
}

QString OpenFailure(const QString& video) {
    const QByteArray path = naming::PathBytes(video);
    struct stat status {};
    if (stat(path.constData(), &status) != 0) {
        return (errno == EACCES ? QStringLiteral("%1: permission denied") : QStringLiteral("%1: no such file"))
            .arg(video);
    }
    if (S_ISDIR(status.st_mode)) return QStringLiteral("%1: is a directory").arg(video);
    if (access(path.constData(), R_OK) != 0) return QStringLiteral("%1: permission denied").arg(video);
    return QStringLiteral("%1: cannot be read as a video (unknown format, no video stream, or damaged)").arg(video);
}

bool OpensFromTables(const Settings& settings) {
    if (settings.command == Command::Rank) return true;
    return settings.choice != Choice::Frames && settings.ranking.isEmpty();
}

FrameSource::PacketChecks PacketChecksFor(const Settings& settings) {
    if (settings.command == Command::Rank && settings.segmentCount > 0) return FrameSource::PacketChecks::AsRead;
    if (OpensFromTables(settings)) return FrameSource::PacketChecks::InOrder;
    if (settings.command == Command::Extract && settings.choice == Choice::Frames)
        return FrameSource::PacketChecks::BeforeEachFrame;
    return FrameSource::PacketChecks::AtOpen;
}

bool SettleListedFrames(FrameSource& source, const Settings& settings) {
    int32_t last = -1;
    for (const FrameRun& run : settings.frames) last = std::max(last, run.last);
    return last < 0 || source.CheckPacketsUpTo(last) != media::PacketsState::Unread;
}

}  // namespace batch
