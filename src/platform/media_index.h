// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once
// The index of a video stream that is not AVI, built by one pass over its packets without
// decoding: every packet in decode order with its presentation time, and the presented pictures
// in presentation order. Position n of the video is the n-th presented picture.

#include <cstdint>
#include <functional>
#include <vector>

extern "C" {
#include <libavformat/avformat.h>
}

namespace mediafile {

struct PacketEntry {
    int64_t label = 0;  // presentation time, rebuilt where the file has none; unique
    int64_t dts = AV_NOPTS_VALUE;
    int64_t time = AV_NOPTS_VALUE;  // the demuxer's own time to seek to: dts, or pts without one
    int64_t pos = -1;               // byte position in the file, -1 when unknown
    bool key = false;
    bool shown = true;  // false: an edit list starts the video after this picture
};

struct MediaIndex {
    std::vector<PacketEntry> packets;  // decode order
    std::vector<int32_t> keys;         // packets that decoding may start from, decode order
    std::vector<int64_t> presented;    // labels of the presented pictures, ascending
    // The file's times are no presentation order (a remuxed AVI): pictures are labelled with
    // their packet's number and show in decode order.
    bool decodeOrder = false;
    // The demuxer met a damaged packet or ended on an error: the last pictures may not decode.
    bool damaged = false;
};

// Told how far the pass has come, in percent; answers false to cancel it.
using Progress = std::function<bool(int percent)>;

enum class IndexOutcome { Built, Failed, Cancelled };

// Reads every packet of the stream from where the demuxer stands. Other streams must be
// discarded beforehand.
IndexOutcome BuildIndex(AVFormatContext& format, const AVStream& stream, const Progress& progress, MediaIndex& index);

// The position of the picture labelled `label`, or -1.
int32_t PositionOf(const MediaIndex& index, int64_t label);

// The packet to start decoding from for the picture labelled `label`, `back` key packets
// further back than the nearest one.
int32_t StartPacketFor(const MediaIndex& index, int64_t label, int back);

}  // namespace mediafile
