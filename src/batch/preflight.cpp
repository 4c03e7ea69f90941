// SPDX-License-Identifier: GPL-2.0-or-later
#include "batch/preflight.h"

#include "batch/interrupt.h"
#include "batch/video_file.h"
#include "batchcli/frame_list.h"
#include "framesource/frame_source.h"
#include "rankfile/ranking_file.h"

namespace batch {

QString FindVideoMistake(const Settings& s) {
    // --best N (N from 1) under numbered names gives every video a frame and every file a name
    // of its own: there is nothing to look for.
    if (s.command != Command::Extract || (s.choice == Choice::Best && s.numbering != naming::Numbering::None)) {
        return {};
    }
    int64_t files = 0;
    for (const QString& video : s.videos) {
        if (StopRequested()) return {};
        int32_t frameCount = 0;
        {
            // Opened as the work opens it: a video it ranks whole is counted from its tables
            // where it has them, its packets left to the ranking to look into; listed frames
            // are counted once the packets that can move them are looked into.
            FrameSource source;
            const VideoFile file(source, video, {}, PacketChecksFor(s));
            if (!file.IsOpen()) continue;
            if (s.choice == Choice::Frames && !SettleListedFrames(source, s)) continue;
            frameCount = source.FrameCount();
        }
        if (s.choice == Choice::Frames) {
            std::vector<FrameRun> missing;
            files += int64_t(ListedFrames(s.frames, frameCount, missing).size());
            if (!missing.empty()) return PastTheEnd(video, missing.front(), frameCount);
        } else {
            const int64_t chosen = RankedCount(s.choice, s.count, frameCount);
            if (chosen == 0) {
                return QStringLiteral("%1: --percent %2 of its %3 frames chooses no frame")
                    .arg(video)
                    .arg(s.count)
                    .arg(frameCount);
            }
            files += chosen;
        }
    }
    if (s.numbering == naming::Numbering::None && files > 1) {
        return QStringLiteral("--numbering none gives every file the same name, and there are %1 files to write")
            .arg(files);
    }
    return {};
}

QString FindRankingMistake(const Settings& s, ranking::Measure& measure) {
    if (s.command != Command::Extract || s.ranking.isEmpty()) return {};
    QString error;
    const std::vector<VideoRanking> read =
        ReadRankings(s.ranking, error, s.videos.size() == 1 ? s.videos[0] : QString());
    if (!read.empty()) measure = read.front().measure;
    for (qsizetype i = 0; i < s.videos.size() && error.isEmpty() && !StopRequested(); ++i) {
        FrameSource source;
        const VideoFile file(source, s.videos[i]);
        if (!file.IsOpen()) continue;
        const VideoRanking ranking = SavedRanking(s.ranking, s.videos[i], source.FrameCount(), error);
        if (error.isEmpty() && s.perScene && !ScenesOf(ranking)) error = WithoutScenes(s.ranking, s.videos[i]);
    }
    return error;
}

}  // namespace batch
