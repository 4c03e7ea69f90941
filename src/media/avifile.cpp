// SPDX-License-Identifier: GPL-2.0-or-later
#include "media/avifile.h"

#include "media/ffmpeg_handles.h"
#include "media/ffmpeg_setup.h"
#include "media/file_identity.h"
#include "media/index_store.h"
#include "media/picture_scaler.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <map>
#include <optional>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavcodec/bsf.h>
#include <libavformat/avformat.h>
#include <libswscale/swscale.h>
}

#include "media/avi_riff.h"
#include "media/decode_loop.h"

namespace avifile {
namespace {

// Larger pictures are refused before anything is sized by them: a side over 16384 pixels, or a
// 24-bit frame over 512 MB.
constexpr int64_t kMaxSide = 16384;
constexpr int64_t kMaxFrameBytes = int64_t(512) << 20;
// Up to this many pixels (4096 x 4096) a frame is taken on the header's word. A larger one has
// to be backed by the stream's data: a chunk of at least one byte per kMaxPixelsPerByte pixels,
// so that a few hundred bytes of header cannot make the program size gigantic buffers. No
// codec of ours describes a whole picture in less (run-length codes reach 255 pixels in 2 bytes
// before a line ends).
constexpr int64_t kUnbackedPixels = int64_t(1) << 24;
constexpr int64_t kMaxPixelsPerByte = 1024;
// The smallest chunk a frame can occupy in a file: its header.
constexpr int64_t kMinChunkBytes = 8;
// Streams with more chunks than this are not ours to index.
constexpr int64_t kMaxFrames = int64_t(1) << 28;
// A picture comes out of the decoder within this many chunks after its own or not at all
// (reordering codecs hold back at most 16): reading on past that only costs time, which on
// a file of millions of undecodable chunks is many seconds.
constexpr int kMaxPictureDelay = 64;
// An MPEG-4 chunk this small is a not-coded placeholder (as the unpacking filter judges it),
// never a picture to start decoding from.
constexpr uint32_t kMaxPlaceholderBytes = 19;
// The bytes of a chunk's start looked at for its VOP header: past the sequence headers that a
// key chunk begins with.
constexpr int kVopHeadBytes = 128;

struct FormatCloser {
    void operator()(AVFormatContext* c) const { avformat_close_input(&c); }
};

}  // namespace

// The demuxer and the file's layout, shared by the file, its streams and their decoders so
// that releasing them in any order is safe.
struct Container {
    std::string path;
    riff::Layout layout;
    std::unique_ptr<AVFormatContext, FormatCloser> format;
};

class AviFile {
public:
    std::shared_ptr<Container> container;
};

class AviStream {
public:
    std::shared_ptr<Container> container;
    int number = 0;  // the stream's position among the file's streams
    const riff::StreamDescription* description = nullptr;
};

namespace {

bool ReadInfoHeader(const std::vector<uint8_t>& format, dib::BitmapInfoHeader& header) {
    if (format.size() < sizeof header) return false;
    std::memcpy(&header, format.data(), sizeof header);
    return true;
}

bool SaneVideoHeader(const riff::StreamDescription& stream, int64_t fileSize) {
    dib::BitmapInfoHeader h;
    if (!ReadInfoHeader(stream.format, h)) return false;
    const int64_t w = h.biWidth;
    const int64_t ht = h.biHeight < 0 ? -int64_t(h.biHeight) : int64_t(h.biHeight);
    if (w < 1 || w > kMaxSide || ht < 1 || ht > kMaxSide || dib::ImageSize(w, ht, 24) > kMaxFrameBytes) return false;
    const int64_t length = stream.header.length;
    return length <= kMaxFrames && length <= fileSize / kMinChunkBytes;
}

// Whether the stream's chunks can describe pictures of this size at all.
bool BackedByData(const riff::ChunkScan& scan, AVCodecID codec, const dib::BitmapInfoHeader& header) {
    uint32_t largest = 0;
    for (const riff::Chunk& chunk : scan.chunks) largest = std::max(largest, chunk.size);
    const int64_t height = header.biHeight < 0 ? -int64_t(header.biHeight) : int64_t(header.biHeight);
    const int64_t pixels = int64_t(header.biWidth) * height;
    // Uncompressed pictures take all their bits; the decoder refuses shorter chunks.
    if (codec == AV_CODEC_ID_RAWVIDEO) return int64_t(largest) * 8 >= pixels * std::max<int64_t>(header.biBitCount, 1);
    return pixels <= kUnbackedPixels || int64_t(largest) * kMaxPixelsPerByte >= pixels;
}

std::vector<uint8_t> SavedScan(const riff::ChunkScan& scan) {
    media::index_store::PayloadWriter out;
    out.I64(scan.chunkCount);
    out.U8(scan.damaged);
    out.I64(int64_t(scan.chunks.size()));
    // Numbers and positions as steps from the chunk before, in as few bytes as they need: the
    // scan is read at every open of the video.
    int64_t lastNumber = -1;
    int64_t lastPosition = -1;
    for (const riff::Chunk& c : scan.chunks) {
        out.Varint(c.number - lastNumber);
        out.Varint(c.position - lastPosition);
        out.Varint(c.size);
        lastNumber = c.number;
        lastPosition = c.position;
    }
    return std::move(out.Bytes());
}

// A saved scan read back, if it holds together: chunks in file order, numbered upwards within
// the count, each inside the file.
std::optional<riff::ChunkScan> ScanFromSaved(const std::vector<uint8_t>& bytes, int64_t fileSize, int64_t maxChunks) {
    media::index_store::PayloadReader in(bytes);
    riff::ChunkScan scan;
    uint8_t damaged = 0;
    size_t count = 0;
    if (!in.I64(scan.chunkCount) || scan.chunkCount < 0 || scan.chunkCount > maxChunks || !in.U8(damaged) ||
        damaged > 1 || !in.Count(3, uint64_t(maxChunks), count)) {
        return std::nullopt;
    }
    scan.damaged = damaged;
    scan.chunks.resize(count);
    int64_t lastNumber = -1;
    int64_t lastPosition = -1;
    for (riff::Chunk& c : scan.chunks) {
        int64_t number = 0;
        int64_t position = 0;
        int64_t size = 0;
        if (!in.Varint(number) || !in.Varint(position) || !in.Varint(size)) return std::nullopt;
        if (number <= 0 || position <= 0 || size <= 0 || size > std::numeric_limits<uint32_t>::max() ||
            number > scan.chunkCount || position > fileSize) {
            return std::nullopt;
        }
        c.number = lastNumber + number;
        c.position = lastPosition + position;
        c.size = uint32_t(size);
        if (c.number <= lastNumber || c.number >= scan.chunkCount || c.position <= lastPosition || c.size == 0 ||
            c.position + 8 + int64_t(c.size) > fileSize) {
            return std::nullopt;
        }
        lastNumber = c.number;
        lastPosition = c.position;
    }
    if (!in.AtEnd()) return std::nullopt;
    return scan;
}

// The stream's chunks, scanned once per file: shared by every reader of this process, saved
// for later ones.
std::shared_ptr<const riff::ChunkScan> SharedChunkScan(const std::string& path, int streamNumber, int64_t maxChunks) {
    using media::index_store::Kind;
    const std::optional<media::FileIdentity> identity = media::index_store::IdentityFor(path);
    if (!identity) return std::make_shared<const riff::ChunkScan>(riff::ScanChunks(path, streamNumber, maxChunks));
    const int64_t variant = int64_t(streamNumber) << 32 | maxChunks;
    if (auto found = std::static_pointer_cast<const riff::ChunkScan>(
            media::index_store::FindShared(Kind::AviChunks, *identity, variant))) {
        return found;
    }
    std::shared_ptr<const riff::ChunkScan> scan;
    if (const auto saved = media::index_store::Load(Kind::AviChunks, *identity, variant)) {
        if (auto read = ScanFromSaved(*saved, identity->size, maxChunks)) {
            scan = std::make_shared<const riff::ChunkScan>(std::move(*read));
        }
    }
    if (!scan) {
        // The file's idx1 where it lists the whole stream; else every chunk header, read.
        std::optional<riff::ChunkScan> listed = riff::ChunksFromIndex(path, streamNumber, maxChunks);
        scan = std::make_shared<const riff::ChunkScan>(listed ? std::move(*listed)
                                                              : riff::ScanChunks(path, streamNumber, maxChunks));
        media::index_store::Save(Kind::AviChunks, *identity, variant, SavedScan(*scan));
    }
    media::index_store::Share(Kind::AviChunks, *identity, variant, scan);
    return scan;
}

}  // namespace

// Delivers the frames of one video stream as packed 24-bit DIBs.
class GetFrame {
public:
    bool Open(const AviStream& stream);
    const uint8_t* Fetch(int32_t position);
    std::unique_ptr<media::DecodedPicture> FetchDecoded(int32_t position);
    bool FetchDisplay(int32_t position, uint8_t* pixels, int64_t stride);
    ~GetFrame() {
        if (peekFd_ >= 0) close(peekFd_);
    }
    // Where a decode begun at each key entry presents every picture from on: the key's own
    // position, or, when the chunks' headers tell, the first position after its leading
    // pictures, which refer to the GOP before.
    std::vector<int32_t> KeyPositions() const;

private:
    struct Entry {
        int64_t chunk;     // the chunk number; the demuxer gives it as dts, plus stampOffset_
        int64_t position;  // of the chunk's header in the file
        uint32_t size;
        bool key;
    };
    enum class Outcome { Found, Missed, Failed };

