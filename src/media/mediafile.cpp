// SPDX-License-Identifier: GPL-2.0-or-later
#include "media/mediafile.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <fstream>
#include <limits>
#include <optional>
#include <set>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/display.h>
#include <libavutil/mem.h>
}

#include "media/decode_loop.h"
#include "media/dib.h"
#include "media/ffmpeg_handles.h"
#include "media/ffmpeg_setup.h"
#include "media/file_identity.h"
#include "media/file_input.h"
#include "media/index_store.h"
#include "media/picture_hash.h"
#include "media/picture_scaler.h"
#include "media/sample_input.h"
#include "media/saved_index_checks.h"

namespace media {
namespace {

// Larger pictures are refused before anything is sized by them.
constexpr int kMaxSide = 16384;
constexpr int64_t kMaxPixels = int64_t(1) << 27;
// The check at open for pictures that never come out at the end decodes the last two GOPs
// when they are this short.
constexpr int32_t kUsualCheckPackets = 64;
// The decode of a whole stream at open tells its progress every so many packets.
constexpr int32_t kPacketsBetweenProgress = 16;
// A join in doubt is decoded across up to this many packets past it: the new piece's first
// pictures show whether the decoder goes on to it as the times say; the rest of its GOP is
// decoded as that recording alone would be.
constexpr int32_t kPacketsPastJoin = 16;
// No decoder holds back more pictures than this.
constexpr int32_t kDecoderReach = 64;
// Nor does an H.264 or HEVC decoder hold back more pictures than its largest picture buffer.
constexpr int32_t kUnitCodecHolds = 16;
// A picture is looked for from this many key frames further back before giving up (or, when
// the whole stream was decoded at open, before decoding from its first packet).
constexpr int kAttempts = 4;
// A target this many packets past where the decoder stands is decoded on to, not sought.
constexpr int32_t kDecodeOnPackets = 8;
// A picture's time after the one before it, when the file's own times give none that is sane.
constexpr double kLongestFrameSeconds = 5;
constexpr int64_t kNoLabel = std::numeric_limits<int64_t>::min();
constexpr int64_t kUnknownPlace = -2;
// Files with more streams than this are not probed: their header describes the stream read.
constexpr unsigned kProbedStreams = 16;
// With a saved index the probe reads at most this much: enough for the stream's parameters,
// which must then be those the first open's whole probe found (ProbeSignature).
constexpr int64_t kShortProbeBytes = int64_t{256} << 10;
// A saved index is taken only when the file's first packets are where and when it says, and
// the bytes at a few of its key packets are those it was saved with (saved_index_checks).
constexpr int kFirstPacketsChecked = 3;

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

// The turn and mirror that show the picture as the file asks, as FFmpeg's own tools apply its
// display matrix: a quarter turn may be a transposition, a half turn one flip or both.
media::Orientation DisplayOrientation(const AVStream& stream) {
    size_t size = 0;
    const uint8_t* data = av_stream_get_side_data(&stream, AV_PKT_DATA_DISPLAYMATRIX, &size);
    if (!data || size < 9 * sizeof(int32_t)) return {};
    int32_t matrix[9];
    std::memcpy(matrix, data, sizeof matrix);
    double theta = -std::round(av_display_rotation_get(matrix));
    if (std::isnan(theta)) return {};
    theta -= 360 * std::floor(theta / 360 + 0.9 / 360);
    if (std::fabs(theta - 90) < 1) return {90, matrix[3] > 0};
    if (std::fabs(theta - 270) < 1) return {270, matrix[3] < 0};
    if (std::fabs(theta - 180) < 1) {
        const bool horizontal = matrix[0] < 0;
        const bool vertical = matrix[4] < 0;
        // A vertical flip is a half turn mirrored.
        if (vertical) return {180, !horizontal};
        return {0, horizontal};
    }
    if (std::fabs(theta) < 1) return {matrix[4] < 0 ? 180 : 0, matrix[4] < 0};
    return {};
}

// The stream to read: the first video stream that holds pictures (an empty track before it
// is passed over); a cover picture is no video. -1 when there is none.
int ChosenVideoStream(const AVFormatContext& format) {
    int first = -1;
    for (unsigned i = 0; i < format.nb_streams; ++i) {
        const AVStream& s = *format.streams[i];
        if (s.codecpar->codec_type != AVMEDIA_TYPE_VIDEO || (s.disposition & AV_DISPOSITION_ATTACHED_PIC)) continue;
        if (s.nb_frames > 0) return int(i);
        if (first < 0) first = int(i);
    }
    return first;
}

// The stream's average rate, or its base rate, or 25 frames a second when it names neither.
AVRational FrameRate(const AVStream& stream) {
    for (const AVRational rate : {stream.avg_frame_rate, stream.r_frame_rate}) {
        if (rate.num > 0 && rate.den > 0) return rate;
    }
    return {25, 1};
}

// Containers whose demuxer reads the bytes as they come (no table of samples): a byte position
// is a place to start reading from.
bool ReadsByteStream(const AVInputFormat& format) {
    return std::strcmp(format.name, "mpegts") == 0 || std::strcmp(format.name, "mpeg") == 0;
}

// MPEG transport streams: packets of 188 bytes, each with its stream's identifier.
constexpr int64_t kTsPacket = 188;
constexpr int64_t kTsPacketsLookedAt = 512;

// Whether a transport stream ends with its stream `pid` whole: its last packet of the stream ends
// a PES with stuffing, as a muxer fills the last packet of each PES. A file cut inside a picture
// ends with a full packet of it (or amid one); a PES that happens to fill its last packet
// exactly is taken for cut too, which costs only the check of the end.
bool TransportStreamEndsWhole(const std::string& path, int pid) {
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    const int64_t size = in ? int64_t(in.tellg()) : -1;
    if (size < kTsPacket || size % kTsPacket != 0) return false;
    const int64_t bytes = std::min(size, kTsPacket * kTsPacketsLookedAt);
    std::vector<uint8_t> tail(size_t(bytes), 0);
    if (!in.seekg(size - bytes) || !in.read(reinterpret_cast<char*>(tail.data()), std::streamsize(bytes))) return false;
    for (int64_t at = bytes - kTsPacket; at >= 0; at -= kTsPacket) {
        const uint8_t* p = tail.data() + at;
        if (p[0] != 0x47) return false;
        if (((p[1] & 0x1F) << 8 | p[2]) != pid) continue;
        if (!(p[3] & 0x20)) return false;  // no adaptation field: no stuffing
        const int length = p[4];
        if (length < 2 || 5 + length > kTsPacket) return false;
        const uint8_t flags = p[5];
        if (flags & 0x07) return false;  // private data or an extension: not looked into
        const int used = 1 + (flags & 0x10 ? 6 : 0) + (flags & 0x08 ? 6 : 0);
        if (used >= length) return false;
        return std::all_of(p + 5 + used, p + 5 + length, [](uint8_t b) { return b == 0xFF; });
    }
    return false;
}

}  // namespace

bool IsAviFile(const std::string& path) {
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    char head[12] = {};
    ssize_t got;
    do got = pread(fd, head, sizeof head, 0);
    while (got < 0 && errno == EINTR);
    close(fd);
    return got == ssize_t(sizeof head) && std::memcmp(head, "RIFF", 4) == 0 && std::memcmp(head + 8, "AVI ", 4) == 0;
}

class MediaFile::Impl {
public:
    bool Open(const std::string& path, const Progress& progress, PacketChecks checks);
    PacketsState PacketsFound();
    PacketsState CheckPackets(const Progress& progress);
    PacketsState CheckPacketsUpTo(int32_t position);
    PacketsState CheckStretchPackets(int32_t first, int32_t end);
    bool Locate(int32_t position);
    const uint8_t* Frame(int32_t position);
    bool FrameDisplay(int32_t position, uint8_t* pixels, int64_t stride);
    double FrameTime(int32_t position) const;
    std::vector<int32_t> KeyPositions() const;
    // Another reader of this process takes the shared index: it neither reads the packets nor
    // decodes the stream again. A damaged stream is still read by one: its pictures reached
    // from a later key frame are checked, and often decoded again from the start.
    bool OpensWithoutDecoding() const { return identity_ ? !index_->damaged : !index_->decoded; }
    std::unique_ptr<media::DecodedPicture> Decoded(int32_t position);
    int32_t FrameCount() const { return deferred_ ? deferredCount_ : int32_t(index_->presented.size()); }

    // The index, shared with every other reader of the file in this process; read only once
    // published. While it is built, building_ is the same object.
    std::shared_ptr<const MediaIndex> shared_;
    const MediaIndex* index_ = nullptr;
    int width_ = 0;
    int height_ = 0;

private:
    enum class Outcome { Found, Missed, Failed };

