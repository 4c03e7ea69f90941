// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once
// The AVI file service in the shape the frame source uses it: open a file, find its first
// video stream, read the stream's own format, and get any frame as a packed 24-bit DIB.
// Built on FFmpeg's AVI demuxer and decoders. Results follow the service's conventions:
// 0 for success, non-zero for failure; pointers are null on failure.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "media/decoded_picture.h"
#include "media/dib.h"

namespace avifile {

class AviFile;    // an open AVI file
class AviStream;  // one stream of an open file
class GetFrame;   // a decoder delivering one stream's frames as packed DIBs

// The handles own their objects; the deleters are defined with the classes in avifile.cpp, so
// that holders need not see the FFmpeg types.
struct AviFileDeleter {
    void operator()(AviFile* file) const;
};
struct AviStreamDeleter {
    void operator()(AviStream* stream) const;
};
struct GetFrameDeleter {
    void operator()(GetFrame* decoder) const;
};
using FileHandle = std::unique_ptr<AviFile, AviFileDeleter>;
using StreamHandle = std::unique_ptr<AviStream, AviStreamDeleter>;
using GetFrameHandle = std::unique_ptr<GetFrame, GetFrameDeleter>;

constexpr int32_t kOk = 0;
constexpr uint32_t kStreamTypeVideo = 0x73646976;  // "vids"

struct FileInfo {  // what the service reports of a file; the program reads none of it
    uint32_t maxBytesPerSecond = 0;
    uint32_t flags = 0;
    uint32_t streams = 0;
    uint32_t width = 0;
    uint32_t height = 0;
    uint32_t length = 0;
};

struct StreamInfo {  // what the service reports of a stream: its strh header
    uint32_t type = 0;
    uint32_t handler = 0;
    uint32_t scale = 0;
    uint32_t rate = 0;
    uint32_t start = 0;
    uint32_t length = 0;
    uint32_t suggestedBufferSize = 0;
};

void AVIFileInit();

int32_t AVIFileOpen(FileHandle& file, const std::string& path);
int32_t AVIFileInfo(const AviFile& file, FileInfo& info);
// The stream of the given type numbered `index` among the streams of that type.
int32_t AVIFileGetStream(AviFile& file, StreamHandle& stream, uint32_t type, int32_t index);
// The stream header's frame count.
int32_t AVIStreamLength(const AviStream& stream);
int32_t AVIStreamInfo(const AviStream& stream, StreamInfo& info);
// With buffer null, stores the format's size in `size`; otherwise copies at most `size` bytes
// of the stream's own format (the strf chunk: a BITMAPINFOHEADER, maybe a colour table).
int32_t AVIStreamReadFormat(const AviStream& stream, int32_t position, void* buffer, int32_t& size);

// A decoder delivering frames in the layout `wanted` describes (24 bits, uncompressed, the
// stream's own width and height); null when the stream cannot be delivered so.
GetFrameHandle AVIStreamGetFrameOpen(AviStream& stream, const dib::BitmapInfoHeader& wanted);
// The packed DIB of frame `position` (40-byte header, then bottom-up BGR rows padded to 4
// bytes), valid until the next call on the same decoder or its close; null on failure.
const uint8_t* AVIStreamGetFrame(GetFrame& decoder, int32_t position);
// The same frame as decoded, to be converted later into that DIB's rows; null on failure.
std::unique_ptr<media::DecodedPicture> AVIStreamGetFrameDecoded(GetFrame& decoder, int32_t position);
// The same frame for the screen: top-down 32-bit pixels (0xFFRRGGBB) with the colours of the
// 24-bit frame, written into `pixels` rows of `stride` bytes; false on failure. A later
// AVIStreamGetFrame of the same position decodes nothing again.
bool AVIStreamGetFrameDisplay(GetFrame& decoder, int32_t position, uint8_t* pixels, int64_t stride);
// The positions where decoding starts at a key frame of the stream, 0 first.
std::vector<int32_t> AVIStreamKeyPositions(const GetFrame& decoder);
void AVIStreamGetFrameClose(GetFrameHandle& decoder);

void AVIStreamRelease(StreamHandle& stream);
void AVIFileRelease(FileHandle& file);

}  // namespace avifile
