// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once
// Converts decoded pictures into rows laid out as the program's buffers are (exact width,
// stride of the caller's choosing, top-down or bottom-up, turned upright when the video says
// so). The colours are those of FFmpeg's own conversion: plain bicubic, with the picture's own
// colour matrix and range (BT.601 when it names none). libswscale's vectorised writers work in
// whole blocks and may write past the last pixel of a row and past the last row, so the
// library only ever writes into a padded buffer of this class; the caller's buffer gets exactly
// its own bytes.

#include <cstdint>
#include <vector>

#include "media/ffmpeg_handles.h"

namespace media {

// How a stored picture is shown: turned clockwise by 0, 90, 180 or 270 degrees, then mirrored
// left to right when `mirrored`.
struct Orientation {
    Orientation(int clockwiseDegrees = 0, bool mirror = false) : clockwise(clockwiseDegrees), mirrored(mirror) {}
    int clockwise;
    bool mirrored;
    bool sideways() const { return clockwise == 90 || clockwise == 270; }
};

class PictureScaler {
public:
    // Writes `frame` converted to `format` (AV_PIX_FMT_BGR24 or AV_PIX_FMT_BGRA) at
    // width x height into `rows`: `height` rows of `stride` bytes, the first one being the top
    // row, or the bottom row when `bottomUp`. `orientation` turns (and mirrors) the picture; width
    // and height are the turned picture's. Bytes of a row past
    // width * pixel size are left alone. False when the conversion cannot be made.
    bool Convert(const AVFrame& frame, AVPixelFormat format, int width, int height, uint8_t* rows, int64_t stride,
                 bool bottomUp, Orientation orientation = {});
    // The same conversion, top-down, left in the scaler's own memory (valid until its next
    // conversion) instead of copied into the caller's: its rows and their `stride`; null when
    // the conversion cannot be made.
    const uint8_t* ConvertKept(const AVFrame& frame, AVPixelFormat format, int width, int height,
                               Orientation orientation, int64_t& stride);
    // The screen's 32-bit pixels, top-down: Convert to AV_PIX_FMT_BGRA, and pictures with
    // their own transparency (an alpha plane, a palette) made opaque, as the screen format is.
    bool ConvertToScreen(const AVFrame& frame, int width, int height, uint8_t* pixels, int64_t stride,
                         Orientation orientation = {});

private:
    struct Setup {
        int srcWidth = 0, srcHeight = 0, srcFormat = -1, width = 0, height = 0, format = -1;
        int colorspace = -1, range = -1;
        bool operator==(const Setup&) const = default;
    };
    bool Prepare(const Setup& setup);
    // Converts into padded_ at the stored orientation; its stride, or 0 on failure.
    int64_t ConvertPadded(const AVFrame& frame, AVPixelFormat format, int width, int height, Orientation orientation,
                          int& pixelBytes);

    ffmpeg::Scaler sws_;
    Setup setup_;
    std::vector<uint8_t> padded_;
    std::vector<uint8_t> turned_;  // a turned picture kept by ConvertKept
};

}  // namespace media
