// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once
// Fixture videos written by the tests themselves through libavformat's AVI muxer and
// libavcodec's encoders. Every picture carries its own number in big blocks, so a test can
// tell which frame it got even through a lossy codec.

#include <QTemporaryDir>
#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "media/picture_scaler.h"

namespace fixture {

enum class Codec {
    Rgb24,  // uncompressed 24 bits
    Pal8,   // uncompressed 8 bits with a palette
    Mjpeg,
    Mpeg4BFrames,  // MPEG-4 part 2, two B-frames between references, a key frame every 12
    Mpeg4Packed,   // MPEG-4 part 2 as DivX/Xvid store it: each reference with the B-frame
                   // shown before it in one chunk, then a not-coded placeholder picture
    Ffv1,
    H264,        // libx264, three B-frames between references, a key frame every 12
    H264High10,  // the same in 10 bits per sample
    Vp9,         // libvpx, a key frame every 12
    Mpeg2,       // MPEG-2 video, two B-frames between references, a key frame every 12
    Mpeg2Plain,  // MPEG-2 video as FFmpeg writes it by default: no B-frames; a key frame every 12
};

const char* CodecName(Codec codec);

struct VideoOptions {
    Codec codec = Codec::Rgb24;
    int width = 160;
    int height = 120;
    int frames = 30;                // pictures encoded
    std::vector<int> droppedAt;     // positions of the file that hold an empty chunk
    bool audioFirst = false;        // an audio stream numbered before the video stream
    bool video = true;              // false: the audio stream alone
    std::string container = "avi";  // another muxer name gives a non-AVI file
    uint32_t streamStart = 0;       // the video stream header's start, written over the muxer's 0
    // Containers other than AVI only:
    bool openGop = false;       // H.264 key frames that pictures shown before them refer across
    bool variableRate = false;  // every seventh picture 13 ms late
    int clockwise = 0;          // a display matrix asking to turn the picture by this angle
    bool mirrored = false;      // ... and then to mirror it left to right
    int cutAt = 0;              // > 0: the file is a copy, without re-encoding, that starts at
                                // this picture (an edit list skips the pictures before it)
    // Shots instead of numbered pictures: > 0, each shot lasts this many pictures and shows a
    // pattern of its own under a slowly moving texture; between shots a dissolve of
    // `transitionFrames` pictures, or with `throughBlack` a fade out and a fade in of as many.
    int shotLength = 0;
    int transitionFrames = 0;
    bool throughBlack = false;
    bool wipe = false;  // the next shot covers the picture from the left instead
    // Within each shot, > 0: a white flash fading out over 3 pictures from this one, and the
    // light halved from this one on.
    int flashAt = 0;
    int lightAt = 0;
    // Pictures smoothed on purpose: each picture's number, and how many times a 3x3 box blur
    // goes over it (more, blurrier).
    std::vector<std::pair<int, int>> blurred;
};

// Writes the video; false when FFmpeg refused a step.
bool WriteVideo(const std::string& path, const VideoOptions& options);

// One video of each kind the readers tell apart: AVI uncompressed and with B-frames, and other
// containers told by their content whatever their name, at a variable rate, turned by the
// container. The frame source's and the ranking's tests run each through their flows.
struct ReaderVideo {
    const char* name;
    Codec codec;
    const char* container;
    const char* fileName;
    int clockwise = 0;
    bool variableRate = false;
};
inline constexpr ReaderVideo kReaderVideos[] = {
    {"uncompressed AVI", Codec::Rgb24, "avi", "rgb.avi"},
    {"MPEG-4 AVI with B-frames", Codec::Mpeg4BFrames, "avi", "mpeg4.avi"},
    {"H.264 MP4 named .avi, variable rate", Codec::H264, "mp4", "mp4.avi", 0, true},
    {"H.264 MOV named .mkv, turned 90 degrees", Codec::H264, "mov", "mov.mkv", 90},
    {"H.264 MKV", Codec::H264, "matroska", "clip.mkv"},
    {"H.264 MPEG-TS without extension", Codec::H264, "mpegts", "ts"},
};
// The options that write it, at that size and length.
inline VideoOptions OptionsOf(const ReaderVideo& video, int width, int height, int frames) {
    VideoOptions options;
    options.codec = video.codec;
    options.container = video.container;
    options.clockwise = video.clockwise;
    options.variableRate = video.variableRate;
    options.width = width;
    options.height = height;
    options.frames = frames;
    return options;
}

// The stream length of the written file: pictures plus empty chunks.
int FileLength(const VideoOptions& options);
// The number of the picture shown at a position: an empty chunk shows the picture before it.
int ExpectedNumber(const VideoOptions& options, int position);

// The pictures that FFmpeg's own sequential decode of the file's first video stream gives, as
// 24-bit bottom-up rows padded to 4 bytes, shown in `orientation`; width and height are the
// turned picture's. Empty when the file cannot be decoded.
struct Decoded {
    int width = 0;
    int height = 0;
    std::vector<std::vector<uint8_t>> pictures;
};
Decoded DecodeSequentially(const std::string& path, media::Orientation orientation);
// The same pictures handed over one at a time, for files too long to hold; false when the file
// cannot be decoded.
bool DecodeEach(const std::string& path, media::Orientation orientation, int& width, int& height,
                const std::function<void(std::vector<uint8_t>&&)>& onPicture);

// The number painted into a picture given as bottom-up BGR rows; -1 when the picture is too
// small to hold one.
int ReadFrameNumber(const uint8_t* bottomUpBgrRows, int width, int height, int stride);

enum class BadFile {
    Truncated,    // the first 60 % of a valid AVI
    Garbage,      // random bytes
    RiffGarbage,  // a RIFF AVI signature followed by random bytes
    Text,
    Png,
    Mp4,
    AbsurdSize,    // a valid AVI whose stream format claims 1000000 × 1000000 pixels
    AbsurdLength,  // a valid AVI whose stream header claims 2^31 − 16 frames
    NoVideo,       // an AVI holding an audio stream only
    HugeRle,       // a valid AVI whose stream claims 16384 x 8192 run-length coded 8-bit pictures
    NestedLists,   // a valid AVI followed by an AVIX part of 200000 lists, each inside the last
    ManyChunks,    // a valid AVI followed by an AVIX part of 9 million one-byte chunks (90 MB),
                   // which its stream header counts as frames
};

const char* BadFileName(BadFile kind);

// Writes a bad file; `validAvi` is a valid fixture AVI that some kinds start from.
bool WriteBadFile(const std::string& path, BadFile kind, const std::string& validAvi);

// An H.264 MP4 of `frames` numbered 320x240 pictures (GOPs of 12), with 4 KB of noise half way
// through its samples and its tables, written after them, whole: FFmpeg presents fewer pictures
// than the tables list, and none of the first and last GOPs' packets shows the damage.
bool WriteDamagedMp4(const std::string& path, int frames);

// A directory for fixture files, removed with the object.
class TempDir {
public:
    bool IsValid() const { return dir_.isValid(); }
    std::string File(const std::string& name) const {
        return dir_.filePath(QString::fromStdString(name)).toStdString();
    }

private:
    QTemporaryDir dir_;
};

}  // namespace fixture