    bool Seek(int entry);
    Outcome DecodeUntil(int target);
    media::PacketRead ReadPacket(int last, AVPacket* pkt);
    bool OpenUnpacker(const AVCodecParameters& par);
    int OnPicture(int entry, int target, bool& missed);
    bool Locate(int32_t position);
    bool Convert(const AVFrame& frame);
    int EntryOfChunk(int64_t chunk) const;
    int KeyAtOrBefore(int entry) const;
    int StartFor(int target) const;
    bool DisplayKnown(int entry, int& display) const;
    int LeadingPictures(int key) const;
    int VopType(int entry) const;

    std::shared_ptr<Container> container_;
    AVStream* avStream_ = nullptr;
    ffmpeg::Codec codec_;
    media::DecodeLoop loop_;
    ffmpeg::Frame frame_;
    ffmpeg::Frame held_;                  // the picture found last, converted only when asked for
    media::PictureScaler scaler_;         // to the 24-bit DIB
    media::PictureScaler displayScaler_;  // to the screen's 32-bit pixels
    // MPEG-4 only: splits the packed chunks of DivX/Xvid files (a reference and the B-frame
    // shown before it) so that the B-frame goes in with the placeholder chunk after them.
    ffmpeg::BitstreamFilter unpacker_;

    std::vector<Entry> entries_;
    std::vector<int> keys_;          // entries that decoding may start from
    int64_t stampOffset_ = 0;        // demuxer timestamp of chunk 0: the stream header's start
    int64_t length_ = 0;             // positions 0 .. length_ - 1 exist
    int64_t readable_ = 0;           // positions whose chunk is in the file
    bool reorders_ = false;          // pictures come out in another order than their chunks
    std::map<int, int> keyDisplay_;  // display number of a key entry, learned while decoding
    // MPEG-4 only: a key entry's leading pictures, told by its chunks' VOP headers before any
    // decode (-1: they do not tell); trusted until a decode learns otherwise.
    bool vopHeaders_ = false;
    mutable std::map<int, int> leading_;
    mutable int peekFd_ = -1;
    bool leadingWrong_ = false;
    std::vector<uint32_t> palette_;  // ARGB, from the stream format, for 8-bit streams

