// SPDX-License-Identifier: GPL-2.0-or-later
#include "support/fixture_video.h"

#include "media/ffmpeg_handles.h"
#include "media/picture_scaler.h"

#include <QImage>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <random>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/display.h>
#include <libavutil/imgutils.h>
#include <libavutil/opt.h>
#include <libswscale/swscale.h>
}

namespace fixture {
namespace {

// The number is painted as a 4 × 4 grid of cells, one bit each, top-left cell first.
constexpr int kGrid = 4;
constexpr int kBits = kGrid * kGrid;
constexpr int kDark = 48;
constexpr int kBright = 208;
constexpr int kTexture = 31;  // amplitude of the moving texture laid over the cells
constexpr int kThreshold = (kDark + kBright + kTexture) / 2;
constexpr int kRate = 25;
constexpr int kAudioRate = 8000;

struct OutputCloser {
    void operator()(AVFormatContext* c) const {
        if (c->pb) avio_closep(&c->pb);
        avformat_free_context(c);
    }
};

// Grey level of a pixel of picture `number`, top-down coordinates.
int Level(int number, int x, int y, int width, int height) {
    const int cell = (y * kGrid / height) * kGrid + x * kGrid / width;
    const int base = (number >> cell) & 1 ? kBright : kDark;
    return base + (((x + 3 * number) ^ (y + number)) & kTexture);
}

// Grey level of a pixel of a shot's own pattern: big blocks of levels of its own.
int ShotLevel(int shot, int x, int y, int width, int height, int number) {
    const uint32_t block = uint32_t((y * 6 / height) * 6 + x * 6 / width);
    const uint32_t hash = (block + 1) * 2654435761u ^ uint32_t(shot + 1) * 40503u;
    return 40 + int((hash >> 7) % 160) + (((x + number / 2) ^ y) & 15);
}

// Grey level of a pixel of picture `number` of a video of shots, blended across transitions.
int ShotsLevel(const VideoOptions& o, int number, int x, int y) {
    const int shot = number / o.shotLength;
    const int into = number % o.shotLength;
    const int half = o.transitionFrames / 2;
    const int level = ShotLevel(shot, x, y, o.width, o.height, number);
    // The transition runs from `half` pictures before a shot's start to `half` after it.
    int other = shot;
    double way = 0;  // the share of the other shot (or of black)
    if (half > 0 && into < half && shot > 0) {
        other = shot - 1;
        way = 0.5 - double(into) / (2 * half);
    } else if (half > 0 && o.shotLength - into <= half && (number + half) / o.shotLength < o.frames / o.shotLength) {
        other = shot + 1;
        way = 0.5 - double(o.shotLength - into - 1) / (2 * half);
    }
    if (other == shot) {
        int lit = level;
        if (o.flashAt > 0 && into >= o.flashAt && into < o.flashAt + 3) lit += (255 - lit) * (o.flashAt + 3 - into) / 4;
        return o.lightAt > 0 && into >= o.lightAt ? lit / 2 : lit;
    }
    if (o.throughBlack) return int(level * (1.0 - 2 * way));
    if (o.wipe) {
        const double later = other < shot ? 1.0 - way : way;  // the share of the later shot
        return ShotLevel(x < later * o.width ? std::max(shot, other) : std::min(shot, other), x, y, o.width, o.height,
                         number);
    }
    return int(level * (1.0 - way) + ShotLevel(other, x, y, o.width, o.height, number) * way);
}

struct CodecSetup {
    AVCodecID id;
    AVPixelFormat format;
};

CodecSetup SetupOf(Codec codec) {
    switch (codec) {
        case Codec::Rgb24:
            return {AV_CODEC_ID_RAWVIDEO, AV_PIX_FMT_BGR24};
        case Codec::Pal8:
            return {AV_CODEC_ID_RAWVIDEO, AV_PIX_FMT_PAL8};
        case Codec::Mjpeg:
            return {AV_CODEC_ID_MJPEG, AV_PIX_FMT_YUVJ420P};
        case Codec::Mpeg4BFrames:
        case Codec::Mpeg4Packed:
            return {AV_CODEC_ID_MPEG4, AV_PIX_FMT_YUV420P};
        case Codec::Ffv1:
            return {AV_CODEC_ID_FFV1, AV_PIX_FMT_YUV420P};
        case Codec::H264:
            return {AV_CODEC_ID_H264, AV_PIX_FMT_YUV420P};
        case Codec::H264High10:
            return {AV_CODEC_ID_H264, AV_PIX_FMT_YUV420P10LE};
        case Codec::Vp9:
            return {AV_CODEC_ID_VP9, AV_PIX_FMT_YUV420P};
        case Codec::Mpeg2:
        case Codec::Mpeg2Plain:
            return {AV_CODEC_ID_MPEG2VIDEO, AV_PIX_FMT_YUV420P};
    }
    return {AV_CODEC_ID_NONE, AV_PIX_FMT_NONE};
}

class Writer {
public:
    explicit Writer(const VideoOptions& options) : options_(options) {}
    bool Write(const std::string& path);

private:
    bool AddAudio();
    bool AddVideo();
    bool WriteAudioUpTo(int64_t videoFrame);
    bool Paint(AVFrame& frame, int number);
    bool Drain(bool flush);
    bool WriteChunk(AVPacket& packet);
    bool Pack(AVPacket& packet);
    bool WritePlaceholder();

