// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once
// Videos in the containers of today (MP4, MOV, MKV, WebM, MPEG-TS, MPEG-PS) read frame by
// frame, exactly: position n is the n-th picture the video presents, whatever was asked
// before. The file is indexed when it opens; each frame comes out as the AVI layer gives its
// own, a 24-bit bottom-up DIB, upright when the file asks for a rotation.

#include <cstdint>
#include <memory>
#include <string>

#include "media/frame_reader.h"
#include "media/media_index.h"

namespace media {

// True when the file's content is a RIFF AVI, which the AVI layer reads.
bool IsAviFile(const std::string& path);

class MediaFile : public media::FrameReader {
public:
    // Null when the file holds no video that can be decoded, or when `progress` cancelled
    // the indexing. Unless `checks` is AtOpen an H.264 or HEVC MP4 or MOV is indexed from its
    // sample tables alone, its packets left to be looked into for damage as they are read or
    // before each frame (see PacketsFound, CheckPacketsUpTo): its count and positions hold only
    // once they are found whole. Opened InOrder, a stream that must be decoded whole with one
    // thread (damaged) is not decoded at open: the reading of its frames in order from position
    // 0 is that decode, and its count until PacketsFound settles it after that reading is its
    // packets' (frames past the end are none).
    static std::unique_ptr<MediaFile> Open(const std::string& path, const Progress& progress = {},
                                           PacketChecks checks = PacketChecks::AtOpen);
    ~MediaFile() override;

    int32_t FrameCount() const;
    int Width() const;  // of the upright picture
    int Height() const;

    const uint8_t* Frame(int32_t position) override;
    bool FrameDisplay(int32_t position, uint8_t* pixels, int64_t stride) override;
    std::unique_ptr<media::DecodedPicture> Decoded(int32_t position) override;
    // Each picture's own time, so a variable rate shows; pictures of a file whose times are no
    // presentation order follow at the stream's average rate.
    double FrameTime(int32_t position) const override;
    std::vector<int32_t> KeyPositions() const override;
    bool OpensWithoutDecoding() const override;
    PacketsState PacketsFound() override;
    PacketsState CheckPackets(const Progress& progress) override;
    PacketsState CheckPacketsUpTo(int32_t position) override;
    PacketsState CheckStretchPackets(int32_t first, int32_t end) override;
    // The file's times gave the presented order: its index took no decode of the whole stream.
    bool OrderedByTimes() const;

private:
    MediaFile();
    class Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace media
