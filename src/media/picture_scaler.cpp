// SPDX-License-Identifier: GPL-2.0-or-later
#include "media/picture_scaler.h"

#include <cstring>

extern "C" {
#include <libavutil/pixdesc.h>
}

namespace media {

namespace {

// Room that swscale may use past a row's last pixel and past the last row: a block of 32
// pixels of up to 4 bytes, plus the input padding FFmpeg gives its own buffers.
constexpr int64_t kRowSlackPixels = 32;
constexpr int64_t kTailSlack = AV_INPUT_BUFFER_PADDING_SIZE + 128;
constexpr int64_t kLargestPicture = 16384;

// Copies the converted picture out, turned: output pixel (x, y) of a picture turned 90°
// clockwise is source pixel (y, sourceHeight - 1 - x), and so on; a mirrored picture's pixel x
// is written at width - 1 - x. `width` and `height` are the turned picture's.
void CopyOut(const uint8_t* source, int64_t sourceStride, int pixelBytes, Orientation orientation, uint8_t* rows,
             int64_t stride, bool bottomUp, int width, int height) {
    const int clockwise = orientation.clockwise;
    const int sourceWidth = orientation.sideways() ? height : width;
    const int sourceHeight = orientation.sideways() ? width : height;
    for (int y = 0; y < height; ++y) {
        uint8_t* row = rows + (bottomUp ? height - 1 - y : y) * stride;
        if (clockwise == 0 && !orientation.mirrored) {
            std::memcpy(row, source + y * sourceStride, size_t(width) * size_t(pixelBytes));
            continue;
        }
        for (int x = 0; x < width; ++x) {
            int sourceX, sourceY;
            if (clockwise == 0) {
                sourceX = x, sourceY = y;
            } else if (clockwise == 180) {
                sourceX = sourceWidth - 1 - x, sourceY = sourceHeight - 1 - y;
            } else if (clockwise == 90) {
                sourceX = y, sourceY = sourceHeight - 1 - x;
            } else {
                sourceX = sourceWidth - 1 - y, sourceY = x;
            }
            const int outX = orientation.mirrored ? width - 1 - x : x;
            std::memcpy(row + int64_t(outX) * pixelBytes,
                        source + int64_t(sourceY) * sourceStride + int64_t(sourceX) * pixelBytes, size_t(pixelBytes));
        }
    }
}

}  // namespace

// A new context only when the picture's kind changes; then the colour matrix and range of the
// source are set as FFmpeg's scale filter sets them.
bool PictureScaler::Prepare(const Setup& setup) {
    if (sws_ && setup == setup_) return true;
    setup_ = {};
    sws_.reset(sws_getContext(setup.srcWidth, setup.srcHeight, AVPixelFormat(setup.srcFormat), setup.width,
                              setup.height, AVPixelFormat(setup.format), SWS_BICUBIC, nullptr, nullptr, nullptr));
    if (!sws_) return false;
    int* inverse = nullptr;
    int* table = nullptr;
    int sourceFull = 0, destinationFull = 0, brightness = 0, contrast = 0, saturation = 0;
    const AVPixFmtDescriptor* source = av_pix_fmt_desc_get(AVPixelFormat(setup.srcFormat));
    const bool rgbSource = !source || (source->flags & (AV_PIX_FMT_FLAG_RGB | AV_PIX_FMT_FLAG_PAL));
    if (!rgbSource && sws_getColorspaceDetails(sws_.get(), &inverse, &sourceFull, &table, &destinationFull, &brightness,
                                               &contrast, &saturation) >= 0) {
        if (setup.range != AVCOL_RANGE_UNSPECIFIED) sourceFull = setup.range == AVCOL_RANGE_JPEG;
        // An unnamed or unknown matrix gets BT.601's coefficients.
        const int* matrix = sws_getCoefficients(setup.colorspace);
        sws_setColorspaceDetails(sws_.get(), matrix, sourceFull, table, destinationFull, brightness, contrast,
                                 saturation);
    }
    setup_ = setup;
    return true;
}

int64_t PictureScaler::ConvertPadded(const AVFrame& frame, AVPixelFormat format, int width, int height,
                                     Orientation orientation, int& pixelBytes) {
    const int clockwise = orientation.clockwise;
    if (frame.width <= 0 || frame.height <= 0 || width <= 0 || height <= 0) return 0;
    if (width > kLargestPicture || height > kLargestPicture) return 0;
    if (clockwise != 0 && clockwise != 90 && clockwise != 180 && clockwise != 270) return 0;
    const AVPixFmtDescriptor* descriptor = av_pix_fmt_desc_get(format);
    if (!descriptor) return 0;
    pixelBytes = av_get_bits_per_pixel(descriptor) / 8;
    if (pixelBytes <= 0) return 0;

    // The conversion is made at the stored picture's orientation, then turned on the way out.
    const bool sideways = orientation.sideways();
    const int convertedWidth = sideways ? height : width;
    const int convertedHeight = sideways ? width : height;
    const Setup setup{frame.width,     frame.height, frame.format,     convertedWidth,
                      convertedHeight, format,       frame.colorspace, frame.color_range};
    if (!Prepare(setup)) return 0;

    // Rows aligned as FFmpeg aligns its own frames, each with room for a whole last block.
    const int64_t paddedStride = ((int64_t(convertedWidth) + kRowSlackPixels) * pixelBytes + 63) / 64 * 64;
    const size_t paddedSize = size_t(paddedStride * convertedHeight + kTailSlack);
    if (padded_.size() < paddedSize) padded_.resize(paddedSize);
    uint8_t* dst[4] = {padded_.data(), nullptr, nullptr, nullptr};
    int dstStride[4] = {int(paddedStride), 0, 0, 0};
    if (sws_scale(sws_.get(), frame.data, frame.linesize, 0, frame.height, dst, dstStride) <= 0) return 0;
    return paddedStride;
}

bool PictureScaler::Convert(const AVFrame& frame, AVPixelFormat format, int width, int height, uint8_t* rows,
                            int64_t stride, bool bottomUp, Orientation orientation) {
    int pixelBytes = 0;
    const int64_t paddedStride = ConvertPadded(frame, format, width, height, orientation, pixelBytes);
    if (paddedStride == 0 || stride < int64_t(width) * pixelBytes) return false;
    CopyOut(padded_.data(), paddedStride, pixelBytes, orientation, rows, stride, bottomUp, width, height);
    return true;
}

const uint8_t* PictureScaler::ConvertKept(const AVFrame& frame, AVPixelFormat format, int width, int height,
                                          Orientation orientation, int64_t& stride) {
    int pixelBytes = 0;
    const int64_t paddedStride = ConvertPadded(frame, format, width, height, orientation, pixelBytes);
    if (paddedStride == 0) return nullptr;
    if (orientation.clockwise == 0 && !orientation.mirrored) {
        stride = paddedStride;
        return padded_.data();
    }
    stride = int64_t(width) * pixelBytes;
    turned_.resize(size_t(stride * height));
    CopyOut(padded_.data(), paddedStride, pixelBytes, orientation, turned_.data(), stride, false, width, height);
    return turned_.data();
}

bool PictureScaler::ConvertToScreen(const AVFrame& frame, int width, int height, uint8_t* pixels, int64_t stride,
                                    Orientation orientation) {
    if (stride < int64_t(width) * 4) return false;
    if (!Convert(frame, AV_PIX_FMT_BGRA, width, height, pixels, stride, false, orientation)) return false;
    const AVPixFmtDescriptor* descriptor = av_pix_fmt_desc_get(AVPixelFormat(frame.format));
    if (descriptor && (descriptor->flags & (AV_PIX_FMT_FLAG_ALPHA | AV_PIX_FMT_FLAG_PAL))) {
        for (int y = 0; y < height; ++y) {
            auto* row = reinterpret_cast<uint32_t*>(pixels + y * stride);
            for (int x = 0; x < width; ++x) row[x] |= 0xFF000000u;
        }
    }
    return true;
}

}  // namespace media
