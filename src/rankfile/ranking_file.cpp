// SPDX-License-Identifier: GPL-2.0-or-later
#include "rankfile/ranking_file.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <limits>
#include <map>

#include "framesource/naming.h"
#include "rankfile/stream_reading.h"

namespace batch {

namespace {

constexpr int64_t kMaxFrame = std::numeric_limits<int32_t>::max();
constexpr int64_t kMaxBytes = int64_t(1) << 53;  // what a JSON number holds exactly
constexpr qsizetype kMaxSignatureHex = 8192;

using stream_reading::ByteStream;
using stream_reading::Json;
using stream_reading::Lines;
using stream_reading::Number;
using stream_reading::Whole;

// A signature in hexadecimal, of the length this version measures.
bool SignatureOf(const QByteArray& hex, scenes::Signature& out, QString& why) {
    if (hex.size() % 2 != 0 || hex.size() > kMaxSignatureHex ||
        !std::all_of(hex.begin(), hex.end(), [](char c) { return std::isxdigit(uchar(c)) != 0; })) {
        why = QStringLiteral("a signature that is not hexadecimal bytes");
        return false;
    }
    if (hex.size() != qsizetype(2 * out.size())) {
        why = QStringLiteral("a signature of %1 bytes, not the %2 this version measures (rank it again)")
                  .arg(hex.size() / 2)
                  .arg(out.size());
        return false;
    }
    const QByteArray bytes = QByteArray::fromHex(hex);
    std::memcpy(out.data(), bytes.constData(), out.size());
    return true;
}

// "SIZE:64 hex digits", SIZE the file's.
bool FingerprintOf(const QString& text, int64_t fileSize) {
    const QByteArray bytes = text.toLatin1();
    const qsizetype colon = bytes.indexOf(':');
    int64_t size = 0;
    if (colon < 0 || !Whole(bytes.left(colon), 0, kMaxBytes, size) || size != fileSize) return false;
    const QByteArray digest = bytes.mid(colon + 1);
    return digest.size() == 64 && std::all_of(digest.begin(), digest.end(),
                                              [](char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); });
}

// A value as the text prints it; the JPEG length's in whole bytes, 0 for a frame not decoded.
bool ValueOf(const ranking::Measure& measure, const QByteArray& text, ranking::Value& value) {
    if (!(measure == ranking::JpegLength())) return ValueFromText(measure, text, value);
    int64_t steps = 0;
    if (!Whole(text, 0, kMaxBytes, steps)) return false;
    value = steps == 0 ? ranking::Value::Unreadable() : ranking::Value::Of(steps);
    return true;
}

bool CutFromJson(Json& json, std::vector<scenes::Cut>& cuts) {
    int64_t n[3] = {};
    bool has[3] = {};
    double time = 0;
    const bool read = json.Object([&](const QString& key) {
        if (key == QLatin1String("frame")) return has[0] = true, json.WholeValue(1, kMaxFrame, n[0], "frame");
        if (key == QLatin1String("transition_first"))
            return has[1] = true, json.WholeValue(0, kMaxFrame, n[1], "transition_first");
        if (key == QLatin1String("transition_end"))
            return has[2] = true, json.WholeValue(0, kMaxFrame, n[2], "transition_end");
        if (key == QLatin1String("time")) return json.NumberValue(time, "time");
        return json.Skip();
    });
    if (!read) return false;
    if (!has[0] || !has[1] || !has[2] || n[1] > n[0] || n[2] < n[0] || (!cuts.empty() && cuts.back().frame >= n[0]))
        return json.Fail(QStringLiteral("bad \"cuts\""));
    cuts.push_back({int32_t(n[0]), int32_t(n[1]), int32_t(n[2])});
    return true;
}

// A frame's value, under the field of whichever measure it names (`measure`); a file of
// one measure names only its.
bool FrameFromJson(Json& json, RankedFrame& r, bool& hasSignature, const ranking::Measure*& measure) {
    int64_t frame = -1, scene = 0;
    bool hasTime = false;
    hasSignature = false;
    measure = nullptr;
    QString why;
    const bool read = json.Object([&](const QString& key) {
        if (key == QLatin1String("frame")) return json.WholeValue(0, kMaxFrame, frame, "frame");
        if (key == QLatin1String("time")) return hasTime = true, json.NumberValue(r.time, "time");
        for (const ranking::Measure* each : ranking::AllMeasures()) {
            const ranking::Measure& m = *each;
            if (key != QLatin1String(m.jsonField)) continue;
            if (measure) return json.Fail(QStringLiteral("a frame with two measures"));
            measure = &m;
            if (json.IsNull()) return r.value = ranking::Value::Unreadable(), json.Word("null");
            int64_t steps = 0;
            if (m.decimals == 0) {
                if (!json.WholeValue(1, kMaxBytes, steps, m.jsonField)) return false;
            } else {
                double number = 0;
                if (!json.NumberValue(number, m.jsonField)) return false;
                if (!(number >= 0 && number < double(kMaxBytes) / 1e6))
                    return json.Fail(QStringLiteral("\"%1\" out of range").arg(m.jsonField));
                steps = m.StepsOf(number);
            }
            r.value = ranking::Value::Of(steps);
            return true;
        }
        if (key == QLatin1String("scene")) return json.WholeValue(1, kMaxFrame, scene, "scene");
        if (key == QLatin1String("signature")) {
            QString hex;
            hasSignature = true;
            return json.String(hex) && (SignatureOf(hex.toLatin1(), r.signature, why) || json.Fail(why));
        }
        return json.Skip();
    });
    if (!read) return false;
    if (frame < 0 || !hasTime || !measure)
        return json.Fail(QStringLiteral("a frame without a whole \"frame\", a \"time\" or \"bytes\""));
    r.frame = int32_t(frame);
    r.scene = int(scene);
    return true;
}

bool SegmentFromJson(Json& json, SegmentFacts& s) {
    int64_t n[5] = {};
    bool has[7] = {};
    const char* keys[5] = {"index", "count", "first", "end", "file_size"};
    const int64_t lows[5] = {1, 1, 0, 0, 0};
    const int64_t highs[5] = {kMaxFrame, kMaxFrame, kMaxFrame, kMaxFrame, kMaxBytes};
    const bool read = json.Object([&](const QString& key) {
        for (int i = 0; i < 5; ++i) {
            if (key == QLatin1String(keys[i])) return has[i] = true, json.WholeValue(lows[i], highs[i], n[i], keys[i]);
        }
        if (key == QLatin1String("options")) return has[5] = true, json.String(s.options);
        if (key == QLatin1String("fingerprint")) return has[6] = true, json.String(s.fingerprint);
        if (key == QLatin1String("positions")) {
            QString positions;
            if (!json.String(positions)) return false;
            if (positions != QLatin1String("tables") && positions != QLatin1String("checked"))
                return json.Fail(QStringLiteral("bad \"positions\""));
            s.fromTables = positions == QLatin1String("tables");
            return true;
        }
        return json.Skip();
    });
    if (!read) return false;
    if (!std::all_of(has, has + 6, [](bool b) { return b; })) return json.Fail(QStringLiteral("bad \"segment\""));
    if (!has[6] || !FingerprintOf(s.fingerprint, n[4]))
        return json.Fail(QStringLiteral("a segment without the video's fingerprint (rank it again)"));
    s.index = int(n[0]);
    s.count = int(n[1]);
    s.first = int32_t(n[2]);
    s.end = int32_t(n[3]);
    s.fileSize = n[4];
    return true;
}

// One video of rank's JSON, each field read by its name.
bool VideoFromJson(Json& json, VideoRanking& v) {
    int64_t facts[3] = {};  // frame_count, width, height
    bool hasFacts[4] = {};  // and frame_rate
    bool hasVideo = false, hasFrames = false, framesSigned = true;
    int64_t sceneCount = 0;
    double rate = 0;
    SegmentFacts segment;
    bool hasSegment = false;
    bool otherMeasure = false;  // a frame's value of another measure than the video's
    const ranking::Measure* named = nullptr;
    v.ranked = true;
    const bool read = json.Object([&](const QString& key) {
        if (key == QLatin1String("video")) return hasVideo = true, json.String(v.video);
        if (key == QLatin1String("measure")) {
            QString name;
            if (!json.String(name)) return false;
            named = ranking::MeasureNamed(name);
            return named || json.Fail(QStringLiteral("an unknown measure \"%1\"").arg(name.left(40)));
        }
        if (key == QLatin1String("frame_count"))
            return hasFacts[0] = true, json.WholeValue(1, kMaxFrame, facts[0], "frame_count");
        if (key == QLatin1String("width")) return hasFacts[1] = true, json.WholeValue(0, kMaxFrame, facts[1], "width");
        if (key == QLatin1String("height"))
            return hasFacts[2] = true, json.WholeValue(0, kMaxFrame, facts[2], "height");
        if (key == QLatin1String("frame_rate")) {
            hasFacts[3] = true;
            return json.NumberValue(rate, "frame_rate") &&
                   (rate > 0 || json.Fail(QStringLiteral("\"frame_rate\" is not above 0")));
        }
        if (key == QLatin1String("segment")) return hasSegment = true, SegmentFromJson(json, segment);
        if (key == QLatin1String("scenes")) return json.WholeValue(1, kMaxFrame + 1, sceneCount, "scenes");
        if (key == QLatin1String("cuts")) {
            if (json.IsNull()) return json.Fail(QStringLiteral("bad \"cuts\""));
            std::vector<scenes::Cut>& cuts = v.cuts.emplace();
            return json.Array([&] { return CutFromJson(json, cuts); });
        }
        if (key == QLatin1String("frames")) {
            hasFrames = true;
            return json.Array([&] {
                bool signature = false;
                const ranking::Measure* measure = nullptr;
                if (!FrameFromJson(json, v.frames.emplace_back(), signature, measure)) return false;
                framesSigned = framesSigned && signature;
                if (!(*measure == (named ? *named : ranking::JpegLength()))) otherMeasure = true;
                return true;
            });
        }
        if (key == QLatin1String("errors")) {
            return json.Array([&] {
                QString error;
                if (!json.String(error)) return false;
                v.errors << error;
                return true;
            });
        }
        return json.Skip();
    });
    if (!read) return false;
    if (!hasVideo || !hasFrames) return json.Fail(QStringLiteral("a video without \"video\" or \"frames\""));
    // "measure" comes before "frames" as rank prints it: a frame's field must be its measure's.
    if (named) v.measure = *named;
    if (otherMeasure) return json.Fail(QStringLiteral("a frame measured otherwise than its video"));
    const int known = int(std::count(hasFacts, hasFacts + 4, true));
    if (known != 0 && known != 4) return json.Fail(QStringLiteral("bad frame_count, frame_rate, width or height"));
    if (known == 4) v.facts = VideoFacts{int32_t(facts[0]), rate, int32_t(facts[1]), int32_t(facts[2])};
    if (hasSegment) {
        if (!v.facts) return json.Fail(QStringLiteral("bad \"segment\""));
        // Merge finds the scenes from every frame's signature.
        if (!framesSigned) return json.Fail(QStringLiteral("a segment's frame without its \"signature\""));
        v.segment = segment;
    }
    if (v.cuts && sceneCount != 0 && sceneCount != int64_t(v.cuts->size()) + 1)
        return json.Fail(QStringLiteral("\"scenes\" is not the cuts and one"));
    return true;
}

bool FromJson(ByteStream& in, std::vector<VideoRanking>& videos, QString& why) {
    Json json(in, why);
    if (!json.Array([&] { return VideoFromJson(json, videos.emplace_back()); }) || !json.End()) return false;
    return !videos.empty() || json.Fail(QStringLiteral("a ranking of no video"));
}

// A segment's text: its "# KEY VALUE" lines, then FRAME<TAB>BYTES<TAB>TIME<TAB>SIGNATURE lines.
bool SegmentFromText(Lines& lines, const QByteArray& first, VideoRanking& v, QString& why) {
    int64_t n[2] = {};
    const QList<QByteArray> k = first.mid(qsizetype(std::strlen(kSegmentHeader))).split('/');
    if (k.size() != 2 || !Whole(k[0], 1, kMaxFrame, n[0]) || !Whole(k[1], 1, kMaxFrame, n[1])) return lines.Fail();
    // An older segment has no positions line: it was ranked on a checked index.
    // A segment ranked by the JPEG length has no measure line.
    static const char* const kKeys[] = {"video",  "file_size", "fingerprint", "frame_count", "frame_rate", "width",
                                        "height", "first",     "end",         "options",     "positions",  "measure"};
    std::map<QByteArray, QByteArray> values;
    QByteArray line;
    bool more = false;
    while ((more = lines.Next(line)) && line.startsWith("# ")) {
        const qsizetype space = line.indexOf(' ', 2);
        const QByteArray key = line.mid(2, space - 2);
        if (space < 0 || std::none_of(std::begin(kKeys), std::end(kKeys), [&](const char* k) { return key == k; }) ||
            !values.emplace(key, line.mid(space + 1)).second) {
            return lines.Fail();
        }
    }
    if (!why.isEmpty()) return false;
    if (!values.count("fingerprint")) {
        why = QStringLiteral("a segment without the video's fingerprint (rank it again)");
        return false;
    }
    if (values.size() != std::size(kKeys) - (values.count("positions") ? 0 : 1) - (values.count("measure") ? 0 : 1)) {
        why = QStringLiteral("# lines");
        return false;
    }
    const auto whole = [&](const char* key, int64_t low, int64_t high) {
        int64_t value = 0;
        if (!Whole(values[key], low, high, value) && why.isEmpty()) why = QStringLiteral("# %1").arg(key);
        return value;
    };
    SegmentFacts s;
    s.index = int(n[0]);
    s.count = int(n[1]);
    VideoFacts f;
    s.fileSize = whole("file_size", 0, kMaxBytes);
    f.frameCount = int32_t(whole("frame_count", 1, kMaxFrame));
    f.width = int32_t(whole("width", 0, kMaxFrame));
    f.height = int32_t(whole("height", 0, kMaxFrame));
    s.first = int32_t(whole("first", 0, kMaxFrame));
    s.end = int32_t(whole("end", 0, kMaxFrame));
    if ((!Number(values["frame_rate"], f.frameRate) || !(f.frameRate > 0)) && why.isEmpty())
        why = QStringLiteral("# frame_rate");
    s.fingerprint = FromOneLine(values["fingerprint"]);
    if (!FingerprintOf(s.fingerprint, s.fileSize) && why.isEmpty()) why = QStringLiteral("# fingerprint");
    if (!why.isEmpty()) return false;
    const auto positions = values.find("positions");
    if (positions != values.end() && positions->second != "tables" && positions->second != "checked") {
        why = QStringLiteral("# positions");
        return false;
    }
    s.fromTables = positions != values.end() && positions->second == "tables";
    if (const auto measure = values.find("measure"); measure != values.end()) {
        const ranking::Measure* named = ranking::MeasureNamed(QString::fromLatin1(measure->second));
        if (!named) {
            why = QStringLiteral("# measure");
            return false;
        }
        v.measure = *named;
    }
    v.video = FromOneLine(values["video"]);
    s.options = FromOneLine(values["options"]);
    v.ranked = true;
    v.facts = f;
    v.segment = s;
    for (; more; more = lines.Next(line)) {
        const QList<QByteArray> fields = line.split('\t');
        RankedFrame r;
        QString bad;
        if (fields.size() != 4 || !Whole(fields[0], 0, kMaxFrame, n[0]) || !ValueOf(v.measure, fields[1], r.value) ||
            !Number(fields[2], r.time)) {
            return lines.Fail();
        }
        if (!SignatureOf(fields[3], r.signature, bad)) return lines.Fail(bad);
        r.frame = int32_t(n[0]);
        v.frames.push_back(r);
    }
    return why.isEmpty();
}

// rank's text: FRAME<TAB>VALUE<TAB>SCENE lines (FRAME<TAB>VALUE before scenes were found),
// after a "# VIDEO" line for each video when there are several; first the measure's line when
// it is not the JPEG length.
bool FromText(Lines& lines, QByteArray line, std::vector<VideoRanking>& videos, QString& why) {
    ranking::Measure measure = ranking::JpegLength();
    bool more = true;
    if (line.startsWith(kMeasureHeader)) {
        const ranking::Measure* named =
            ranking::MeasureNamed(QString::fromLatin1(line.mid(qsizetype(std::strlen(kMeasureHeader)))));
        if (!named) return lines.Fail(QStringLiteral("an unknown measure"));
        measure = *named;
        more = lines.Next(line);
    }
    for (; more; more = lines.Next(line)) {
        if (line.startsWith("# ")) {
            videos.emplace_back().video = FromOneLine(line.mid(2));
            videos.back().ranked = true;
            videos.back().measure = measure;
            continue;
        }
        const QList<QByteArray> fields = line.split('\t');
        int64_t n[3] = {};
        ranking::Value value;
        if (fields.size() < 2 || fields.size() > 3 || !Whole(fields[0], 0, kMaxFrame, n[0]) ||
            !ValueOf(measure, fields[1], value) || (fields.size() == 3 && !Whole(fields[2], 1, kMaxFrame, n[2]))) {
            return lines.Fail();
        }
        if (videos.empty()) {
            videos.emplace_back().ranked = true;  // one video, unnamed
            videos.back().measure = measure;
        }
        RankedFrame& r = videos.back().frames.emplace_back();
        r.frame = int32_t(n[0]);
        r.value = value;
        r.scene = int(n[2]);
    }
    return why.isEmpty() && (!videos.empty() || lines.Fail(QStringLiteral("no frame")));
}

// Each frame once, inside the video; a segment's exactly its stretch's; cuts inside the video.
QString FramesMistake(const VideoRanking& v, const QString& unnamed) {
    const QString name = !v.video.isEmpty() ? v.video : !unnamed.isEmpty() ? unnamed : QStringLiteral("the video");
    std::vector<int32_t> frames;
    frames.reserve(v.frames.size());
    for (const RankedFrame& r : v.frames) frames.push_back(r.frame);
    std::sort(frames.begin(), frames.end());
    if (const auto twice = std::adjacent_find(frames.begin(), frames.end()); twice != frames.end()) {
        return QStringLiteral("frame %1 of %2 ranked twice").arg(*twice).arg(name);
    }
    if (v.facts && !frames.empty() && frames.back() >= v.facts->frameCount) {
        return QStringLiteral("frame %1 past the last frame of %2").arg(frames.back()).arg(name);
    }
    if (v.facts && v.cuts && !v.cuts->empty() &&
        (v.cuts->back().frame >= v.facts->frameCount || v.cuts->back().transitionEnd > v.facts->frameCount)) {
        return QStringLiteral("a cut at frame %1 past the last frame of %2").arg(v.cuts->back().frame).arg(name);
    }
    // Scenes follow each other along the video, every frame with one or none with one.
    std::vector<std::pair<int32_t, int>> scenes;
    scenes.reserve(v.frames.size());
    for (const RankedFrame& r : v.frames) scenes.emplace_back(r.frame, r.scene);
    std::sort(scenes.begin(), scenes.end());
    for (size_t i = 1; i < scenes.size(); ++i) {
        const int before = scenes[i - 1].second, now = scenes[i].second;
        if ((before == 0) != (now == 0) || now < before || now > before + 1) {
            return QStringLiteral("the scenes of %1 do not follow each other at frame %2")
                .arg(name)
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
            .arg(name)
            .arg(s.first)
            .arg(s.end - 1);
    }
    return {};
}

}  // namespace

std::vector<VideoRanking> ReadRankings(const QString& path, QString& error, const QString& unnamed) {
    std::vector<VideoRanking> videos;
    ByteStream in;
    QString why;
    if (!in.Open(path, why)) {
        error = QStringLiteral("%1: cannot be read: %2").arg(path, why);
        return videos;
    }
    // JSON starts with "[", whatever blanks come before.
    bool read = false;
    Lines lines(in, why);
    int c = in.Peek();
    bool blanks = false;
    while (c == ' ' || c == '\t' || c == '\n' || c == '\r') {
        blanks = true;
        in.Get();
        c = in.Peek();
    }
    if (c == '[') {
        read = FromJson(in, videos, why);
    } else if (c >= 0 && blanks) {
        why = QStringLiteral("line %1: blanks before the first field").arg(in.Line());
    } else if (c >= 0) {
        QByteArray first;
        lines.Next(first);
        read = why.isEmpty() &&
               (first.startsWith(kSegmentHeader) ? SegmentFromText(lines, first, videos.emplace_back(), why)
                                                 : FromText(lines, first, videos, why));
    }
    if (in.error() != 0) {
        error = QStringLiteral("%1: cannot be read: %2")
                    .arg(path, QString::fromLocal8Bit(std::strerror(in.error())).toLower());
        videos.clear();
        return videos;
    }
    if (c < 0) {
        error = QStringLiteral("%1: empty: not a ranking printed by orvexa-batch").arg(path);
        return videos;
    }
    for (size_t i = 0; read && i < videos.size() && why.isEmpty(); ++i) why = FramesMistake(videos[i], unnamed);
    if (!read || !why.isEmpty()) {
        error = QStringLiteral("%1: not a ranking printed by orvexa-batch (%2)").arg(path, why);
        videos.clear();
    }
    return videos;
}

VideoRanking SavedRanking(const QString& path, const QString& video, int32_t frameCount, QString& error) {
    std::vector<VideoRanking> videos = ReadRankings(path, error, video);
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
    if (found->cuts && !found->cuts->empty() && found->cuts->back().frame >= frameCount) {
        error = QStringLiteral("%1: cuts %2 past its last frame").arg(path, video);
        return {};
    }
    return std::move(*found);
}

QString WithoutScenes(const QString& path, const QString& video) {
    return QStringLiteral("%1: ranks %2 without scenes (rank it again): --per-scene needs them").arg(path, video);
}

}  // namespace batch