    const VideoOptions& options_;
    std::unique_ptr<AVFormatContext, OutputCloser> out_;
    ffmpeg::Codec encoder_;
    ffmpeg::Packet packet_{av_packet_alloc()};
    ffmpeg::Scaler sws_;
    std::vector<uint8_t> bgr_;
    AVStream* video_ = nullptr;
    AVStream* audio_ = nullptr;
    int64_t audioSamples_ = 0;
    int64_t slot_ = 0;                        // the next chunk position of the video stream
    ffmpeg::Packet held_{av_packet_alloc()};  // a reference waiting for its B-frame
};

constexpr int kVopStartCode = 0xB6;
// The user data by which decoders recognise packed B-frames: the trailing 'p'.
constexpr char kPackedUserData[] =
    "\x00\x00\x01\xB2"
    "DivX503b1393p";

// Offset of the first VOP start code in a packet, or -1.
int FirstVop(const AVPacket& packet) {
    for (int i = 0; i + 4 < packet.size; ++i) {
        if (packet.data[i] == 0 && packet.data[i + 1] == 0 && packet.data[i + 2] == 1 &&
            packet.data[i + 3] == kVopStartCode) {
            return i;
        }
    }
    return -1;
}

bool IsBVop(const AVPacket& packet) {
    const int at = FirstVop(packet);
    return at >= 0 && packet.data[at + 4] >> 6 == 2;
}

bool Writer::AddAudio() {
    audio_ = avformat_new_stream(out_.get(), nullptr);
    if (!audio_) return false;
    AVCodecParameters* par = audio_->codecpar;
    par->codec_type = AVMEDIA_TYPE_AUDIO;
    par->codec_id = AV_CODEC_ID_PCM_S16LE;
    par->sample_rate = kAudioRate;
    av_channel_layout_default(&par->ch_layout, 1);
    par->bits_per_coded_sample = 16;
    par->block_align = 2;
    par->bit_rate = kAudioRate * 16;
    audio_->time_base = AVRational{1, kAudioRate};
    return true;
}

bool Writer::AddVideo() {
    const CodecSetup setup = SetupOf(options_.codec);
    const AVCodec* codec = setup.id == AV_CODEC_ID_H264  ? avcodec_find_encoder_by_name("libx264")
                           : setup.id == AV_CODEC_ID_VP9 ? avcodec_find_encoder_by_name("libvpx-vp9")
                                                         : avcodec_find_encoder(setup.id);
    if (!codec) return false;
    encoder_.reset(avcodec_alloc_context3(codec));
    if (!encoder_) return false;
    AVCodecContext* c = encoder_.get();
    c->width = options_.width;
    c->height = options_.height;
    c->pix_fmt = setup.format;
    // Late pictures need a finer clock than the frame rate.
    c->time_base = options_.variableRate ? AVRational{1, 1000} : AVRational{1, kRate};
    c->framerate = AVRational{kRate, 1};
    c->thread_count = 1;
    if (setup.id == AV_CODEC_ID_H264) {
        c->max_b_frames = 3;
        c->gop_size = 12;
        av_opt_set(c->priv_data, "preset", "veryfast", 0);
        av_opt_set(c->priv_data, "x264-params", options_.openGop ? "open-gop=1:scenecut=0" : "scenecut=0", 0);
    }
    if (setup.id == AV_CODEC_ID_VP9) {
        c->gop_size = 12;
        c->bit_rate = 400000;
        av_opt_set(c->priv_data, "deadline", "realtime", 0);
        av_opt_set_int(c->priv_data, "cpu-used", 8, 0);
    }
    if (setup.id == AV_CODEC_ID_MPEG4 || setup.id == AV_CODEC_ID_MJPEG || setup.id == AV_CODEC_ID_MPEG2VIDEO) {
        c->flags |= AV_CODEC_FLAG_QSCALE;
        c->global_quality = FF_QP2LAMBDA * 3;
    }
    if (options_.codec == Codec::Mpeg4BFrames || options_.codec == Codec::Mpeg2) {
        c->max_b_frames = 2;
        c->gop_size = 12;
    }
    if (options_.codec == Codec::Mpeg2Plain) c->gop_size = 12;
    if (options_.codec == Codec::Mpeg4Packed) {
        c->max_b_frames = 1;  // the packed layout holds one B-frame per reference
        c->gop_size = 12;
    }
    if (out_->oformat->flags & AVFMT_GLOBALHEADER) c->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    if (avcodec_open2(c, codec, nullptr) < 0) return false;
    video_ = avformat_new_stream(out_.get(), nullptr);
    if (!video_ || avcodec_parameters_from_context(video_->codecpar, c) < 0) return false;
    video_->time_base = c->time_base;
    if (options_.clockwise != 0 || options_.mirrored) {
        // The matrix a phone writes for a picture to be turned clockwise by the angle (its
        // rotation reads as minus the angle).
        auto* matrix =
            reinterpret_cast<int32_t*>(av_stream_new_side_data(video_, AV_PKT_DATA_DISPLAYMATRIX, 9 * sizeof(int32_t)));
        if (!matrix) return false;
        av_display_rotation_set(matrix, options_.clockwise);
        if (options_.mirrored) av_display_matrix_flip(matrix, 1, 0);
    }
    return true;
}

bool Writer::WriteAudioUpTo(int64_t videoFrame) {
    if (!audio_) return true;
    const int64_t until = videoFrame * kAudioRate / kRate;
    while (audioSamples_ < until) {
        const int samples = int(std::min<int64_t>(until - audioSamples_, kAudioRate / kRate));
        ffmpeg::Packet pkt(av_packet_alloc());
        if (!pkt || av_new_packet(pkt.get(), samples * 2) < 0) return false;
        for (int i = 0; i < samples; ++i) {
            const int16_t v = int16_t(((audioSamples_ + i) % 40 - 20) * 500);
            std::memcpy(pkt->data + 2 * i, &v, 2);
        }
        pkt->stream_index = audio_->index;
        pkt->pts = pkt->dts = av_rescale_q(audioSamples_, AVRational{1, kAudioRate}, audio_->time_base);
        pkt->duration = av_rescale_q(samples, AVRational{1, kAudioRate}, audio_->time_base);
        audioSamples_ += samples;
        if (av_interleaved_write_frame(out_.get(), pkt.get()) < 0) return false;
    }
    return true;
}

bool Writer::Paint(AVFrame& frame, int number) {
    const int w = options_.width;
    const int h = options_.height;
    if (frame.format == AV_PIX_FMT_PAL8) {
        // An inverted grey palette: a decoder that loses it shows the bits inverted.
        auto* palette = reinterpret_cast<uint32_t*>(frame.data[1]);
        for (int i = 0; i < 256; ++i) {
            const uint32_t g = uint32_t(255 - i);
            palette[i] = 0xFF000000u | g << 16 | g << 8 | g;
        }
        for (int y = 0; y < h; ++y) {
            for (int x = 0; x < w; ++x)
                frame.data[0][y * frame.linesize[0] + x] = uint8_t(255 - Level(number, x, y, w, h));
        }
        return true;
    }
    const int bgrStride = w * 3;
    // Room past the last row for the converter's block reads.
    bgr_.resize(size_t(bgrStride) * h + AV_INPUT_BUFFER_PADDING_SIZE);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const uint8_t v =
                uint8_t(options_.shotLength > 0 ? ShotsLevel(options_, number, x, y) : Level(number, x, y, w, h));
            uint8_t* p = &bgr_[size_t(y) * bgrStride + 3 * x];
            p[0] = v;
            p[1] = v;
            p[2] = v;
        }
    }
    for (const auto& [picture, passes] : options_.blurred) {
        if (picture != number) continue;
        std::vector<uint8_t> grey(size_t(w) * h);
        for (size_t i = 0; i < grey.size(); ++i) grey[i] = bgr_[3 * i];
        for (int pass = 0; pass < passes; ++pass) {
            const std::vector<uint8_t> from = grey;
            for (int y = 0; y < h; ++y) {
                for (int x = 0; x < w; ++x) {
                    int sum = 0, count = 0;
                    for (int dy = -1; dy <= 1; ++dy) {
                        for (int dx = -1; dx <= 1; ++dx) {
                            if (x + dx < 0 || x + dx >= w || y + dy < 0 || y + dy >= h) continue;
                            sum += from[size_t(y + dy) * w + x + dx];
                            ++count;
                        }
                    }
                    grey[size_t(y) * w + x] = uint8_t(sum / count);
                }
            }
        }
        for (size_t i = 0; i < grey.size(); ++i) bgr_[3 * i] = bgr_[3 * i + 1] = bgr_[3 * i + 2] = grey[i];
    }
    sws_.reset(sws_getCachedContext(sws_.release(), w, h, AV_PIX_FMT_BGR24, w, h, AVPixelFormat(frame.format),
                                    SWS_BICUBIC, nullptr, nullptr, nullptr));
    if (!sws_) return false;
    const uint8_t* src[4] = {bgr_.data(), nullptr, nullptr, nullptr};
    const int srcStride[4] = {bgrStride, 0, 0, 0};
    return sws_scale(sws_.get(), src, srcStride, 0, h, frame.data, frame.linesize) > 0;
}

