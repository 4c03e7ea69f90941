// SPDX-License-Identifier: GPL-2.0-or-later
#include "batch/ranking_file.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>
#include <fstream>
#include <iterator>
#include <limits>
#include <map>

#include "framesource/naming.h"

namespace batch {

namespace {

constexpr int64_t kMaxFrame = std::numeric_limits<int32_t>::max();
constexpr int64_t kMaxBytes = int64_t(1) << 53;  // what a JSON number holds exactly

bool Whole(const QJsonValue& value, int64_t low, int64_t high, int64_t& out) {
    const double d = value.toDouble(std::nan(""));
    if (!value.isDouble() || !(d >= double(low) && d <= double(high)) || d != std::floor(d)) return false;
    out = int64_t(d);
    return true;
}

bool Whole(const QByteArray& text, int64_t low, int64_t high, int64_t& out) {
    bool ok = false;
    out = text.toLongLong(&ok);
    return ok && out >= low && out <= high;
}

// A signature as rank --segment prints it, in hexadecimal.
bool SignatureOf(const QByteArray& hex, scenes::Signature& out) {
    if (hex.size() != qsizetype(2 * out.size())) return false;
    for (char c : hex) {
        if (!std::isxdigit(uchar(c))) return false;
    }
    const QByteArray bytes = QByteArray::fromHex(hex);
    std::memcpy(out.data(), bytes.constData(), out.size());
    return true;
}

bool Number(const QByteArray& text, double& out) {
    bool ok = false;
    out = text.toDouble(&ok);
    return ok && std::isfinite(out);
}

// One video of rank's JSON; false with `why` when it is not one.
bool VideoFromJson(const QJsonObject& o, VideoRanking& v, QString& why) {
    int64_t n[6] = {};
    if (!o.value("video").isString() || !o.value("frames").isArray()) {
        why = QStringLiteral("a video without \"video\" or \"frames\"");
        return false;
    }
    v.video = o.value("video").toString();
    v.ranked = true;
    if (o.contains("frame_count")) {
        if (!Whole(o.value("frame_count"), 0, kMaxFrame, n[0]) || !o.value("frame_rate").isDouble() ||
            !Whole(o.value("width"), 0, kMaxFrame, n[1]) || !Whole(o.value("height"), 0, kMaxFrame, n[2])) {
            why = QStringLiteral("bad frame_count, frame_rate, width or height");
            return false;
        }
        v.facts = VideoFacts{int32_t(n[0]), o.value("frame_rate").toDouble(), int32_t(n[1]), int32_t(n[2])};
    }
    if (o.contains("segment")) {
        const QJsonObject s = o.value("segment").toObject();
        if (!v.facts || !Whole(s.value("index"), 1, kMaxFrame, n[0]) || !Whole(s.value("count"), 1, kMaxFrame, n[1]) ||
            !Whole(s.value("first"), 0, kMaxFrame, n[2]) || !Whole(s.value("end"), 0, kMaxFrame, n[3]) ||
            !Whole(s.value("file_size"), -1, kMaxBytes, n[4]) || !s.value("options").isString()) {
            why = QStringLiteral("bad \"segment\"");
            return false;
        }
        v.segment =
            SegmentFacts{int(n[0]), int(n[1]), int32_t(n[2]), int32_t(n[3]), n[4], s.value("options").toString()};
    }
    for (const QJsonValue& item : o.value("frames").toArray()) {
        const QJsonObject f = item.toObject();
        RankedFrame r;
        if (!Whole(f.value("frame"), 0, kMaxFrame, n[0]) || !f.value("time").isDouble() ||
            !(f.value("bytes").isNull() || Whole(f.value("bytes"), 1, kMaxBytes, n[1]))) {
            why = QStringLiteral("a frame without a whole \"frame\", a \"time\" or \"bytes\"");
            return false;
        }
        r.frame = int32_t(n[0]);
        r.time = f.value("time").toDouble();
        r.length = f.value("bytes").isNull() ? 0 : n[1];
        if ((f.contains("scene") && !Whole(f.value("scene"), 1, kMaxFrame, n[2])) ||
            (f.contains("signature") && !SignatureOf(f.value("signature").toString().toLatin1(), r.signature))) {
            why = QStringLiteral("a frame with a bad \"scene\" or \"signature\"");
            return false;
        }
        r.scene = int(n[2]);
        v.frames.push_back(r);
    }
    if (o.contains("cuts")) {
        std::vector<scenes::Cut>& cuts = v.cuts.emplace();
        for (const QJsonValue& item : o.value("cuts").toArray()) {
            const QJsonObject c = item.toObject();
            if (!Whole(c.value("frame"), 1, kMaxFrame, n[0]) || !Whole(c.value("transition_first"), 0, n[0], n[1]) ||
                !Whole(c.value("transition_end"), n[0], kMaxFrame, n[2]) ||
                (!cuts.empty() && cuts.back().frame >= n[0])) {
                why = QStringLiteral("bad \"cuts\"");
                return false;
            }
            cuts.push_back({int32_t(n[0]), int32_t(n[1]), int32_t(n[2])});
        }
    }
    return true;
}

bool FromJson(const QByteArray& bytes, std::vector<VideoRanking>& videos, QString& why) {
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(bytes, &error);
    if (error.error != QJsonParseError::NoError || !document.isArray()) {
        why = QStringLiteral("bad JSON");
        return false;
    }
    for (const QJsonValue& item : document.array()) {
        VideoRanking& v = videos.emplace_back();
        if (!item.isObject() || !VideoFromJson(item.toObject(), v, why)) return false;
    }
    return true;
}

// A segment's text: its "# KEY VALUE" lines, then FRAME<TAB>BYTES<TAB>TIME<TAB>SIGNATURE lines.
bool SegmentFromText(const QList<QByteArray>& lines, VideoRanking& v, QString& why) {
    int64_t n[2] = {};
    const QList<QByteArray> k = lines[0].mid(qsizetype(std::strlen(kSegmentHeader))).split('/');
    if (k.size() != 2 || !Whole(k[0], 1, kMaxFrame, n[0]) || !Whole(k[1], 1, kMaxFrame, n[1])) {
        why = QStringLiteral("line 1");
        return false;
    }
    std::map<QByteArray, QByteArray> values;
    qsizetype i = 1;
    for (; i < lines.size() && lines[i].startsWith("# "); ++i) {
        const qsizetype space = lines[i].indexOf(' ', 2);
        if (space < 0 || !values.emplace(lines[i].mid(2, space - 2), lines[i].mid(space + 1)).second) {
            why = QStringLiteral("line %1").arg(i + 1);
            return false;
        }
    }
    const auto whole = [&](const char* key, int64_t low, int64_t high) {
        int64_t value = 0;
        if (!Whole(values[key], low, high, value)) why = QStringLiteral("# %1").arg(key);
        return value;
    };
    SegmentFacts s;
    s.index = int(n[0]);
    s.count = int(n[1]);
    VideoFacts f;
    s.fileSize = whole("file_size", -1, kMaxBytes);
    f.frameCount = int32_t(whole("frame_count", 0, kMaxFrame));
    f.width = int32_t(whole("width", 0, kMaxFrame));
    f.height = int32_t(whole("height", 0, kMaxFrame));
    s.first = int32_t(whole("first", 0, kMaxFrame));
    s.end = int32_t(whole("end", 0, kMaxFrame));
    if (!Number(values["frame_rate"], f.frameRate)) why = QStringLiteral("# frame_rate");
    if (!values.count("video") || !values.count("options") || values.size() != 9) why = QStringLiteral("# lines");
    if (!why.isEmpty()) return false;
    v.video = FromOneLine(values["video"]);
    s.options = FromOneLine(values["options"]);
    v.ranked = true;
    v.facts = f;
    v.segment = s;
    for (; i < lines.size(); ++i) {
        const QList<QByteArray> fields = lines[i].split('\t');
        RankedFrame r;
        if (fields.size() != 4 || !Whole(fields[0], 0, kMaxFrame, n[0]) || !Whole(fields[1], 0, kMaxBytes, n[1]) ||
            !Number(fields[2], r.time) || !SignatureOf(fields[3], r.signature)) {
            why = QStringLiteral("line %1").arg(i + 1);
            return false;
        }
        r.frame = int32_t(n[0]);
        r.length = n[1];
        v.frames.push_back(r);
    }
    return true;
}

// rank's text: FRAME<TAB>BYTES<TAB>SCENE lines (FRAME<TAB>BYTES before scenes were found),
// after a "# VIDEO" line for each video when there are several.
bool FromText(const QList<QByteArray>& lines, std::vector<VideoRanking>& videos, QString& why) {
    for (qsizetype i = 0; i < lines.size(); ++i) {
        if (lines[i].startsWith("# ")) {
            videos.emplace_back().video = FromOneLine(lines[i].mid(2));
            videos.back().ranked = true;
            continue;
        }
        const QList<QByteArray> fields = lines[i].split('\t');
        int64_t n[3] = {};
        if ((videos.empty() && i > 0) || fields.size() < 2 || fields.size() > 3 ||
            !Whole(fields[0], 0, kMaxFrame, n[0]) || !Whole(fields[1], 0, kMaxBytes, n[1]) ||
            (fields.size() == 3 && !Whole(fields[2], 1, kMaxFrame, n[2]))) {
            why = QStringLiteral("line %1").arg(i + 1);
            return false;
        }
        if (videos.empty()) videos.emplace_back().ranked = true;  // one video, unnamed
        RankedFrame& r = videos.back().frames.emplace_back();
        r.frame = int32_t(n[0]);
        r.length = n[1];
        r.scene = int(n[2]);
    }
    return true;
}

// Each frame once, inside the video; a segment's exactly its stretch's.
QString FramesMistake(const VideoRanking& v) {
    std::vector<int32_t> frames;
    for (const RankedFrame& r : v.frames) frames.push_back(r.frame);
    std::sort(frames.begin(), frames.end());
    if (const auto twice = std::adjacent_find(frames.begin(), frames.end()); twice != frames.end()) {
        return QStringLiteral("frame %1 of %2 ranked twice").arg(*twice).arg(v.video);
    }
    if (v.facts && !frames.empty() && frames.back() >= v.facts->frameCount) {
        return QStringLiteral("frame %1 past the last frame of %2").arg(frames.back()).arg(v.video);
    }
    // Scenes follow each other along the video, every frame with one or none with one.
    std::vector<std::pair<int32_t, int>> scenes;
    for (const RankedFrame& r : v.frames) scenes.emplace_back(r.frame, r.scene);
    std::sort(scenes.begin(), scenes.end());
    for (size_t i = 1; i < scenes.size(); ++i) {
        const int before = scenes[i - 1].second, now = scenes[i].second;
        if ((before == 0) != (now == 0) || now < before || now > before + 1) {
            return QStringLiteral("the scenes of %1 do not follow each other at frame %2")
                .arg(v.video)
                .arg(scenes[i].first);
        }
    }
    if (!v.segment) return {};
    const SegmentFacts& s = *v.segment;
    if (s.index > s.count || s.first > s.end || s.end > v.facts->frameCount ||
        int64_t(frames.size()) != int64_t(s.end) - s.first || (!frames.empty() && frames.front() != s.first)) {
        return QStringLiteral("segment %1/%2 of %3 does not rank its frames %4-%5 once each")
            .arg(s.index)
            .arg(s.count)
            .arg(v.video)
            .arg(s.first)
            .arg(s.end - 1);
    }
    return {};
}

}  // namespace

std::vector<VideoRanking> ReadRankings(const QString& path, QString& error) {
    std::vector<VideoRanking> videos;
    std::ifstream file(naming::PathBytes(path).toStdString(), std::ios::binary);
    const std::string contents{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    if (!file.is_open() || file.bad()) {
        error = QStringLiteral("%1: cannot be read").arg(path);
        return videos;
    }
    const QByteArray text = QByteArray::fromStdString(contents);
    QString why;
    QList<QByteArray> lines = text.split('\n');
    if (!lines.isEmpty() && lines.back().isEmpty()) lines.removeLast();
    const bool read = text.trimmed().startsWith('[') ? FromJson(text, videos, why)
                      : !lines.isEmpty() && lines[0].startsWith(kSegmentHeader)
                          ? SegmentFromText(lines, videos.emplace_back(), why)
                          : FromText(lines, videos, why);
    for (size_t i = 0; read && i < videos.size() && why.isEmpty(); ++i) why = FramesMistake(videos[i]);
    if (!read || !why.isEmpty()) {
        error = QStringLiteral("%1: not a ranking printed by orvexa-batch (%2)").arg(path, why);
        videos.clear();
    }
    return videos;
}

VideoRanking SavedRanking(const QString& path, const QString& video, int32_t frameCount, QString& error) {
    std::vector<VideoRanking> videos = ReadRankings(path, error);
    if (!error.isEmpty()) return {};
    auto found = std::find_if(videos.begin(), videos.end(), [&](const VideoRanking& v) { return v.video == video; });
    if (found == videos.end() && videos.size() == 1 && videos[0].video.isNull()) found = videos.begin();
    if (found == videos.end()) {
        error = QStringLiteral("%1: holds no ranking of %2").arg(path, video);
        return {};
    }
    if (found->facts && found->facts->frameCount != frameCount) {
        error = QStringLiteral("%1: ranks %2 with %3 frames, not %4: another version of the video")
                    .arg(path, video)
                    .arg(found->facts->frameCount)
                    .arg(frameCount);
        return {};
    }
    const bool inside = std::all_of(found->frames.begin(), found->frames.end(),
                                    [&](const RankedFrame& r) { return r.frame < frameCount; });
    if (int64_t(found->frames.size()) != frameCount || !inside) {
        error = QStringLiteral("%1: ranks %2 frames of %3, not its %4 frames")
                    .arg(path)
                    .arg(found->frames.size())
                    .arg(video)
                    .arg(frameCount);
        return {};
    }
    return std::move(*found);
}

}  // namespace batch
