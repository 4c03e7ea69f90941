#pragma once
// Converts decoded pictures into rows laid out as the program's buffers are (exact width,
// stride of the caller's choosing, top-down or bottom-up). libswscale's vectorised writers
// work in whole blocks and may write past the last pixel of a row and past the last row, so
// the library only ever writes into a padded buffer of this class; the caller's buffer gets
// exactly its own bytes.

#include <cstdint>
#include <vector>

#include "platform/ffmpeg_handles.h"

namespace avscale {

class PictureScaler {
public:
    // Writes `frame` converted to `format` (AV_PIX_FMT_BGR24 or AV_PIX_FMT_BGRA) at
    // width x height into `rows`: `height` rows of `stride` bytes, the first one being the top
    // row, or the bottom row when `bottomUp`. Bytes of a row past width * pixel size are left
    // alone. False when the conversion cannot be made.
    bool Convert(const AVFrame& frame, AVPixelFormat format, int width, int height, uint8_t* rows,
                 int64_t stride, bool bottomUp);

private:
    ffmpeg::Scaler sws_;
    std::vector<uint8_t> padded_;
};

}  // namespace avscale