bool Writer::Drain(bool flush) {
    AVCodecContext* c = encoder_.get();
    if (flush && avcodec_send_frame(c, nullptr) < 0) return false;
    while (true) {
        const int got = avcodec_receive_packet(c, packet_.get());
        if (got == AVERROR(EAGAIN)) return true;
        if (got == AVERROR_EOF) return !held_->data || WriteChunk(*held_);
        if (got < 0) return false;
        if (!(options_.codec == Codec::Mpeg4Packed ? Pack(*packet_) : WriteChunk(*packet_))) return false;
    }
}

bool Writer::WriteChunk(AVPacket& packet) {
    if (options_.container != "avi") {
        // Other containers keep the encoder's own times; a picture lasts one frame period, or
        // an MP4 edit list would end before the last one.
        if (packet.duration <= 0) packet.duration = av_rescale_q(1, AVRational{1, kRate}, encoder_->time_base);
        av_packet_rescale_ts(&packet, encoder_->time_base, video_->time_base);
        packet.stream_index = video_->index;
        return av_interleaved_write_frame(out_.get(), &packet) >= 0;
    }
    // The muxer writes an empty chunk for each position that a dts skips.
    const auto& dropped = options_.droppedAt;
    while (std::find(dropped.begin(), dropped.end(), slot_) != dropped.end()) ++slot_;
    const int64_t dts = slot_++;
    if (!WriteAudioUpTo(dts + 1)) return false;
    packet.dts = av_rescale_q(dts, encoder_->time_base, video_->time_base);
    packet.pts = packet.dts;
    packet.duration = 0;
    packet.stream_index = video_->index;
    return av_interleaved_write_frame(out_.get(), &packet) >= 0;
}

