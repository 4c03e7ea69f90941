// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once
// A frame as its decoder gave it, held by reference, so that its conversion to the program's
// 24-bit rows can be made later and on another thread than the decoding one. Each thread
// converts with a scaler of its own; the bytes are those the reader itself gives.

#include <cstdint>

#include "media/ffmpeg_handles.h"
#include "media/picture_scaler.h"

namespace media {

class DecodedPicture {
public:
    // Takes a new reference to `frame`; `width` and `height` are the upright picture's, which
    // is `frame` shown in that orientation.
    DecodedPicture(const AVFrame& frame, int width, int height, media::Orientation orientation);
    // False when the frame could not be referenced.
    bool valid() const { return bool(frame_); }

    int width() const { return width_; }
    int height() const { return height_; }
    // Bottom-up BGR rows of `stride` bytes, as a packed DIB holds them; bytes past each row's
    // pixels are left alone. False when the conversion cannot be made.
    bool WriteBits(media::PictureScaler& scaler, uint8_t* rows, int64_t stride) const;
    // The same pixels top-down, in the scaler's own memory until its next conversion, without
    // a copy into the caller's; null when the conversion cannot be made.
    const uint8_t* TopDownBits(media::PictureScaler& scaler, int64_t& stride) const;

private:
    ffmpeg::Frame frame_;
    int width_;
    int height_;
    media::Orientation orientation_;
};

}  // namespace media
