// SPDX-License-Identifier: GPL-2.0-or-later
#include "media/media_index.h"

#include "media/index_store.h"

#include <algorithm>
#include <chrono>
#include <limits>

extern "C" {
#include <libavcodec/avcodec.h>
}

namespace media {
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
// Times far apart (an edited file) must not overflow: a gap or a sum beyond the range stops at its end.
int64_t Gap(int64_t from, int64_t to) {
    int64_t gap;
    return __builtin_sub_overflow(to, from, &gap) ? std::numeric_limits<int64_t>::max() : gap;
}
int64_t Later(int64_t time, int64_t step) {
    int64_t later;
    return __builtin_add_overflow(time, step, &later) ? std::numeric_limits<int64_t>::max() : later;
}

void RebuildMissingLabels(std::vector<PacketEntry>& packets, const std::vector<bool>& known, bool reorders) {
    // The last reference is shown after every picture decoded, one step past the end.
    int64_t step = 1;
    if (packets.size() > 1 && packets.back().dts != AV_NOPTS_VALUE &&
        packets[packets.size() - 2].dts != AV_NOPTS_VALUE) {
        step = std::max<int64_t>(Gap(packets[packets.size() - 2].dts, packets.back().dts), 1);
    }
    int64_t nextReferenceDts = packets.back().dts != AV_NOPTS_VALUE ? Later(packets.back().dts, step) : AV_NOPTS_VALUE;
    for (size_t i = packets.size(); i-- > 0;) {
        PacketEntry& p = packets[i];
        if (i + 1 < packets.size() && p.dts != AV_NOPTS_VALUE && packets[i + 1].dts != AV_NOPTS_VALUE &&
            packets[i + 1].dts > p.dts) {
            step = Gap(p.dts, packets[i + 1].dts);
        }
        const bool reference = !known[i] || p.label != p.dts;
        if (!known[i]) {
            if (!reorders) {
                p.label = p.dts;
            } else {
                p.label = nextReferenceDts != AV_NOPTS_VALUE ? nextReferenceDts : Later(p.dts, step);
            }
        }
        if (reference && p.dts != AV_NOPTS_VALUE) nextReferenceDts = p.dts;
    }
}

// H.264 and HEVC as MP4 and Matroska store them: each packet a run of units, each unit after
// its length in `lengthBytes` bytes. Damaged bytes rarely leave that run whole.
int UnitLengthBytes(const AVCodecParameters& codec) {
    const uint8_t* extra = codec.extradata;
    if (!extra || codec.extradata_size < 1 || extra[0] != 1) return 0;  // start codes, or no record
    if (codec.codec_id == AV_CODEC_ID_H264 && codec.extradata_size >= 7) return (extra[4] & 3) + 1;
    if (codec.codec_id == AV_CODEC_ID_HEVC && codec.extradata_size >= 23) return (extra[21] & 3) + 1;
    return 0;
}

bool UnitsTile(const AVPacket& packet, int lengthBytes) {
    int64_t at = 0;
    while (at < packet.size) {
        if (packet.size - at < lengthBytes) return false;
        int64_t length = 0;
        for (int i = 0; i < lengthBytes; ++i) length = length << 8 | packet.data[at + i];
        at += lengthBytes;
        // An empty unit, one past the packet's end, or one whose forbidden bit is set.
        if (length == 0 || length > packet.size - at || (packet.data[at] & 0x80)) return false;
        at += length;
    }
    return true;
}

bool LabelsUnique(const std::vector<PacketEntry>& packets) {
    std::vector<int64_t> labels;
    labels.reserve(packets.size());
    for (const PacketEntry& p : packets) labels.push_back(p.label);
    std::sort(labels.begin(), labels.end());
    return std::adjacent_find(labels.begin(), labels.end()) == labels.end();
}

// Decode times that go back or repeat: recordings joined end to end, or times edited.
bool DecodeTimesAscend(const std::vector<PacketEntry>& packets) {
    int64_t last = AV_NOPTS_VALUE;
    for (const PacketEntry& p : packets) {
        if (p.dts == AV_NOPTS_VALUE) continue;
        if (last != AV_NOPTS_VALUE && p.dts <= last) return false;
        last = p.dts;
    }
    return true;
}

// Recordings joined end to end (`cat a.ts b.ts`), whose decode times start again: each
// recording is a piece whose own times give its order. The pieces' first packets, the first
// one's included; empty when a piece would start inside a GOP (no whole recording).
std::vector<int32_t> PieceStarts(const std::vector<PacketEntry>& packets) {
    std::vector<int32_t> starts{0};
    int64_t last = AV_NOPTS_VALUE;
    for (size_t i = 0; i < packets.size(); ++i) {
        const PacketEntry& p = packets[i];
        if (p.dts == AV_NOPTS_VALUE) continue;
        if (last != AV_NOPTS_VALUE && p.dts <= last) {
            if (!p.key) return {};
            starts.push_back(int32_t(i));
        }
        last = p.dts;
    }
    return starts;
}

// A transport stream's continuity counters break where recordings are joined, and the demuxer
// flags the packet it was reading there, which its parser may give out a picture or two later:
// a packet flagged just before a join, or at it, is no damage.
constexpr int32_t kFlaggedBeforeJoin = 3;

bool FlaggedOnlyAtJoins(const std::vector<int32_t>& flagged, const std::vector<int32_t>& starts) {
    return std::all_of(flagged.begin(), flagged.end(), [&](int32_t packet) {
        return std::any_of(starts.begin() + 1, starts.end(),
                           [&](int32_t start) { return packet <= start && start - packet <= kFlaggedBeforeJoin; });
    });
}

// Moves each piece's times to follow those of the piece before, one frame after its latest, so
// that the whole is ordered by its times. False, and nothing changed, when times would overflow
// or a piece has none.
bool FollowPieces(std::vector<PacketEntry>& packets, const std::vector<int32_t>& starts) {
    std::vector<PacketEntry> moved = packets;
    int64_t end = AV_NOPTS_VALUE;  // past the latest time of the pieces before
    for (size_t k = 0; k < starts.size(); ++k) {
        const size_t from = size_t(starts[k]);
        const size_t to = k + 1 < starts.size() ? size_t(starts[k + 1]) : packets.size();
        int64_t first = std::numeric_limits<int64_t>::max();
        int64_t latest = std::numeric_limits<int64_t>::min();
        int64_t step = 1;  // the piece's last step between decode times
        for (size_t i = from; i < to; ++i) {
            for (const int64_t t : {packets[i].label, packets[i].dts}) {
                if (t == AV_NOPTS_VALUE) continue;
                first = std::min(first, t);
                latest = std::max(latest, t);
            }
            if (i > from && packets[i].dts != AV_NOPTS_VALUE && packets[i - 1].dts != AV_NOPTS_VALUE &&
                packets[i].dts > packets[i - 1].dts) {
                step = packets[i].dts - packets[i - 1].dts;
            }
        }
        if (first > latest) return false;
        int64_t shift = 0;
        if (end != AV_NOPTS_VALUE && __builtin_sub_overflow(end, first, &shift)) return false;
        for (size_t i = from; i < to; ++i) {
            for (int64_t* t : {&moved[i].label, &moved[i].dts}) {
                if (*t != AV_NOPTS_VALUE && __builtin_add_overflow(*t, shift, t)) return false;
            }
        }
        if (__builtin_add_overflow(latest, shift, &end) || __builtin_add_overflow(end, step, &end)) return false;
    }
    packets = std::move(moved);
    return true;
}

// No decoder holds back more pictures than this, so a picture whose time puts it further
// from its place in decode order has a time that lies (clusters reordered, times edited).
constexpr size_t kMaxReorder = 64;

bool OrderWithinDecoderReach(const std::vector<PacketEntry>& packets) {
    std::vector<size_t> byLabel(packets.size());
    for (size_t i = 0; i < byLabel.size(); ++i) byLabel[i] = i;
    std::stable_sort(byLabel.begin(), byLabel.end(),
                     [&](size_t a, size_t b) { return packets[a].label < packets[b].label; });
    for (size_t rank = 0; rank < byLabel.size(); ++rank) {
        const size_t decoded = byLabel[rank];
        if ((rank > decoded ? rank - decoded : decoded - rank) > kMaxReorder) return false;
    }
    return true;
}

// What a packet tells of a recording that starts with it: whether a decode from it shows nothing
// of what came before it (an H.264 IDR picture, an MPEG-1/2 I picture), and a hash of the
// parameter sets it carries (SPS and PPS, or sequence header and its extensions), 0 for none.
// Kept for key packets and for those that carry parameter sets.
struct KeyStart {
    int32_t packet = 0;
    bool clean = false;
    uint64_t parameters = 0;
};

int32_t NextStartCode(const uint8_t* d, int32_t from, int32_t end) {
    for (int32_t i = from; i + 2 < end; ++i) {
        if (d[i + 2] > 1) {
            i += 2;  // no start code can begin at i, i + 1 or i + 2
        } else if (d[i] == 0 && d[i + 1] == 0 && d[i + 2] == 1) {
            return i;
        }
    }
    return end;
}

uint64_t HashInto(uint64_t hash, const uint8_t* d, int32_t size) {
    for (int32_t i = 0; i < size; ++i) hash = (hash ^ d[i]) * 1099511628211ull;
    return hash;
}

bool TellsKeyStarts(AVCodecID codec) {
    return codec == AV_CODEC_ID_H264 || codec == AV_CODEC_ID_MPEG1VIDEO || codec == AV_CODEC_ID_MPEG2VIDEO;
}

KeyStart KeyStartOf(const AVPacket& packet, AVCodecID codec) {
    KeyStart start;
    const uint8_t* d = packet.data;
    const auto end = int32_t(packet.size);
    uint64_t hash = 14695981039346656037ull;
    bool any = false;
    for (int32_t at = NextStartCode(d, 0, end); at + 3 < end;) {
        const int32_t unit = at + 3;
        const int32_t next = NextStartCode(d, unit, end);
        int32_t last = next;  // the zeros before a four-byte start code belong to no unit
        while (last > unit && d[last - 1] == 0) --last;
        if (codec == AV_CODEC_ID_H264) {
            const int type = d[unit] & 0x1F;
            if (type == 7 || type == 8) {
                hash = HashInto(hash, d + unit, last - unit);
                any = true;
            } else if (type == 5 || type == 1) {
                start.clean = type == 5;
                break;
            }
        } else {
            const uint8_t code = d[unit];
            if (code == 0xB3 || code == 0xB5) {
                hash = HashInto(hash, d + unit, last - unit);
                any = true;
            } else if (code == 0x00) {
                start.clean = unit + 2 < end && (d[unit + 2] >> 3 & 7) == 1;
                break;
            }
        }
        at = next;
    }
    start.parameters = any ? hash : 0;
    return start;
}

// Whether the decoder surely goes from the piece before the join to the piece that starts at
// packet `join` as the times say, from the packets alone: the piece starts with a picture that
// shows nothing decoded before it (an IDR picture, or an I picture), under the parameter sets the
// piece before ended with (the same picture sizes and reordering, so the decoder neither starts
// again nor holds pictures otherwise), and no picture of its first GOP is shown before it. The
// pictures the piece before still holds are then all shown before the new piece's, as a decode of
// that piece alone would end. Otherwise only a decode across the join tells.
bool JoinClearFromPackets(const std::vector<PacketEntry>& packets, const std::vector<KeyStart>& keyStarts,
                          const std::vector<bool>& bidirectional, int32_t join, int32_t nextJoin, AVCodecID codec) {
    const auto at = std::lower_bound(keyStarts.begin(), keyStarts.end(), join,
                                     [](const KeyStart& k, int32_t packet) { return k.packet < packet; });
    if (at == keyStarts.end() || at->packet != join || !at->clean || at->parameters == 0) return false;
    uint64_t before = 0;  // the parameter sets last given before the join
    for (auto k = at; k != keyStarts.begin() && before == 0;) before = (--k)->parameters;
    if (before != at->parameters) return false;
    const PacketEntry& first = packets[size_t(join)];
    for (int32_t i = join + 1; i < nextJoin && size_t(i - join) <= kMaxReorder; ++i) {
        const PacketEntry& p = packets[size_t(i)];
        if (p.key) break;
        if (codec == AV_CODEC_ID_H264) {
            if (p.label == AV_NOPTS_VALUE || first.label == AV_NOPTS_VALUE || p.label <= first.label) return false;
        } else if (bidirectional[size_t(i)]) {
            return false;  // a B picture right after the I picture is shown before it
        } else {
            break;  // the next reference: what follows is shown after the I picture
        }
    }
    return true;
}

// MPEG-1, MPEG-2 and MPEG-4 pictures tell their type near the packet's start: the codec
// reorders only B pictures, shown after the reference decoded after them.
enum class PictureType { Unknown, Bidirectional, Other };

constexpr int kPictureHeaderReach = 1024;

PictureType PictureTypeOf(const AVPacket& packet, AVCodecID codec) {
    const int end = std::min(packet.size, kPictureHeaderReach);
    const uint8_t* d = packet.data;
    for (int i = 0; i + 5 < end; ++i) {
        if (d[i] != 0 || d[i + 1] != 0 || d[i + 2] != 1) continue;
        if ((codec == AV_CODEC_ID_MPEG1VIDEO || codec == AV_CODEC_ID_MPEG2VIDEO) && d[i + 3] == 0x00) {
            return (d[i + 5] >> 3 & 7) == 3 ? PictureType::Bidirectional : PictureType::Other;
        }
        if (codec == AV_CODEC_ID_MPEG4 && d[i + 3] == 0xB6) {
            return (d[i + 4] >> 6) == 2 ? PictureType::Bidirectional : PictureType::Other;
        }
    }
    return PictureType::Unknown;
}

bool TellsPictureTypes(AVCodecID codec) {
    return codec == AV_CODEC_ID_MPEG1VIDEO || codec == AV_CODEC_ID_MPEG2VIDEO || codec == AV_CODEC_ID_MPEG4;
}

// A codec that shows pictures in another order than it decodes them, with times that show no
// such reordering (times written as decode times, or shifted by a tick). A stream whose pictures
// all say they are no B pictures (FFmpeg's MPEG-2 by default) reorders nothing.
bool ReorderingHidden(const std::vector<PacketEntry>& packets, const AVStream& stream, bool withoutBPictures) {
    if (!Reorders(stream) || stream.codecpar->video_delay <= 0 || packets.size() < 2 || withoutBPictures) return false;
    for (size_t i = 1; i < packets.size(); ++i) {
        if (packets[i].label <= packets[i - 1].label) return false;
    }
    return true;
}

bool TimesGivePresentedOrder(const MediaIndex& index, const AVStream& stream, bool withoutBPictures) {
    const auto& packets = index.packets;
    const bool allLabelled =
        std::none_of(packets.begin(), packets.end(), [](const PacketEntry& p) { return p.label == AV_NOPTS_VALUE; });
    return !index.damaged && allLabelled && LabelsUnique(packets) && OrderWithinDecoderReach(packets) &&
           !ReorderingHidden(packets, stream, withoutBPictures);
}

}  // namespace

