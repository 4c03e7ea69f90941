#pragma once
// What the frame source asks of an open video's decoder, whatever the file's kind: any frame
// by position as a packed 24-bit DIB, or as the screen's 32-bit pixels, and when it is shown.

#include <cstdint>
#include <cstring>

#include "platform/dib.h"

namespace video {

class FrameReader {
public:
    virtual ~FrameReader() = default;
    // The packed DIB of frame `position` (40-byte header, then bottom-up BGR rows padded to 4
    // bytes), valid until the next call or the reader's end; null on failure.
    virtual const uint8_t* Frame(int32_t position) = 0;
    // The same frame as top-down 32-bit pixels (0xFFRRGGBB) with the colours of the 24-bit
    // frame, written into rows of `stride` bytes; false on failure.
    virtual bool FrameDisplay(int32_t position, uint8_t* pixels, int64_t stride) = 0;
    // The rows of the packed DIB of frame `position` (bottom-up BGR, padded to 4 bytes) written
    // into the caller's memory, without keeping a copy of its own where the reader can avoid it;
    // false on failure. The padding bytes are not written.
    virtual bool FrameBits(int32_t position, uint8_t* rows, int64_t stride) {
        const uint8_t* frame = Frame(position);
        if (!frame) return false;
        dib::BitmapInfoHeader header;
        std::memcpy(&header, frame, sizeof header);
        const int64_t own = dib::RowStride(header.biWidth, 24);
        const int64_t height = header.biHeight < 0 ? -int64_t(header.biHeight) : header.biHeight;
        if (stride < own) return false;
        const uint8_t* bits = frame + sizeof header;
        for (int64_t y = 0; y < height; ++y) std::memcpy(rows + y * stride, bits + y * own, size_t(own));
        return true;
    }
    // When frame `position` is presented, in seconds after the first frame.
    virtual double FrameTime(int32_t position) const = 0;
};

}  // namespace video
