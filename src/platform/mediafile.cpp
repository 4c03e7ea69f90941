// SPDX-License-Identifier: GPL-2.0-or-later
#include "platform/mediafile.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <fstream>
#include <limits>
#include <set>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/display.h>
}

#include "platform/dib.h"
#include "platform/ffmpeg_handles.h"
#include "platform/ffmpeg_setup.h"
#include "platform/picture_scaler.h"

namespace mediafile {
namespace {

// Larger pictures are refused before anything is sized by them.
constexpr int kMaxSide = 16384;
constexpr int64_t kMaxPixels = int64_t(1) << 27;
// The check at open for pictures that never come out at the end decodes the last two GOPs
// when they are this short, or up to the longer length when the demuxer saw damage.
constexpr int32_t kUsualCheckPackets = 64;
constexpr int32_t kDamagedCheckPackets = 1000;
// A picture is looked for from this many key frames further back before giving up.
constexpr int kAttempts = 4;
constexpr int64_t kNoLabel = std::numeric_limits<int64_t>::min();

// The containers of this layer, by their demuxer's name; image and text demuxers would make
// a one-picture "video" of a photo or of any text.
constexpr const char* kContainers[] = {"mov,mp4,m4a,3gp,3g2,mj2", "matroska,webm", "mpegts", "mpeg"};

struct FormatCloser {
    void operator()(AVFormatContext* c) const { avformat_close_input(&c); }
};

bool KnownContainer(const AVInputFormat& format) {
    return std::any_of(std::begin(kContainers), std::end(kContainers),
                       [&](const char* name) { return std::strcmp(format.name, name) == 0; });
}

// The clockwise turn that shows the picture upright, as FFmpeg's own tools apply it.
int ClockwiseTurn(const AVStream& stream) {
    size_t size = 0;
    const uint8_t* matrix = av_stream_get_side_data(&stream, AV_PKT_DATA_DISPLAYMATRIX, &size);
    if (!matrix || size < 9 * sizeof(int32_t)) return 0;
    double theta = -std::round(av_display_rotation_get(reinterpret_cast<const int32_t*>(matrix)));
    if (std::isnan(theta)) return 0;
    theta -= 360 * std::floor(theta / 360 + 0.9 / 360);
    for (int turn : {90, 180, 270}) {
        if (std::fabs(theta - turn) < 1) return turn;
    }
    return 0;
}

}  // namespace

bool IsAviFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    char head[12] = {};
    if (!in.read(head, sizeof head)) return false;
    return std::memcmp(head, "RIFF", 4) == 0 && std::memcmp(head + 8, "AVI ", 4) == 0;
}

class MediaFile::Impl {
public:
    bool Open(const std::string& path, const Progress& progress);
    bool Locate(int32_t position);
    const uint8_t* Frame(int32_t position);
    bool FrameDisplay(int32_t position, uint8_t* pixels, int64_t stride);
    double FrameTime(int32_t position) const;
    std::unique_ptr<video::DecodedPicture> Decoded(int32_t position);

    MediaIndex index_;
    int width_ = 0;
    int height_ = 0;

private:
    enum class Outcome { Found, Missed, Failed };

    bool OpenDecoder();
    bool Seek(int32_t start);
    bool ReadAndSend();
    bool SamePacket(const PacketEntry& entry, const AVPacket& packet) const;
    Outcome DecodeUntil(int64_t label);
    int64_t LabelOf(const AVFrame& frame) const;
    void DropPicturesNeverShown(int32_t start, int32_t from, int32_t to, bool leadingOnly);

    std::unique_ptr<AVFormatContext, FormatCloser> format_;
    AVStream* stream_ = nullptr;
    ffmpeg::Codec codec_;
    ffmpeg::Packet packet_;
    ffmpeg::Frame frame_;
    ffmpeg::Frame held_;                    // the picture found last, converted only when asked for
    avscale::PictureScaler scaler_;         // to the 24-bit DIB
    avscale::PictureScaler displayScaler_;  // to the screen's 32-bit pixels
    int clockwise_ = 0;
    int64_t stride_ = 0;
    std::vector<uint8_t> dib_;

    // The decoding run: packets go in from nextPacket_ on, pictures have come out up to lastOut_.
    bool usable_ = false;
    bool skipping_ = false;  // after a seek: packets before the run's start are passed over
    bool ended_ = false;
    bool broken_ = false;  // a run met other packets than the index holds
    int32_t runStart_ = 0;
    int32_t nextPacket_ = 0;
    int64_t lastOut_ = kNoLabel;
    int32_t shown_ = -1;  // position of the picture in held_
    bool dibCurrent_ = false;
};

