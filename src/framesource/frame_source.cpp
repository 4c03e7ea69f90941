// SPDX-License-Identifier: GPL-2.0-or-later
#include "framesource/frame_source.h"

#include <QImage>
#include <algorithm>
#include <cstring>
#include <limits>
#include <memory>
#include <new>
#include <utility>
#include <vector>

#include "imaging/bitmap.h"
#include "imaging/pixel_rows.h"
#include "media/avifile.h"
#include "media/frame_reader.h"
#include "media/mediafile.h"

namespace FrameSource {
namespace {

const QString kInitialFileName = QStringLiteral("Video.Avi");

struct State {
    // The open video.
    bool videoOpen = false;
    QString videoFileName = kInitialFileName;
    avifile::FileHandle aviFile;
    avifile::StreamHandle videoStream;
    std::vector<uint8_t> streamFormat;
    std::unique_ptr<video::FrameReader> frameDecoder;
    int32_t frameCount = 0;
    int32_t frameWidth = 0;
    int32_t frameHeight = 0;
    int32_t frameBitCount = 0;
    int32_t framePlanes = 0;
    dib::BitmapInfoHeader decodeHeader;
    int32_t paletteBytes = 0;
    int32_t frameStride = 0;
    int32_t frameImageSize = 0;
    dib::BitmapFileHeader frameFileHeader;
    const uint8_t* decodedFrame = nullptr;
    const uint8_t* decodedBits = nullptr;
    avscale::PictureScaler preparedScaler;  // completes the images prepared on this thread

    // The crop rectangle and the cropped copy of the frame.
    CropRectangle cropRect;
    std::unique_ptr<uint8_t[]> cropImage;
    bool cropHeld = false;
    uint8_t* cropBits = nullptr;
    int32_t cropBitCount = 0;
    int32_t cropStride = 0;
    int32_t cropImageSize = 0;
    dib::BitmapFileHeader cropFileHeader;
    bool cropDefined = false;
    bool cropEnabled = false;

