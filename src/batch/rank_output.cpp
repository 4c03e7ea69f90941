// SPDX-License-Identifier: GPL-2.0-or-later
#include "batch/rank_output.h"

#include "batch/json_text.h"
#include "framesource/naming.h"

namespace batch {

namespace {

QByteArray SegmentJson(const SegmentFacts& s) {
    return ",\"segment\":{\"index\":" + QByteArray::number(s.index) + ",\"count\":" + QByteArray::number(s.count) +
           ",\"first\":" + QByteArray::number(s.first) + ",\"end\":" + QByteArray::number(s.end) +
           ",\"file_size\":" + QByteArray::number(s.fileSize) + ",\"options\":" + JsonString(s.options) + '}';
}

QByteArray SegmentText(const VideoRanking& video) {
    const VideoFacts& f = *video.facts;
    const SegmentFacts& s = *video.segment;
    QByteArray text = kSegmentHeader + QByteArray::number(s.index) + '/' + QByteArray::number(s.count) + '\n';
    text += "# video " + OneLine(video.video) + '\n';
    text += "# file_size " + QByteArray::number(s.fileSize) + '\n';
    text += "# frame_count " + QByteArray::number(f.frameCount) + '\n';
    text += "# frame_rate " + JsonNumber(f.frameRate) + '\n';
    text += "# width " + QByteArray::number(f.width) + '\n';
    text += "# height " + QByteArray::number(f.height) + '\n';
    text += "# first " + QByteArray::number(s.first) + '\n';
    text += "# end " + QByteArray::number(s.end) + '\n';
    text += "# options " + OneLine(s.options) + '\n';
    for (const RankedFrame& r : video.frames) {
        text += QByteArray::number(r.frame) + '\t' + QByteArray::number(r.length) + '\t' + JsonNumber(r.time) + '\n';
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

QString UndecodedFrames(const QString& video, int64_t count) {
    return QStringLiteral("%1: %2 frames could not be decoded (ranked last, with 0 bytes)").arg(video).arg(count);
}

namespace {

QByteArray FrameJson(const RankedFrame& r) {
    const QByteArray head = "{\"frame\":" + QByteArray::number(r.frame) + ",\"time\":" + JsonNumber(r.time);
    // A JPEG encoding is never empty: a length of 0 is a frame that could not be had.
    if (r.length == 0) return head + ",\"bytes\":null,\"decoded\":false}";
    return head + ",\"bytes\":" + QByteArray::number(r.length) + '}';
}

QByteArray VideoJson(const VideoRanking& video) {
    QByteArray json = "{\"video\":" + JsonString(video.video);
    if (video.facts) {
        const VideoFacts& f = *video.facts;
        json += ",\"frame_count\":" + QByteArray::number(f.frameCount) + ",\"frame_rate\":" + JsonNumber(f.frameRate) +
                ",\"width\":" + QByteArray::number(f.width) + ",\"height\":" + QByteArray::number(f.height);
        if (video.segment && video.ranked) json += SegmentJson(*video.segment);
    }
    json += ",\"frames\":[";
    for (size_t i = 0; i < video.frames.size(); ++i) json += (i == 0 ? "\n" : ",\n") + FrameJson(video.frames[i]);
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
    for (const RankedFrame& r : video.frames)
        text += QByteArray::number(r.frame) + '\t' + QByteArray::number(r.length) + '\n';
    return text;
}

QByteArray RankingJson(const std::vector<VideoRanking>& videos) {
    QByteArray json = "[";
    for (size_t i = 0; i < videos.size(); ++i) json += (i == 0 ? "\n" : ",\n") + VideoJson(videos[i]);
    return json + "\n]\n";
}

}  // namespace batch