// Coded order I0 P2 B1 P4 B3 … becomes chunks I0, P2+B1, placeholder, P4+B3, placeholder …:
// every chunk shows one picture, the placeholder the reference of the chunk before it.
bool Writer::Pack(AVPacket& packet) {
    if (slot_ == 0) {
        // Packed streams say so in user data, which some carry in their first frame only.
        const int vop = FirstVop(packet);
        if (vop < 0) return false;
        const int extra = int(sizeof kPackedUserData) - 1;
        ffmpeg::Packet marked(av_packet_alloc());
        if (!marked || av_new_packet(marked.get(), packet.size + extra) < 0 ||
            av_packet_copy_props(marked.get(), &packet) < 0) {
            return false;
        }
        std::memcpy(marked->data, packet.data, size_t(vop));
        std::memcpy(marked->data + vop, kPackedUserData, size_t(extra));
        std::memcpy(marked->data + vop + extra, packet.data + vop, size_t(packet.size - vop));
        av_packet_unref(&packet);
        av_packet_move_ref(&packet, marked.get());
    }
    if (!IsBVop(packet) || !held_->data) {
        if (held_->data && !WriteChunk(*held_)) return false;
        av_packet_unref(held_.get());
        av_packet_move_ref(held_.get(), &packet);
        return true;
    }
    ffmpeg::Packet pair(av_packet_alloc());
    if (!pair || av_new_packet(pair.get(), held_->size + packet.size) < 0 ||
        av_packet_copy_props(pair.get(), held_.get()) < 0) {
        return false;
    }
    std::memcpy(pair->data, held_->data, size_t(held_->size));
    std::memcpy(pair->data + held_->size, packet.data, size_t(packet.size));
    av_packet_unref(held_.get());
    av_packet_unref(&packet);
    return WriteChunk(*pair) && WritePlaceholder();
}

