#include "platform/picture_scaler.h"

#include <cstring>

extern "C" {
#include <libavutil/pixdesc.h>
}

namespace avscale {

namespace {

// Room that swscale may use past a row's last pixel and past the last row: a block of 32
// pixels of up to 4 bytes, plus the input padding FFmpeg gives its own buffers.
constexpr int64_t kRowSlackPixels = 32;
constexpr int64_t kTailSlack = AV_INPUT_BUFFER_PADDING_SIZE + 128;
constexpr int64_t kLargestPicture = 16384;

}  // namespace

bool PictureScaler::Convert(const AVFrame& frame, AVPixelFormat format, int width, int height, uint8_t* rows,
                            int64_t stride, bool bottomUp) {
    if (frame.width <= 0 || frame.height <= 0 || width <= 0 || height <= 0) return false;
    if (width > kLargestPicture || height > kLargestPicture) return false;
    const AVPixFmtDescriptor* descriptor = av_pix_fmt_desc_get(format);
    if (!descriptor) return false;
    const int64_t pixelBytes = av_get_bits_per_pixel(descriptor) / 8;
    const int64_t used = int64_t(width) * pixelBytes;
    if (pixelBytes <= 0 || stride < used) return false;

    sws_.reset(sws_getCachedContext(sws_.release(), frame.width, frame.height, AVPixelFormat(frame.format), width,
                                    height, format, SWS_BICUBIC, nullptr, nullptr, nullptr));
    if (!sws_) return false;

    // Rows aligned as FFmpeg aligns its own frames, each with room for a whole last block.
    const int64_t paddedStride = ((int64_t(width) + kRowSlackPixels) * pixelBytes + 63) / 64 * 64;
    const size_t paddedSize = size_t(paddedStride * height + kTailSlack);
    if (padded_.size() < paddedSize) padded_.resize(paddedSize);
    uint8_t* dst[4] = {padded_.data(), nullptr, nullptr, nullptr};
    int dstStride[4] = {int(paddedStride), 0, 0, 0};
    if (sws_scale(sws_.get(), frame.data, frame.linesize, 0, frame.height, dst, dstStride) <= 0) return false;

    for (int y = 0; y < height; ++y) {
        uint8_t* row = rows + (bottomUp ? height - 1 - y : y) * stride;
        std::memcpy(row, padded_.data() + y * paddedStride, size_t(used));
    }
    return true;
}

}  // namespace avscale
