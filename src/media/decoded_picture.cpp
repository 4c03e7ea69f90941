// SPDX-License-Identifier: GPL-2.0-or-later
#include "media/decoded_picture.h"

namespace media {

DecodedPicture::DecodedPicture(const AVFrame& frame, int width, int height, media::Orientation orientation)
    : frame_(av_frame_alloc()), width_(width), height_(height), orientation_(orientation) {
    if (frame_ && av_frame_ref(frame_.get(), &frame) < 0) frame_.reset();
}

bool DecodedPicture::WriteBits(media::PictureScaler& scaler, uint8_t* rows, int64_t stride) const {
    return frame_ && scaler.Convert(*frame_, AV_PIX_FMT_BGR24, width_, height_, rows, stride, true, orientation_);
}

const uint8_t* DecodedPicture::TopDownBits(media::PictureScaler& scaler, int64_t& stride) const {
    if (!frame_) return nullptr;
    return scaler.ConvertKept(*frame_, AV_PIX_FMT_BGR24, width_, height_, orientation_, stride);
}

}  // namespace media