// A P-VOP marked not coded, as packed streams put in the chunk after a pair.
bool Writer::WritePlaceholder() {
    const int timeBits = av_log2(unsigned(encoder_->time_base.den - 1)) + 1;
    std::vector<int> bits = {0, 1, 0, 1};          // P, no whole seconds, marker
    bits.insert(bits.end(), size_t(timeBits), 0);  // time increment
    bits.push_back(1);                             // marker
    bits.push_back(0);                             // not coded
    bits.push_back(0);                             // stuffing up to the byte boundary
    while (bits.size() % 8 != 0) bits.push_back(1);
    ffmpeg::Packet placeholder(av_packet_alloc());
    if (!placeholder || av_new_packet(placeholder.get(), 4 + int(bits.size() / 8)) < 0) return false;
    uint8_t* data = placeholder->data;
    data[0] = 0;
    data[1] = 0;
    data[2] = 1;
    data[3] = kVopStartCode;
    for (size_t i = 0; i < bits.size(); i += 8) {
        uint8_t byte = 0;
        for (size_t b = 0; b < 8; ++b) byte = uint8_t(byte << 1 | bits[i + b]);
        data[4 + i / 8] = byte;
    }
    return WriteChunk(*placeholder);
}

bool Writer::Write(const std::string& path) {
    av_log_set_level(AV_LOG_QUIET);
    AVFormatContext* raw = nullptr;
    if (avformat_alloc_output_context2(&raw, nullptr, options_.container.c_str(), path.c_str()) < 0) return false;
    out_.reset(raw);
    if (!packet_) return false;
    if (options_.audioFirst || !options_.video) {
        if (!AddAudio()) return false;
    }
    if (options_.video && !AddVideo()) return false;
    if (avio_open(&out_->pb, path.c_str(), AVIO_FLAG_WRITE) < 0) return false;
    // As the ffmpeg tool writes them: the first picture decoded at time 0, the reordering delay
    // left to an edit list.
    if (options_.container != "avi") out_->avoid_negative_ts = AVFMT_AVOID_NEG_TS_MAKE_ZERO;
    if (avformat_write_header(out_.get(), nullptr) < 0) return false;

    if (options_.video) {
        ffmpeg::Frame frame(av_frame_alloc());
        if (!frame) return false;
        frame->format = encoder_->pix_fmt;
        frame->width = options_.width;
        frame->height = options_.height;
        if (av_frame_get_buffer(frame.get(), 0) < 0) return false;
        for (int i = 0; i < options_.frames; ++i) {
            if (av_frame_make_writable(frame.get()) < 0 || !Paint(*frame, i)) return false;
            frame->pts = options_.variableRate ? i * 1000 / kRate + (i % 7 == 3 ? 13 : 0) : i;
            if (avcodec_send_frame(encoder_.get(), frame.get()) < 0 || !Drain(false)) return false;
        }
        if (!Drain(true)) return false;
    } else if (!WriteAudioUpTo(options_.frames)) {
        return false;
    }
    if (av_write_trailer(out_.get()) < 0) return false;
    return true;
}

std::vector<char> ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<char>(std::istreambuf_iterator<char>(in), {});
}

bool WriteAll(const std::string& path, const char* data, size_t size) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(data, std::streamsize(size));
    return bool(out);
}

void Put32(std::vector<char>& bytes, size_t at, uint32_t value) { std::memcpy(bytes.data() + at, &value, 4); }

// Offset of the body of the video stream's strh chunk, or 0.
size_t VideoStrh(const std::vector<char>& bytes) {
    const std::string text(bytes.begin(), bytes.end());
    for (size_t at = text.find("strh"); at != std::string::npos; at = text.find("strh", at + 4)) {
        if (text.compare(at + 8, 4, "vids") == 0) return at + 8;
    }
    return 0;
}

struct InputCloser {
    void operator()(AVFormatContext* c) const { avformat_close_input(&c); }
};
using Input = std::unique_ptr<AVFormatContext, InputCloser>;

Input OpenInput(const std::string& path) {
    AVFormatContext* raw = nullptr;
    if (avformat_open_input(&raw, path.c_str(), nullptr, nullptr) < 0) return nullptr;
    Input input(raw);
    if (avformat_find_stream_info(raw, nullptr) < 0) return nullptr;
    return input;
}

