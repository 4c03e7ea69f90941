// SPDX-License-Identifier: GPL-2.0-or-later
#include "media/picture_hash.h"

#include <cstring>
#include <memory>

extern "C" {
#include <libavutil/imgutils.h>
#include <libavutil/mem.h>
#include <libavutil/murmur3.h>
#include <libavutil/pixdesc.h>
}

namespace media {
namespace {

struct MurmurFree {
    void operator()(AVMurMur3* m) const { av_free(m); }
};

}  // namespace

uint64_t PictureHash(const AVFrame& frame) {
    const auto format = AVPixelFormat(frame.format);
    const AVPixFmtDescriptor* descriptor = av_pix_fmt_desc_get(format);
    int lineBytes[4] = {};
    if (!descriptor || av_image_fill_linesizes(lineBytes, format, frame.width) < 0) return 0;
    std::unique_ptr<AVMurMur3, MurmurFree> murmur(av_murmur3_alloc());
    if (!murmur) return 0;
    av_murmur3_init(murmur.get());
    for (int plane = 0; plane < 4; ++plane) {
        if (!frame.data[plane] || lineBytes[plane] <= 0) continue;
        const bool chroma = plane == 1 || plane == 2;
        const int rows = chroma ? AV_CEIL_RSHIFT(frame.height, descriptor->log2_chroma_h) : frame.height;
        for (int y = 0; y < rows; ++y) {
            av_murmur3_update(murmur.get(), frame.data[plane] + int64_t(y) * frame.linesize[plane], lineBytes[plane]);
        }
    }
    if ((descriptor->flags & AV_PIX_FMT_FLAG_PAL) && frame.data[1]) {
        av_murmur3_update(murmur.get(), frame.data[1], AVPALETTE_SIZE);
    }
    uint8_t digest[16];
    av_murmur3_final(murmur.get(), digest);
    uint64_t hash;
    std::memcpy(&hash, digest, sizeof hash);
    return hash == 0 ? 1 : hash;
}

}  // namespace media
