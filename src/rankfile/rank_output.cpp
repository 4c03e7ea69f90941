// SPDX-License-Identifier: GPL-2.0-or-later
#include "rankfile/rank_output.h"

#include <algorithm>

#include "framesource/naming.h"
#include "rankfile/json_text.h"
#include "ranking/ranking.h"

namespace batch {

namespace {

QByteArray PositionsName(const SegmentFacts& s) { return s.fromTables ? "tables" : "checked"; }

QByteArray SegmentJson(const SegmentFacts& s) {
    return ",\"segment\":{\"index\":" + QByteArray::number(s.index) + ",\"count\":" + QByteArray::number(s.count) +
           ",\"first\":" + QByteArray::number(s.first) + ",\"end\":" + QByteArray::number(s.end) +
           ",\"file_size\":" + QByteArray::number(s.fileSize) + ",\"fingerprint\":" + JsonString(s.fingerprint) +
           ",\"options\":" + JsonString(s.options) + ",\"positions\":\"" + PositionsName(s) + "\"}";
}

QByteArray SegmentText(const VideoRanking& video) {
    const VideoFacts& f = *video.facts;
    const SegmentFacts& s = *video.segment;
    QByteArray text = kSegmentHeader + QByteArray::number(s.index) + '/' + QByteArray::number(s.count) + '\n';
    text += "# video " + OneLine(video.video) + '\n';
    text += "# file_size " + QByteArray::number(s.fileSize) + '\n';
    text += "# fingerprint " + OneLine(s.fingerprint) + '\n';
    text += "# frame_count " + QByteArray::number(f.frameCount) + '\n';
    text += "# frame_rate " + JsonNumber(f.frameRate) + '\n';
    text += "# width " + QByteArray::number(f.width) + '\n';
    text += "# height " + QByteArray::number(f.height) + '\n';
    text += "# first " + QByteArray::number(s.first) + '\n';
    text += "# end " + QByteArray::number(s.end) + '\n';
    text += "# options " + OneLine(s.options) + '\n';
    text += "# positions " + PositionsName(s) + '\n';
    if (!(video.measure == ranking::JpegLength())) text += "# measure " + QByteArray(video.measure.name) + '\n';
    for (const RankedFrame& r : video.frames) {
        text +=
            QByteArray::number(r.frame) + '\t' + ValueText(video.measure, r.value) + '\t' + JsonNumber(r.time) + '\t' +
            QByteArray(reinterpret_cast<const char*>(r.signature.data()), qsizetype(r.signature.size())).toHex() + '\n';
    }
    return text;
}

}  // namespace

// The name on one line: its bytes, with a backslash and the control characters escaped.
QByteArray OneLine(const QString& name) {
    QByteArray line;
    for (const char c : naming::PathBytes(name)) {
        if (c == '\\') {
            line += "\\\\";
        } else if (c == '\n') {
            line += "\\n";
        } else if (c == '\t') {
            line += "\\t";
        } else if ((c >= 0 && c < 0x20) || c == 0x7f) {
            line += "\\x" + QByteArray::number(uchar(c), 16).rightJustified(2, '0');
        } else {
            line += c;
        }
    }
    return line;
}

QString FromOneLine(const QByteArray& line) {
    QByteArray bytes;
    for (qsizetype i = 0; i < line.size(); ++i) {
        if (line[i] != '\\' || i + 1 == line.size()) {
            bytes += line[i];
        } else if (line[++i] == 'n') {
            bytes += '\n';
        } else if (line[i] == 't') {
            bytes += '\t';
        } else if (line[i] == 'x' && i + 2 < line.size()) {
            bytes += char(line.mid(i + 1, 2).toInt(nullptr, 16));
            i += 2;
        } else {
            bytes += line[i];
        }
    }
    return naming::PathText(bytes);
}

QString UndecodedFrames(const QString& video, int64_t count, const ranking::Measure& measure) {
    const QString without = measure == ranking::JpegLength() ? QStringLiteral("with 0 bytes")
                                                             : QStringLiteral("without a %1").arg(measure.name);
    return QStringLiteral("%1: %2 frames could not be decoded (ranked last, %3)").arg(video).arg(count).arg(without);
}

QByteArray MeasureLine(const ranking::Measure& measure) {
    return measure == ranking::JpegLength() ? QByteArray() : kMeasureHeader + QByteArray(measure.name) + '\n';
}

// The JPEG length has always printed 0 bytes for a frame not decoded: an encoding is never empty.
QByteArray ValueText(const ranking::Measure& measure, const ranking::Value& value) {
    if (value.Measured()) return measure.Text(value.steps);
    return measure == ranking::JpegLength() ? QByteArray("0") : QByteArray("-");
}

bool ValueFromText(const ranking::Measure& measure, const QByteArray& text, ranking::Value& value) {
    int64_t steps = 0;
    if (text == ValueText(measure, ranking::Value::Unreadable())) {
        value = ranking::Value::Unreadable();
        return true;
    }
    if (!measure.FromText(text, steps)) return false;
    value = ranking::Value::Of(steps);
    return true;
}

void SortRanking(const ranking::Measure& measure, std::vector<RankedFrame>& frames) {
    std::stable_sort(frames.begin(), frames.end(), [&](const RankedFrame& a, const RankedFrame& b) {
        return measure.RanksBefore(a.value, a.frame, b.value, b.frame);
    });
}

namespace {

QByteArray FrameJson(const RankedFrame& r, const ranking::Measure& measure, bool segment) {
    QByteArray json = "{\"frame\":" + QByteArray::number(r.frame) + ",\"time\":" + JsonNumber(r.time);
    json += ",\"" + QByteArray(measure.jsonField) + "\":";
    json += r.value.Measured() ? measure.Text(r.value.steps) : QByteArray("null,\"decoded\":false");
    if (segment) {
        json += ",\"signature\":\"" +
                QByteArray(reinterpret_cast<const char*>(r.signature.data()), qsizetype(r.signature.size())).toHex() +
                '"';
    } else if (r.scene > 0) {
        json += ",\"scene\":" + QByteArray::number(r.scene);
    }
    return json + '}';
}

// "scenes": N, "cuts": [...], each cut with the time of its frame.
QByteArray ScenesJson(const VideoRanking& video) {
    const std::vector<scenes::Cut>& cuts = *video.cuts;
    std::vector<double> times(cuts.size(), 0.0);
    for (const RankedFrame& r : video.frames) {
        const auto at = std::lower_bound(cuts.begin(), cuts.end(), r.frame,
                                         [](const scenes::Cut& cut, int32_t frame) { return cut.frame < frame; });
        if (at != cuts.end() && at->frame == r.frame) times[size_t(at - cuts.begin())] = r.time;
    }
    QByteArray json = ",\"scenes\":" + QByteArray::number(qsizetype(cuts.size()) + 1) + ",\"cuts\":[";
    for (size_t i = 0; i < cuts.size(); ++i) {
        json += (i == 0 ? "" : ",") + QByteArray("{\"frame\":") + QByteArray::number(cuts[i].frame) +
                ",\"time\":" + JsonNumber(times[i]) +
                ",\"transition_first\":" + QByteArray::number(cuts[i].transitionFirst) +
                ",\"transition_end\":" + QByteArray::number(cuts[i].transitionEnd) + '}';
    }
    return json + ']';
}

QByteArray VideoJson(const VideoRanking& video) {
    QByteArray json = "{\"video\":" + JsonString(video.video);
    if (video.facts) {
        const VideoFacts& f = *video.facts;
        json += ",\"frame_count\":" + QByteArray::number(f.frameCount) + ",\"frame_rate\":" + JsonNumber(f.frameRate) +
                ",\"width\":" + QByteArray::number(f.width) + ",\"height\":" + QByteArray::number(f.height);
        if (!(video.measure == ranking::JpegLength())) {
            json += ",\"measure\":" + JsonString(QString::fromLatin1(video.measure.name)) +
                    ",\"unit\":" + JsonString(QString::fromLatin1(video.measure.unit));
        }
        if (video.segment && video.ranked) json += SegmentJson(*video.segment);
    }
    const bool segment = video.facts && video.segment && video.ranked;
    if (video.cuts && !segment) json += ScenesJson(video);
    json += ",\"frames\":[";
    for (size_t i = 0; i < video.frames.size(); ++i)
        json += (i == 0 ? "\n" : ",\n") + FrameJson(video.frames[i], video.measure, segment);
    json += video.frames.empty() ? "]" : "\n]";
    if (!video.errors.isEmpty()) {
        json += ",\"errors\":[";
        for (qsizetype i = 0; i < video.errors.size(); ++i) json += (i == 0 ? "" : ",") + JsonString(video.errors[i]);
        json += ']';
    }
    return json + '}';
}

}  // namespace

QByteArray RankingText(const VideoRanking& video, bool withHeader) {
    if (!video.ranked) return {};
    if (video.facts && video.segment) return SegmentText(video);
    QByteArray text;
    if (withHeader) text += "# " + OneLine(video.video) + '\n';
    for (const RankedFrame& r : video.frames) {
        text += QByteArray::number(r.frame) + '\t' + ValueText(video.measure, r.value);
        text += r.scene > 0 ? '\t' + QByteArray::number(r.scene) + '\n' : QByteArray("\n");
    }
    return text;
}

void FindScenes(VideoRanking& video, int32_t frameCount, double frameRate) {
    std::vector<ranking::Ranked> ranked;
    ranked.reserve(video.frames.size());
    for (const RankedFrame& r : video.frames) ranked.push_back({r.frame, r.value, r.signature});
    const scenes::SceneList list = ranking::ScenesOf(ranked, 0, frameCount, frameRate);
    for (RankedFrame& r : video.frames) r.scene = list.SceneOf(r.frame);
    video.cuts = list.cuts;
}

std::optional<scenes::SceneList> ScenesOf(const VideoRanking& video) {
    if (video.cuts) return scenes::SceneList{*video.cuts};
    if (video.frames.empty() || video.frames.front().scene == 0) return std::nullopt;
    // The first frame of each scene, from the frames' scene numbers.
    std::vector<std::pair<int, int32_t>> firsts;
    for (const RankedFrame& r : video.frames) firsts.emplace_back(r.scene, r.frame);
    std::sort(firsts.begin(), firsts.end());
    scenes::SceneList list;
    for (size_t i = 1; i < firsts.size(); ++i) {
        if (firsts[i].first != firsts[i - 1].first)
            list.cuts.push_back({firsts[i].second, firsts[i].second, firsts[i].second});
    }
    return list;
}

QByteArray RankingJson(const std::vector<VideoRanking>& videos) {
    QByteArray json = "[";
    for (size_t i = 0; i < videos.size(); ++i) json += (i == 0 ? "\n" : ",\n") + VideoJson(videos[i]);
    return json + "\n]\n";
}

}  // namespace batch
