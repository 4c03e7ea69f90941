// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once
// The index of a video stream that is not AVI, built by one pass over its packets without
// decoding: every packet in decode order with its presentation time, and the presented pictures
// in presentation order. Position n of the video is the n-th presented picture.

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

extern "C" {
#include <libavformat/avformat.h>
}

namespace media {

struct PacketEntry {
    int64_t label = 0;             // presentation time, rebuilt where the file has none; unique
    int64_t pts = AV_NOPTS_VALUE;  // as the file gives it
    int64_t dts = AV_NOPTS_VALUE;
    int64_t time = AV_NOPTS_VALUE;  // the demuxer's own time to seek to: dts, or pts without one
    int64_t pos = -1;               // byte position in the file, -1 when unknown
    bool key = false;
    bool shown = true;  // false: an edit list starts the video after this picture
};

// The packets of an index read from tables whose units were not looked into yet (H.264, HEVC),
// as every reader sharing the index reads them: which were found whole, and whether one was not.
struct UnitChecks {
    explicit UnitChecks(size_t packets) : whole(packets) {}
    std::vector<std::atomic<bool>> whole;
    std::atomic<bool> damaged{false};
    // Every packet read and found whole.
    bool AllWhole() const;
};

struct MediaIndex {
    std::vector<PacketEntry> packets;  // decode order
    std::vector<int32_t> keys;         // packets that decoding may start from, decode order
    // Times: the labels of the presented pictures, ascending. Decoded: the label of each
    // picture's packet (its number), in the order the decoder gives the pictures.
    std::vector<int64_t> presented;
    // The file's times cannot tell the presented order (joined or cut recordings, times
    // edited, damage): packets are labelled with their number and the presented pictures are
    // those a decode of the whole stream gives, each known by a fingerprint.
    bool decoded = false;
    std::vector<int32_t> firstPosition;  // decoded: per packet, its first picture's position or -1
    std::vector<uint64_t> fingerprints;  // decoded: per position
    std::vector<double> seconds;         // decoded: per position, from the first picture
    // The first packet is a key packet: false for a recording cut inside a GOP.
    bool startsAtKey = true;
    // The demuxer met a damaged packet or ended on an error.
    bool damaged = false;
    // Recordings joined end to end: the first packet of each, when their times were moved to
    // follow one another and give the order (see BuildIndex); empty otherwise.
    std::vector<int32_t> pieceStarts;
    // While the index is built (never saved): the pieces' starts whose packets leave in doubt
    // whether the decoder goes on to them as the times say; the reader decodes across each.
    std::vector<int32_t> joinsToCheck;
    // Per position, the packet that holds its picture (see FindPresentedPackets).
    std::vector<int32_t> packetOfPresented;
    // Read from the container's sample tables, without the packets' data: damage inside a
    // packet was not looked for.
    bool fromTables = false;
    // Read from tables, of a codec whose packets the pass over the data looks into (see
    // PacketsChecked): the readers record here what they find as they read the packets. Null once
    // every packet was found whole (the index is then saved without fromTables) and for others.
    std::shared_ptr<UnitChecks> unitChecks;
};

// What an index was built for: a saved index is taken only by the same stream.
struct StreamTraits {
    int32_t streamIndex = 0;
    int32_t codecId = 0;
    int32_t width = 0;
    int32_t height = 0;
    int32_t timeBaseNum = 0;
    int32_t timeBaseDen = 0;
    friend bool operator==(const StreamTraits&, const StreamTraits&) = default;
};

// Told how far the pass has come, in percent; answers false to cancel it.
using Progress = std::function<bool(int percent)>;

enum class IndexOutcome { Built, Failed, Cancelled };

// Reads every packet of the stream from where the demuxer stands. Other streams must be
// discarded beforehand. When the times cannot be trusted `presented` is left empty, for a decode
// of the whole stream to fill. Recordings joined end to end in a transport or program stream are
// ordered by their times, piece by piece, when each piece starts at a key packet; the reader
// must then check, across each join in `joinsToCheck`, that the decoder goes from one piece to
// the next as the times say.
// With `fromTables` the packets' data is not looked at (a demuxer that reads it as zeros):
// each packet's key flag is then the sample table's.
IndexOutcome BuildIndex(AVFormatContext& format, const AVStream& stream, const Progress& progress, MediaIndex& index,
                        bool fromTables = false);

// Whether the pass over the packets looks inside this codec's packets for damage (H.264 and
// HEVC units that do not tile their packet): indexed from tables alone, such a stream's packets
// are still to be looked into (MediaIndex::unitChecks).
bool PacketsChecked(const AVCodecParameters& codec);
// Whether a packet of such a codec is whole: its units tile it.
bool PacketWhole(const AVCodecParameters& codec, const AVPacket& packet);

// A finished index as bytes to save, and back. Reading back checks every count and every
// reference between the index's parts, so that no saved file, however made, can send a
// reader out of its tables; a file of another stream is refused.
std::vector<uint8_t> SavedIndex(const MediaIndex& index, const StreamTraits& traits);
std::optional<MediaIndex> IndexFromSaved(const std::vector<uint8_t>& bytes, const StreamTraits& traits);

// Gives up the order by times: packets are labelled with their number, for a decode of the whole
// stream to find the presented pictures.
void OrderByDecoding(MediaIndex& index);

// Fills packetOfPresented once `presented` is final.
void FindPresentedPackets(MediaIndex& index);

// The packet to start decoding from for the picture at `position`: the last key packet before
// its own, or `back` key packets further back.
int32_t StartPacketFor(const MediaIndex& index, int32_t position, int back);

// Where the packets that a stretch of positions beginning at `position` answers for begin, when
// the packets of a video read in stretches are looked into stretch by stretch: the key packet
// its decode starts from, never before that of an earlier position, so that stretches cut at
// any positions answer for every packet once between them. 0 for position 0, the count of
// packets past the last position.
int32_t StretchStartPacket(const MediaIndex& index, int32_t position);

}  // namespace media