    // The output image chosen by the last PrepareFrame.
    const uint8_t* outputImage = nullptr;
    const uint8_t* outputBits = nullptr;
    int32_t outputImageSize = 0;
    dib::BitmapFileHeader outputFileHeader;
};

State state;

constexpr int64_t kMaxBufferBytes = std::numeric_limits<int32_t>::max();

// The AVI layer's decoder behind the interface that every kind of video shares.
class AviFrames : public video::FrameReader {
public:
    // A stream without a usable rate plays at 25 frames a second.
    AviFrames(avifile::GetFrameHandle decoder, const avifile::StreamInfo& info)
        : decoder_(std::move(decoder)),
          secondsPerFrame_(info.rate > 0 && info.scale > 0 ? double(info.scale) / info.rate : 1.0 / 25) {}
    ~AviFrames() override { avifile::AVIStreamGetFrameClose(decoder_); }
    const uint8_t* Frame(int32_t position) override { return avifile::AVIStreamGetFrame(*decoder_, position); }
    std::unique_ptr<video::DecodedPicture> Decoded(int32_t position) override {
        return avifile::AVIStreamGetFrameDecoded(*decoder_, position);
    }
    bool FrameDisplay(int32_t position, uint8_t* pixels, int64_t stride) override {
        return avifile::AVIStreamGetFrameDisplay(*decoder_, position, pixels, stride);
    }
    // AVI frames follow at the stream header's rate.
    double FrameTime(int32_t position) const override { return position * secondsPerFrame_; }

private:
    avifile::GetFrameHandle decoder_;
    double secondsPerFrame_;
};

void ReleaseStreamAndFile() {
    avifile::AVIStreamRelease(state.videoStream);
    avifile::AVIFileRelease(state.aviFile);
    avifile::AVIFileExit();
}

bool FailOpen() {
    state.streamFormat.clear();
    state.streamFormat.shrink_to_fit();
    ReleaseStreamAndFile();
    return false;
}

// A frame's rectangle lies inside the decoded frame, so copying it reads nothing outside.
bool CropRectInsideFrame() {
    const CropRectangle& r = state.cropRect;
    const int64_t frameRows = state.frameHeight < 0 ? -int64_t(state.frameHeight) : state.frameHeight;
    return r.top >= 0 && r.left >= 0 && r.height >= 0 && r.width >= 0 && int64_t(r.top) + r.height <= frameRows &&
           int64_t(r.left) + r.width <= state.frameWidth && state.cropBitCount == 24;
}

bool CopyCropRect() {
    if (!state.cropHeld || !CropRectInsideFrame()) return false;
    const CropRectangle& r = state.cropRect;
    const int64_t frameRows = state.frameHeight < 0 ? -int64_t(state.frameHeight) : state.frameHeight;
    const size_t rowBytes = size_t(r.width) * 3;
    const size_t leftOffset = (size_t(r.left) * state.cropBitCount + 7) / 8;
    for (int32_t i = 0; i < r.height; ++i) {
        const uint8_t* source = state.decodedBits + (frameRows - 1 - r.top - i) * state.frameStride + leftOffset;
        uint8_t* destination = state.cropBits + int64_t(r.height - 1 - i) * state.cropStride;
        std::memcpy(destination, source, rowBytes);
        std::memset(destination + rowBytes, 0, size_t(state.cropStride) - rowBytes);
    }
    return true;
}

// Frees the cropped picture; an output selection pointing into it is forgotten too.
void ForgetCropBuffer() {
    if (state.cropHeld && state.outputImage == state.cropImage.get()) {
        state.outputImage = nullptr;
        state.outputBits = nullptr;
    }
    state.cropImage.reset();
    state.cropHeld = false;
    state.cropBits = nullptr;
}

// The 24-bit format asked of the decoder, with the stream's size, and the values derived from it.
bool SetDecodeFormat(const dib::BitmapInfoHeader& format) {
    dib::BitmapInfoHeader& decode = state.decodeHeader;
    decode = {};
    decode.biSize = sizeof(dib::BitmapInfoHeader);
    decode.biWidth = format.biWidth;
    decode.biHeight = format.biHeight;
    decode.biPlanes = 1;
    decode.biBitCount = 24;
    decode.biCompression = dib::kRgbCompression;
    decode.biXPelsPerMeter = format.biXPelsPerMeter;
    decode.biYPelsPerMeter = format.biYPelsPerMeter;

    const int64_t stride = dib::RowStride(decode.biWidth, decode.biBitCount);
    const int64_t imageSize = dib::ImageSize(decode.biWidth, decode.biHeight, decode.biBitCount);
    if (decode.biWidth <= 0 || decode.biHeight == 0 || imageSize > kMaxBufferBytes) return false;
    state.paletteBytes = int32_t(dib::PaletteBytes(decode));
    state.frameStride = int32_t(stride);
    state.frameImageSize = int32_t(imageSize);
    state.frameFileHeader = dib::MakeFileHeader(state.paletteBytes, state.frameImageSize);
    return true;
}

void SelectWholeFrame() {
    state.outputFileHeader = state.frameFileHeader;
    state.outputImage = state.decodedFrame;
    state.outputBits = state.decodedBits;
    state.outputImageSize = state.frameImageSize;
}

void SelectCroppedImage() {
    state.outputFileHeader = state.cropFileHeader;
    state.outputImage = state.cropImage.get();
    state.outputBits = state.cropBits;
    state.outputImageSize = state.cropImageSize;
}

}  // namespace

namespace {

// Videos other than AVI: indexed at open, frames always upright 24-bit pictures. Nothing of
// the state is touched before the index is whole, so a cancelled open leaves it closed.
bool OpenMediaVideo(const OpenProgress& progress) {
    std::unique_ptr<mediafile::MediaFile> media =
        mediafile::MediaFile::Open(state.videoFileName.toStdString(), progress);
    if (!media) return false;
    dib::BitmapInfoHeader format;
    format.biWidth = media->Width();
    format.biHeight = media->Height();
    format.biPlanes = 1;
    format.biBitCount = 24;
    if (!SetDecodeFormat(format)) return false;
    state.frameCount = media->FrameCount();
    state.frameWidth = format.biWidth;
    state.frameHeight = format.biHeight;
    state.frameBitCount = format.biBitCount;
    state.framePlanes = format.biPlanes;
    state.frameDecoder = std::move(media);
    SelectWholeFrame();
    state.videoOpen = true;
    return true;
}

}  // namespace

bool OpenVideo(const QString& fileName, const OpenProgress& progress) {
    CloseVideo();
    state.videoFileName = fileName;
    if (!mediafile::IsAviFile(fileName.toStdString())) return OpenMediaVideo(progress);

    avifile::AVIFileInit();
    if (avifile::AVIFileOpen(state.aviFile, fileName.toStdString()) != avifile::kOk) {
        avifile::AVIFileExit();
        return false;
    }
    avifile::FileInfo fileInfo;
    if (avifile::AVIFileInfo(*state.aviFile, fileInfo) != avifile::kOk ||
        avifile::AVIFileGetStream(*state.aviFile, state.videoStream, avifile::kStreamTypeVideo, 0) != avifile::kOk) {
        return FailOpen();
    }
    state.frameCount = avifile::AVIStreamLength(*state.videoStream);
    // A stream without a single frame has nothing to show or write.
    if (state.frameCount <= 0) return FailOpen();
    avifile::StreamInfo streamInfo;
    if (avifile::AVIStreamInfo(*state.videoStream, streamInfo) != avifile::kOk) return FailOpen();

    int32_t formatSize = 0;
    avifile::AVIStreamReadFormat(*state.videoStream, 0, nullptr, formatSize);
    if (formatSize < int32_t(sizeof(dib::BitmapInfoHeader))) return FailOpen();
    try {
        state.streamFormat.assign(size_t(formatSize), 0);
    } catch (const std::bad_alloc&) {
        return FailOpen();
    }
    if (avifile::AVIStreamReadFormat(*state.videoStream, 0, state.streamFormat.data(), formatSize) != avifile::kOk) {
        return FailOpen();
    }

    dib::BitmapInfoHeader format;
    std::memcpy(&format, state.streamFormat.data(), sizeof format);
    state.frameWidth = format.biWidth;
    state.frameHeight = format.biHeight;
    state.frameBitCount = format.biBitCount;
    state.framePlanes = format.biPlanes;

    if (!SetDecodeFormat(format)) return FailOpen();
    avifile::GetFrameHandle decoder = avifile::AVIStreamGetFrameOpen(*state.videoStream, state.decodeHeader);
    if (!decoder) return FailOpen();
    state.frameDecoder = std::make_unique<AviFrames>(std::move(decoder), streamInfo);

    SelectWholeFrame();
    state.videoOpen = true;
    return true;
}

bool CloseVideo() {
    ReleaseFrameBuffers();
    const bool wasOpen = state.videoOpen;
    if (wasOpen) {
        state.frameDecoder.reset();
        state.streamFormat.clear();
        state.streamFormat.shrink_to_fit();
        if (state.aviFile) ReleaseStreamAndFile();
        state.videoOpen = false;
    }
    ResetVideoState();
    return wasOpen;
}

bool FetchFrame(int32_t position) {
    if (!state.videoOpen || position < 0 || position >= state.frameCount) return false;
    const uint8_t* frame = state.frameDecoder->Frame(position);
    if (!frame) return false;
    state.decodedFrame = frame;
    state.decodedBits = frame + sizeof(dib::BitmapInfoHeader) + state.paletteBytes;
    return true;
}

void ResetVideoState() {
    state.frameCount = state.frameWidth = state.frameHeight = state.frameBitCount = 0;
    state.framePlanes = 0;
    state.videoFileName = kInitialFileName;
    state.videoOpen = false;
    state.aviFile.reset();
    state.videoStream.reset();
    state.frameDecoder.reset();
    state.cropEnabled = false;
    state.cropDefined = false;
}

void ReleaseFrameBuffers() {
    state.decodedFrame = nullptr;
    state.decodedBits = nullptr;
    ForgetCropBuffer();
    state.outputImage = nullptr;
    state.outputBits = nullptr;
}

void ModuleEnd() {
    ReleaseFrameBuffers();
    state.videoFileName.clear();
}

bool SetCropRect(int32_t top, int32_t left, int32_t height, int32_t width) {
    state.cropDefined = false;
    state.cropRect = {top, left, height, width};
    state.cropBitCount = state.decodeHeader.biBitCount;
    ForgetCropBuffer();

    const int64_t stride = dib::RowStride(width, state.cropBitCount);
    state.cropStride = int32_t(std::min<int64_t>(stride, kMaxBufferBytes));
    state.cropImageSize = 0;
    if (!state.videoOpen || !CropRectInsideFrame()) {
        // Drawn on a larger picture, or before any video: the rectangle is kept without a
        // buffer, and every frame prepared with it is refused.
        state.cropDefined = height != 0 || width != 0;
        return true;
    }
    const int64_t imageSize = int64_t(height) * stride;  // within the frame's own size
    try {
        // Every row is written by the copy, padding included: no need to clear it first.
        state.cropImage = std::make_unique_for_overwrite<uint8_t[]>(sizeof(dib::BitmapInfoHeader) +
                                                                    size_t(state.paletteBytes) + size_t(imageSize));
    } catch (const std::bad_alloc&) {
        return false;
    }
    state.cropHeld = true;
    state.cropImageSize = int32_t(imageSize);

    dib::BitmapInfoHeader header;
    header.biSize = sizeof header;
    header.biWidth = width;
    header.biHeight = height;
    header.biPlanes = 1;
    header.biBitCount = uint16_t(state.cropBitCount);
    header.biCompression = dib::kRgbCompression;
    header.biXPelsPerMeter = state.decodeHeader.biXPelsPerMeter;
    header.biYPelsPerMeter = state.decodeHeader.biYPelsPerMeter;
    std::memcpy(state.cropImage.get(), &header, sizeof header);
    state.cropFileHeader = dib::MakeFileHeader(state.paletteBytes, state.cropImageSize);
    state.cropBits = state.cropImage.get() + sizeof header + state.paletteBytes;
    state.cropDefined = height != 0 || width != 0;
    return true;
}

bool PrepareFrame(int32_t position) {
    if (!FetchFrame(position)) return false;
    if (state.cropEnabled && state.cropDefined) {
        if (!CopyCropRect()) return false;
        SelectCroppedImage();
    } else {
        SelectWholeFrame();
    }
    return true;
}

bool MakeBitmap(gfx::Bitmap& bitmap, const uint8_t* packedDib, const uint8_t* bits) {
    if (!packedDib || !bits) return false;
    dib::BitmapInfoHeader header;
    std::memcpy(&header, packedDib, sizeof header);
    if (header.biBitCount != 24 || header.biWidth < 0) return false;
    const int width = header.biWidth;
    const bool bottomUp = header.biHeight > 0;
    const int height = bottomUp ? header.biHeight : -header.biHeight;
    const int64_t stride = dib::RowStride(width, 24);

    // The screen's format: 32-bit pixels. The previous picture's memory is reused when the
    // size is the same, as it is for every frame of a video.
    QImage image;
    if (bitmap.image().size() == QSize(width, height) && bitmap.image().format() == QImage::Format_RGB32) {
        image = bitmap.takeImage();
    } else {
        image = QImage(width, height, QImage::Format_RGB32);
        if (width > 0 && height > 0 && image.isNull()) return false;  // the bitmap is left alone
    }
    for (int y = 0; y < height; ++y) {
        const uint8_t* source = bits + (bottomUp ? height - 1 - y : y) * stride;
        pixel_rows::BgrToXrgb(source, reinterpret_cast<uint32_t*>(image.scanLine(y)), width);
    }
    bitmap.setImage(std::move(image), gfx::PixelLayout::DeviceDependent);
    return true;
}

// The whole frame goes to the screen format in one conversion from the decoded picture; the
// 24-bit copy is made only when something asks for it (a writer, the ranking).
bool LoadFrameBitmap(int32_t position, gfx::Bitmap& bitmap) {
    if (!state.videoOpen || position < 0 || position >= state.frameCount) return false;
    const int width = state.frameWidth;
    const int height = state.frameHeight < 0 ? -state.frameHeight : state.frameHeight;
    const gfx::PixelLayout previousLayout = bitmap.layout();
    QImage image = bitmap.takeImage();
    const bool reused = image.size() == QSize(width, height) && image.format() == QImage::Format_RGB32;
    QImage previous;
    if (!reused) {
        previous = std::exchange(image, QImage(width, height, QImage::Format_RGB32));
    }
    if (image.isNull() || !state.frameDecoder->FrameDisplay(position, image.bits(), image.bytesPerLine())) {
        // Nothing was shown: the bitmap gets back exactly what it held (a picture refilled in
        // place is untouched when the frame cannot be had).
        bitmap.setImage(reused ? std::move(image) : std::move(previous), previousLayout);
        return false;
    }
    bitmap.setImage(std::move(image), gfx::PixelLayout::DeviceDependent);
    return true;
}

double FrameTime(int32_t position) {
    if (!state.videoOpen || state.frameCount <= 0) return 0;
    return state.frameDecoder->FrameTime(std::clamp(position, 0, state.frameCount - 1));
}

double FrameDuration() {
    constexpr double kUnknown = 1.0 / 25;
    if (!state.videoOpen || state.frameCount < 2) return kUnknown;
    const double span = FrameTime(state.frameCount - 1);
    return span > 0 ? span / (state.frameCount - 1) : kUnknown;
}

bool PrepareDecoded(int32_t position, PreparedImage& image) {
    image.frame = position;
    image.jpeg.clear();
    image.decoded.reset();
    image.paletteBytes = state.paletteBytes;
    const bool cropped = state.cropEnabled && state.cropDefined;
    if (cropped || !state.videoOpen || position < 0 || position >= state.frameCount) {
        if (!PrepareFrame(position) || !state.outputImage) {
            image.dib.clear();
            return false;
        }
        const size_t bytes = sizeof(dib::BitmapInfoHeader) + size_t(state.paletteBytes) + size_t(state.outputImageSize);
        image.fileHeader = state.outputFileHeader;
        image.dib.assign(state.outputImage, state.outputImage + bytes);
        return true;
    }
    // The whole frame is left as decoded, and its conversion to the rows to whoever completes
    // the image: a 1080p frame copied once more costs as much as a third of its conversion.
    image.decoded = state.frameDecoder->Decoded(position);
    if (!image.decoded) {
        image.dib.clear();
        return false;
    }
    // The header is the one the readers give, rows bottom-up; the rows come with CompleteImage.
    dib::BitmapInfoHeader header = state.decodeHeader;
    header.biHeight = header.biHeight < 0 ? -header.biHeight : header.biHeight;
    header.biSizeImage = uint32_t(state.frameImageSize);
    image.dib.resize(sizeof header + size_t(state.paletteBytes));
    std::memcpy(image.dib.data(), &header, sizeof header);
    image.fileHeader = state.frameFileHeader;
    return true;
}

bool CompleteImage(PreparedImage& image, avscale::PictureScaler& scaler) {
    if (!image.decoded) return !image.dib.empty();
    dib::BitmapInfoHeader header;
    std::memcpy(&header, image.dib.data(), sizeof header);
    const size_t offset = image.dib.size();
    // The rows' padding is never written: it is zeroed with the memory.
    image.dib.resize(offset + header.biSizeImage, 0);
    const bool converted =
        image.decoded->WriteBits(scaler, image.dib.data() + offset, dib::RowStride(header.biWidth, 24));
    image.decoded.reset();
    if (!converted) image.dib.clear();
    return converted;
}

bool PrepareImage(int32_t position, PreparedImage& image) {
    return PrepareDecoded(position, image) && CompleteImage(image, state.preparedScaler);
}

bool LoadOutputBitmap(int32_t position, gfx::Bitmap& bitmap) {
    if (!PrepareFrame(position)) return false;
    return MakeBitmap(bitmap, state.outputImage, state.outputBits);
}

void SetCropEnabled(bool enabled) { state.cropEnabled = enabled; }

bool CropOutsideFrames() { return state.videoOpen && state.cropEnabled && state.cropDefined && !CropRectInsideFrame(); }

bool VideoOpen() { return state.videoOpen; }
const QString& VideoFileName() { return state.videoFileName; }
int32_t FrameCount() { return state.frameCount; }
int32_t FrameWidth() { return state.frameWidth; }
int32_t FrameHeight() { return state.frameHeight; }
int32_t FrameBitCount() { return state.frameBitCount; }
int32_t FramePlanes() { return state.framePlanes; }
int32_t PaletteBytes() { return state.paletteBytes; }
int32_t FrameStride() { return state.frameStride; }
int32_t FrameImageSize() { return state.frameImageSize; }
const dib::BitmapInfoHeader& DecodeHeader() { return state.decodeHeader; }
const dib::BitmapFileHeader& FrameFileHeader() { return state.frameFileHeader; }
const uint8_t* DecodedFrame() { return state.decodedFrame; }
const uint8_t* DecodedBits() { return state.decodedBits; }

bool CropDefined() { return state.cropDefined; }
bool CropEnabled() { return state.cropEnabled; }
const CropRectangle& CropRect() { return state.cropRect; }
int32_t CropStride() { return state.cropStride; }
int32_t CropImageSize() { return state.cropImageSize; }
const dib::BitmapFileHeader& CropFileHeader() { return state.cropFileHeader; }
const uint8_t* CropImage() { return state.cropHeld ? state.cropImage.get() : nullptr; }

const uint8_t* OutputImage() { return state.outputImage; }
const uint8_t* OutputBits() { return state.outputBits; }
int32_t OutputImageSize() { return state.outputImageSize; }
const dib::BitmapFileHeader& OutputFileHeader() { return state.outputFileHeader; }

}  // namespace FrameSource