// Copies the video of `source` into `path` from the key packet before picture `cutAt` on, with
// times that start the video at that picture, as a cut without re-encoding does.
bool CopyFrom(const std::string& source, const std::string& path, const std::string& container, int cutAt) {
    Input in = OpenInput(source);
    if (!in) return false;
    const int video = av_find_best_stream(in.get(), AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    if (video < 0) return false;
    std::vector<AVPacket*> packets;
    struct Freer {
        std::vector<AVPacket*>& list;
        ~Freer() {
            for (AVPacket* p : list) av_packet_free(&p);
        }
    } freer{packets};
    for (ffmpeg::Packet p(av_packet_alloc()); p && av_read_frame(in.get(), p.get()) >= 0; p.reset(av_packet_alloc())) {
        if (p->stream_index == video) packets.push_back(p.release());
    }
    std::vector<int64_t> times;
    for (AVPacket* p : packets) times.push_back(p->pts);
    std::sort(times.begin(), times.end());
    if (cutAt >= int(times.size())) return false;
    const int64_t cut = times[size_t(cutAt)];
    size_t first = 0;
    for (size_t i = 0; i < packets.size(); ++i) {
        if ((packets[i]->flags & AV_PKT_FLAG_KEY) && packets[i]->pts <= cut) first = i;
    }

    AVFormatContext* raw = nullptr;
    if (avformat_alloc_output_context2(&raw, nullptr, container.c_str(), path.c_str()) < 0) return false;
    std::unique_ptr<AVFormatContext, OutputCloser> out(raw);
    AVStream* stream = avformat_new_stream(raw, nullptr);
    if (!stream || avcodec_parameters_copy(stream->codecpar, in->streams[video]->codecpar) < 0) return false;
    stream->codecpar->codec_tag = 0;
    stream->time_base = in->streams[video]->time_base;
    if (avio_open(&raw->pb, path.c_str(), AVIO_FLAG_WRITE) < 0 || avformat_write_header(raw, nullptr) < 0) return false;
    const AVRational from = in->streams[video]->time_base;
    for (size_t i = first; i < packets.size(); ++i) {
        AVPacket* p = packets[i];
        p->pts -= cut;
        p->dts -= cut;
        av_packet_rescale_ts(p, from, stream->time_base);
        p->stream_index = 0;
        p->pos = -1;
        if (av_interleaved_write_frame(raw, p) < 0) return false;
    }
    return av_write_trailer(raw) >= 0;
}

}  // namespace

Decoded DecodeSequentially(const std::string& path, media::Orientation orientation) {
    Decoded result;
    std::vector<std::vector<uint8_t>> pictures;
    if (!DecodeEach(path, orientation, result.width, result.height,
                    [&](std::vector<uint8_t>&& rows) { pictures.push_back(std::move(rows)); })) {
        return {};
    }
    result.pictures = std::move(pictures);
    return result;
}

bool DecodeEach(const std::string& path, media::Orientation orientation, int& width, int& height,
                const std::function<void(std::vector<uint8_t>&&)>& onPicture) {
    Input in = OpenInput(path);
    if (!in) return false;
    int video = -1;
    for (unsigned i = 0; i < in->nb_streams && video < 0; ++i) {
        if (in->streams[i]->codecpar->codec_type == AVMEDIA_TYPE_VIDEO) video = int(i);
    }
    if (video < 0) return false;
    const AVCodecParameters* par = in->streams[video]->codecpar;
    const AVCodec* decoder = avcodec_find_decoder(par->codec_id);
    ffmpeg::Codec codec(decoder ? avcodec_alloc_context3(decoder) : nullptr);
    if (!codec || avcodec_parameters_to_context(codec.get(), par) < 0) return false;
    codec->pkt_timebase = in->streams[video]->time_base;
    codec->thread_count = 1;
    if (avcodec_open2(codec.get(), decoder, nullptr) < 0) return false;
    const bool sideways = orientation.sideways();
    width = sideways ? par->height : par->width;
    height = sideways ? par->width : par->height;
    const int64_t stride = (int64_t(width) * 3 + 3) / 4 * 4;
    media::PictureScaler scaler;
    ffmpeg::Packet packet(av_packet_alloc());
    ffmpeg::Frame frame(av_frame_alloc());
    bool draining = false;
    while (true) {
        const int got = avcodec_receive_frame(codec.get(), frame.get());
        if (got == AVERROR(EAGAIN) && !draining) {
            int read;
            while ((read = av_read_frame(in.get(), packet.get())) >= 0 && packet->stream_index != video) {
                av_packet_unref(packet.get());
            }
            if (read < 0) {
                draining = true;
                avcodec_send_packet(codec.get(), nullptr);
            } else {
                avcodec_send_packet(codec.get(), packet.get());
                av_packet_unref(packet.get());
            }
            continue;
        }
        if (got < 0) break;
        std::vector<uint8_t> rows(size_t(stride * height), 0);
        if (!scaler.Convert(*frame, AV_PIX_FMT_BGR24, width, height, rows.data(), stride, true, orientation)) {
            return false;
        }
        onPicture(std::move(rows));
        av_frame_unref(frame.get());
    }
    return true;
}

