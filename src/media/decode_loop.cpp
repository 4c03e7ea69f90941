// SPDX-License-Identifier: GPL-2.0-or-later
#include "media/decode_loop.h"

namespace media {

DecodeLoop::DecodeLoop() : packet_(av_packet_alloc()) {}

int DecodeLoop::SendKept(AVCodecContext* codec) {
    const int sent = avcodec_send_packet(codec, kept_ == Kept::End ? nullptr : packet_.get());
    if (sent == AVERROR(EAGAIN)) return sent;
    av_packet_unref(packet_.get());
    kept_ = Kept::None;
    return sent;
}

int DecodeLoop::Receive(AVCodecContext* codec, AVFrame* frame, const NextPacket& next) {
    while (true) {
        const int got = avcodec_receive_frame(codec, frame);
        if (got != AVERROR(EAGAIN)) return got;
        if (kept_ != Kept::None) {
            // The pictures it held are out: the packet it could not take goes in now. A
            // decoder that neither gives nor takes would loop for ever: the run fails.
            if (SendKept(codec) == AVERROR(EAGAIN)) {
                av_packet_unref(packet_.get());
                kept_ = Kept::None;
                return AVERROR_BUG;
            }
            continue;
        }
        while (true) {
            const PacketRead read = next(packet_.get());
            if (read == PacketRead::Stop) {
                av_packet_unref(packet_.get());
                return AVERROR(EAGAIN);
            }
            kept_ = read == PacketRead::End ? Kept::End : Kept::Packet;
            const int sent = SendKept(codec);
            // Taken, kept for later, or the end: pictures may come. A damaged packet is
            // passed over; the decoder goes on with the next.
            if (sent == 0 || sent == AVERROR(EAGAIN) || read == PacketRead::End) break;
        }
    }
}

void DecodeLoop::Flush(AVCodecContext* codec) {
    avcodec_flush_buffers(codec);
    av_packet_unref(packet_.get());
    kept_ = Kept::None;
}

}  // namespace media
