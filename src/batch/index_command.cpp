// SPDX-License-Identifier: GPL-2.0-or-later
#include "batch/index_command.h"

#include "batch/interrupt.h"
#include "batch/video_file.h"
#include "framesource/frame_source.h"
#include "framesource/naming.h"
#include "media/file_identity.h"
#include "media/index_store.h"

namespace batch {
namespace {
constexpr int kExitStopped = 130;
}

int IndexVideos(const Settings& settings, Terminal& terminal) {
    int status = 0;
    for (qsizetype i = 0; i < settings.videos.size(); ++i) {
        const QString& video = settings.videos[i];
        if (StopRequested()) return kExitStopped;
        FrameSource source;
        const auto told = [&](int percent) { terminal.Progress(size_t(i), video, percent, 100); };
        // From tables, the packets are left to the readers that read them (see OpensFromTables).
        const VideoFile file(
            source, video, told,
            settings.indexFromTables ? FrameSource::PacketChecks::AsRead : FrameSource::PacketChecks::AtOpen);
        terminal.Finished(size_t(i));
        if (!file.IsOpen()) {
            if (StopRequested()) return kExitStopped;
            terminal.Message(OpenFailure(video));
            status = 1;
            continue;
        }
        // Opened, the video's index was saved, or found saved already.
        const auto identity = media::IdentityOfPath(naming::PathBytes(video).toStdString());
        if (!identity || !media::index_store::HasSaved(*identity)) {
            terminal.Message(
                QStringLiteral("%1: cannot save its index in %2")
                    .arg(video, naming::PathText(QByteArray::fromStdString(media::index_store::Directory()))));
            status = 1;
        }
    }
    terminal.EndProgress();
    return status;
}

}  // namespace batch
