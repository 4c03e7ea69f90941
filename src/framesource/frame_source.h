// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once
// An open video: its frames as 24-bit packed DIBs, the crop rectangle and the cropped copy of
// each frame, and the choice of output image (whole frame or cropped). One object per video
// being read; the program hands its one to the windows, the batch command makes one per video.
// Not thread-safe: one thread reads an object. Every operation reports failure by a false
// result and never shows a message.

#include <QString>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "media/decoded_picture.h"
#include "media/dib.h"
#include "media/file_identity.h"
#include "media/frame_reader.h"

namespace imaging {
class Bitmap;
}

class FrameSource {
public:
    // What the object holds; defined with its operations.
    struct State;

    struct CropRectangle {
        int32_t top = 0;
        int32_t left = 0;
        int32_t height = 0;
        int32_t width = 0;
    };

    FrameSource();
    ~FrameSource();
    FrameSource(const FrameSource&) = delete;
    FrameSource& operator=(const FrameSource&) = delete;

    // Told while a video other than AVI is indexed, in percent; answers false to cancel the open.
    using OpenProgress = std::function<bool(int percent)>;

    // When the packets of an H.264 or HEVC MP4 are looked into for damage (see
    // media::PacketChecks).
    using PacketChecks = media::PacketChecks;

    // Opens the file's first video stream for 24-bit decoding, closing any open video first.
    // AVI files go through the AVI layer; the other containers are recognised by their content
    // and indexed.
    bool OpenVideo(const QString& fileName, const OpenProgress& progress = {},
                   PacketChecks checks = PacketChecks::AtOpen);
    // What reading the video found of damage inside its packets so far (see
    // media::FrameReader::PacketsFound); Whole for a video opened with its packets checked.
    media::PacketsState PacketsFound();
    // Looks into the packets left unread; Damaged when one is, the video then indexed again from
    // its data (its frame count may change); Unread when cancelled or failed.
    media::PacketsState CheckPackets(const OpenProgress& progress = {});
    // Looks into the packets left unread that can change frames 0 to `position` (every packet
    // when it is past the last frame): Whole when those frames hold, Damaged as CheckPackets.
    media::PacketsState CheckPacketsUpTo(int32_t position);
    // Called when the frames changed under a reading (BeforeEachFrame, CheckPackets...): the
    // frame count and positions are those of the video indexed again from its data, and the
    // frame asked for was not read.
    void SetFramesChangedHandler(std::function<void()> handler);
    // Looks into the packets a stretch of frames answers for, as a task that ranks one stretch
    // of the video settles them (see media::FrameReader::CheckStretchPackets).
    media::PacketsState CheckStretchPackets(int32_t first, int32_t end);
    // Releases the open video and forgets the crop rectangle; true when a video was open.
    bool CloseVideo();
    // Decodes a frame; DecodedFrame() then points to it.
    bool FetchFrame(int32_t position);

    // Stores the rectangle and sizes its buffer; never fails for a rectangle outside the frame,
    // which PrepareFrame then refuses.
    bool SetCropRect(int32_t top, int32_t left, int32_t height, int32_t width);
    // Fetches the frame and selects the output image, cropped when cropping is on.
    bool PrepareFrame(int32_t position);
    // Makes a packed DIB the bitmap's picture, in the screen's format.
    static bool MakeBitmap(imaging::Bitmap& bitmap, const uint8_t* packedDib, const uint8_t* bits);
    // Fetches the frame and puts the whole frame into the bitmap.
    bool LoadFrameBitmap(int32_t position, imaging::Bitmap& bitmap);
    // Prepares the frame and puts the output image into the bitmap.
    bool LoadOutputBitmap(int32_t position, imaging::Bitmap& bitmap);
    // When a frame is presented, in seconds after the first frame (0 without a video).
    double FrameTime(int32_t position) const;
    // The video's average time between frames; 1/25 s when it cannot tell.
    double FrameDuration() const;
    // Where a decode starts at a key frame, ascending, 0 first; empty without a video.
    std::vector<int32_t> KeyPositions() const;
    // Another FrameSource opens this video cheaply: it takes this one's index, shared in the
    // process (false for a damaged recording, whose pictures reached from elsewhere must be
    // checked, and without a video).
    bool ReopensCheaply() const;

    // A copy of an output image, made so that it can be encoded and written while the frame
    // source goes on to other frames.
    struct PreparedImage {
        int32_t frame = -1;
        // Packed DIB: header, colour table, rows; empty when not prepared. While `decoded` is
        // held, only the header and colour table.
        std::vector<uint8_t> dib;
        dib::BitmapFileHeader fileHeader;
        int32_t paletteBytes = 0;
        std::vector<uint8_t> jpeg;  // its JPEG encoding, when one was made
        // The whole frame as decoded, when its conversion into the rows is left to CompleteImage.
        std::unique_ptr<media::DecodedPicture> decoded;
    };
    // Prepares the frame and copies its output image, reusing the image's memory; false (and an
    // empty image) when the frame cannot be prepared.
    bool PrepareImage(int32_t position, PreparedImage& image);
    // The same, except that a whole frame is only decoded here: its conversion, the larger part
    // of the work, is left to CompleteImage, which any thread can call with its own scaler.
    bool PrepareDecoded(int32_t position, PreparedImage& image);
    // Converts the decoded frame into the image's rows; false (and an empty image) on failure.
    static bool CompleteImage(PreparedImage& image, media::PictureScaler& scaler);

    // The "Limiter au Cadre" switch.
    void SetCropEnabled(bool enabled);

    // Forgets the frame and the cropped copy (their buffers are released).
    void ReleaseFrameBuffers();

    // Read-only values.
    bool VideoOpen() const;
    const QString& VideoFileName() const;
    // The open video's file as it was when opened (nothing when it could not be read): another
    // reader of the same name checks with it that it opened the same video.
    const std::optional<media::FileIdentity>& VideoIdentity() const;
    int32_t FrameCount() const;
    int32_t FrameWidth() const;
    int32_t FrameHeight() const;
    int32_t FrameBitCount() const;
    int32_t FramePlanes() const;
    int32_t PaletteBytes() const;
    // The frame last fetched as a packed DIB, its rows' size and its file header.
    int32_t FrameImageSize() const;
    const dib::BitmapFileHeader& FrameFileHeader() const;
    const uint8_t* DecodedFrame() const;

    bool CropDefined() const;
    bool CropEnabled() const;
    // Output is limited to a crop rectangle that does not lie inside the open video's frames (one
    // drawn on a larger picture, or typed), so no frame can be prepared.
    bool CropOutsideFrames() const;
    const CropRectangle& CropRect() const;
    const uint8_t* CropImage() const;

    // The output image of the last successful PrepareFrame.
    const uint8_t* OutputImage() const;
    int32_t OutputImageSize() const;
    const dib::BitmapFileHeader& OutputFileHeader() const;

private:
    // Opens the file's reader; OpenVideo then takes the file's identity.
    bool OpenReader(const QString& fileName, const OpenProgress& progress, PacketChecks checks);
    // BeforeEachFrame: the packets that can change the frame are looked into first; false when
    // they changed the frames, or could not be read.
    bool FrameSettled(int32_t position);
    // Takes what looking into the packets found: the new count, told to the handler.
    media::PacketsState Settled(media::PacketsState found);
    // Back to the values of no video: the file name shown before any open, cropping off.
    void ResetVideoState();

    std::unique_ptr<State> state_;
};
