// SPDX-License-Identifier: GPL-2.0-or-later
#include "framesource/frame_source.h"

#include <sys/stat.h>
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
#include "media/file_identity.h"
#include "media/frame_reader.h"
#include "media/index_store.h"
#include "media/mediafile.h"

namespace {

const QString kInitialFileName = QStringLiteral("Video.Avi");

}  // namespace

struct FrameSource::State {
    // The open video.
    bool videoOpen = false;
    QString videoFileName = kInitialFileName;
    avifile::FileHandle aviFile;
    avifile::StreamHandle videoStream;
    std::vector<uint8_t> streamFormat;
    std::unique_ptr<media::FrameReader> frameDecoder;
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
    std::optional<media::FileIdentity> identity;
    media::PictureScaler preparedScaler;  // completes the images prepared on this thread
    FrameSource::PacketChecks packetChecks = FrameSource::PacketChecks::AtOpen;
    std::function<void()> framesChanged;

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

namespace {

constexpr int64_t kMaxBufferBytes = std::numeric_limits<int32_t>::max();

// The AVI layer's decoder behind the interface that every kind of video shares.
class AviFrames : public media::FrameReader {
public:
    // A stream without a usable rate plays at 25 frames a second.
    AviFrames(avifile::GetFrameHandle decoder, const avifile::StreamInfo& info)
        : decoder_(std::move(decoder)),
          secondsPerFrame_(info.rate > 0 && info.scale > 0 ? double(info.scale) / info.rate : 1.0 / 25) {}
    ~AviFrames() override { avifile::AVIStreamGetFrameClose(decoder_); }
    const uint8_t* Frame(int32_t position) override { return avifile::AVIStreamGetFrame(*decoder_, position); }
    std::unique_ptr<media::DecodedPicture> Decoded(int32_t position) override {
        return avifile::AVIStreamGetFrameDecoded(*decoder_, position);
    }
    bool FrameDisplay(int32_t position, uint8_t* pixels, int64_t stride) override {
        return avifile::AVIStreamGetFrameDisplay(*decoder_, position, pixels, stride);
    }
    // AVI frames follow at the stream header's rate.
    double FrameTime(int32_t position) const override { return position * secondsPerFrame_; }
    std::vector<int32_t> KeyPositions() const override { return avifile::AVIStreamKeyPositions(*decoder_); }

private:
    avifile::GetFrameHandle decoder_;
    double secondsPerFrame_;
};

void ReleaseStreamAndFile(FrameSource::State& state) {
    avifile::AVIStreamRelease(state.videoStream);
    avifile::AVIFileRelease(state.aviFile);
}

bool FailOpen(FrameSource::State& state) {
    state.streamFormat.clear();
    state.streamFormat.shrink_to_fit();
    ReleaseStreamAndFile(state);
    return false;
}

// A frame's rectangle lies inside the decoded frame, so copying it reads nothing outside.
bool CropRectInsideFrame(const FrameSource::State& state) {
    const FrameSource::CropRectangle& r = state.cropRect;
    const int64_t frameRows = state.frameHeight < 0 ? -int64_t(state.frameHeight) : state.frameHeight;
    return r.top >= 0 && r.left >= 0 && r.height >= 0 && r.width >= 0 && int64_t(r.top) + r.height <= frameRows &&
           int64_t(r.left) + r.width <= state.frameWidth && state.cropBitCount == 24;
}

bool CopyCropRect(FrameSource::State& state) {
    if (!state.cropHeld || !CropRectInsideFrame(state)) return false;
    const FrameSource::CropRectangle& r = state.cropRect;
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
void ForgetCropBuffer(FrameSource::State& state) {
    if (state.cropHeld && state.outputImage == state.cropImage.get()) {
        state.outputImage = nullptr;
        state.outputBits = nullptr;
    }
    state.cropImage.reset();
    state.cropHeld = false;
    state.cropBits = nullptr;
}

// The 24-bit format asked of the decoder, with the stream's size, and the values derived from it.
bool SetDecodeFormat(FrameSource::State& state, const dib::BitmapInfoHeader& format) {
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

void SelectWholeFrame(FrameSource::State& state) {
    state.outputFileHeader = state.frameFileHeader;
    state.outputImage = state.decodedFrame;
    state.outputBits = state.decodedBits;
    state.outputImageSize = state.frameImageSize;
}

void SelectCroppedImage(FrameSource::State& state) {
    state.outputFileHeader = state.cropFileHeader;
    state.outputImage = state.cropImage.get();
    state.outputBits = state.cropBits;
    state.outputImageSize = state.cropImageSize;
}

}  // namespace

namespace {

// Videos other than AVI: indexed at open, frames always upright 24-bit pictures. Nothing of
// the state is touched before the index is whole, so a cancelled open leaves it closed.
bool OpenMediaVideo(FrameSource::State& state, const FrameSource::OpenProgress& progress,
                    FrameSource::PacketChecks checks) {
    std::unique_ptr<media::MediaFile> file =
        media::MediaFile::Open(state.videoFileName.toStdString(), progress, checks);
    if (!file) return false;
    dib::BitmapInfoHeader format;
    format.biWidth = file->Width();
    format.biHeight = file->Height();
    format.biPlanes = 1;
    format.biBitCount = 24;
    if (!SetDecodeFormat(state, format)) return false;
    state.frameCount = file->FrameCount();
    state.frameWidth = format.biWidth;
    state.frameHeight = format.biHeight;
    state.frameBitCount = format.biBitCount;
    state.framePlanes = format.biPlanes;
    state.frameDecoder = std::move(file);
    state.packetChecks = checks;
    SelectWholeFrame(state);
    state.videoOpen = true;
    return true;
}

}  // namespace

FrameSource::FrameSource() : state_(std::make_unique<State>()) {}

FrameSource::~FrameSource() { CloseVideo(); }

bool FrameSource::OpenVideo(const QString& fileName, const OpenProgress& progress, PacketChecks checks) {
    if (!OpenReader(fileName, progress, checks)) return false;
    // Taken after the open: a file replaced before it is the one read, and told apart later.
    // Only a regular file has one; opening a pipe again could wait for ever. The reader's own
    // is taken again while the file stays as it was, without reading it.
    const std::string path = fileName.toStdString();
    struct stat status {};
    if (stat(path.c_str(), &status) == 0 && S_ISREG(status.st_mode)) {
        state_->identity = media::index_store::IdentityFor(path);
    }
    return true;
}

media::PacketsState FrameSource::PacketsFound() {
    if (!state_->videoOpen) return media::PacketsState::Whole;
    const media::PacketsState found = state_->frameDecoder->PacketsFound();
    // A count that the ranking's own run told (see media::MediaFile::Open) may differ.
    if (auto* file = dynamic_cast<media::MediaFile*>(state_->frameDecoder.get()))
        state_->frameCount = file->FrameCount();
    return found;
}

media::PacketsState FrameSource::CheckPackets(const OpenProgress& progress) {
    if (!state_->videoOpen) return media::PacketsState::Whole;
    return Settled(state_->frameDecoder->CheckPackets(progress));
}

media::PacketsState FrameSource::CheckPacketsUpTo(int32_t position) {
    if (!state_->videoOpen) return media::PacketsState::Whole;
    return Settled(state_->frameDecoder->CheckPacketsUpTo(position));
}

void FrameSource::SetFramesChangedHandler(std::function<void()> handler) { state_->framesChanged = std::move(handler); }

media::PacketsState FrameSource::Settled(media::PacketsState found) {
    if (found != media::PacketsState::Damaged) return found;
    // Indexed again from its data, the video may hold another count of frames.
    if (auto* file = dynamic_cast<media::MediaFile*>(state_->frameDecoder.get()))
        state_->frameCount = file->FrameCount();
    state_->decodedFrame = nullptr;
    state_->decodedBits = nullptr;
    if (state_->framesChanged) state_->framesChanged();
    return found;
}

bool FrameSource::FrameSettled(int32_t position) {
    if (state_->packetChecks != PacketChecks::BeforeEachFrame) return true;
    return CheckPacketsUpTo(position) == media::PacketsState::Whole;
}

media::PacketsState FrameSource::CheckStretchPackets(int32_t first, int32_t end) {
    return state_->videoOpen ? state_->frameDecoder->CheckStretchPackets(first, end) : media::PacketsState::Whole;
}

bool FrameSource::OpenReader(const QString& fileName, const OpenProgress& progress, PacketChecks checks) {
    CloseVideo();
    state_->videoFileName = fileName;
    if (!media::IsAviFile(fileName.toStdString())) return OpenMediaVideo(*state_, progress, checks);

    avifile::AVIFileInit();
    if (avifile::AVIFileOpen(state_->aviFile, fileName.toStdString()) != avifile::kOk) return false;
    avifile::FileInfo fileInfo;
    if (avifile::AVIFileInfo(*state_->aviFile, fileInfo) != avifile::kOk ||
        avifile::AVIFileGetStream(*state_->aviFile, state_->videoStream, avifile::kStreamTypeVideo, 0) !=
            avifile::kOk) {
        return FailOpen(*state_);
    }
    state_->frameCount = avifile::AVIStreamLength(*state_->videoStream);
    // A stream without a single frame has nothing to show or write.
    if (state_->frameCount <= 0) return FailOpen(*state_);
    avifile::StreamInfo streamInfo;
    if (avifile::AVIStreamInfo(*state_->videoStream, streamInfo) != avifile::kOk) return FailOpen(*state_);

    int32_t formatSize = 0;
    avifile::AVIStreamReadFormat(*state_->videoStream, 0, nullptr, formatSize);
    if (formatSize < int32_t(sizeof(dib::BitmapInfoHeader))) return FailOpen(*state_);
    try {
        state_->streamFormat.assign(size_t(formatSize), 0);
    } catch (const std::bad_alloc&) {
        return FailOpen(*state_);
    }
    if (avifile::AVIStreamReadFormat(*state_->videoStream, 0, state_->streamFormat.data(), formatSize) !=
        avifile::kOk) {
        return FailOpen(*state_);
    }

    dib::BitmapInfoHeader format;
    std::memcpy(&format, state_->streamFormat.data(), sizeof format);
    state_->frameWidth = format.biWidth;
    state_->frameHeight = format.biHeight;
    state_->frameBitCount = format.biBitCount;
    state_->framePlanes = format.biPlanes;

    if (!SetDecodeFormat(*state_, format)) return FailOpen(*state_);
    avifile::GetFrameHandle decoder = avifile::AVIStreamGetFrameOpen(*state_->videoStream, state_->decodeHeader);
    if (!decoder) return FailOpen(*state_);
    state_->frameDecoder = std::make_unique<AviFrames>(std::move(decoder), streamInfo);

    SelectWholeFrame(*state_);
    state_->videoOpen = true;
    return true;
}

bool FrameSource::CloseVideo() {
    ReleaseFrameBuffers();
    const bool wasOpen = state_->videoOpen;
    if (wasOpen) {
        state_->frameDecoder.reset();
        state_->streamFormat.clear();
        state_->streamFormat.shrink_to_fit();
        if (state_->aviFile) ReleaseStreamAndFile(*state_);
        state_->videoOpen = false;
    }
    ResetVideoState();
    return wasOpen;
}

bool FrameSource::FetchFrame(int32_t position) {
    if (!state_->videoOpen || position < 0 || position >= state_->frameCount || !FrameSettled(position)) return false;
    const uint8_t* frame = state_->frameDecoder->Frame(position);
    if (!frame) return false;
    state_->decodedFrame = frame;
    state_->decodedBits = frame + sizeof(dib::BitmapInfoHeader) + state_->paletteBytes;
    return true;
}

void FrameSource::ResetVideoState() {
    state_->frameCount = state_->frameWidth = state_->frameHeight = state_->frameBitCount = 0;
    state_->framePlanes = 0;
    state_->videoFileName = kInitialFileName;
    state_->videoOpen = false;
    state_->aviFile.reset();
    state_->videoStream.reset();
    state_->frameDecoder.reset();
    state_->identity.reset();
    state_->packetChecks = PacketChecks::AtOpen;
    state_->cropEnabled = false;
    state_->cropDefined = false;
}

void FrameSource::ReleaseFrameBuffers() {
    state_->decodedFrame = nullptr;
    state_->decodedBits = nullptr;
    ForgetCropBuffer(*state_);
    state_->outputImage = nullptr;
    state_->outputBits = nullptr;
}

bool FrameSource::SetCropRect(int32_t top, int32_t left, int32_t height, int32_t width) {
    state_->cropDefined = false;
    state_->cropRect = {top, left, height, width};
    state_->cropBitCount = state_->decodeHeader.biBitCount;
    ForgetCropBuffer(*state_);

    const int64_t stride = dib::RowStride(width, state_->cropBitCount);
    state_->cropStride = int32_t(std::min<int64_t>(stride, kMaxBufferBytes));
    state_->cropImageSize = 0;
    if (!state_->videoOpen || !CropRectInsideFrame(*state_)) {
        // Drawn on a larger picture, or before any video: the rectangle is kept without a
        // buffer, and every frame prepared with it is refused.
        state_->cropDefined = height != 0 || width != 0;
        return true;
    }
    const int64_t imageSize = int64_t(height) * stride;  // within the frame's own size
    try {
        // Every row is written by the copy, padding included: no need to clear it first.
        state_->cropImage = std::make_unique_for_overwrite<uint8_t[]>(sizeof(dib::BitmapInfoHeader) +
                                                                      size_t(state_->paletteBytes) + size_t(imageSize));
    } catch (const std::bad_alloc&) {
        return false;
    }
    state_->cropHeld = true;
    state_->cropImageSize = int32_t(imageSize);

    dib::BitmapInfoHeader header;
    header.biSize = sizeof header;
    header.biWidth = width;
    header.biHeight = height;
    header.biPlanes = 1;
    header.biBitCount = uint16_t(state_->cropBitCount);
    header.biCompression = dib::kRgbCompression;
    header.biXPelsPerMeter = state_->decodeHeader.biXPelsPerMeter;
    header.biYPelsPerMeter = state_->decodeHeader.biYPelsPerMeter;
    std::memcpy(state_->cropImage.get(), &header, sizeof header);
    state_->cropFileHeader = dib::MakeFileHeader(state_->paletteBytes, state_->cropImageSize);
    state_->cropBits = state_->cropImage.get() + sizeof header + state_->paletteBytes;
    state_->cropDefined = height != 0 || width != 0;
    return true;
}

bool FrameSource::PrepareFrame(int32_t position) {
    if (!FetchFrame(position)) return false;
    if (state_->cropEnabled && state_->cropDefined) {
        if (!CopyCropRect(*state_)) return false;
        SelectCroppedImage(*state_);
    } else {
        SelectWholeFrame(*state_);
    }
    return true;
}

bool FrameSource::MakeBitmap(imaging::Bitmap& bitmap, const uint8_t* packedDib, const uint8_t* bits) {
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
    bitmap.setImage(std::move(image), imaging::PixelLayout::DeviceDependent);
    return true;
}

// The whole frame goes to the screen format in one conversion from the decoded picture; the
// 24-bit copy is made only when something asks for it (a writer, the ranking).
bool FrameSource::LoadFrameBitmap(int32_t position, imaging::Bitmap& bitmap) {
    if (!state_->videoOpen || position < 0 || position >= state_->frameCount || !FrameSettled(position)) return false;
    const int width = state_->frameWidth;
    const int height = state_->frameHeight < 0 ? -state_->frameHeight : state_->frameHeight;
    const imaging::PixelLayout previousLayout = bitmap.layout();
    QImage image = bitmap.takeImage();
    const bool reused = image.size() == QSize(width, height) && image.format() == QImage::Format_RGB32;
    QImage previous;
    if (!reused) {
        previous = std::exchange(image, QImage(width, height, QImage::Format_RGB32));
    }
    if (image.isNull() || !state_->frameDecoder->FrameDisplay(position, image.bits(), image.bytesPerLine())) {
        // Nothing was shown: the bitmap gets back exactly what it held (a picture refilled in
        // place is untouched when the frame cannot be had).
        bitmap.setImage(reused ? std::move(image) : std::move(previous), previousLayout);
        return false;
    }
    bitmap.setImage(std::move(image), imaging::PixelLayout::DeviceDependent);
    return true;
}

double FrameSource::FrameTime(int32_t position) const {
    if (!state_->videoOpen || state_->frameCount <= 0) return 0;
    return state_->frameDecoder->FrameTime(std::clamp(position, 0, state_->frameCount - 1));
}

std::vector<int32_t> FrameSource::KeyPositions() const {
    if (!state_->videoOpen) return {};
    std::vector<int32_t> positions = state_->frameDecoder->KeyPositions();
    std::erase_if(positions, [this](int32_t p) { return p <= 0 || p >= state_->frameCount; });
    positions.insert(positions.begin(), 0);
    return positions;
}

bool FrameSource::ReopensCheaply() const { return state_->videoOpen && state_->frameDecoder->OpensWithoutDecoding(); }

double FrameSource::FrameDuration() const {
    constexpr double kUnknown = 1.0 / 25;
    if (!state_->videoOpen || state_->frameCount < 2) return kUnknown;
    const double span = FrameTime(state_->frameCount - 1);
    return span > 0 ? span / (state_->frameCount - 1) : kUnknown;
}

bool FrameSource::PrepareDecoded(int32_t position, PreparedImage& image) {
    image.frame = position;
    image.jpeg.clear();
    image.decoded.reset();
    image.paletteBytes = state_->paletteBytes;
    const bool cropped = state_->cropEnabled && state_->cropDefined;
    if (cropped || !state_->videoOpen || position < 0 || position >= state_->frameCount) {
        if (!PrepareFrame(position) || !state_->outputImage) {
            image.dib.clear();
            return false;
        }
        const size_t bytes =
            sizeof(dib::BitmapInfoHeader) + size_t(state_->paletteBytes) + size_t(state_->outputImageSize);
        image.fileHeader = state_->outputFileHeader;
        image.dib.assign(state_->outputImage, state_->outputImage + bytes);
        return true;
    }
    // The whole frame is left as decoded, and its conversion to the rows to whoever completes
    // the image: a 1080p frame copied once more costs as much as a third of its conversion.
    if (FrameSettled(position)) image.decoded = state_->frameDecoder->Decoded(position);
    if (!image.decoded) {
        image.dib.clear();
        return false;
    }
    // The header is the one the readers give, rows bottom-up; the rows come with CompleteImage.
    dib::BitmapInfoHeader header = state_->decodeHeader;
    header.biHeight = header.biHeight < 0 ? -header.biHeight : header.biHeight;
    header.biSizeImage = uint32_t(state_->frameImageSize);
    image.dib.resize(sizeof header + size_t(state_->paletteBytes));
    std::memcpy(image.dib.data(), &header, sizeof header);
    image.fileHeader = state_->frameFileHeader;
    return true;
}

bool FrameSource::CompleteImage(PreparedImage& image, media::PictureScaler& scaler) {
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

bool FrameSource::PrepareImage(int32_t position, PreparedImage& image) {
    return PrepareDecoded(position, image) && CompleteImage(image, state_->preparedScaler);
}

bool FrameSource::LoadOutputBitmap(int32_t position, imaging::Bitmap& bitmap) {
    if (!PrepareFrame(position)) return false;
    return MakeBitmap(bitmap, state_->outputImage, state_->outputBits);
}

void FrameSource::SetCropEnabled(bool enabled) { state_->cropEnabled = enabled; }

bool FrameSource::CropOutsideFrames() const {
    return state_->videoOpen && state_->cropEnabled && state_->cropDefined && !CropRectInsideFrame(*state_);
}

bool FrameSource::VideoOpen() const { return state_->videoOpen; }
const QString& FrameSource::VideoFileName() const { return state_->videoFileName; }
const std::optional<media::FileIdentity>& FrameSource::VideoIdentity() const { return state_->identity; }
int32_t FrameSource::FrameCount() const { return state_->frameCount; }
int32_t FrameSource::FrameWidth() const { return state_->frameWidth; }
int32_t FrameSource::FrameHeight() const { return state_->frameHeight; }
int32_t FrameSource::FrameBitCount() const { return state_->frameBitCount; }
int32_t FrameSource::FramePlanes() const { return state_->framePlanes; }
int32_t FrameSource::PaletteBytes() const { return state_->paletteBytes; }
int32_t FrameSource::FrameImageSize() const { return state_->frameImageSize; }
const dib::BitmapFileHeader& FrameSource::FrameFileHeader() const { return state_->frameFileHeader; }
const uint8_t* FrameSource::DecodedFrame() const { return state_->decodedFrame; }

bool FrameSource::CropDefined() const { return state_->cropDefined; }
bool FrameSource::CropEnabled() const { return state_->cropEnabled; }
const FrameSource::CropRectangle& FrameSource::CropRect() const { return state_->cropRect; }
const uint8_t* FrameSource::CropImage() const { return state_->cropHeld ? state_->cropImage.get() : nullptr; }

const uint8_t* FrameSource::OutputImage() const { return state_->outputImage; }
int32_t FrameSource::OutputImageSize() const { return state_->outputImageSize; }
const dib::BitmapFileHeader& FrameSource::OutputFileHeader() const { return state_->outputFileHeader; }