bool MediaFile::Impl::Open(const std::string& path, const Progress& progress) {
    ffmpeg::SetUpLibraries();
    AVFormatContext* raw = nullptr;
    if (avformat_open_input(&raw, path.c_str(), nullptr, nullptr) < 0) return false;
    format_.reset(raw);
    if (!format_->iformat || !KnownContainer(*format_->iformat)) return false;
    if (avformat_find_stream_info(format_.get(), nullptr) < 0) return false;

    // The first video stream, whatever comes before it; a cover picture is no video.
    for (unsigned i = 0; i < format_->nb_streams; ++i) {
        AVStream* s = format_->streams[i];
        if (!stream_ && s->codecpar->codec_type == AVMEDIA_TYPE_VIDEO &&
            !(s->disposition & AV_DISPOSITION_ATTACHED_PIC)) {
            stream_ = s;
        } else {
            s->discard = AVDISCARD_ALL;
        }
    }
    if (!stream_) return false;
    const AVCodecParameters& par = *stream_->codecpar;
    if (par.width < 1 || par.height < 1 || par.width > kMaxSide || par.height > kMaxSide ||
        int64_t(par.width) * par.height > kMaxPixels) {
        return false;
    }
    clockwise_ = ClockwiseTurn(*stream_);
    const bool sideways = clockwise_ == 90 || clockwise_ == 270;
    width_ = sideways ? par.height : par.width;
    height_ = sideways ? par.width : par.height;
    stride_ = dib::RowStride(width_, 24);
    if (!OpenDecoder()) return false;

    if (BuildIndex(*format_, *stream_, progress, index_) != IndexOutcome::Built) return false;
    // Pictures that a decode from the start never gives are not presented: the first key
    // picture's leading pictures, whose references are not in the file, and the pictures of
    // a damaged end.
    const auto& keys = index_.keys;
    const auto packets = int32_t(index_.packets.size());
    DropPicturesNeverShown(0, 0, keys.size() > 1 ? keys[1] : packets, true);
    // The end is decoded from the GOP before the last: after a seek to an open GOP's key
    // frame the decoder leaves out more than its leading pictures.
    const int32_t tailStart = keys.size() > 1 ? keys[keys.size() - 2] : keys.back();
    if (packets - tailStart <= (index_.damaged ? kDamagedCheckPackets : kUsualCheckPackets)) {
        DropPicturesNeverShown(tailStart, keys.back(), packets, false);
    }
    if (index_.presented.empty()) return false;

    const dib::BitmapInfoHeader header = dib::BgrHeader(width_, height_);
    dib_.assign(sizeof header + size_t(header.biSizeImage), 0);
    std::memcpy(dib_.data(), &header, sizeof header);
    return true;
}

bool MediaFile::Impl::OpenDecoder() {
    const AVCodec* decoder = avcodec_find_decoder(stream_->codecpar->codec_id);
    if (!decoder) return false;
    codec_.reset(avcodec_alloc_context3(decoder));
    if (!codec_ || avcodec_parameters_to_context(codec_.get(), stream_->codecpar) < 0) return false;
    codec_->pkt_timebase = stream_->time_base;
    // One thread: each picture comes out as a sequential decode gives it.
    codec_->thread_count = 1;
    if (avcodec_open2(codec_.get(), decoder, nullptr) < 0) return false;
    packet_.reset(av_packet_alloc());
    frame_.reset(av_frame_alloc());
    held_.reset(av_frame_alloc());
    return packet_ && frame_ && held_;
}

// Decodes from key packet `start` on and forgets the pictures of packets `from` .. `to` - 1 that
// did not come out: with `leadingOnly` those shown before the key picture of `from`, otherwise
// those shown from it on.
void MediaFile::Impl::DropPicturesNeverShown(int32_t start, int32_t from, int32_t to, bool leadingOnly) {
    const int64_t keyLabel = index_.packets[size_t(from)].label;
    std::set<int64_t> expected;
    for (int32_t i = from; i < to; ++i) {
        const PacketEntry& p = index_.packets[size_t(i)];
        // At the end the key picture's own leading pictures are not looked for: after a seek
        // they never come out, and a jump to them starts from the GOP before.
        if (p.shown && (leadingOnly ? p.label < keyLabel : p.label >= keyLabel)) expected.insert(p.label);
    }
    if (expected.empty() || !Seek(start)) return;
    const int64_t last = *expected.rbegin();
    std::set<int64_t> out;
    while (true) {
        const int got = avcodec_receive_frame(codec_.get(), frame_.get());
        if (got == AVERROR(EAGAIN)) {
            if (!ReadAndSend()) return;  // the run broke off: nothing is known
            continue;
        }
        if (got < 0) break;
        const int64_t label = LabelOf(*frame_);
        av_frame_unref(frame_.get());
        out.insert(label);
        if (label >= last) break;
    }
    usable_ = false;
    auto& presented = index_.presented;
    presented.erase(std::remove_if(presented.begin(), presented.end(),
                                   [&](int64_t label) { return expected.count(label) && !out.count(label); }),
                    presented.end());
}