const char* CodecName(Codec codec) {
    switch (codec) {
        case Codec::Rgb24:
            return "Rgb24";
        case Codec::Pal8:
            return "Pal8";
        case Codec::Mjpeg:
            return "Mjpeg";
        case Codec::Mpeg4BFrames:
            return "Mpeg4BFrames";
        case Codec::Mpeg4Packed:
            return "Mpeg4Packed";
        case Codec::Ffv1:
            return "Ffv1";
        case Codec::H264:
            return "H264";
        case Codec::H264High10:
            return "H264High10";
        case Codec::Vp9:
            return "Vp9";
        case Codec::Mpeg2:
            return "Mpeg2";
        case Codec::Mpeg2Plain:
            return "Mpeg2Plain";
    }
    return "?";
}

bool WriteVideo(const std::string& path, const VideoOptions& options) {
    if (options.cutAt > 0) {
        VideoOptions whole = options;
        whole.cutAt = 0;
        const std::string source = path + ".whole";
        const bool copied = WriteVideo(source, whole) && CopyFrom(source, path, options.container, options.cutAt);
        std::remove(source.c_str());
        return copied;
    }
    Writer writer(options);
    if (!writer.Write(path)) return false;
    if (options.streamStart == 0) return true;
    std::vector<char> bytes = ReadAll(path);
    const size_t strh = VideoStrh(bytes);
    if (strh == 0) return false;
    Put32(bytes, strh + 28, options.streamStart);
    return WriteAll(path, bytes.data(), bytes.size());
}

int FileLength(const VideoOptions& options) { return options.frames + int(options.droppedAt.size()); }

int ExpectedNumber(const VideoOptions& options, int position) {
    int pictures = 0;  // pictures in chunks 0 .. position
    for (int p = 0; p <= position; ++p) {
        if (std::find(options.droppedAt.begin(), options.droppedAt.end(), p) == options.droppedAt.end()) ++pictures;
    }
    return std::max(pictures - 1, 0);
}

int ReadFrameNumber(const uint8_t* bottomUpBgrRows, int width, int height, int stride) {
    if (width < 4 * kGrid || height < 4 * kGrid) return -1;
    int number = 0;
    for (int bit = 0; bit < kBits; ++bit) {
        const int col = bit % kGrid;
        const int row = bit / kGrid;
        // The middle half of the cell, clear of the edges that codecs blur.
        const int x0 = (4 * col + 1) * width / (4 * kGrid);
        const int x1 = (4 * col + 3) * width / (4 * kGrid);
        const int y0 = (4 * row + 1) * height / (4 * kGrid);
        const int y1 = (4 * row + 3) * height / (4 * kGrid);
        int64_t sum = 0;
        int64_t count = 0;
        for (int y = y0; y < y1; ++y) {
            const uint8_t* line = bottomUpBgrRows + int64_t(height - 1 - y) * stride;
            for (int x = x0; x < x1; ++x) {
                sum += line[3 * x] + line[3 * x + 1] + line[3 * x + 2];
                count += 3;
            }
        }
        if (count > 0 && sum > count * kThreshold) number |= 1 << bit;
    }
    return number;
}

const char* BadFileName(BadFile kind) {
    switch (kind) {
        case BadFile::Truncated:
            return "Truncated";
        case BadFile::Garbage:
            return "Garbage";
        case BadFile::RiffGarbage:
            return "RiffGarbage";
        case BadFile::Text:
            return "Text";
        case BadFile::Png:
            return "Png";
        case BadFile::Mp4:
            return "Mp4";
        case BadFile::AbsurdSize:
            return "AbsurdSize";
        case BadFile::AbsurdLength:
            return "AbsurdLength";
        case BadFile::NoVideo:
            return "NoVideo";
        case BadFile::HugeRle:
            return "HugeRle";
        case BadFile::NestedLists:
            return "NestedLists";
        case BadFile::ManyChunks:
            return "ManyChunks";
    }
    return "?";
}