    // Decoding run: started at entry runStart_, whose picture anchors the display count.
    int runStart_ = -1;
    bool runStarted_ = false;
    int nextDisplay_ = -1;  // display number of the next picture out, -1 while unknown
    int outputsInRun_ = 0;
    std::vector<int> sinceKey_;  // entries of the pictures out since the last key picture
    int lastRead_ = -1;          // entry of the last packet sent
    bool paletteDue_ = false;
    bool ended_ = false;   // the demuxer has no more packets of this run; decoder drained
    bool usable_ = false;  // the decoder state is a run that can go on

    int width_ = 0;
    int height_ = 0;
    int64_t stride_ = 0;
    dib::BitmapInfoHeader dibHeader_;
    std::vector<uint8_t> dib_;  // made at the first fetch: the screen path never needs it
    int shown_ = -1;            // display number of the picture in held_
    bool dibCurrent_ = false;   // dib_ holds the conversion of held_
};

bool GetFrame::Open(const AviStream& stream) {
    container_ = stream.container;
    AVFormatContext* fmt = container_->format.get();
    if (!fmt || stream.number >= int(fmt->nb_streams)) return false;
    avStream_ = fmt->streams[stream.number];
    const AVCodecParameters* par = avStream_->codecpar;
    if (par->codec_type != AVMEDIA_TYPE_VIDEO) return false;

    dib::BitmapInfoHeader header;
    if (!ReadInfoHeader(stream.description->format, header)) return false;
    width_ = header.biWidth;
    height_ = header.biHeight < 0 ? -header.biHeight : header.biHeight;
    stride_ = dib::RowStride(width_, 24);
    length_ = stream.description->header.length;

    // The file's own chunks are the truth: the demuxer's index is missing or short when the
    // file's end is damaged.
    const std::shared_ptr<const riff::ChunkScan> shared = SharedChunkScan(container_->path, stream.number, length_);
    const riff::ChunkScan& scan = *shared;
    if (scan.chunks.empty() || !BackedByData(scan, par->codec_id, header)) return false;

    const AVCodec* decoder = avcodec_find_decoder(par->codec_id);
    if (!decoder) return false;
    const bool mpeg4 = par->codec_id == AV_CODEC_ID_MPEG4;
    // The decoder unpacks by itself only once it has read the packed marker, which a seek
    // may skip and some files lack; the filter goes by the pictures in each chunk.
    if (mpeg4 && !OpenUnpacker(*par)) return false;
    codec_.reset(avcodec_alloc_context3(decoder));
    if (!codec_ || avcodec_parameters_to_context(codec_.get(), unpacker_ ? unpacker_->par_out : par) < 0) return false;
    codec_->thread_count = 1;
    // Codecs that carry their own picture size in the data are held to what the header was
    // allowed; coded sizes round up to whole blocks, hence the margin.
    codec_->max_pixels = std::max<int64_t>(int64_t(width_ + 64) * (height_ + 64), kUnbackedPixels);
    if (avcodec_open2(codec_.get(), decoder, nullptr) < 0) return false;
    const AVCodecDescriptor* descriptor = avcodec_descriptor_get(par->codec_id);
    reorders_ = descriptor && (descriptor->props & AV_CODEC_PROP_REORDER);
    vopHeaders_ = mpeg4 && reorders_;
    const bool intraOnly = descriptor && (descriptor->props & AV_CODEC_PROP_INTRA_ONLY);

    frame_.reset(av_frame_alloc());
    held_.reset(av_frame_alloc());
    if (!loop_.Valid() || !frame_ || !held_) return false;

    readable_ = std::min<int64_t>(scan.chunkCount, length_);
    entries_.reserve(scan.chunks.size());
    // The demuxer counts chunks from the stream header's start; position 0 is still the
    // first chunk. Its own index says where it counts from when it has one.
    stampOffset_ = stream.description->header.start;
    if (const AVIndexEntry* first = avformat_index_get_entry(avStream_, 0);
        first && first->pos == scan.chunks.front().position) {
        stampOffset_ = first->timestamp - scan.chunks.front().number;
    }
    for (const riff::Chunk& chunk : scan.chunks) {
        const int64_t stamp = chunk.number + stampOffset_;
        const int found = av_index_search_timestamp(avStream_, stamp, AVSEEK_FLAG_ANY);
        const AVIndexEntry* indexed = found >= 0 ? avformat_index_get_entry(avStream_, found) : nullptr;
        bool key;
        if (indexed && indexed->timestamp == stamp) {
            key = indexed->flags & AVINDEX_KEYFRAME;
        } else {
            key = intraOnly || entries_.empty();
            av_add_index_entry(avStream_, chunk.position, stamp, int(chunk.size), 0, key ? AVINDEX_KEYFRAME : 0);
        }
        // A key-flagged placeholder carries, once unpacked, the B-frame of the chunk before.
        if (mpeg4 && chunk.size <= kMaxPlaceholderBytes && !entries_.empty()) key = false;
        entries_.push_back(Entry{chunk.number, chunk.position, chunk.size, key});
    }
    entries_.front().key = true;  // decoding can only ever start there
    for (int i = 0; i < int(entries_.size()); ++i) {
        if (entries_[i].key) keys_.push_back(i);
    }

    if (header.biBitCount <= 8) {
        const int64_t colours = dib::PaletteBytes(header) / 4;
        const int64_t stored = (int64_t(stream.description->format.size()) - int64_t(header.biSize)) / 4;
        const int64_t count = std::min<int64_t>({colours, stored, 256});
        if (header.biSize >= sizeof header && count > 0) {
            palette_.assign(256, 0xFF000000u);
            const uint8_t* table = stream.description->format.data() + header.biSize;
            for (int64_t i = 0; i < count; ++i) {
                palette_[size_t(i)] =
                    0xFF000000u | uint32_t(table[4 * i + 2]) << 16 | uint32_t(table[4 * i + 1]) << 8 | table[4 * i];
            }
        }
    }

    dibHeader_ = dib::BgrHeader(width_, height_);
    dibHeader_.biXPelsPerMeter = header.biXPelsPerMeter;
    dibHeader_.biYPelsPerMeter = header.biYPelsPerMeter;

    // Just opened: the demuxer stands at the first packet.
    runStart_ = 0;
    runStarted_ = false;
    nextDisplay_ = -1;
    paletteDue_ = true;
    usable_ = true;
    return true;
}

bool GetFrame::OpenUnpacker(const AVCodecParameters& par) {
    const AVBitStreamFilter* filter = av_bsf_get_by_name("mpeg4_unpack_bframes");
    if (!filter) return true;  // the decoder's own unpacking is all there is
    AVBSFContext* raw = nullptr;
    if (av_bsf_alloc(filter, &raw) < 0) return false;
    unpacker_.reset(raw);
    if (avcodec_parameters_copy(raw->par_in, &par) < 0) return false;
    raw->time_base_in = avStream_->time_base;
    return av_bsf_init(raw) >= 0;
}

int GetFrame::EntryOfChunk(int64_t chunk) const {
    auto it = std::lower_bound(entries_.begin(), entries_.end(), chunk,
                               [](const Entry& e, int64_t c) { return e.chunk < c; });
    if (it == entries_.end() || it->chunk != chunk) return -1;
    return int(it - entries_.begin());
}

int GetFrame::KeyAtOrBefore(int entry) const {
    auto it = std::upper_bound(keys_.begin(), keys_.end(), entry);
    return it == keys_.begin() ? 0 : int(it - keys_.begin()) - 1;  // index into keys_
}

bool GetFrame::DisplayKnown(int entry, int& display) const {
    // Without reordering a picture shows in its chunk's place; the first picture shows first.
    if (!reorders_ || entry == keys_.front()) {
        display = entry;
        return true;
    }
    auto it = keyDisplay_.find(entry);
    if (it != keyDisplay_.end()) {
        display = it->second;
        return true;
    }
    if (leadingWrong_) return false;
    const int leading = LeadingPictures(entry);
    if (leading < 0) return false;
    display = entry + leading;
    return true;
}

// The VOP coding type of an entry's picture (0 I, 1 P, 2 B, 3 S), from its chunk's first
// bytes; -1 when no VOP header is there.
int GetFrame::VopType(int entry) const {
    if (peekFd_ < 0) {
        peekFd_ = open(container_->path.c_str(), O_RDONLY | O_CLOEXEC);
        if (peekFd_ < 0) return -1;
        // A few bytes here and there: no read-ahead.
        posix_fadvise(peekFd_, 0, 0, POSIX_FADV_RANDOM);
    }
    uint8_t head[kVopHeadBytes];
    const int64_t want = std::min<int64_t>(kVopHeadBytes, entries_[size_t(entry)].size);
    const ssize_t got = pread(peekFd_, head, size_t(want), entries_[size_t(entry)].position + 8);
    for (ssize_t i = 0; i + 4 < got; ++i) {
        if (head[i] == 0 && head[i + 1] == 0 && head[i + 2] == 1 && head[i + 3] == 0xB6) return head[i + 4] >> 6;
    }
    return -1;
}

// The B-VOPs coded right after a key I-VOP: MPEG-4 B-frames are never references, so these
// and only these show before it. -1 when the chunks do not tell: no VOP header where one is
// looked for, or a placeholder chunk, which the unpacker may fill with a B-frame held from
// the chunk before.
int GetFrame::LeadingPictures(int key) const {
    if (!vopHeaders_) return -1;
    if (const auto found = leading_.find(key); found != leading_.end()) return found->second;
    int leading = -1;
    if (VopType(key) == 0) {
        for (int e = key + 1; e < int(entries_.size()) && e <= key + kMaxPictureDelay; ++e) {
            if (entries_[size_t(e)].size <= kMaxPlaceholderBytes) break;
            const int type = VopType(e);
            if (type < 0) break;
            if (type != 2) {
                leading = e - key - 1;
                break;
            }
        }
    }
    leading_[key] = leading;
    return leading;
}

std::vector<int32_t> GetFrame::KeyPositions() const {
    std::vector<int32_t> positions;
    positions.reserve(keys_.size());
    for (const int key : keys_) {
        // A stretch begun at its leading pictures would decode the GOP before as well. Told by
        // the headers alone, so that every reader of the file cuts its stretches alike.
        const int leading = key == keys_.front() ? 0 : LeadingPictures(key);
        positions.push_back(int32_t(entries_[size_t(key + std::max(leading, 0))].chunk));
    }
    return positions;
}

int GetFrame::StartFor(int target) const {
    const int t = KeyAtOrBefore(target);
    int display = 0;
    if (DisplayKnown(keys_[t], display) && display <= target) return keys_[t];
    if (t == 0) return keys_[0];
    // The target may be a leading picture of its key frame's GOP, whose references start one
    // key frame earlier; that key frame's place is learned on the way if not known yet.
    return keys_[t - 1];
}

bool GetFrame::Seek(int entry) {
    loop_.Flush(codec_.get());
    if (unpacker_) av_bsf_flush(unpacker_.get());  // a held B-frame belongs to the old run
    const int64_t chunk = entries_[entry].chunk + stampOffset_;
    if (av_seek_frame(container_->format.get(), avStream_->index, chunk, AVSEEK_FLAG_BACKWARD) < 0) {
        usable_ = false;
        return false;
    }
    runStart_ = entry;
    runStarted_ = false;
    nextDisplay_ = -1;
    outputsInRun_ = 0;
    sinceKey_.clear();
    lastRead_ = entry - 1;
    paletteDue_ = true;
    ended_ = false;
    usable_ = true;
    return true;
}

// Reads the next packet of the stream up to entry `last` into `pkt`, or tells the end of the
// stream; Stop when the run cannot give the picture wanted.
media::PacketRead GetFrame::ReadPacket(int last, AVPacket* pkt) {
    if (ended_) return media::PacketRead::Stop;
    while (true) {
        const int read = av_read_frame(container_->format.get(), pkt);
        if (read < 0) break;
        if (pkt->stream_index != avStream_->index) {
            av_packet_unref(pkt);
            continue;
        }
        // A chunk cut short by the end of the file is not decoded from partial data.
        const int entry = pkt->dts == AV_NOPTS_VALUE ? -1 : EntryOfChunk(pkt->dts - stampOffset_);
        if (entry < 0 || uint32_t(pkt->size) != entries_[entry].size || (pkt->flags & AV_PKT_FLAG_CORRUPT)) {
            av_packet_unref(pkt);
            break;
        }
        if (entry > last) {
            // Past every chunk that could still give the picture wanted: the run ends here.
            av_packet_unref(pkt);
            usable_ = false;
            return media::PacketRead::Stop;
        }
        pkt->pts = pkt->dts;  // carried through reordering: names the chunk of each picture
        if (paletteDue_ && !palette_.empty() && !av_packet_get_side_data(pkt, AV_PKT_DATA_PALETTE, nullptr)) {
            uint8_t* side = av_packet_new_side_data(pkt, AV_PKT_DATA_PALETTE, AVPALETTE_SIZE);
            if (side) std::memcpy(side, palette_.data(), AVPALETTE_SIZE);
        }
        paletteDue_ = false;
        lastRead_ = entry;
        if (unpacker_) {
            // One packet out for each in: the chunk's own, or the B-frame held from the chunk
            // before, labelled with this chunk.
            if (av_bsf_send_packet(unpacker_.get(), pkt) < 0) {
                av_packet_unref(pkt);
                continue;
            }
            if (av_bsf_receive_packet(unpacker_.get(), pkt) < 0) continue;
        }
        return media::PacketRead::Packet;
    }
    ended_ = true;
    return media::PacketRead::End;  // the decoder gives up the pictures it still holds
}

// The display number of a picture that came out of the decoder, or -1 while unknown.
int GetFrame::OnPicture(int entry, int target, bool& missed) {
    if (!runStarted_) {
        // Pictures before the run's first key picture lack references.
        if (entry != runStart_) return -1;
        runStarted_ = true;
        int display;
        if (DisplayKnown(entry, display)) nextDisplay_ = display;
        sinceKey_.clear();
    } else if (reorders_ && entries_[entry].key) {
        // A key picture shows after every picture coded before it and after its own leading
        // pictures, which came out just before it in this run.
        const int leading =
            int(std::count_if(sinceKey_.begin(), sinceKey_.end(), [entry](int e) { return e > entry; }));
        const int display = entry + leading;
        keyDisplay_[entry] = display;
        // Where the headers told otherwise than the decode, they are not taken again.
        if (const auto told = leading_.find(entry);
            told != leading_.end() && told->second >= 0 && told->second != leading)
            leadingWrong_ = true;
        if (nextDisplay_ < 0) {
            keyDisplay_[runStart_] = display - outputsInRun_;
            missed = target < display;
        }
        nextDisplay_ = display;
        sinceKey_.clear();
    }
    ++outputsInRun_;
    if (!reorders_) {
        nextDisplay_ = entry + 1;
        return entry;
    }
    sinceKey_.push_back(entry);
    return nextDisplay_ < 0 ? -1 : nextDisplay_++;
}

GetFrame::Outcome GetFrame::DecodeUntil(int target) {
    AVCodecContext* codec = codec_.get();
    AVFrame* frame = frame_.get();
    const auto next = [this, target](AVPacket* pkt) { return ReadPacket(target + kMaxPictureDelay, pkt); };
    while (true) {
        const int got = loop_.Receive(codec, frame, next);
        if (got == AVERROR(EAGAIN)) return Outcome::Failed;
        if (got < 0) {
            usable_ = false;  // drained: the decoder needs a flush before it can go on
            return Outcome::Failed;
        }
        bool missed = false;
        const int entry = frame->pts == AV_NOPTS_VALUE ? -1 : EntryOfChunk(frame->pts - stampOffset_);
        const int display = entry < 0 ? -1 : OnPicture(entry, target, missed);
        if (missed) {
            av_frame_unref(frame);
            return Outcome::Missed;
        }
        if (display == target) {
            av_frame_unref(held_.get());
            av_frame_move_ref(held_.get(), frame);
            shown_ = target;
            dibCurrent_ = false;
            return Outcome::Found;
        }
        av_frame_unref(frame);
        if (display > target) return Outcome::Failed;
    }
}

bool GetFrame::Convert(const AVFrame& frame) {
    if (dib_.empty()) {
        dib_.assign(sizeof dibHeader_ + size_t(dibHeader_.biSizeImage), 0);
        std::memcpy(dib_.data(), &dibHeader_, sizeof dibHeader_);
    }
    // Bottom-up rows; their padding bytes stay as zeroed when made.
    uint8_t* bits = dib_.data() + sizeof(dib::BitmapInfoHeader);
    return scaler_.Convert(frame, AV_PIX_FMT_BGR24, width_, height_, bits, stride_, true);
}

bool GetFrame::Locate(int32_t position) {
    if (position < 0 || position >= readable_) return false;
    // A position names a chunk; an empty chunk shows the picture before it.
    auto it = std::upper_bound(entries_.begin(), entries_.end(), int64_t(position),
                               [](int64_t p, const Entry& e) { return p < e.chunk; });
    const int target = it == entries_.begin() ? 0 : int(it - entries_.begin()) - 1;
    if (target == shown_) return true;
    shown_ = -1;

    int back = 0;  // key frames to start further back than usual
    for (int attempt = 0; attempt < 3; ++attempt) {
        int start = StartFor(target);
        if (back > 0) {
            const int k = KeyAtOrBefore(start);
            start = keys_[std::max(k - back, 0)];
        }
        // Decoding on is cheaper than seeking while the target's start point is already behind.
        const bool goOn = usable_ && nextDisplay_ >= 0 && nextDisplay_ <= target &&
                          (target == nextDisplay_ || start <= lastRead_ + 1);
        const bool fresh = usable_ && !runStarted_ && runStart_ == start && lastRead_ < start;
        if (!goOn && !fresh && !Seek(start)) break;
        const Outcome outcome = DecodeUntil(target);
        if (outcome == Outcome::Found) return true;
        // Some decoders reorder less after a flush and leave pictures out near a key frame
        // that is not an instantaneous refresh: a run from further back gets them.
        if (outcome == Outcome::Failed) {
            if (!reorders_ || start == keys_.front()) break;
            ++back;
        }
        // Missed: the run start's place is known now; the next run anchors on it.
    }
    shown_ = -1;
    nextDisplay_ = -1;
    return false;
}

const uint8_t* GetFrame::Fetch(int32_t position) {
    if (!Locate(position)) return nullptr;
    if (!dibCurrent_) {
        if (!Convert(*held_)) return nullptr;
        dibCurrent_ = true;
    }
    return dib_.data();
}

std::unique_ptr<media::DecodedPicture> GetFrame::FetchDecoded(int32_t position) {
    if (!Locate(position)) return nullptr;
    auto picture = std::make_unique<media::DecodedPicture>(*held_, width_, height_, 0);
    return picture->valid() ? std::move(picture) : nullptr;
}

// Straight from the decoded picture to 32-bit pixels, in one conversion: the same colours as
// the 24-bit picture (the converters share their tables), without a second pass over it.
bool GetFrame::FetchDisplay(int32_t position, uint8_t* pixels, int64_t stride) {
    return Locate(position) && displayScaler_.ConvertToScreen(*held_, width_, height_, pixels, stride);
}

void AviFileDeleter::operator()(AviFile* file) const { std::default_delete<AviFile>()(file); }
void AviStreamDeleter::operator()(AviStream* stream) const { std::default_delete<AviStream>()(stream); }
void GetFrameDeleter::operator()(GetFrame* decoder) const { std::default_delete<GetFrame>()(decoder); }

void AVIFileInit() { ffmpeg::SetUpLibraries(); }

int32_t AVIFileOpen(FileHandle& file, const std::string& path) {
    file.reset();
    ffmpeg::SetUpLibraries();
    auto container = std::make_shared<Container>();
    container->path = path;
    std::optional<riff::Layout> layout = riff::ReadLayout(path);
    if (!layout || layout->streams.empty()) return -1;
    container->layout = std::move(*layout);

    const AVInputFormat* avi = av_find_input_format("avi");
    AVFormatContext* raw = nullptr;
    if (!avi || avformat_open_input(&raw, path.c_str(), avi, nullptr) < 0) return -1;
    container->format.reset(raw);

    file.reset(std::make_unique<AviFile>().release());
    file->container = std::move(container);
    return kOk;
}

int32_t AVIFileInfo(const AviFile& file, FileInfo& info) {
    const riff::MainHeader& m = file.container->layout.main;
    info.maxBytesPerSecond = m.maxBytesPerSec;
    info.flags = m.flags;
    info.streams = uint32_t(file.container->layout.streams.size());
    info.width = m.width;
    info.height = m.height;
    info.length = m.totalFrames;
    return kOk;
}

int32_t AVIFileGetStream(AviFile& file, StreamHandle& stream, uint32_t type, int32_t index) {
    stream.reset();
    const Container& c = *file.container;
    const auto& streams = c.layout.streams;
    int32_t seen = 0;
    for (size_t i = 0; i < streams.size(); ++i) {
        if (streams[i].header.type != type) continue;
        if (seen++ != index) continue;
        if (type == kStreamTypeVideo && !SaneVideoHeader(streams[i], c.layout.fileSize)) return -1;
        if (i >= c.format->nb_streams) return -1;
        // Only this stream is read; the demuxer skips the others' chunks.
        for (unsigned s = 0; s < c.format->nb_streams; ++s) {
            c.format->streams[s]->discard = s == i ? AVDISCARD_DEFAULT : AVDISCARD_ALL;
        }
        stream.reset(std::make_unique<AviStream>().release());
        stream->container = file.container;
        stream->number = int(i);
        stream->description = &streams[i];
        return kOk;
    }
    return -1;
}

int32_t AVIStreamLength(const AviStream& stream) {
    return int32_t(std::min<uint32_t>(stream.description->header.length, INT32_MAX));
}

int32_t AVIStreamInfo(const AviStream& stream, StreamInfo& info) {
    info = stream.description->header;
    return kOk;
}

int32_t AVIStreamReadFormat(const AviStream& stream, int32_t, void* buffer, int32_t& size) {
    const std::vector<uint8_t>& format = stream.description->format;
    if (!buffer) {
        size = int32_t(format.size());
        return kOk;
    }
    if (size < 0) return -1;
    const size_t bytes = std::min(format.size(), size_t(size));
    std::memcpy(buffer, format.data(), bytes);
    size = int32_t(bytes);
    return kOk;
}

GetFrameHandle AVIStreamGetFrameOpen(AviStream& stream, const dib::BitmapInfoHeader& wanted) {
    dib::BitmapInfoHeader own;
    if (!ReadInfoHeader(stream.description->format, own)) return nullptr;
    const auto magnitude = [](int32_t v) { return v < 0 ? -int64_t(v) : int64_t(v); };
    if (wanted.biBitCount != 24 || wanted.biCompression != dib::kRgbCompression || wanted.biWidth != own.biWidth ||
        magnitude(wanted.biHeight) != magnitude(own.biHeight)) {
        return nullptr;
    }
    auto decoder = std::make_unique<GetFrame>();
    if (!decoder->Open(stream)) return nullptr;
    return GetFrameHandle(decoder.release());
}

const uint8_t* AVIStreamGetFrame(GetFrame& decoder, int32_t position) { return decoder.Fetch(position); }

std::unique_ptr<media::DecodedPicture> AVIStreamGetFrameDecoded(GetFrame& decoder, int32_t position) {
    return decoder.FetchDecoded(position);
}

bool AVIStreamGetFrameDisplay(GetFrame& decoder, int32_t position, uint8_t* pixels, int64_t stride) {
    return decoder.FetchDisplay(position, pixels, stride);
}

std::vector<int32_t> AVIStreamKeyPositions(const GetFrame& decoder) { return decoder.KeyPositions(); }

void AVIStreamGetFrameClose(GetFrameHandle& decoder) { decoder.reset(); }

void AVIStreamRelease(StreamHandle& stream) { stream.reset(); }

void AVIFileRelease(FileHandle& file) { file.reset(); }

}  // namespace avifile