bool MediaFile::Impl::Seek(int32_t start) {
    avcodec_flush_buffers(codec_.get());
    usable_ = false;
    // Packets that a demuxer splits out of one PES have no position of their own: the run is
    // found again by the last packet before the start that has one.
    int32_t anchor = start;
    while (anchor > 0 && index_.packets[size_t(anchor)].pos < 0) --anchor;
    const PacketEntry& entry = index_.packets[size_t(anchor)];
    AVFormatContext* format = format_.get();
    int sought = -1;
    if (start == 0 && format->pb) {
        // The file's beginning, where its first packet was read at open.
        sought = avformat_seek_file(format, stream_->index, std::numeric_limits<int64_t>::min(), entry.time, entry.time,
                                    AVSEEK_FLAG_BACKWARD);
    }
    if (sought < 0 && entry.time != AV_NOPTS_VALUE) {
        sought = av_seek_frame(format, stream_->index, entry.time, AVSEEK_FLAG_BACKWARD);
    }
    if (sought < 0 && entry.pos >= 0 && !(format->iformat->flags & AVFMT_NO_BYTE_SEEK)) {
        sought = av_seek_frame(format, stream_->index, entry.pos, AVSEEK_FLAG_BYTE);
    }
    if (sought < 0) return false;
    runStart_ = start;
    nextPacket_ = anchor;
    lastOut_ = kNoLabel;
    skipping_ = true;
    ended_ = false;
    usable_ = true;
    return true;
}

bool MediaFile::Impl::SamePacket(const PacketEntry& entry, const AVPacket& packet) const {
    if (entry.pos >= 0 || packet.pos >= 0) return entry.pos == packet.pos;
    if (!skipping_) return true;  // the next packet split out of the same PES
    const int64_t time = packet.dts != AV_NOPTS_VALUE ? packet.dts : packet.pts;
    return time != AV_NOPTS_VALUE && time == entry.time;
}

// Sends the next packet of the run, or the end of the stream. False when the run cannot go on.
bool MediaFile::Impl::ReadAndSend() {
    if (ended_ || !usable_) return false;
    AVPacket* pkt = packet_.get();
    while (true) {
        if (av_read_frame(format_.get(), pkt) < 0) break;
        if (pkt->stream_index != stream_->index) {
            av_packet_unref(pkt);
            continue;
        }
        if (nextPacket_ >= int32_t(index_.packets.size())) {
            av_packet_unref(pkt);
            break;
        }
        const PacketEntry& entry = index_.packets[size_t(nextPacket_)];
        if (!SamePacket(entry, *pkt)) {
            const bool before = skipping_ && (entry.pos >= 0 && pkt->pos >= 0 ? pkt->pos < entry.pos : true);
            av_packet_unref(pkt);
            if (before) continue;
            // The demuxer went past the start, or cuts the stream into other packets than at
            // open (an MPEG parser restarted mid-stream): only a run from the file's start is
            // sure to give the packets of the index.
            usable_ = false;
            broken_ = true;
            return false;
        }
        skipping_ = false;
        if (nextPacket_++ < runStart_) {
            av_packet_unref(pkt);  // between the anchor and the key packet the run starts from
            continue;
        }
        // Every picture carries its label through the decoder's reordering.
        pkt->pts = entry.label;
        const int sent = avcodec_send_packet(codec_.get(), pkt);
        av_packet_unref(pkt);
        if (sent == 0 || sent == AVERROR(EAGAIN)) return true;
        // A damaged packet is passed over; the decoder goes on with the next.
    }
    ended_ = true;
    avcodec_send_packet(codec_.get(), nullptr);  // drain the pictures still held
    return true;
}

int64_t MediaFile::Impl::LabelOf(const AVFrame& frame) const {
    if (frame.pts != AV_NOPTS_VALUE) return frame.pts;
    return frame.best_effort_timestamp != AV_NOPTS_VALUE ? frame.best_effort_timestamp : kNoLabel;
}