    // One thread gives each picture as a sequential decode gives it, damage included; more
    // (0: as many as the cores) give the same pictures of an undamaged stream sooner.
    // With `orderOnly` the pictures come out in their order but unfinished (no inverse
    // transform, no loop filter), which is all the decode at open of an undamaged stream needs.
    bool OpenDecoder(int threads = 1, bool orderOnly = false);
    bool OpenDemuxer(bool shortProbe = false);
    IndexOutcome DecodeWholeStream(const Progress& progress);
    // The decode of the whole stream one picture at a time: started from the first packet,
    // then each picture it gives into frame_, recorded in building_ as the next position.
    // False at the run's end.
    bool StartWholeDecode();
    bool NextWholePicture(const media::DecodeLoop::NextPacket& next);
    // A ranking's reader whose whole decode was left to its own run (see deferred_).
    bool LocateDeferred(int32_t position);
    // The deferred decode run to its end (from the start again when the run went elsewhere),
    // then the index it built taken as a first open takes it: false when the decode failed.
    bool FinishDeferred();
    bool Seek(int32_t start);
    media::PacketRead ReadPacket(AVPacket* pkt);
    bool SamePacket(const PacketEntry& entry, const AVPacket& packet) const;
    // The time a seek to the packet asks for. MP4 and Matroska find a key frame by its
    // presentation time: asked for its decode time, which is earlier, they go a GOP further back.
    int64_t SeekTime(const PacketEntry& entry) const {
        return !byteStream_ && entry.pts != AV_NOPTS_VALUE ? entry.pts : entry.time;
    }
    // With `placeOnly` the picture in the position's place is taken whatever its fingerprint.
    Outcome DecodeUntil(int32_t position, bool placeOnly);
    bool PatchedAfterAnEarlierGop(int32_t position) const;
    int64_t LabelOf(const AVFrame& frame) const;
    int64_t PlaceOf(const AVFrame& frame);
    int64_t PlaceOf(int32_t position) const;
    void DropPicturesNeverShown(int32_t start, int32_t from, int32_t to, bool leadingOnly);
    // The index of this file from this process or from disk; null when it must be built.
    std::shared_ptr<const MediaIndex> FindIndex(const StreamTraits& traits, const std::vector<uint8_t>* saved);
    bool KeyWindowsMatch(const MediaIndex& index, const std::vector<uint8_t>& saved) const;
    bool FirstPacketsMatch(const MediaIndex& index);
    bool BuildWholeIndex(const Progress& progress);
    // The index's presented pictures, once its packets are listed.
    // With `mayDefer` a damaged stream's whole decode is left to a ranking's run (deferred_).
    bool FinishIndex(const Progress& progress, bool mayDefer = false);
    IndexOutcome IndexFromTables(const Progress& progress);
    // Shares the index in this process and saves it.
    void Publish();
    // The index read from tables, its packets all found whole: the same index, checked.
    void KeepAsChecked();
    // Records what packet `number` of the index, read whole, tells of damage.
    void RecordUnits(int32_t number, const AVPacket& packet);
    // The last packet whose damage could change the pictures a decode from the first packet
    // presents up to `position`.
    int32_t LastPacketMoving(int32_t position);
    // Looks into the packets up to `last` that no reader has found whole, by their samples' bytes
    // where the tables place them: for an MP4's H.264 or HEVC a sample's bytes are the packet the
    // demuxer gives. False when a sample's place is not known, or reading fails.
    bool LookInto(int32_t last);
    // The packets `first` to `last` not found whole yet, read the same way.
    bool LookInto(int32_t first, int32_t last);
    // Another reader of this process already settled the packets of the index this one reads:
    // the index it left shared is taken instead of reading them again.
    bool TakeSettledIndex();

    StreamTraits traits_;
    bool checkPackets_ = true;
    bool readsInOrder_ = false;
    // Opened for a ranking of every frame (PacketChecks::InOrder), a damaged stream is not decoded at
    // open: the ranking reads it from the first packet in order, and that one decode gives both
    // the index (building_, published once the run ends) and the pictures ranked. Until then the
    // count is the packets' (no fewer than the pictures of such a stream in practice; more are
    // found when the run ends, and the ranking is then made again on the index).
    std::shared_ptr<MediaIndex> deferred_;
    int32_t deferredCount_ = 0;
    enum class DeferredRun { NotStarted, Running, Ended };
    DeferredRun deferredRun_ = DeferredRun::NotStarted;
    bool deferredFailed_ = false;  // the deferred decode gave no index: the reader gives nothing
    // The deferred run's end found more pictures than were counted: the ranking missed some and
    // is to be made again on the index (PacketsState::Damaged, told once by CheckPackets).
    bool deferredMissed_ = false;
    // The whole decode's times: the last packet time seen and the step a picture takes.
    int64_t wholeLastPts_ = AV_NOPTS_VALUE;
    double wholeFrameSeconds_ = 0;
    MediaIndex* building_ = nullptr;
    // Declared before the demuxer, which reads through it. Null for other than regular files,
    // which the demuxer reads itself.
    std::unique_ptr<FileInput> input_;
    std::optional<FileIdentity> identity_;
    std::optional<Digest> probeSignature_;  // of the demuxer's probe, when it was whole
    bool demuxerMoved_ = false;             // packets were read to check a saved index
    bool probed_ = true;                    // the probe decoded the first pictures
    bool PiecesFollowOneAnother();
    void DropPicturesNeverShownAtTheEnds();

    std::string path_;
    std::unique_ptr<AVFormatContext, FormatCloser> format_;
    AVStream* stream_ = nullptr;
    bool byteStream_ = false;
    ffmpeg::Codec codec_;
    media::DecodeLoop loop_;
    ffmpeg::Frame frame_;
    ffmpeg::Frame held_;                  // the picture found last, converted only when asked for
    media::PictureScaler scaler_;         // to the 24-bit DIB
    media::PictureScaler displayScaler_;  // to the screen's 32-bit pixels
    media::Orientation orientation_;
    int64_t stride_ = 0;
    std::vector<uint8_t> dib_;

    // The decoding run: packets go in from nextPacket_ on, pictures have come out up to lastOut_.
    // A picture's place in a run is its label when the index follows times, its position when
    // the stream was decoded at open.
    bool usable_ = false;
    bool skipping_ = false;  // after a seek: packets before the run's start are passed over
    bool ended_ = false;
    bool broken_ = false;              // a run met other packets than the index holds
    bool seekMissed_ = false;          // a seek in this file once landed elsewhere than asked
    bool concealedOtherwise_ = false;  // a damaged stream once gave another picture after a seek
    // The run's key picture came out concealed: its key packet is no place to start from (the
    // parameter sets it needs were sent before it), so nothing the run gives is the picture a
    // decode from the first packet gives.
    bool keyConcealed_ = false;
    int32_t runStart_ = 0;
    int32_t nextPacket_ = 0;
    int64_t lastOut_ = kNoLabel;
    // Decoded at open: the label and position of the run's last picture; a picture without a
    // label of its own follows the one before it. kUnknownPlace until a picture is known.
    int64_t runLabel_ = kNoLabel;
    int64_t runPosition_ = kUnknownPlace;
    int32_t shown_ = -1;  // position of the picture in held_
    bool dibCurrent_ = false;