IndexOutcome BuildIndex(AVFormatContext& format, const AVStream& stream, const Progress& progress, MediaIndex& index,
                        bool fromTables) {
    index = {};
    index.fromTables = fromTables;
    std::vector<bool> known;       // the packet came with its presentation time
    std::vector<int32_t> flagged;  // packets the demuxer flags as damaged
    const int64_t fileSize = format.pb ? avio_size(format.pb) : -1;
    // The first report comes with the first packets, so that a cancel is seen at once.
    auto lastTold = std::chrono::steady_clock::now() - kProgressEvery;
    int sinceClock = 0;
    bool reordered = false;  // some picture is shown at another time than it is decoded
    const int unitLengthBytes = UnitLengthBytes(*stream.codecpar);
    const AVCodecID codecId = stream.codecpar->codec_id;
    bool withoutBPictures = TellsPictureTypes(codecId);  // until a packet says otherwise
    // Recordings joined end to end are told apart by their key packets and B pictures.
    const bool timesMayJump = format.iformat && (format.iformat->flags & AVFMT_TS_DISCONT);
    const bool readsKeyStarts = timesMayJump && !fromTables && TellsKeyStarts(codecId);
    std::vector<KeyStart> keyStarts;
    std::vector<bool> bidirectional;

    AVPacket* packet = av_packet_alloc();
    if (!packet) return IndexOutcome::Failed;
    IndexOutcome outcome = IndexOutcome::Built;
    int read;
    while ((read = av_read_frame(&format, packet)) >= 0) {
        if (packet->stream_index == stream.index) {
            if (packet->flags & AV_PKT_FLAG_CORRUPT) flagged.push_back(int32_t(index.packets.size()));
            if (!fromTables && unitLengthBytes > 0 && !UnitsTile(*packet, unitLengthBytes)) index.damaged = true;
            // Read from tables alone, a packet's data is zeros and tells no picture type.
            const bool mpegVideo = codecId == AV_CODEC_ID_MPEG1VIDEO || codecId == AV_CODEC_ID_MPEG2VIDEO;
            const PictureType type = withoutBPictures || (readsKeyStarts && mpegVideo) ? PictureTypeOf(*packet, codecId)
                                                                                       : PictureType::Unknown;
            if (type != PictureType::Other) withoutBPictures = false;
            if (readsKeyStarts) {
                bidirectional.push_back(type == PictureType::Bidirectional);
                // Parameter sets may come with any picture; the scan stops at the picture's first
                // unit, near the packet's start.
                KeyStart start = KeyStartOf(*packet, codecId);
                start.packet = int32_t(index.packets.size());
                if ((packet->flags & AV_PKT_FLAG_KEY) || start.parameters != 0) keyStarts.push_back(start);
            }
            if (index.packets.size() >= kMaxPackets) {
                outcome = IndexOutcome::Failed;
                av_packet_unref(packet);
                break;
            }
            PacketEntry entry;
            entry.pts = packet->pts;
            entry.dts = packet->dts;
            entry.label = packet->pts != AV_NOPTS_VALUE ? packet->pts : packet->dts;
            entry.time = packet->dts != AV_NOPTS_VALUE ? packet->dts : packet->pts;
            entry.pos = packet->pos;
            entry.key = packet->flags & AV_PKT_FLAG_KEY;
            entry.shown = !(packet->flags & AV_PKT_FLAG_DISCARD);
            known.push_back(packet->pts != AV_NOPTS_VALUE);
            if (packet->pts != AV_NOPTS_VALUE && packet->pts != packet->dts) {
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
    if (fromTables) {
        // A parser that saw only zeros cannot tell key packets: the sample table's sync
        // samples (complete now, fragments included) are.
        std::vector<std::pair<int64_t, bool>> syncAt;
        const int entries = avformat_index_get_entries_count(&stream);
        syncAt.reserve(size_t(std::max(entries, 0)));
        for (int i = 0; i < entries; ++i) {
            const AVIndexEntry* e = avformat_index_get_entry(const_cast<AVStream*>(&stream), i);
            if (e) syncAt.emplace_back(e->pos, (e->flags & AVINDEX_KEYFRAME) != 0);
        }
        std::sort(syncAt.begin(), syncAt.end());
        for (PacketEntry& p : index.packets) {
            const auto at = std::lower_bound(syncAt.begin(), syncAt.end(), std::make_pair(p.pos, true));
            p.key = at != syncAt.end() && at->first == p.pos && at->second;
        }
    }
    if (index.packets.empty()) return IndexOutcome::Failed;

    // Recordings joined end to end in a stream whose times may jump (MPEG transport and program
    // streams, read again from a byte position), each starting at a key packet: each piece's
    // times follow the piece before's.
    std::vector<int32_t> starts;
    if (timesMayJump && !index.damaged && !DecodeTimesAscend(index.packets)) starts = PieceStarts(index.packets);
    if (starts.size() > 1 && FlaggedOnlyAtJoins(flagged, starts) && FollowPieces(index.packets, starts)) {
        for (size_t k = 1; k < starts.size(); ++k) {
            const int32_t next = k + 1 < starts.size() ? starts[k + 1] : int32_t(index.packets.size());
            if (!readsKeyStarts ||
                !JoinClearFromPackets(index.packets, keyStarts, bidirectional, starts[k], next, codecId)) {
                index.joinsToCheck.push_back(starts[k]);
            }
        }
        index.pieceStarts = std::move(starts);
    } else if (!flagged.empty()) {
        index.damaged = true;
    }
    index.decoded = !DecodeTimesAscend(index.packets);
    if (!index.decoded) {
        // Without reordering a picture is decoded when it is shown.
        for (size_t i = 0; i < index.packets.size(); ++i) {
            PacketEntry& p = index.packets[i];
            if (p.dts == AV_NOPTS_VALUE && known[i] && !reordered) p.dts = p.label;
        }
        RebuildMissingLabels(index.packets, known, reordered);
        index.decoded = !TimesGivePresentedOrder(index, stream, withoutBPictures);
    }
    if (index.decoded) OrderByDecoding(index);

    index.startsAtKey = index.packets.front().key;
    index.packets.front().key = true;  // decoding can always start at the first packet
    for (size_t i = 0; i < index.packets.size(); ++i) {
        const PacketEntry& p = index.packets[i];
        if (p.key) index.keys.push_back(int32_t(i));
        if (p.shown && !index.decoded) index.presented.push_back(p.label);
    }
    std::sort(index.presented.begin(), index.presented.end());
    return index.decoded || !index.presented.empty() ? IndexOutcome::Built : IndexOutcome::Failed;
}

bool PacketsChecked(const AVCodecParameters& codec) { return UnitLengthBytes(codec) > 0; }

bool PacketWhole(const AVCodecParameters& codec, const AVPacket& packet) {
    const int lengthBytes = UnitLengthBytes(codec);
    return lengthBytes == 0 || UnitsTile(packet, lengthBytes);
}

bool UnitChecks::AllWhole() const {
    return !damaged && std::all_of(whole.begin(), whole.end(), [](const std::atomic<bool>& w) { return w.load(); });
}

void OrderByDecoding(MediaIndex& index) {
    index.decoded = true;
    index.pieceStarts.clear();
    index.joinsToCheck.clear();
    index.presented.clear();
    for (size_t i = 0; i < index.packets.size(); ++i) index.packets[i].label = int64_t(i);
}

void FindPresentedPackets(MediaIndex& index) {
    if (index.decoded) {
        // Labels are packet numbers; pictures before the first labelled one start the stream.
        index.packetOfPresented.assign(index.presented.size(), 0);
        for (size_t n = 0; n < index.presented.size(); ++n) {
            index.packetOfPresented[n] = index.presented[n] >= 0 ? int32_t(index.presented[n]) : 0;
        }
        return;
    }
    std::vector<std::pair<int64_t, int32_t>> byLabel;
    byLabel.reserve(index.packets.size());
    for (size_t i = 0; i < index.packets.size(); ++i) byLabel.emplace_back(index.packets[i].label, int32_t(i));
    std::sort(byLabel.begin(), byLabel.end());
    index.packetOfPresented.clear();
    index.packetOfPresented.reserve(index.presented.size());
    for (const int64_t label : index.presented) {
        const auto it = std::lower_bound(byLabel.begin(), byLabel.end(), std::make_pair(label, int32_t(0)));
        index.packetOfPresented.push_back(it != byLabel.end() && it->first == label ? it->second : 0);
    }
}

int32_t StartPacketFor(const MediaIndex& index, int32_t position, int back) {
    // The last key packet in decode order at or before the picture's own packet.
    const int32_t packet = index.packetOfPresented[size_t(position)];
    const auto after = std::upper_bound(index.keys.begin(), index.keys.end(), packet);
    const int k = std::max(int(after - index.keys.begin()) - 1, 0);
    return index.keys[size_t(std::max(k - back, 0))];
}

int32_t StretchStartPacket(const MediaIndex& index, int32_t position) {
    const auto count = int32_t(index.packetOfPresented.size());
    if (position <= 0 || index.keys.empty()) return 0;
    if (position >= count) return int32_t(index.packets.size());
    int32_t start = 0;
    for (int32_t p = 0; p <= position; ++p) start = std::max(start, StartPacketFor(index, p, 0));
    return start;
}

namespace {

void PutTraits(index_store::PayloadWriter& out, const StreamTraits& t) {
    for (const int32_t v : {t.streamIndex, t.codecId, t.width, t.height, t.timeBaseNum, t.timeBaseDen})
        out.U32(uint32_t(v));
}

template <typename T, typename Put>
void PutVector(index_store::PayloadWriter& out, const std::vector<T>& values, Put put) {
    out.I64(int64_t(values.size()));
    for (const T& v : values) put(v);
}

template <typename T, typename Get>
bool GetVector(index_store::PayloadReader& in, uint64_t itemBytes, std::vector<T>& values, Get get) {
    size_t count = 0;
    if (!in.Count(itemBytes, kMaxPackets * 4, count)) return false;
    values.resize(count);
    for (T& v : values) {
        if (!get(v)) return false;
    }
    return true;
}

// A column of numbers, each written as its difference from the one before (wrapping) in as
// few bytes as it needs: a packet's times and position, and the numbers of packets and
// pictures, grow little from one to the next. An index is read at every open of its video.
template <typename T, typename Value>
void PutColumn(index_store::PayloadWriter& out, const std::vector<T>& items, Value value) {
    uint64_t previous = 0;
    for (const T& item : items) {
        const auto v = uint64_t(int64_t(value(item)));
        out.Varint(int64_t(v - previous));
        previous = v;
    }
}

template <typename T, typename Set>
bool GetColumn(index_store::PayloadReader& in, std::vector<T>& items, Set set) {
    uint64_t previous = 0;
    for (T& item : items) {
        int64_t difference;
        if (!in.Varint(difference)) return false;
        previous += uint64_t(difference);
        if (!set(item, int64_t(previous))) return false;
    }
    return true;
}

template <typename T>
void PutNumbers(index_store::PayloadWriter& out, const std::vector<T>& values) {
    out.I64(int64_t(values.size()));
    PutColumn(out, values, [](T v) { return int64_t(v); });
}

template <typename T>
bool GetNumbers(index_store::PayloadReader& in, std::vector<T>& values) {
    size_t count = 0;
    if (!in.Count(1, kMaxPackets * 4, count)) return false;
    values.resize(count);
    return GetColumn(in, values, [](T& v, int64_t n) {
        if (n < std::numeric_limits<T>::min() || n > std::numeric_limits<T>::max()) return false;
        v = T(n);
        return true;
    });
}

// Whether a read-back index holds together: every count and every reference within range, the
// orders the readers rely on kept. Anything else is taken for a damaged file.
bool Consistent(const MediaIndex& index) {
    const size_t packets = index.packets.size();
    const size_t positions = index.presented.size();
    if (packets == 0 || packets > kMaxPackets || positions == 0 || index.keys.empty()) return false;
    if (index.keys.front() != 0 || !std::is_sorted(index.keys.begin(), index.keys.end())) return false;
    if (std::adjacent_find(index.keys.begin(), index.keys.end()) != index.keys.end()) return false;
    size_t keyCount = 0;
    for (size_t i = 0; i < packets; ++i) keyCount += index.packets[i].key;
    if (keyCount != index.keys.size()) return false;
    for (const int32_t k : index.keys) {
        if (k < 0 || size_t(k) >= packets || !index.packets[size_t(k)].key) return false;
    }
    if (index.packetOfPresented.size() != positions) return false;
    for (const int32_t p : index.packetOfPresented) {
        if (p < 0 || size_t(p) >= packets) return false;
    }
    // Joined recordings: pieces that begin at the first packet, then at key packets, ascending.
    if (!index.pieceStarts.empty()) {
        if (index.decoded || index.pieceStarts.size() < 2 || index.pieceStarts.front() != 0) return false;
        for (size_t k = 0; k < index.pieceStarts.size(); ++k) {
            const int32_t start = index.pieceStarts[k];
            if (start < 0 || size_t(start) >= packets || (k > 0 && !index.packets[size_t(start)].key)) return false;
            if (k > 0 && start <= index.pieceStarts[k - 1]) return false;
        }
    }
    if (index.decoded) {
        if (index.firstPosition.size() != packets || index.seconds.size() != positions) return false;
        if (index.fingerprints.size() != (index.damaged ? positions : 0)) return false;
        for (size_t i = 0; i < packets; ++i) {
            if (index.packets[i].label != int64_t(i)) return false;
        }
        for (const int32_t f : index.firstPosition) {
            if (f < -1 || (f >= 0 && size_t(f) >= positions)) return false;
        }
        for (size_t n = 0; n < positions; ++n) {
            const int64_t label = index.presented[n];
            if (label != std::numeric_limits<int64_t>::min() && (label < 0 || size_t(label) >= packets)) return false;
            if (!(index.seconds[n] >= 0) || (n > 0 && !(index.seconds[n] > index.seconds[n - 1]))) return false;
        }
        return true;
    }
    if (!index.firstPosition.empty() || !index.fingerprints.empty() || !index.seconds.empty()) return false;
    for (size_t n = 0; n < positions; ++n) {
        if (n > 0 && index.presented[n] <= index.presented[n - 1]) return false;
        const PacketEntry& p = index.packets[size_t(index.packetOfPresented[n])];
        if (p.label != index.presented[n] || !p.shown) return false;
    }
    return true;
}

}  // namespace

std::vector<uint8_t> SavedIndex(const MediaIndex& index, const StreamTraits& traits) {
    index_store::PayloadWriter out;
    PutTraits(out, traits);
    out.U8(index.decoded);
    out.U8(index.startsAtKey);
    out.U8(index.damaged);
    out.U8(index.fromTables);
    out.I64(int64_t(index.packets.size()));
    for (int64_t PacketEntry::*field :
         {&PacketEntry::label, &PacketEntry::pts, &PacketEntry::dts, &PacketEntry::time, &PacketEntry::pos}) {
        PutColumn(out, index.packets, [&](const PacketEntry& p) { return p.*field; });
    }
    for (const PacketEntry& p : index.packets) out.U8(uint8_t(p.key | p.shown << 1));
    PutNumbers(out, index.keys);
    PutNumbers(out, index.presented);
    PutNumbers(out, index.firstPosition);
    PutVector(out, index.fingerprints, [&](uint64_t v) { out.I64(int64_t(v)); });
    PutVector(out, index.seconds, [&](double v) { out.F64(v); });
    PutNumbers(out, index.packetOfPresented);
    PutNumbers(out, index.pieceStarts);
    return std::move(out.Bytes());
}

std::optional<MediaIndex> IndexFromSaved(const std::vector<uint8_t>& bytes, const StreamTraits& traits) {
    index_store::PayloadReader in(bytes);
    StreamTraits saved;
    for (int32_t* v :
         {&saved.streamIndex, &saved.codecId, &saved.width, &saved.height, &saved.timeBaseNum, &saved.timeBaseDen}) {
        uint32_t u;
        if (!in.U32(u)) return std::nullopt;
        *v = int32_t(u);
    }
    if (!(saved == traits)) return std::nullopt;
    MediaIndex index;
    uint8_t flags[4];
    for (uint8_t& f : flags) {
        if (!in.U8(f) || f > 1) return std::nullopt;
    }
    index.decoded = flags[0];
    index.startsAtKey = flags[1];
    index.damaged = flags[2];
    index.fromTables = flags[3];
    // Each packet takes at least one byte for each of its five numbers and one for its flags.
    size_t packets = 0;
    if (!in.Count(6, kMaxPackets * 4, packets)) return std::nullopt;
    index.packets.resize(packets);
    bool read = true;
    for (int64_t PacketEntry::*field :
         {&PacketEntry::label, &PacketEntry::pts, &PacketEntry::dts, &PacketEntry::time, &PacketEntry::pos}) {
        read = read && GetColumn(in, index.packets, [&](PacketEntry& p, int64_t v) {
                   p.*field = v;
                   return true;
               });
    }
    for (PacketEntry& p : index.packets) {
        uint8_t bits = 0;
        if (!read || !in.U8(bits) || bits > 3) return std::nullopt;
        p.key = bits & 1;
        p.shown = bits & 2;
    }
    read = read && GetNumbers(in, index.keys) && GetNumbers(in, index.presented) &&
           GetNumbers(in, index.firstPosition) &&
           GetVector(in, 8, index.fingerprints,
                     [&](uint64_t& v) {
                         int64_t s;
                         if (!in.I64(s)) return false;
                         v = uint64_t(s);
                         return true;
                     }) &&
           GetVector(in, 8, index.seconds, [&](double& v) { return in.F64(v); }) &&
           GetNumbers(in, index.packetOfPresented) && GetNumbers(in, index.pieceStarts);
    if (!read || !in.AtEnd() || !Consistent(index)) return std::nullopt;
    return index;
}

}  // namespace media
