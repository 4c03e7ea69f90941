// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once
// One decoder fed packet by packet, as both readers of this layer decode: pictures are taken
// as long as the decoder gives them; when it wants input, the reader's next packet is sent.
// A packet the decoder cannot take yet (AVERROR(EAGAIN)) is kept and sent again once the
// pictures it holds are out, so that no packet of a run is lost.

#include <functional>

extern "C" {
#include <libavcodec/avcodec.h>
}

#include "media/ffmpeg_handles.h"

namespace media {

// What a reader gives when the decoder wants input.
enum class PacketRead {
    Packet,  // the packet given is filled: it is sent
    End,     // the run's packets are all sent: the decoder gives up the pictures it holds
    Stop,    // the run cannot go on; nothing is sent
};

class DecodeLoop {
public:
    // Fills `packet` (empty when given) with the run's next packet.
    using NextPacket = std::function<PacketRead(AVPacket* packet)>;

    DecodeLoop();
    // False when its packet could not be allocated.
    bool Valid() const { return packet_ != nullptr; }

    // The next picture of the run into `frame`: 0; AVERROR(EAGAIN) when the reader stopped the
    // run (nothing is known of what would have come); otherwise the decoder's end
    // (AVERROR_EOF once drained) or error, after which it needs a flush.
    int Receive(AVCodecContext* codec, AVFrame* frame, const NextPacket& next);
    // Flushes the decoder for a new run, forgetting a packet kept for it.
    void Flush(AVCodecContext* codec);

private:
    enum class Kept { None, Packet, End };
    // Sends what is kept; it stays kept only when the decoder answers AVERROR(EAGAIN).
    int SendKept(AVCodecContext* codec);

    ffmpeg::Packet packet_;
    Kept kept_ = Kept::None;
};

}  // namespace media