    // For CheckPacketsUpTo, of the index they were found for: every packet by its label with the
    // last packet, in decode order, of those labelled up to it; the packets before wholeUpTo_,
    // all found whole; the samples' places and sizes, by place.
    const MediaIndex* movingFor_ = nullptr;
    std::vector<std::pair<int64_t, int32_t>> byLabel_;
    std::vector<int32_t> lastFed_;
    int32_t holds_ = kUnitCodecHolds;  // the most pictures the decoder holds back
    const MediaIndex* wholeFor_ = nullptr;
    int32_t wholeUpTo_ = 0;
    std::vector<std::pair<int64_t, int64_t>> samples_;
};

bool MediaFile::Impl::Open(const std::string& path, const Progress& progress, PacketChecks checks) {
    const bool checkPackets = checks == PacketChecks::AtOpen;
    ffmpeg::SetUpLibraries();
    path_ = path;
    checkPackets_ = checkPackets;
    readsInOrder_ = checks == PacketChecks::InOrder;
    input_ = FileInput::Open(path);
    identity_ = input_ ? index_store::IdentityFor(input_->Descriptor(), [this] { return input_->Identity(); })
                       : index_store::IdentityFor(path);
    if (identity_ && input_) input_->ShareSpans(*identity_);
    using index_store::Kind;
    // A saved index lets the probe stop at the stream's parameters (and skips the reading of
    // a transport stream's end for its duration).
    // So does an index shared in the process, whose probe's signature is kept with it.
    std::optional<std::vector<uint8_t>> saved;
    std::optional<Digest> known;
    if (identity_ && input_) {
        if (index_store::FindShared(Kind::Packets, *identity_, 0)) {
            known = SharedSignature(*identity_, std::nullopt);
        } else {
            saved = index_store::Load(Kind::Packets, *identity_, 0);
            if (saved && saved->size() < kSavedChecksBytes) saved.reset();
            if (saved) std::copy_n(saved->begin(), known.emplace().size(), known->begin());
        }
    }
    if (!OpenDemuxer(known.has_value()) && !(known && OpenDemuxer())) return false;
    if (known && !probeSignature_) {
        const std::optional<Digest> found = ProbeSignature(*format_, *stream_, FrameRate(*stream_));
        if (found != known && !OpenDemuxer()) return false;
    }
    const AVCodecParameters& par = *stream_->codecpar;
    if (par.width < 1 || par.height < 1 || par.width > kMaxSide || par.height > kMaxSide ||
        int64_t(par.width) * par.height > kMaxPixels) {
        return false;
    }
    orientation_ = DisplayOrientation(*stream_);
    width_ = orientation_.sideways() ? par.height : par.width;
    height_ = orientation_.sideways() ? par.width : par.height;
    stride_ = dib::RowStride(width_, 24);
    if (!OpenDecoder()) return false;

    traits_ = {stream_->index, int32_t(par.codec_id),  par.width,
               par.height,     stream_->time_base.num, stream_->time_base.den};
    shared_ = FindIndex(traits_, saved ? &*saved : nullptr);
    if (!shared_ && (demuxerMoved_ || !probeSignature_)) {
        // A saved index was looked at and refused: the index is built from the file's start,
        // with the stream as a first open finds it.
        if (!OpenDemuxer() || !OpenDecoder()) return false;
    }
    if (!shared_) {
        auto built = std::make_shared<MediaIndex>();
        building_ = built.get();
        index_ = building_;
        const bool ok = BuildWholeIndex(progress);
        building_ = nullptr;
        index_ = nullptr;
        if (!ok) return false;
        if (deferredCount_ > 0) {
            // Neither shared nor saved before its run has built it.
            deferred_ = std::move(built);
            building_ = deferred_.get();
        } else {
            shared_ = std::move(built);
            Publish();
        }
    }
    index_ = deferred_ ? deferred_.get() : shared_.get();
    // Found shared or saved before its packets were looked into.
    if (checkPackets && index_->unitChecks && CheckPackets(progress) == PacketsState::Unread) return false;

    const dib::BitmapInfoHeader header = dib::BgrHeader(width_, height_);
    dib_.assign(sizeof header + size_t(header.biSizeImage), 0);
    std::memcpy(dib_.data(), &header, sizeof header);
    return true;
}

// The index found again: first among this process's readers, then saved on disk by any earlier
// open (`saved`, loaded before the demuxer opened). A saved index that does not hold together,
// or is of another stream, is passed over.
std::shared_ptr<const MediaIndex> MediaFile::Impl::FindIndex(const StreamTraits& traits,
                                                             const std::vector<uint8_t>* saved) {
    if (!identity_) return nullptr;
    using index_store::Kind;
    if (auto found =
            std::static_pointer_cast<const MediaIndex>(index_store::FindShared(Kind::Packets, *identity_, 0))) {
        // Shared, it is this file's: a short probe that gives other first packets is only
        // replaced by the whole one.
        if (!probeSignature_ && !FirstPacketsMatch(*found) && (!OpenDemuxer() || !OpenDecoder())) return nullptr;
        return found;
    }
    if (!saved) return nullptr;
    std::optional<MediaIndex> index =
        IndexFromSaved(std::vector<uint8_t>(saved->begin() + int64_t(kSavedChecksBytes), saved->end()), traits);
    if (!index || !KeyWindowsMatch(*index, *saved)) return nullptr;
    bool matches = FirstPacketsMatch(*index);
    if (!matches && !probeSignature_) {
        // A short probe may give the first packets other times than the whole one did (a
        // Matroska packet's decode time is guessed from the pictures read before it).
        const bool reopened = OpenDemuxer() && probeSignature_ &&
                              std::equal(probeSignature_->begin(), probeSignature_->end(), saved->begin()) &&
                              OpenDecoder();
        matches = reopened && FirstPacketsMatch(*index);
    }
    if (!matches) return nullptr;
    if (index->fromTables && PacketsChecked(*stream_->codecpar)) {
        index->unitChecks = std::make_shared<UnitChecks>(index->packets.size());
    }
    auto found = std::make_shared<const MediaIndex>(std::move(*index));
    index_store::Share(Kind::Packets, *identity_, 0, found);
    Digest signature;
    std::copy_n(saved->begin(), signature.size(), signature.begin());
    SharedSignature(*identity_, signature);
    return found;
}

// A saved index that holds together may still be another file's (one of the same identity):
// the bytes at its key packets must be those it was saved with, and the file's first packets
// where and when it says.
bool MediaFile::Impl::KeyWindowsMatch(const MediaIndex& index, const std::vector<uint8_t>& saved) const {
    const std::optional<Digest> windows = KeyWindowsDigest(input_->Descriptor(), index);
    return windows && std::equal(windows->begin(), windows->end(), saved.begin() + int64_t(sizeof(Digest)));
}

bool MediaFile::Impl::FirstPacketsMatch(const MediaIndex& index) {
    const ffmpeg::Packet packet(av_packet_alloc());
    if (!packet) return false;
    demuxerMoved_ = true;
    AVPacket* pkt = packet.get();
    const int checked = std::min<int>(kFirstPacketsChecked, int(index.packets.size()));
    for (int n = 0; n < checked;) {
        if (av_read_frame(format_.get(), pkt) < 0) return false;
        const bool ours = pkt->stream_index == stream_->index;
        const PacketEntry& entry = index.packets[size_t(n)];
        // A decode time is looked at only where the reader uses it: for a packet without a
        // position of its own, or a picture without a time (a Matroska demuxer guesses the
        // first packets' decode times from the pictures probed before them).
        const bool timed = entry.pos >= 0 && entry.pts != AV_NOPTS_VALUE;
        const bool same = pkt->pos == entry.pos && pkt->pts == entry.pts && (timed || pkt->dts == entry.dts);
        av_packet_unref(pkt);
        if (!ours) continue;
        if (!same) return false;
        ++n;
    }
    return true;
}

// Builds the index of a file opened for the first time: its packets, then its presented
// pictures.
bool MediaFile::Impl::BuildWholeIndex(const Progress& progress) {
    // Where the container lists its samples, the list is read without their data.
    const IndexOutcome listed = IndexFromTables(progress);
    if (listed == IndexOutcome::Cancelled) return false;
    if (listed != IndexOutcome::Built && BuildIndex(*format_, *stream_, progress, *building_) != IndexOutcome::Built) {
        return false;
    }
    if (!FinishIndex(progress, readsInOrder_)) return false;
    // The checks at the ends read the first and last GOPs' packets: one damaged, the index is
    // built from the data at once.
    if (index_->unitChecks && index_->unitChecks->damaged) {
        if (!OpenDemuxer() || !OpenDecoder()) return false;
        if (BuildIndex(*format_, *stream_, progress, *building_) != IndexOutcome::Built) return false;
        return FinishIndex(progress, readsInOrder_);
    }
    return true;
}

bool MediaFile::Impl::FinishIndex(const Progress& progress, bool mayDefer) {
    // A damaged stream is decoded on one thread, its pictures finished: the ranking's run
    // from the first packet is that very decode.
    if (mayDefer && index_->decoded && index_->damaged && !index_->packets.empty()) {
        deferredCount_ = int32_t(index_->packets.size());
        return true;
    }
    if (!index_->decoded) {
        // The checks below want only which pictures come out, in what order: on every core,
        // unfinished.
        if (!OpenDecoder(0, true)) return false;
        if (!PiecesFollowOneAnother()) OrderByDecoding(*building_);
        if (!index_->decoded) DropPicturesNeverShownAtTheEnds();
        if (!OpenDecoder()) return false;
    }
    if (index_->decoded) {
        // Frame threads conceal damage differently from run to run: only an undamaged stream
        // is decoded at open on every core.
        if (!index_->damaged && !OpenDecoder(0, true)) return false;
        if (DecodeWholeStream(progress) != IndexOutcome::Built) return false;
        if (!index_->damaged && !OpenDecoder()) return false;
    }
    if (index_->presented.empty()) return false;
    FindPresentedPackets(*building_);
    return true;
}

void MediaFile::Impl::Publish() {
    if (!identity_) return;
    using index_store::Kind;
    index_store::Share(Kind::Packets, *identity_, 0, shared_);
    // A short probe has none of its own: the whole one's, kept with the index it found, holds.
    const std::optional<Digest> signature =
        probeSignature_ ? SharedSignature(*identity_, *probeSignature_) : SharedSignature(*identity_, std::nullopt);
    const std::optional<Digest> windows = input_ ? KeyWindowsDigest(input_->Descriptor(), *shared_) : std::nullopt;
    if (!signature || !windows) return;
    // Saved as the probe's signature, the key packets' windows, then the index.
    std::vector<uint8_t> payload(signature->begin(), signature->end());
    payload.insert(payload.end(), windows->begin(), windows->end());
    const std::vector<uint8_t> index = SavedIndex(*shared_, traits_);
    payload.insert(payload.end(), index.begin(), index.end());
    index_store::Save(Kind::Packets, *identity_, 0, payload);
}

void MediaFile::Impl::KeepAsChecked() {
    auto checked = std::make_shared<MediaIndex>(*index_);
    checked->fromTables = false;
    checked->unitChecks = nullptr;
    shared_ = std::move(checked);
    index_ = shared_.get();
    Publish();
}

PacketsState MediaFile::Impl::PacketsFound() {
    if (deferred_) {
        if (deferredRun_ == DeferredRun::NotStarted) return PacketsState::Unread;
        if (!FinishDeferred()) return PacketsState::Unread;
    }
    if (deferredMissed_) return PacketsState::Damaged;
    const UnitChecks* checks = index_->unitChecks.get();
    if (!checks) return PacketsState::Whole;
    if (checks->damaged) return PacketsState::Damaged;
    if (!checks->AllWhole()) return PacketsState::Unread;
    KeepAsChecked();
    return PacketsState::Whole;
}

// One pass over the data, as a first open makes it: packets whole, the index read from the
// tables stands and is checked; one damaged, the index of that pass replaces it.
PacketsState MediaFile::Impl::CheckPackets(const Progress& progress) {
    if (deferred_ && !FinishDeferred()) return PacketsState::Unread;
    if (deferredMissed_) {
        deferredMissed_ = false;
        return PacketsState::Damaged;
    }
    if (PacketsFound() == PacketsState::Whole) return PacketsState::Whole;
    shown_ = -1;
    dibCurrent_ = false;
    usable_ = false;
    if (TakeSettledIndex()) return PacketsState::Damaged;
    // Read from its start by a new demuxer, as at a first open.
    if (!OpenDemuxer() || !OpenDecoder()) return PacketsState::Unread;
    auto built = std::make_shared<MediaIndex>();
    const std::shared_ptr<const MediaIndex> kept = shared_;
    building_ = built.get();
    index_ = building_;
    bool ok = BuildIndex(*format_, *stream_, progress, *building_) == IndexOutcome::Built;
    const bool damaged = ok && building_->damaged;
    if (ok && damaged) ok = FinishIndex(progress);
    building_ = nullptr;
    index_ = kept.get();
    if (!ok) {
        // The reader goes on with the index it had, and a decoder that finishes its pictures.
        OpenDecoder();
        return PacketsState::Unread;
    }
    if (!damaged) {
        KeepAsChecked();
        return PacketsState::Whole;
    }
    // The other readers of the old index stop relying on its positions.
    kept->unitChecks->damaged = true;
    shared_ = std::move(built);
    index_ = shared_.get();
    Publish();
    return PacketsState::Damaged;
}

bool MediaFile::Impl::TakeSettledIndex() {
    if (!identity_ || !index_->unitChecks->damaged) return false;
    auto found =
        std::static_pointer_cast<const MediaIndex>(index_store::FindShared(index_store::Kind::Packets, *identity_, 0));
    if (!found || found == shared_ || found->unitChecks) return false;
    shared_ = std::move(found);
    index_ = shared_.get();
    return true;
}

// Positions up to `position` hold once the packets a decode from the start takes before giving
// them are whole: what it gives is then what it gives of an undamaged file, and a later packet
// cannot take back a picture it gave. It has given them all once it has taken the packets that
// hold them and as many more as it holds pictures back.
PacketsState MediaFile::Impl::CheckPacketsUpTo(int32_t position) {
    const UnitChecks* checks = index_->unitChecks.get();
    if (!checks) return PacketsState::Whole;
    // Past the tables' last picture only the whole stream tells how many pictures it holds.
    if (position < 0 || position >= int32_t(index_->presented.size()) || checks->damaged) return CheckPackets({});
    const int32_t last = LastPacketMoving(position);
    if (!LookInto(last) || checks->damaged) return CheckPackets({});
    return last + 1 == int32_t(index_->packets.size()) ? PacketsFound() : PacketsState::Whole;
}

void MediaFile::Impl::RecordUnits(int32_t number, const AVPacket& packet) {
    UnitChecks* checks = index_->unitChecks.get();
    if (!checks) return;
    if (PacketWhole(*stream_->codecpar, packet)) {
        checks->whole[size_t(number)] = true;
    } else {
        checks->damaged = true;
    }
}

int32_t MediaFile::Impl::LastPacketMoving(int32_t position) {
    const auto packets = int32_t(index_->packets.size());
    if (movingFor_ != index_) {
        byLabel_.clear();
        for (int32_t i = 0; i < packets; ++i) byLabel_.emplace_back(index_->packets[size_t(i)].label, i);
        std::sort(byLabel_.begin(), byLabel_.end());
        lastFed_.clear();
        for (const auto& [label, packet] : byLabel_)
            lastFed_.push_back(std::max(packet, lastFed_.empty() ? 0 : lastFed_.back()));
        // The decoder holds back as many pictures as the stream's parameters ask (what the
        // probe's decoder and this one found), or as the pictures' order needs where they do
        // not say (the decoder then grows its buffer to the pictures decoded before one and
        // shown after it), one more for a guess that grows it by one (times far apart).
        int32_t needed = 0;
        for (int32_t i = 0; i < packets; ++i) {
            int32_t before = 0;
            for (int32_t j = std::max(0, i - kUnitCodecHolds); j < i; ++j)
                before += index_->packets[size_t(j)].label > index_->packets[size_t(i)].label;
            needed = std::max(needed, before);
        }
        const int declared = std::max(stream_->codecpar->video_delay, codec_ ? codec_->has_b_frames : 0);
        // Without a probe the decoder has seen none of the stream's parameters yet.
        holds_ = probed_ ? std::min(std::max(declared, needed) + 1, kUnitCodecHolds) : kUnitCodecHolds;
        movingFor_ = index_;
    }
    // Pictures up to the position: every packet labelled up to its picture's label, shown or not.
    const auto after = std::upper_bound(byLabel_.begin(), byLabel_.end(),
                                        std::make_pair(index_->presented[size_t(position)], packets));
    const int32_t fed = after == byLabel_.begin() ? 0 : lastFed_[size_t(after - byLabel_.begin() - 1)];
    return int32_t(std::min<int64_t>(int64_t(fed) + holds_, packets - 1));
}

bool MediaFile::Impl::LookInto(int32_t last) {
    const UnitChecks& checks = *index_->unitChecks;
    if (wholeFor_ != index_) {
        wholeFor_ = index_;
        wholeUpTo_ = 0;
    }
    while (wholeUpTo_ <= last && checks.whole[size_t(wholeUpTo_)]) ++wholeUpTo_;
    return wholeUpTo_ > last || LookInto(wholeUpTo_, last);
}

bool MediaFile::Impl::LookInto(int32_t first, int32_t last) {
    UnitChecks& checks = *index_->unitChecks;
    if (!input_) return false;
    if (samples_.empty()) {
        const int entries = avformat_index_get_entries_count(stream_);
        for (int i = 0; i < entries; ++i) {
            const AVIndexEntry* e = avformat_index_get_entry(stream_, i);
            if (e && e->pos >= 0 && e->size > 0) samples_.emplace_back(e->pos, e->size);
        }
        std::sort(samples_.begin(), samples_.end());
    }
    const ffmpeg::Packet packet(av_packet_alloc());
    if (!packet) return false;
    for (int32_t i = first; i <= last && !checks.damaged; ++i) {
        if (checks.whole[size_t(i)]) continue;
        const int64_t pos = index_->packets[size_t(i)].pos;
        const auto sample = std::lower_bound(samples_.begin(), samples_.end(), std::make_pair(pos, int64_t(0)));
        if (sample == samples_.end() || sample->first != pos) return false;
        av_packet_unref(packet.get());
        if (av_new_packet(packet.get(), int(sample->second)) < 0) return false;
        const int64_t got = input_->ReadAt(pos, packet->data, sample->second);
        if (got < 0) return false;
        if (got < sample->second) {
            checks.damaged = true;  // the file ends inside the sample, as the demuxer would find
        } else {
            RecordUnits(i, *packet);
        }
    }
    return true;
}

// The packets of the stretch that no reader has found whole yet, those its reading passed over
// included.
PacketsState MediaFile::Impl::CheckStretchPackets(int32_t first, int32_t end) {
    const UnitChecks* checks = index_->unitChecks.get();
    if (!checks) return PacketsState::Whole;
    const int32_t from = StretchStartPacket(*index_, first);
    const int32_t to = StretchStartPacket(*index_, end);
    const bool read = from >= to || LookInto(from, to - 1);
    if (checks->damaged) return PacketsState::Damaged;
    return read ? PacketsState::Whole : PacketsState::Unread;
}

// MP4 and MOV list every sample with its time, position and size: a demuxer that reads their
// data as zeros gives the packets, times and flags it would give over the file, having read
// little more than the sample tables. Refused (Failed) for other containers, for tables that
// do not tell key samples apart, and for codecs whose packets are looked into for damage (a
// damaged H.264 packet can cost the decode pictures that its table lists) unless the reader was
// opened to look into them as they are read.
IndexOutcome MediaFile::Impl::IndexFromTables(const Progress& progress) {
    const bool checked = PacketsChecked(*stream_->codecpar);
    if (std::strcmp(format_->iformat->name, kContainers[0]) != 0 || (checked && checkPackets_)) {
        return IndexOutcome::Failed;
    }
    std::unique_ptr<SampleInput> input = SampleInput::Open(path_);
    if (!input) return IndexOutcome::Failed;
    AVFormatContext* raw = avformat_alloc_context();
    if (!raw) return IndexOutcome::Failed;
    raw->pb = input->Context();
    raw->flags |= AVFMT_FLAG_CUSTOM_IO;
    if (avformat_open_input(&raw, nullptr, format_->iformat, nullptr) < 0) return IndexOutcome::Failed;
    std::unique_ptr<AVFormatContext, FormatCloser> format(raw);
    if (unsigned(stream_->index) >= format->nb_streams) return IndexOutcome::Failed;
    AVStream* stream = format->streams[stream_->index];
    if (stream->codecpar->codec_id != stream_->codecpar->codec_id) return IndexOutcome::Failed;
    for (unsigned i = 0; i < format->nb_streams; ++i) {
        if (int(i) != stream->index) format->streams[i]->discard = AVDISCARD_ALL;
    }
    const int entries = avformat_index_get_entries_count(stream);
    if (entries < 1) return IndexOutcome::Failed;
    std::vector<std::pair<int64_t, int64_t>> samples;
    samples.reserve(size_t(entries));
    for (int i = 0; i < entries; ++i) {
        const AVIndexEntry* e = avformat_index_get_entry(stream, i);
        if (e && e->pos >= 0 && e->size > 0) samples.emplace_back(e->pos, e->pos + e->size);
    }
    input->PassOver(std::move(samples));
    // The video_delay the probe found, which the index's checks read.
    stream->codecpar->video_delay = stream_->codecpar->video_delay;
    const IndexOutcome outcome = BuildIndex(*format, *stream, progress, *building_, true);
    if (outcome != IndexOutcome::Built) return outcome;
    // Every sample a sync sample, in a codec that predicts from others: the table lists none
    // (all are then flagged), and only the packets' data can tell where decoding may start.
    const AVCodecDescriptor* descriptor = avcodec_descriptor_get(stream->codecpar->codec_id);
    const bool intraOnly = descriptor && (descriptor->props & AV_CODEC_PROP_INTRA_ONLY);
    if (!intraOnly && building_->packets.size() > 1 && building_->keys.size() == building_->packets.size()) {
        return IndexOutcome::Failed;
    }
    if (checked) {
        // Damage the demuxer sees, or times that need the whole stream decoded: every packet is
        // read at open anyway, and the pass over the data looks into them as it goes.
        if (building_->damaged || building_->decoded) return IndexOutcome::Failed;
        building_->unitChecks = std::make_shared<UnitChecks>(building_->packets.size());
    }
    return outcome;
}

// Opens the file's demuxer, reading only the chosen video stream. Opened anew, a demuxer gives
// the packets it gave the first time, one for one, whatever their times say: a seek in a
// stream whose times cannot be trusted does not promise that.
bool MediaFile::Impl::OpenDemuxer(bool shortProbe) {
    AVFormatContext* raw = avformat_alloc_context();
    if (!raw) return false;
    if (input_) {
        raw->pb = input_->NewContext();
        if (!raw->pb) {
            avformat_free_context(raw);
            return false;
        }
    }
    if (shortProbe) {
        raw->probesize = kShortProbeBytes;
        raw->skip_estimate_duration_from_pts = 1;
    }
    if (avformat_open_input(&raw, path_.c_str(), nullptr, nullptr) < 0) return false;
    std::unique_ptr<AVFormatContext, FormatCloser> format(raw);
    if (!format->iformat || !KnownContainer(*format->iformat)) return false;
    byteStream_ = ReadsByteStream(*format->iformat);
    // Where the header lists the streams, the others are left out before the probe, which
    // would otherwise open a decoder for each of hundreds of tracks.
    const bool streamsKnown = !(format->ctx_flags & AVFMTCTX_NOHEADER);
    int chosen = stream_ ? stream_->index : streamsKnown ? ChosenVideoStream(*format) : -1;
    if (streamsKnown && chosen < 0) return false;
    for (unsigned i = 0; i < format->nb_streams; ++i) {
        if (chosen >= 0 && int(i) != chosen) format->streams[i]->discard = AVDISCARD_ALL;
    }
    // The probe sets up every stream, left out or not: a file of hundreds of tracks would
    // cost a gigabyte for one stream that its header already describes.
    const bool probe = !streamsKnown || format->nb_streams <= kProbedStreams;
    if (probe && avformat_find_stream_info(format.get(), nullptr) < 0) return false;
    probed_ = probe;
    if (chosen < 0) chosen = ChosenVideoStream(*format);
    if (chosen < 0 || unsigned(chosen) >= format->nb_streams) return false;
    for (unsigned i = 0; i < format->nb_streams; ++i) {
        if (int(i) != chosen) format->streams[i]->discard = AVDISCARD_ALL;
    }
    format_ = std::move(format);
    stream_ = format_->streams[chosen];
    probeSignature_.reset();
    if (!shortProbe || !probe) probeSignature_ = ProbeSignature(*format_, *stream_, FrameRate(*stream_));
    return true;
}

bool MediaFile::Impl::OpenDecoder(int threads, bool orderOnly) {
    const AVCodec* decoder = avcodec_find_decoder(stream_->codecpar->codec_id);
    if (!decoder) return false;
    codec_.reset(avcodec_alloc_context3(decoder));
    if (!codec_ || avcodec_parameters_to_context(codec_.get(), stream_->codecpar) < 0) return false;
    codec_->pkt_timebase = stream_->time_base;
    codec_->thread_count = threads;
    if (orderOnly) {
        codec_->skip_loop_filter = AVDISCARD_ALL;
        codec_->skip_idct = AVDISCARD_ALL;
    }
    if (avcodec_open2(codec_.get(), decoder, nullptr) < 0) return false;
    // Without a probe, the decoder tells from the stream's parameters whether it reorders.
    if (stream_->codecpar->video_delay == 0) stream_->codecpar->video_delay = codec_->has_b_frames;
    frame_.reset(av_frame_alloc());
    held_.reset(av_frame_alloc());
    return loop_.Valid() && frame_ && held_;
}

// Decodes from key packet `start` on and forgets the pictures that did not come out: with
// `leadingOnly` those of packets `start` .. `to` - 1 shown before the key picture of `from`,
// otherwise those of packets `from` .. `to` - 1 shown from it on.
void MediaFile::Impl::DropPicturesNeverShown(int32_t start, int32_t from, int32_t to, bool leadingOnly) {
    const int64_t keyLabel = index_->packets[size_t(from)].label;
    std::set<int64_t> expected;
    for (int32_t i = leadingOnly ? start : from; i < to; ++i) {
        const PacketEntry& p = index_->packets[size_t(i)];
        // At the end the key picture's own leading pictures are not looked for: after a seek
        // they never come out, and a jump to them starts from the GOP before.
        if (p.shown && (leadingOnly ? p.label < keyLabel : p.label >= keyLabel)) expected.insert(p.label);
    }
    if (expected.empty() || !Seek(start)) return;
    const int64_t last = *expected.rbegin();
    std::set<int64_t> out;
    const auto next = [this](AVPacket* pkt) { return ReadPacket(pkt); };
    while (true) {
        const int got = loop_.Receive(codec_.get(), frame_.get(), next);
        if (got == AVERROR(EAGAIN)) return;  // the run broke off: nothing is known
        if (got < 0) break;
        const int64_t label = LabelOf(*frame_);
        av_frame_unref(frame_.get());
        out.insert(label);
        if (label >= last) break;
    }
    usable_ = false;
    auto& presented = building_->presented;
    presented.erase(std::remove_if(presented.begin(), presented.end(),
                                   [&](int64_t label) { return expected.count(label) && !out.count(label); }),
                    presented.end());
}

// Pictures that a decode from the start never gives are not presented: the first key
// picture's leading pictures, whose references are not in the file, and the pictures of a short
// end.
void MediaFile::Impl::DropPicturesNeverShownAtTheEnds() {
    const auto& keys = index_->keys;
    const auto packets = int32_t(index_->packets.size());
    // A recording cut inside a GOP starts with pictures whose references are gone: up to
    // the first key picture, only those that a decode from the start gives are presented.
    const size_t firstKey = index_->startsAtKey || keys.size() < 2 ? 0 : 1;
    const auto keyAfter = [&](size_t k) { return k + 1 < keys.size() ? keys[k + 1] : packets; };
    DropPicturesNeverShown(0, keys[firstKey], keyAfter(firstKey), true);
    // The end is decoded from the GOP before the last: after a seek to an open GOP's key
    // frame the decoder leaves out more than its leading pictures.
    const int32_t tailStart = keys.size() > 1 ? keys[keys.size() - 2] : keys.back();
    // A transport stream that ends whole presents every picture of its end.
    const bool endsWhole =
        std::strcmp(format_->iformat->name, "mpegts") == 0 && TransportStreamEndsWhole(path_, stream_->id);
    if (packets - tailStart <= kUsualCheckPackets && !endsWhole) {
        DropPicturesNeverShown(tailStart, keys.back(), packets, false);
    }
}

// Recordings joined end to end and ordered by their times, at the joins whose packets leave it in
// doubt (see BuildIndex): the decoder goes from one to the next as the times say when, decoded
// from the last key packet before the join to a few packets past it, it gives exactly the
// pictures of those packets, in the order of their times, before any later one.
// Otherwise (a recording whose last pictures wait for references the next one does not hold,
// one that starts with pictures the decoder leaves out or shows after others) the whole stream
// is decoded at open.
bool MediaFile::Impl::PiecesFollowOneAnother() {
    const auto& keys = index_->keys;
    const auto& entries = index_->packets;
    const auto packets = int32_t(entries.size());
    for (const int32_t join : index_->joinsToCheck) {
        const auto after = std::upper_bound(keys.begin(), keys.end(), join);
        const int32_t from = *std::prev(std::lower_bound(keys.begin(), keys.end(), join));
        const int32_t to = std::min({after == keys.end() ? packets : *after, join + kPacketsPastJoin, packets});
        // The pictures of packets from `to` on are shown from `bound` on: those before it must
        // all have come out, in the order of their times, before any of these.
        int64_t bound = std::numeric_limits<int64_t>::max();
        for (int32_t i = to; i < std::min(packets, to + kDecoderReach); ++i)
            bound = std::min(bound, entries[size_t(i)].label);
        const int64_t fromLabel = entries[size_t(from)].label;
        std::vector<int64_t> expected;
        for (int32_t i = from; i < to; ++i) {
            const PacketEntry& p = entries[size_t(i)];
            if (p.shown && p.label >= fromLabel && p.label < bound) expected.push_back(p.label);
        }
        std::sort(expected.begin(), expected.end());
        if (expected.empty() || !Seek(from)) return false;
        std::vector<int64_t> out;
        const auto next = [this](AVPacket* pkt) { return ReadPacket(pkt); };
        while (true) {
            if (loop_.Receive(codec_.get(), frame_.get(), next) < 0) break;
            const int64_t label = LabelOf(*frame_);
            av_frame_unref(frame_.get());
            if (label >= bound) break;
            if (label >= fromLabel) out.push_back(label);
        }
        usable_ = false;
        // A run that broke off (an MPEG parser cutting the stream otherwise after a seek) tells
        // nothing of the decode from the start, which comes next.
        broken_ = false;
        if (out != expected) return false;
    }
    return true;
}

// Decodes the whole stream from its first packet, as a player would: the pictures the decoder
// gives, in its order, are the presented pictures. Each is known again later by its packet's
// label (or, without one, by the labelled picture it follows) and by its fingerprint.
IndexOutcome MediaFile::Impl::DecodeWholeStream(const Progress& progress) {
    if (!StartWholeDecode()) return IndexOutcome::Failed;
    const auto packets = int32_t(index_->packets.size());
    int32_t toldAt = 0;
    bool cancelled = false;
    const auto next = [&](AVPacket* pkt) {
        if (progress && nextPacket_ - toldAt >= kPacketsBetweenProgress) {
            toldAt = nextPacket_;
            cancelled = !progress(int(int64_t(nextPacket_) * 100 / packets));
            if (cancelled) return media::PacketRead::Stop;
        }
        return ReadPacket(pkt);
    };
    while (NextWholePicture(next)) av_frame_unref(frame_.get());
    if (cancelled) return IndexOutcome::Cancelled;
    usable_ = false;
    if (broken_) return IndexOutcome::Failed;
    return index_->presented.empty() ? IndexOutcome::Failed : IndexOutcome::Built;
}

bool MediaFile::Impl::StartWholeDecode() {
    building_->firstPosition.assign(index_->packets.size(), -1);
    building_->presented.clear();
    building_->fingerprints.clear();
    building_->seconds.clear();
    wholeLastPts_ = AV_NOPTS_VALUE;
    wholeFrameSeconds_ = 1 / av_q2d(FrameRate(*stream_));
    return Seek(0);
}

bool MediaFile::Impl::NextWholePicture(const media::DecodeLoop::NextPacket& next) {
    if (loop_.Receive(codec_.get(), frame_.get(), next) < 0) return false;
    const auto packets = int32_t(index_->packets.size());
    const int64_t label = LabelOf(*frame_);
    const auto position = int32_t(index_->presented.size());
    if (label != kNoLabel && label != runLabel_) {
        runLabel_ = label;
        if (label >= 0 && label < packets && index_->firstPosition[size_t(label)] < 0) {
            building_->firstPosition[size_t(label)] = position;
        }
    }
    // Each picture's time after the one before it: its packet's own time where that goes
    // forward by a sane step, otherwise one frame at the stream's rate (times that restart
    // in a joined file, or none at all).
    const int64_t pts = label >= 0 && label < packets ? index_->packets[size_t(label)].pts : AV_NOPTS_VALUE;
    double seconds = 0;
    if (position > 0) {
        const double tick = av_q2d(stream_->time_base);
        const double step =
            pts != AV_NOPTS_VALUE && wholeLastPts_ != AV_NOPTS_VALUE ? double(pts - wholeLastPts_) * tick : 0;
        if (step > 0 && step <= kLongestFrameSeconds) wholeFrameSeconds_ = step;
        seconds = index_->seconds.back() + wholeFrameSeconds_;
    }
    if (pts != AV_NOPTS_VALUE) wholeLastPts_ = pts;
    building_->presented.push_back(runLabel_);
    if (index_->damaged) building_->fingerprints.push_back(media::PictureHash(*frame_));
    building_->seconds.push_back(seconds);
    return true;
}

// Positions come in order from the run begun at the first packet, each the picture it gives;
// any other is found on the index, once the decode has gone through the whole stream.
bool MediaFile::Impl::LocateDeferred(int32_t position) {
    if (position < 0 || position >= deferredCount_) return false;
    if (position == shown_) return true;
    shown_ = -1;
    dibCurrent_ = false;
    if (deferredRun_ == DeferredRun::NotStarted) {
        deferredRun_ = DeferredRun::Running;
        if (!StartWholeDecode()) deferredRun_ = DeferredRun::Ended;
    }
    const auto next = [this](AVPacket* pkt) { return ReadPacket(pkt); };
    while (deferredRun_ == DeferredRun::Running && position >= int32_t(index_->presented.size())) {
        if (!NextWholePicture(next)) {
            deferredRun_ = DeferredRun::Ended;
            break;
        }
        if (int32_t(index_->presented.size()) - 1 == position) {
            av_frame_unref(held_.get());
            av_frame_move_ref(held_.get(), frame_.get());
            shown_ = position;
            return true;
        }
        av_frame_unref(frame_.get());
    }
    return FinishDeferred() && Locate(position);
}

bool MediaFile::Impl::FinishDeferred() {
    if (!deferred_) return !deferredFailed_;
    const auto next = [this](AVPacket* pkt) { return ReadPacket(pkt); };
    bool whole = deferredRun_ != DeferredRun::NotStarted;
    if (deferredRun_ == DeferredRun::Running) {
        while (NextWholePicture(next)) av_frame_unref(frame_.get());
    }
    whole = whole && !broken_ && !index_->presented.empty();
    deferredRun_ = DeferredRun::Ended;
    // A run that went elsewhere than its packets is made again, as a first open makes it.
    const bool built = whole || DecodeWholeStream({}) == IndexOutcome::Built;
    usable_ = false;
    shown_ = -1;
    dibCurrent_ = false;
    std::shared_ptr<MediaIndex> finished = std::move(deferred_);
    building_ = nullptr;
    if (!built) {
        // No picture can be given: an empty index, never shared nor saved.
        deferredFailed_ = true;
        shared_ = std::make_shared<const MediaIndex>();
        index_ = shared_.get();
        return false;
    }
    FindPresentedPackets(*finished);
    deferredMissed_ = int32_t(finished->presented.size()) > deferredCount_;
    shared_ = std::move(finished);
    index_ = shared_.get();
    Publish();
    return true;
}

bool MediaFile::Impl::Seek(int32_t start) {
    loop_.Flush(codec_.get());
    usable_ = false;
    // Packets that a demuxer splits out of one PES have no position of their own: the run is
    // found again by the last packet before the start that has one.
    int32_t anchor = start;
    while (anchor > 0 && index_->packets[size_t(anchor)].pos < 0) --anchor;
    const PacketEntry& entry = index_->packets[size_t(anchor)];
    AVFormatContext* format = format_.get();
    int sought = -1;
    // A stream whose times cannot be trusted is read again from its start by a new demuxer;
    // elsewhere in a stream read as it comes whose times were not enough (a joined recording
    // holds the same times twice) the packet's byte position is the place to read from.
    if (index_->decoded && start == 0) {
        // Probed as the demuxer it replaces was: a short probe was found to give the saved
        // index's first packets.
        if (!OpenDemuxer(!probeSignature_)) return false;
        format = format_.get();
        sought = 0;
    } else if ((index_->decoded || !index_->pieceStarts.empty()) && byteStream_ && entry.pos >= 0) {
        sought = av_seek_frame(format, -1, entry.pos, AVSEEK_FLAG_BYTE);
    }
    if (sought < 0 && start == 0 && format->pb) {
        // The file's beginning, where its first packet was read at open.
        sought = avformat_seek_file(format, stream_->index, std::numeric_limits<int64_t>::min(), SeekTime(entry),
                                    SeekTime(entry), AVSEEK_FLAG_BACKWARD);
    }
    if (sought < 0 && SeekTime(entry) != AV_NOPTS_VALUE) {
        sought = av_seek_frame(format, stream_->index, SeekTime(entry), AVSEEK_FLAG_BACKWARD);
    }
    if (sought < 0 && entry.pos >= 0 && !(format->iformat->flags & AVFMT_NO_BYTE_SEEK)) {
        sought = av_seek_frame(format, stream_->index, entry.pos, AVSEEK_FLAG_BYTE);
    }
    if (sought < 0) return false;
    runStart_ = start;
    keyConcealed_ = false;
    nextPacket_ = anchor;
    lastOut_ = kNoLabel;
    runLabel_ = kNoLabel;
    // From the first packet, pictures without a label are counted from position 0.
    runPosition_ = start == 0 ? -1 : kUnknownPlace;
    skipping_ = true;
    ended_ = false;
    usable_ = true;
    return true;
}

bool MediaFile::Impl::SamePacket(const PacketEntry& entry, const AVPacket& packet) const {
    // Read again from the file's beginning, the stream gives the packets it gave at open, one
    // for one, whatever their times and positions say.
    if (index_->decoded && runStart_ == 0) return true;
    if (entry.pos >= 0 || packet.pos >= 0) return entry.pos == packet.pos;
    if (!skipping_) return true;  // the next packet split out of the same PES
    const int64_t time = packet.dts != AV_NOPTS_VALUE ? packet.dts : packet.pts;
    return time != AV_NOPTS_VALUE && time == entry.time;
}

// Reads the next packet of the run into `pkt`, or tells the end of the stream; Stop when the
// run cannot go on.
media::PacketRead MediaFile::Impl::ReadPacket(AVPacket* pkt) {
    if (ended_ || !usable_) return media::PacketRead::Stop;
    while (true) {
        if (av_read_frame(format_.get(), pkt) < 0) break;
        if (pkt->stream_index != stream_->index) {
            av_packet_unref(pkt);
            continue;
        }
        if (nextPacket_ >= int32_t(index_->packets.size())) {
            av_packet_unref(pkt);
            break;
        }
        const PacketEntry& entry = index_->packets[size_t(nextPacket_)];
        if (!SamePacket(entry, *pkt)) {
            const bool before = skipping_ && (entry.pos >= 0 && pkt->pos >= 0 ? pkt->pos < entry.pos : true);
            av_packet_unref(pkt);
            if (before) continue;
            // The demuxer went past the start, or cuts the stream into other packets than at
            // open (an MPEG parser restarted mid-stream): only a run from the file's start is
            // sure to give the packets of the index.
            usable_ = false;
            broken_ = true;
            if (runStart_ > 0) seekMissed_ = true;
            return media::PacketRead::Stop;
        }
        skipping_ = false;
        RecordUnits(nextPacket_, *pkt);
        if (nextPacket_++ < runStart_) {
            av_packet_unref(pkt);  // between the anchor and the key packet the run starts from
            continue;
        }
        // Every picture carries its label through the decoder's reordering.
        pkt->pts = entry.label;
        return media::PacketRead::Packet;
    }
    ended_ = true;
    return media::PacketRead::End;  // the decoder gives up the pictures it still holds
}

int64_t MediaFile::Impl::LabelOf(const AVFrame& frame) const {
    if (frame.pts != AV_NOPTS_VALUE) return frame.pts;
    // A guess from the file's times would be no label of a stream labelled by packet numbers.
    if (index_->decoded) return kNoLabel;
    return frame.best_effort_timestamp != AV_NOPTS_VALUE ? frame.best_effort_timestamp : kNoLabel;
}

// Where a picture that came out of the decoder stands: its label when the index follows
// times; its position when the stream was decoded at open (kNoLabel while unknown).
int64_t MediaFile::Impl::PlaceOf(const AVFrame& frame) {
    const int64_t label = LabelOf(frame);
    if (!index_->decoded) return label;
    const auto& first = index_->firstPosition;
    if (label != kNoLabel && label != runLabel_) {
        runLabel_ = label;
        runPosition_ = label >= 0 && label < int64_t(first.size()) && first[size_t(label)] >= 0 ? first[size_t(label)]
                                                                                                : kUnknownPlace;
    } else if (runPosition_ != kUnknownPlace) {
        ++runPosition_;  // another picture of the same packet, or one without a label
    }
    return runPosition_ >= 0 ? runPosition_ : kNoLabel;
}

int64_t MediaFile::Impl::PlaceOf(int32_t position) const {
    return index_->decoded ? position : index_->presented[size_t(position)];
}

MediaFile::Impl::Outcome MediaFile::Impl::DecodeUntil(int32_t position, bool placeOnly) {
    const int64_t target = PlaceOf(position);
    const auto next = [this](AVPacket* pkt) { return ReadPacket(pkt); };
    while (true) {
        const int got = loop_.Receive(codec_.get(), frame_.get(), next);
        if (got == AVERROR(EAGAIN)) return Outcome::Failed;
        if (got < 0) {
            usable_ = false;  // drained: the decoder needs a flush before it can go on
            return Outcome::Failed;
        }
        const int64_t out = PlaceOf(*frame_);
        if (out == kNoLabel) {
            av_frame_unref(frame_.get());
            continue;
        }
        lastOut_ = out;
        if (frame_->decode_error_flags != 0 && runStart_ != index_->keys.front() &&
            LabelOf(*frame_) == index_->packets[size_t(runStart_)].label) {
            keyConcealed_ = true;
        }
        // A damaged stream decoded from another start may give another picture in that place:
        // only the one the whole decode gave is the picture of this position.
        // Decoded again from the first packet, the place is the picture's: a decoder that
        // fills damage from memory it never wrote may give other bytes each time.
        const bool same =
            !index_->damaged || placeOnly || media::PictureHash(*frame_) == index_->fingerprints[size_t(position)];
        if (out == target && !same) concealedOtherwise_ = true;
        if (out == target && same) {
            av_frame_unref(held_.get());
            av_frame_move_ref(held_.get(), frame_.get());
            return Outcome::Found;
        }
        av_frame_unref(frame_.get());
        // Pictures come out in presentation order: a later one first means this run dropped
        // the one looked for (a leading picture of an open GOP, or one before an edit).
        if (out >= target) return Outcome::Missed;
    }
}

// The decoder patched the picture up (a recording that ends inside it) in a run begun before its
// GOP: how it patches depends on what it decoded earlier, so such a picture is always taken from a
// decode begun at its own key packet, whichever way it is reached. A damaged stream's pictures
// are told by their fingerprints instead.
bool MediaFile::Impl::PatchedAfterAnEarlierGop(int32_t position) const {
    return !index_->damaged && held_->decode_error_flags != 0 && runStart_ < StartPacketFor(*index_, position, 0);
}

bool MediaFile::Impl::Locate(int32_t position) {
    // The bytes kept while opening serve the first picture's decode, then go.
    struct StopKeeping {
        FileInput* input;
        ~StopKeeping() {
            if (input) input->StopKeeping();
        }
    } const stopKeeping{input_.get()};
    if (deferred_) return LocateDeferred(position);
    if (deferredFailed_) return false;
    if (position < 0 || position >= int32_t(index_->presented.size())) return false;
    // Positions read from tables no longer hold once a packet is found damaged: the reading
    // that relies on them ends at once, to be done again on the index built from the data.
    if (index_->unitChecks && index_->unitChecks->damaged) return false;
    if (position == shown_) return true;
    shown_ = -1;
    dibCurrent_ = false;
    const int64_t target = PlaceOf(position);
    // A stream decoded at open is, last of all, decoded again from its first packet, which
    // gives every picture as it gave it then.
    const int attempts = index_->decoded ? kAttempts + 1 : kAttempts;
    for (int back = 0; back < attempts; ++back) {
        // After runs begun at key packets that decode concealed, the last try is the first packet.
        const bool fromFirst = broken_ || back == kAttempts || (keyConcealed_ && back == kAttempts - 1);
        const int32_t start = fromFirst ? index_->keys.front() : StartPacketFor(*index_, position, back);
        broken_ = false;
        // Decoding on is cheaper than seeking while the target's start is behind or close, and
        // it is the only sure way forward once a seek in this file has landed elsewhere (times
        // that repeat, as an edit list's copies of a GOP do).
        // Once a damaged stream has given another picture after a seek, a seek may cost a decode
        // from its first packet: decoding on costs less while the target is nearer than that.
        const int32_t packet = index_->packetOfPresented[size_t(position)];
        const bool cheaperOn = concealedOtherwise_ && packet - nextPacket_ < packet / 2;
        const bool near = start <= nextPacket_ || start - nextPacket_ <= kDecodeOnPackets || seekMissed_ || cheaperOn;
        const bool goOn = usable_ && lastOut_ < target && near && !(back > 0 && start < runStart_);
        if (!goOn && !Seek(start)) continue;
        Outcome outcome = DecodeUntil(position, back == kAttempts && runStart_ == 0);
        // A run from a key packet that is no place to start from: an earlier start is tried.
        if (outcome == Outcome::Found && keyConcealed_ && back + 1 < attempts) continue;
        if (outcome == Outcome::Found && PatchedAfterAnEarlierGop(position) &&
            Seek(StartPacketFor(*index_, position, 0))) {
            outcome = DecodeUntil(position, false);
        }
        if (outcome == Outcome::Found) {
            shown_ = position;
            return true;
        }
        if (start == index_->keys.front() && runStart_ == start && outcome == Outcome::Failed) break;
    }
    usable_ = false;
    return false;
}

const uint8_t* MediaFile::Impl::Frame(int32_t position) {
    if (!Locate(position)) return nullptr;
    if (!dibCurrent_) {
        // Bottom-up rows; their padding bytes stay as zeroed at open.
        uint8_t* bits = dib_.data() + sizeof(dib::BitmapInfoHeader);
        if (!scaler_.Convert(*held_, AV_PIX_FMT_BGR24, width_, height_, bits, stride_, true, orientation_))
            return nullptr;
        dibCurrent_ = true;
    }
    return dib_.data();
}

bool MediaFile::Impl::FrameDisplay(int32_t position, uint8_t* pixels, int64_t stride) {
    return Locate(position) && displayScaler_.ConvertToScreen(*held_, width_, height_, pixels, stride, orientation_);
}

std::unique_ptr<media::DecodedPicture> MediaFile::Impl::Decoded(int32_t position) {
    if (!Locate(position)) return nullptr;
    auto picture = std::make_unique<media::DecodedPicture>(*held_, width_, height_, orientation_);
    return picture->valid() ? std::move(picture) : nullptr;
}

double MediaFile::Impl::FrameTime(int32_t position) const {
    const auto& presented = index_->presented;
    if (presented.empty()) return 0;
    position = std::clamp<int32_t>(position, 0, int32_t(presented.size()) - 1);
    if (index_->decoded) return index_->seconds[size_t(position)];
    if (stream_->time_base.num > 0 && stream_->time_base.den > 0) {
        return double(presented[size_t(position)] - presented.front()) * av_q2d(stream_->time_base);
    }
    return position / av_q2d(FrameRate(*stream_));
}

// Where a decode begins at a key packet of its own. In presentation order a key picture's own
// position: the pictures shown just before it, decoded after it, refer to the GOP before (an
// open GOP's leading pictures, or an MPEG-4 part 2 stream's B-frames), and a stretch starting
// at them would decode that GOP too. Decoded at open: a position whose start packet is not that
// of the position before.
std::vector<int32_t> MediaFile::Impl::KeyPositions() const {
    std::vector<int32_t> positions{0};
    const auto count = int32_t(index_->packetOfPresented.size());
    if (!index_->decoded) {
        for (int32_t position = 1; position < count; ++position) {
            if (index_->packets[size_t(index_->packetOfPresented[size_t(position)])].key) positions.push_back(position);
        }
        return positions;
    }
    for (int32_t position = 1, previous = count > 0 ? StartPacketFor(*index_, 0, 0) : 0; position < count; ++position) {
        const int32_t start = StartPacketFor(*index_, position, 0);
        if (start != previous) positions.push_back(position);
        previous = start;
    }
    return positions;
}

MediaFile::MediaFile() : impl_(std::make_unique<Impl>()) {}
MediaFile::~MediaFile() = default;

std::unique_ptr<MediaFile> MediaFile::Open(const std::string& path, const Progress& progress, PacketChecks checks) {
    std::unique_ptr<MediaFile> file(new MediaFile());
    if (!file->impl_->Open(path, progress, checks)) return nullptr;
    return file;
}

int32_t MediaFile::FrameCount() const { return impl_->FrameCount(); }
int MediaFile::Width() const { return impl_->width_; }
int MediaFile::Height() const { return impl_->height_; }
const uint8_t* MediaFile::Frame(int32_t position) { return impl_->Frame(position); }
bool MediaFile::FrameDisplay(int32_t position, uint8_t* pixels, int64_t stride) {
    return impl_->FrameDisplay(position, pixels, stride);
}
double MediaFile::FrameTime(int32_t position) const { return impl_->FrameTime(position); }

std::vector<int32_t> MediaFile::KeyPositions() const { return impl_->KeyPositions(); }
bool MediaFile::OpensWithoutDecoding() const { return impl_->OpensWithoutDecoding(); }
PacketsState MediaFile::PacketsFound() { return impl_->PacketsFound(); }
PacketsState MediaFile::CheckPackets(const Progress& progress) { return impl_->CheckPackets(progress); }
PacketsState MediaFile::CheckPacketsUpTo(int32_t position) { return impl_->CheckPacketsUpTo(position); }
PacketsState MediaFile::CheckStretchPackets(int32_t first, int32_t end) {
    return impl_->CheckStretchPackets(first, end);
}
bool MediaFile::OrderedByTimes() const { return !impl_->index_->decoded; }
std::unique_ptr<media::DecodedPicture> MediaFile::Decoded(int32_t position) { return impl_->Decoded(position); }

}  // namespace media
