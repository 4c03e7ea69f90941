// SPDX-License-Identifier: GPL-2.0-or-later
#include "batch/video_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>

#include "batch/interrupt.h"
#include "framesource/frame_source.h"
#include "framesource/output_names.h"

namespace batch {

namespace {

// The descriptor through which a path that is not UTF-8 is open; -1 when none is.
int heldFile = -1;

}  // namespace

bool OpenVideoFile(FrameSource& source, const QString& video) {
    CloseVideoFile(source);
    const auto progress = [](int) { return !StopRequested(); };
    const QByteArray path = naming::PathBytes(video);
    if (path == video.toUtf8()) return source.OpenVideo(video, progress);
    // The readers take a path as UTF-8 text: one that is not UTF-8 reaches them as the name of
    // a descriptor open on it, kept while the video is.
    heldFile = open(path.constData(), O_RDONLY | O_CLOEXEC);
    if (heldFile < 0) return false;
    if (source.OpenVideo(QStringLiteral("/proc/self/fd/%1").arg(heldFile), progress)) return true;
    CloseVideoFile(source);
    return false;
}

void CloseVideoFile(FrameSource& source) {
    source.CloseVideo();
    if (heldFile >= 0) close(heldFile);
    heldFile = -1;
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

}  // namespace batch
