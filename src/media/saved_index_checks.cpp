// SPDX-License-Identifier: GPL-2.0-or-later
#include "media/saved_index_checks.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <deque>
#include <mutex>
#include <utility>

extern "C" {
#include <libavutil/mem.h>
#include <libavutil/sha.h>
}

namespace media {

namespace {

class Sha256 {
public:
    Sha256() : sha_(av_sha_alloc()) {
        if (sha_) av_sha_init(sha_, 256);
    }
    ~Sha256() { av_free(sha_); }
    Sha256(const Sha256&) = delete;
    Sha256& operator=(const Sha256&) = delete;
    bool Valid() const { return sha_ != nullptr; }
    void Add(const uint8_t* data, size_t bytes) { av_sha_update(sha_, data, unsigned(bytes)); }
    void Add(int64_t v) {
        uint8_t bytes[8];
        for (int i = 0; i < 8; ++i) bytes[i] = uint8_t(uint64_t(v) >> (8 * i));
        Add(bytes, sizeof bytes);
    }
    Digest Final() {
        Digest digest{};
        av_sha_final(sha_, digest.data());
        return digest;
    }

private:
    AVSHA* sha_;
};

}  // namespace

// What the reader and its decoder take from the demuxer's probe of the stream. A short probe
// is kept only when it gives the same as the whole probe of the first open.
std::optional<Digest> ProbeSignature(const AVFormatContext& format, const AVStream& stream, AVRational rate) {
    Sha256 sha;
    if (!sha.Valid()) return std::nullopt;
    const AVCodecParameters& p = *stream.codecpar;
    for (const int64_t v : {int64_t(format.nb_streams),
                            int64_t(stream.index),
                            int64_t(stream.disposition),
                            int64_t(p.codec_type),
                            int64_t(stream.r_frame_rate.num),
                            int64_t(stream.r_frame_rate.den),
                            int64_t(p.codec_id),
                            int64_t(p.codec_tag),
                            int64_t(p.format),
                            int64_t(p.width),
                            int64_t(p.height),
                            int64_t(p.profile),
                            int64_t(p.level),
                            int64_t(p.field_order),
                            int64_t(p.color_range),
                            int64_t(p.color_primaries),
                            int64_t(p.color_trc),
                            int64_t(p.color_space),
                            int64_t(p.chroma_location),
                            int64_t(p.sample_aspect_ratio.num),
                            int64_t(p.sample_aspect_ratio.den),
                            int64_t(p.video_delay),
                            int64_t(p.bits_per_coded_sample),
                            int64_t(p.bits_per_raw_sample),
                            int64_t(stream.time_base.num),
                            int64_t(stream.time_base.den),
                            int64_t(rate.num),
                            int64_t(rate.den),
                            int64_t(p.extradata_size)}) {
        sha.Add(v);
    }
    if (p.extradata && p.extradata_size > 0) sha.Add(p.extradata, size_t(p.extradata_size));
    size_t size = 0;
    if (const uint8_t* matrix = av_stream_get_side_data(&stream, AV_PKT_DATA_DISPLAYMATRIX, &size)) {
        sha.Add(int64_t(size));
        sha.Add(matrix, size);
    }
    return sha.Final();
}

// The digest of a few bytes at key packets spread over the file, the last one included: a
// saved index of a file whose middle changed (its size, time, head and tail kept) is refused
// when a change lies there. Read with the descriptor, past the bytes an open keeps.
std::optional<Digest> KeyWindowsDigest(int fd, const MediaIndex& index) {
    std::vector<int64_t> places;
    for (const int32_t key : index.keys) {
        const int64_t pos = index.packets[size_t(key)].pos;
        if (pos >= 0) places.push_back(pos);
    }
    Sha256 sha;
    if (!sha.Valid()) return std::nullopt;
    std::vector<uint8_t> window(static_cast<size_t>(kKeyWindowBytes));
    const size_t count = std::min(places.size(), kKeyWindows);
    for (size_t i = 0; i < count; ++i) {
        const int64_t pos = places[count == 1 ? places.size() - 1 : (places.size() - 1) * i / (count - 1)];
        ssize_t got;
        do got = pread(fd, window.data(), window.size(), pos);
        while (got < 0 && errno == EINTR);
        if (got < 0) return std::nullopt;
        sha.Add(pos);
        sha.Add(int64_t(got));
        sha.Add(window.data(), size_t(got));
    }
    return sha.Final();
}

// The probe's signature that goes with a file's index shared in this process: `signature` is
// kept when given, else the one kept is returned.
std::optional<Digest> SharedSignature(const FileIdentity& identity, const std::optional<Digest>& signature) {
    static std::mutex mutex;
    static std::deque<std::pair<FileIdentity, Digest>> kept;
    std::lock_guard lock(mutex);
    const auto it = std::find_if(kept.begin(), kept.end(), [&](const auto& k) { return k.first == identity; });
    if (!signature) return it == kept.end() ? std::nullopt : std::optional<Digest>(it->second);
    if (it != kept.end()) kept.erase(it);
    kept.emplace_back(identity, *signature);
    if (kept.size() > 16) kept.pop_front();
    return signature;
}

}  // namespace media
