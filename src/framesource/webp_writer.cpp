// SPDX-License-Identifier: GPL-2.0-or-later
// WebP files through libwebp: lossless, which keeps the BMP's pixels exactly, or lossy at the
// JPEG options' quality (grey scale and progressive do not apply).

#include <webp/encode.h>

#include "framesource/output_types.h"

namespace output_types {
namespace {

// The library's output as bytes of our own; empty when it made none.
QByteArray TakeOutput(uint8_t* output, size_t size) {
    QByteArray bytes = size > 0 ? QByteArray(reinterpret_cast<const char*>(output), qsizetype(size)) : QByteArray();
    WebPFree(output);
    return bytes;
}

}  // namespace

QByteArray WebpLossless(const QImage& picture, const jpeg_options::JpegOptions&) {
    uint8_t* output = nullptr;
    const size_t size = WebPEncodeLosslessBGR(picture.constBits(), picture.width(), picture.height(),
                                              int(picture.bytesPerLine()), &output);
    return TakeOutput(output, size);
}

QByteArray WebpLossy(const QImage& picture, const jpeg_options::JpegOptions& options) {
    uint8_t* output = nullptr;
    const size_t size = WebPEncodeBGR(picture.constBits(), picture.width(), picture.height(),
                                      int(picture.bytesPerLine()), float(options.quality), &output);
    return TakeOutput(output, size);
}

}  // namespace output_types
