// SPDX-License-Identifier: GPL-2.0-or-later
#include "platform/media_index.h"

#include <algorithm>
#include <chrono>

extern "C" {
#include <libavcodec/avcodec.h>
}

namespace mediafile {
namespace {

// More packets than this is not a video the program can step through.
constexpr size_t kMaxPackets = size_t(1) << 23;
// The progress is told at most this often, and the clock read every so many packets.
constexpr auto kProgressEvery = std::chrono::milliseconds(100);
constexpr int kPacketsBetweenClockReads = 64;

bool Reorders(const AVStream& stream) {
    const AVCodecDescriptor* descriptor = avcodec_descriptor_get(stream.codecpar->codec_id);
    return descriptor && (descriptor->props & AV_CODEC_PROP_REORDER);
}

// Packets without a presentation time (MPEG program streams give one per PES header only):
// a picture shown at once has it at its decode time; a reference picture of a reordering
// codec is shown when the next reference is decoded.
void RebuildMissingLabels(std::vector<PacketEntry>& packets, const std::vector<bool>& known, bool reorders) {
    // The last reference is shown after every picture decoded, one step past the end.
    int64_t step = 1;
    if (packets.size() > 1 && packets.back().dts != AV_NOPTS_VALUE &&
        packets[packets.size() - 2].dts != AV_NOPTS_VALUE) {
        step = std::max<int64_t>(packets.back().dts - packets[packets.size() - 2].dts, 1);
    }
    int64_t nextReferenceDts = packets.back().dts != AV_NOPTS_VALUE ? packets.back().dts + step : AV_NOPTS_VALUE;
    for (size_t i = packets.size(); i-- > 0;) {
        PacketEntry& p = packets[i];
        if (i + 1 < packets.size() && p.dts != AV_NOPTS_VALUE && packets[i + 1].dts != AV_NOPTS_VALUE &&
            packets[i + 1].dts > p.dts) {
            step = packets[i + 1].dts - p.dts;
        }
        const bool reference = !known[i] || p.label != p.dts;
        if (!known[i]) {
            if (!reorders) {
                p.label = p.dts;
            } else {
                p.label = nextReferenceDts != AV_NOPTS_VALUE ? nextReferenceDts : p.dts + step;
            }
        }
        if (reference && p.dts != AV_NOPTS_VALUE) nextReferenceDts = p.dts;
    }
}

bool LabelsUnique(const std::vector<PacketEntry>& packets) {
    std::vector<int64_t> labels;
    labels.reserve(packets.size());
    for (const PacketEntry& p : packets) labels.push_back(p.label);
    std::sort(labels.begin(), labels.end());
    return std::adjacent_find(labels.begin(), labels.end()) == labels.end();
}

}  // namespace

IndexOutcome BuildIndex(AVFormatContext& format, const AVStream& stream, const Progress& progress, MediaIndex& index) {
    index = {};
    std::vector<bool> known;  // the packet came with its presentation time
    const int64_t fileSize = format.pb ? avio_size(format.pb) : -1;
    // The first report comes with the first packets, so that a cancel is seen at once.
    auto lastTold = std::chrono::steady_clock::now() - kProgressEvery;
    int sinceClock = 0;
    bool reordered = false;  // some picture is shown at another time than it is decoded
    bool allKnown = true;

    AVPacket* packet = av_packet_alloc();
    if (!packet) return IndexOutcome::Failed;
    IndexOutcome outcome = IndexOutcome::Built;
    int read;
    while ((read = av_read_frame(&format, packet)) >= 0) {
        if (packet->stream_index == stream.index) {
            if (packet->flags & AV_PKT_FLAG_CORRUPT) index.damaged = true;
            if (index.packets.size() >= kMaxPackets) {
                outcome = IndexOutcome::Failed;
                av_packet_unref(packet);
                break;
            }
            PacketEntry entry;
            entry.dts = packet->dts;
            entry.label = packet->pts != AV_NOPTS_VALUE ? packet->pts : packet->dts;
            entry.time = packet->dts != AV_NOPTS_VALUE ? packet->dts : packet->pts;
            entry.pos = packet->pos;
            entry.key = packet->flags & AV_PKT_FLAG_KEY;
            entry.shown = !(packet->flags & AV_PKT_FLAG_DISCARD);
            known.push_back(packet->pts != AV_NOPTS_VALUE);
            if (packet->pts == AV_NOPTS_VALUE) {
                allKnown = false;
            } else if (packet->pts != packet->dts) {
                reordered = true;
            }
            index.packets.push_back(entry);
        }
        av_packet_unref(packet);
        if (progress && ++sinceClock >= kPacketsBetweenClockReads) {
            sinceClock = 0;
            const auto now = std::chrono::steady_clock::now();
            if (now - lastTold >= kProgressEvery) {
                lastTold = now;
                const int64_t at = avio_tell(format.pb);
                const int percent = fileSize > 0 ? int(std::clamp<int64_t>(at * 100 / fileSize, 0, 100)) : 0;
                if (!progress(percent)) {
                    outcome = IndexOutcome::Cancelled;
                    break;
                }
            }
        }
    }
    av_packet_free(&packet);
    if (outcome != IndexOutcome::Built) return outcome;
    if (read != AVERROR_EOF) index.damaged = true;
    if (index.packets.empty()) return IndexOutcome::Failed;

    // Without reordering a picture is decoded when it is shown.
    for (size_t i = 0; i < index.packets.size(); ++i) {
        PacketEntry& p = index.packets[i];
        if (p.dts == AV_NOPTS_VALUE && known[i] && !reordered) p.dts = p.label;
    }
    RebuildMissingLabels(index.packets, known, reordered);
    const bool timesAreDecodeTimes = !reordered && allKnown && Reorders(stream) && stream.codecpar->video_delay > 0;
    bool anyUnknown = false;
    for (const PacketEntry& p : index.packets) anyUnknown = anyUnknown || p.label == AV_NOPTS_VALUE;
    if (timesAreDecodeTimes || anyUnknown || !LabelsUnique(index.packets)) {
        index.decodeOrder = true;
        for (size_t i = 0; i < index.packets.size(); ++i) index.packets[i].label = int64_t(i);
    }

    index.packets.front().key = true;  // decoding can always start at the first packet
    for (size_t i = 0; i < index.packets.size(); ++i) {
        const PacketEntry& p = index.packets[i];
        if (p.key) index.keys.push_back(int32_t(i));
        if (p.shown) index.presented.push_back(p.label);
    }
    std::sort(index.presented.begin(), index.presented.end());
    return index.presented.empty() ? IndexOutcome::Failed : IndexOutcome::Built;
}

int32_t PositionOf(const MediaIndex& index, int64_t label) {
    const auto it = std::lower_bound(index.presented.begin(), index.presented.end(), label);
    if (it == index.presented.end() || *it != label) return -1;
    return int32_t(it - index.presented.begin());
}

int32_t StartPacketFor(const MediaIndex& index, int64_t label, int back) {
    // The last key packet in decode order shown at or before the picture.
    int k = int(index.keys.size()) - 1;
    while (k > 0 && index.packets[size_t(index.keys[size_t(k)])].label > label) --k;
    return index.keys[size_t(std::max(k - back, 0))];
}

}  // namespace mediafile
