// SPDX-License-Identifier: GPL-2.0-or-later
#include "merge/merge.h"

#include <algorithm>
#include <map>
#include <optional>
#include <utility>

#include "rankfile/rank_output.h"
#include "rankfile/ranking_file.h"

namespace batch {

namespace {

struct Segment {
    SegmentFacts facts;
    QString file;
};

// A video's segments as they are read, and the video's facts as its first segment tells them.
struct Video {
    VideoRanking ranking;
    QString firstFile;
    std::map<int, Segment> segments;  // by index
};

QString Differs(const char* what, const auto& first, const auto& other) {
    return QStringLiteral("%1 (%2, not %3)").arg(what).arg(other).arg(first);
}

// What a segment says of its video's content that its first segment says otherwise; empty when
// nothing.
QString OtherContent(const Video& video, const VideoRanking& segment) {
    const SegmentFacts &c = *video.ranking.segment, &d = *segment.segment;
    if (c.fileSize != d.fileSize) return Differs("file size", c.fileSize, d.fileSize);
    if (c.fingerprint != d.fingerprint) return Differs("content fingerprint", c.fingerprint, d.fingerprint);
    return {};
}

// What else a segment of the same content and index says of its video, or of how it was
// ranked, that its first segment says otherwise; empty when nothing.
QString Disagreement(const Video& video, const VideoRanking& segment) {
    const VideoFacts &a = *video.ranking.facts, &b = *segment.facts;
    const SegmentFacts &c = *video.ranking.segment, &d = *segment.segment;
    const auto differs = [](const char* what, const auto& first, const auto& other) {
        return Differs(what, first, other);
    };
    if (c.count != d.count) return differs("segment count", c.count, d.count);
    if (a.frameRate != b.frameRate || a.width != b.width || a.height != b.height)
        return QStringLiteral("frame rate or size");
    if (c.options != d.options) return differs("options", c.options, d.options);
    return {};
}

// How the index a segment was ranked on differs from its first segment's; empty when it does
// not. One video's indexes differ when a segment found its packets damaged and indexed it again
// from its data: the positions the segments before it were ranked on, read from the tables,
// are not the frames a decode presents.
QString OtherIndex(const Video& video, const VideoRanking& segment) {
    const int32_t a = video.ranking.facts->frameCount, b = segment.facts->frameCount;
    const SegmentFacts &c = *video.ranking.segment, &d = *segment.segment;
    QStringList differs;
    if (c.fromTables != d.fromTables) {
        differs << (d.fromTables ? QStringLiteral("positions read from the sample tables, not checked")
                                 : QStringLiteral("positions checked, not read from the sample tables"));
    }
    if (a != b) differs << QStringLiteral("frame count (%1, not %2)").arg(b).arg(a);
    return differs.join(QStringLiteral("; "));
}

// Why the video's segments do not hold each of its frames once; empty when they do.
QString Coverage(const Video& video) {
    const QString& name = video.ranking.video;
    const int count = video.ranking.segment->count;
    int32_t next = 0;  // the first frame no segment before holds
    int previous = 0;
    for (int k = 1; k <= count; ++k) {
        const auto found = video.segments.find(k);
        if (found == video.segments.end()) {
            return QStringLiteral("%1: segment %2/%3 is missing: a gap").arg(name).arg(k).arg(count);
        }
        const SegmentFacts& s = found->second.facts;
        if (s.first < next) {
            return QStringLiteral("%1: segments %2/%4 and %3/%4 overlap (frames %5-%6)")
                .arg(name)
                .arg(previous)
                .arg(k)
                .arg(count)
                .arg(s.first)
                .arg(std::min(next, s.end) - 1);
        }
        if (s.first > next) {
            return QStringLiteral("%1: no segment holds frames %2-%3: a gap").arg(name).arg(next).arg(s.first - 1);
        }
        if (s.end > s.first) previous = k;
        next = std::max(next, s.end);
    }
    const int32_t frameCount = video.ranking.facts->frameCount;
    if (next != frameCount) {
        return QStringLiteral("%1: no segment holds frames %2-%3: a gap").arg(name).arg(next).arg(frameCount - 1);
    }
    return {};
}

}  // namespace

int MergeSegments(const Settings& settings, Terminal& terminal) {
    const auto refuse = [&](const QString& message) {
        terminal.Message(message);
        return 1;
    };
    std::vector<Video> videos;
    // The output names one measure: every part must be ranked by the first one's.
    std::optional<std::pair<ranking::Measure, QString>> measure;
    for (const QString& file : settings.segments) {
        QString error;
        std::vector<VideoRanking> read = ReadRankings(file, error);
        if (!error.isEmpty()) return refuse(error);
        for (VideoRanking& segment : read) {
            if (!segment.segment) {
                return refuse(QStringLiteral("%1: holds a ranking of %2 that is no segment (rank --segment prints one)")
                                  .arg(file, segment.video.isNull() ? QStringLiteral("a video") : segment.video));
            }
            if (!measure) measure.emplace(segment.measure, file);
            if (!(segment.measure == measure->first)) {
                return refuse(QStringLiteral("%1: segment %2/%3 of %4 is ranked by %5, %6 by %7: rank every segment "
                                             "with the same --measure")
                                  .arg(file)
                                  .arg(segment.segment->index)
                                  .arg(segment.segment->count)
                                  .arg(segment.video, segment.measure.name, measure->second, measure->first.name));
            }
            auto video = std::find_if(videos.begin(), videos.end(),
                                      [&](const Video& v) { return v.ranking.video == segment.video; });
            if (video == videos.end()) {
                video = videos.insert(videos.end(), Video{});
                video->ranking.video = segment.video;
                video->ranking.ranked = true;
                video->ranking.measure = segment.measure;
                video->ranking.facts = segment.facts;
                video->ranking.segment = segment.segment;
                video->firstFile = file;
            }
            const SegmentFacts& s = *segment.segment;
            const auto otherVersion = [&](const QString& differs) {
                return refuse(QStringLiteral("%1: segment %2/%3 of %4 differs from %5 in its %6: another version of "
                                             "the video, or other options")
                                  .arg(file)
                                  .arg(s.index)
                                  .arg(s.count)
                                  .arg(segment.video, video->firstFile, differs));
            };
            if (const QString differs = OtherContent(*video, segment); !differs.isEmpty()) return otherVersion(differs);
            if (const QString other = OtherIndex(*video, segment); !other.isEmpty()) {
                return refuse(
                    QStringLiteral("%1: segment %2/%3 of %4 was ranked on another index of the video than "
                                   "%5 (%6): rank its segments again on one index (with the same --index-dir)")
                        .arg(file)
                        .arg(s.index)
                        .arg(s.count)
                        .arg(segment.video, video->firstFile, other));
            }
            if (const QString differs = Disagreement(*video, segment); !differs.isEmpty()) return otherVersion(differs);
            if (const auto same = video->segments.find(s.index); same != video->segments.end()) {
                return refuse(QStringLiteral("%1: segment %2/%3 of %4 overlaps %5, which holds it too")
                                  .arg(file)
                                  .arg(s.index)
                                  .arg(s.count)
                                  .arg(segment.video, same->second.file));
            }
            video->segments[s.index] = {s, file};
            for (const RankedFrame& r : segment.frames) video->ranking.frames.push_back(r);
        }
    }
    for (const Video& video : videos) {
        if (const QString gap = Coverage(video); !gap.isEmpty()) return refuse(gap);
    }

    // rank's order: the best value first, ties by frame number, frames not decoded last.
    std::vector<VideoRanking> rankings;
    int status = 0;
    for (Video& video : videos) {
        VideoRanking& ranking = rankings.emplace_back(std::move(video.ranking));
        ranking.segment.reset();
        // The scenes are found across the segments' ends, as rank finds them in one run.
        FindScenes(ranking, ranking.facts->frameCount, ranking.facts->frameRate);
        SortRanking(ranking.measure, ranking.frames);
        const auto lost = std::count_if(ranking.frames.begin(), ranking.frames.end(),
                                        [](const RankedFrame& r) { return !r.value.Measured(); });
        if (lost == 0) continue;
        ranking.errors << UndecodedFrames(ranking.video, lost, ranking.measure);
        terminal.Message(ranking.errors.back());
        status = 1;
    }
    if (settings.json) {
        terminal.Output(RankingJson(rankings));
    } else {
        if (measure) terminal.Output(MeasureLine(measure->first));
        for (const VideoRanking& ranking : rankings) terminal.Output(RankingText(ranking, rankings.size() > 1));
    }
    return status;
}

}  // namespace batch