MediaFile::Impl::Outcome MediaFile::Impl::DecodeUntil(int64_t label) {
    while (true) {
        const int got = avcodec_receive_frame(codec_.get(), frame_.get());
        if (got == AVERROR(EAGAIN)) {
            if (!ReadAndSend()) return Outcome::Failed;
            continue;
        }
        if (got < 0) {
            usable_ = false;  // drained: the decoder needs a flush before it can go on
            return Outcome::Failed;
        }
        const int64_t out = LabelOf(*frame_);
        if (out == kNoLabel) {
            av_frame_unref(frame_.get());
            continue;
        }
        lastOut_ = out;
        if (out == label) {
            av_frame_unref(held_.get());
            av_frame_move_ref(held_.get(), frame_.get());
            return Outcome::Found;
        }
        av_frame_unref(frame_.get());
        // Pictures come out in presentation order: a later one first means this run dropped
        // the one looked for (a leading picture of an open GOP, or one before an edit).
        if (out > label) return Outcome::Missed;
    }
}

bool MediaFile::Impl::Locate(int32_t position) {
    if (position < 0 || position >= int32_t(index_.presented.size())) return false;
    if (position == shown_) return true;
    shown_ = -1;
    dibCurrent_ = false;
    const int64_t label = index_.presented[size_t(position)];
    for (int back = 0; back < kAttempts; ++back) {
        const int32_t start = broken_ ? index_.keys.front() : StartPacketFor(index_, label, back);
        broken_ = false;
        // Decoding on is cheaper than seeking while the target's start is already behind.
        const bool goOn = usable_ && lastOut_ < label && start <= nextPacket_ && !(back > 0 && start < runStart_);
        if (!goOn && !Seek(start)) continue;
        const Outcome outcome = DecodeUntil(label);
        if (outcome == Outcome::Found) {
            shown_ = position;
            return true;
        }
        if (start == index_.keys.front() && outcome == Outcome::Failed) break;
    }
    usable_ = false;
    return false;
}

const uint8_t* MediaFile::Impl::Frame(int32_t position) {
    if (!Locate(position)) return nullptr;
    if (!dibCurrent_) {
        // Bottom-up rows; their padding bytes stay as zeroed at open.
        uint8_t* bits = dib_.data() + sizeof(dib::BitmapInfoHeader);
        if (!scaler_.Convert(*held_, AV_PIX_FMT_BGR24, width_, height_, bits, stride_, true, clockwise_))
            return nullptr;
        dibCurrent_ = true;
    }
    return dib_.data();
}

bool MediaFile::Impl::FrameDisplay(int32_t position, uint8_t* pixels, int64_t stride) {
    return Locate(position) && displayScaler_.ConvertToScreen(*held_, width_, height_, pixels, stride, clockwise_);
}

std::unique_ptr<video::DecodedPicture> MediaFile::Impl::Decoded(int32_t position) {
    if (!Locate(position)) return nullptr;
    auto picture = std::make_unique<video::DecodedPicture>(*held_, width_, height_, clockwise_);
    return picture->valid() ? std::move(picture) : nullptr;
}

double MediaFile::Impl::FrameTime(int32_t position) const {
    const auto& presented = index_.presented;
    if (presented.empty()) return 0;
    position = std::clamp<int32_t>(position, 0, int32_t(presented.size()) - 1);
    if (!index_.decodeOrder && stream_->time_base.num > 0 && stream_->time_base.den > 0) {
        return double(presented[size_t(position)] - presented.front()) * av_q2d(stream_->time_base);
    }
    AVRational rate = stream_->avg_frame_rate;
    if (rate.num <= 0 || rate.den <= 0) rate = stream_->r_frame_rate;
    if (rate.num <= 0 || rate.den <= 0) rate = {25, 1};
    return position / av_q2d(rate);
}

MediaFile::MediaFile() : impl_(std::make_unique<Impl>()) {}
MediaFile::~MediaFile() = default;

std::unique_ptr<MediaFile> MediaFile::Open(const std::string& path, const Progress& progress) {
    std::unique_ptr<MediaFile> file(new MediaFile());
    if (!file->impl_->Open(path, progress)) return nullptr;
    return file;
}

int32_t MediaFile::FrameCount() const { return int32_t(impl_->index_.presented.size()); }
int MediaFile::Width() const { return impl_->width_; }
int MediaFile::Height() const { return impl_->height_; }
const uint8_t* MediaFile::Frame(int32_t position) { return impl_->Frame(position); }
bool MediaFile::FrameDisplay(int32_t position, uint8_t* pixels, int64_t stride) {
    return impl_->FrameDisplay(position, pixels, stride);
}
double MediaFile::FrameTime(int32_t position) const { return impl_->FrameTime(position); }
std::unique_ptr<video::DecodedPicture> MediaFile::Decoded(int32_t position) { return impl_->Decoded(position); }

}  // namespace mediafile