bool WriteDamagedMp4(const std::string& path, int frames) {
    VideoOptions options;
    options.codec = Codec::H264;
    options.container = "mp4";
    options.width = 320;
    options.height = 240;
    options.frames = frames;
    if (!WriteVideo(path, options)) return false;
    std::string bytes;
    {
        std::ifstream in(path, std::ios::binary);
        bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    const size_t samples = bytes.rfind("moov");
    if (samples == std::string::npos) return false;
    std::mt19937 random(3);
    for (size_t i = 0, at = samples / 2; i < 4096 && at + i < samples; ++i) bytes[at + i] = char(random());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    return bool(out.write(bytes.data(), std::streamsize(bytes.size())));
}

bool WriteBadFile(const std::string& path, BadFile kind, const std::string& validAvi) {
    std::mt19937 random(1234);
    switch (kind) {
        case BadFile::Truncated: {
            const std::vector<char> bytes = ReadAll(validAvi);
            return !bytes.empty() && WriteAll(path, bytes.data(), bytes.size() * 6 / 10);
        }
        case BadFile::Garbage:
        case BadFile::RiffGarbage: {
            std::vector<char> bytes(8192);
            for (char& b : bytes) b = char(random());
            if (kind == BadFile::RiffGarbage) {
                std::memcpy(bytes.data(), "RIFF", 4);
                Put32(bytes, 4, uint32_t(bytes.size() - 8));
                std::memcpy(bytes.data() + 8, "AVI LIST", 8);
            }
            return WriteAll(path, bytes.data(), bytes.size());
        }
        case BadFile::Text: {
            const std::string text = "This is a text file, not a video.\n";
            return WriteAll(path, text.data(), text.size());
        }
        case BadFile::Png: {
            QImage image(32, 32, QImage::Format_RGB32);
            image.fill(Qt::red);
            return image.save(QString::fromStdString(path), "PNG");
        }
        case BadFile::Mp4: {
            VideoOptions options;
            options.codec = Codec::Mpeg4BFrames;
            options.frames = 5;
            options.container = "mp4";
            return WriteVideo(path, options);
        }
        case BadFile::AbsurdSize:
        case BadFile::AbsurdLength: {
            std::vector<char> bytes = ReadAll(validAvi);
            const size_t strh = VideoStrh(bytes);
            if (strh == 0) return false;
            if (kind == BadFile::AbsurdLength) {
                Put32(bytes, strh + 32, 0x7FFFFFF0u);
            } else {
                const size_t strf = std::string(bytes.begin(), bytes.end()).find("strf", strh);
                if (strf == std::string::npos) return false;
                Put32(bytes, strf + 8 + 4, 1000000u);
                Put32(bytes, strf + 8 + 8, 1000000u);
            }
            return WriteAll(path, bytes.data(), bytes.size());
        }
        case BadFile::NoVideo: {
            VideoOptions options;
            options.video = false;
            return WriteVideo(path, options);
        }
        case BadFile::HugeRle: {
            std::vector<char> bytes = ReadAll(validAvi);
            const size_t strh = VideoStrh(bytes);
            const size_t strf =
                strh == 0 ? std::string::npos : std::string(bytes.begin(), bytes.end()).find("strf", strh);
            if (strf == std::string::npos) return false;
            Put32(bytes, strf + 8 + 4, 16384u);  // biWidth
            Put32(bytes, strf + 8 + 8, 8192u);   // biHeight
            bytes[strf + 8 + 14] = 8;            // biBitCount
            bytes[strf + 8 + 15] = 0;
            Put32(bytes, strf + 8 + 16, 1u);  // biCompression: BI_RLE8
            return WriteAll(path, bytes.data(), bytes.size());
        }
        case BadFile::ManyChunks: {
            std::vector<char> bytes = ReadAll(validAvi);
            const size_t strh = VideoStrh(bytes);
            if (strh == 0) return false;
            constexpr uint32_t kChunks = 9000000;
            constexpr size_t kChunkBytes = 10;  // header, one byte, padding
            Put32(bytes, strh + 32, kChunks);
            const size_t start = bytes.size();
            bytes.resize(start + 24 + kChunkBytes * kChunks, 0);
            std::memcpy(bytes.data() + start, "RIFF", 4);
            Put32(bytes, start + 4, uint32_t(16 + kChunkBytes * kChunks));
            std::memcpy(bytes.data() + start + 8, "AVIXLIST", 8);
            Put32(bytes, start + 16, uint32_t(4 + kChunkBytes * kChunks));
            std::memcpy(bytes.data() + start + 20, "movi", 4);
            for (size_t at = start + 24; at < bytes.size(); at += kChunkBytes) {
                std::memcpy(bytes.data() + at, "00dc", 4);
                Put32(bytes, at + 4, 1);
            }
            return WriteAll(path, bytes.data(), bytes.size());
        }
        case BadFile::NestedLists: {
            std::vector<char> bytes = ReadAll(validAvi);
            constexpr uint32_t kDepth = 200000;
            const size_t start = bytes.size();
            bytes.resize(start + 12 * (size_t(kDepth) + 1));
            // RIFF AVIX, then LIST movi, then LIST rec inside LIST rec down to the end of the file.
            for (uint32_t level = 0; level <= kDepth; ++level) {
                const size_t at = start + 12 * size_t(level);
                const char* id = level == 0 ? "RIFF" : "LIST";
                const char* type = level == 0 ? "AVIX" : level == 1 ? "movi" : "rec ";
                std::memcpy(bytes.data() + at, id, 4);
                Put32(bytes, at + 4, uint32_t(bytes.size() - at - 8));
                std::memcpy(bytes.data() + at + 8, type, 4);
            }
            return WriteAll(path, bytes.data(), bytes.size());
        }
    }
    return false;
}

}  // namespace fixture
