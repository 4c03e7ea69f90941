// SPDX-License-Identifier: GPL-2.0-or-later
#include "framesource/output_types.h"

#include "framesource/image_writers.h"
#include "imaging/jpeg_image.h"
#include "media/dib.h"

namespace output_types {

// The encoders that live in files of their own, a type each.
QByteArray WebpLossless(const QImage& picture, const jpeg_options::JpegOptions& options);  // webp_writer.cpp
QByteArray WebpLossy(const QImage& picture, const jpeg_options::JpegOptions& options);

namespace {

using jpeg_options::JpegOptions;
using PreparedImage = FrameSource::PreparedImage;

bool BmpFrame(const FrameSource& source, const QString& path, const JpegOptions&, errors::FileError* error) {
    return image_writers::WriteBmpFile(source, path, error);
}
bool BmpPrepared(const PreparedImage& image, const QString& path, const JpegOptions&, errors::FileError* error) {
    return image_writers::WritePreparedBmp(image, path, error);
}
bool BmpBytes(const PreparedImage& image, const JpegOptions&, FileBytes& bytes) {
    bytes.parts[0] = {&image.fileHeader, sizeof image.fileHeader};
    bytes.parts[1] = {image.dib.data(), image.dib.size()};
    return true;
}

bool JpegFrame(const FrameSource& source, const QString& path, const JpegOptions& jpeg, errors::FileError*) {
    return image_writers::WriteJpegFile(source, path, jpeg);
}
bool JpegPrepared(const PreparedImage& image, const QString& path, const JpegOptions& jpeg, errors::FileError*) {
    return image_writers::WritePreparedJpeg(image, path, jpeg);
}
bool JpegBytes(const PreparedImage& image, const JpegOptions& options, FileBytes& bytes) {
    if (!image.jpeg.empty()) {
        bytes.parts[0] = {image.jpeg.data(), image.jpeg.size()};
        return true;
    }
    imaging::JpegImage jpeg;
    options.ApplyTo(&jpeg);
    if (!image_writers::EncodePrepared(image, jpeg)) return false;
    bytes.encoded = QByteArray(reinterpret_cast<const char*>(jpeg.data().data()), qsizetype(jpeg.data().size()));
    bytes.parts[0] = {bytes.encoded.constData(), size_t(bytes.encoded.size())};
    return true;
}

// The writers of a type made by an Encoder from the frame's pixels: asked about and written
// as the JPEG files are.
QByteArray EncodedDib(Encoder encode, const uint8_t* packedDib, int32_t paletteBytes, const JpegOptions& options) {
    const QImage picture = image_writers::PictureOfDib(packedDib, paletteBytes);
    return picture.isNull() ? QByteArray() : encode(picture, options);
}
QByteArray EncodedPrepared(Encoder encode, const PreparedImage& image, const JpegOptions& options) {
    if (image.dib.size() < sizeof(dib::BitmapInfoHeader) || image.decoded) return {};
    return EncodedDib(encode, image.dib.data(), image.paletteBytes, options);
}
template <Encoder encode>
bool EncodedFrame(const FrameSource& source, const QString& path, const JpegOptions& options, errors::FileError*) {
    const uint8_t* dib = source.OutputImage();
    return dib && image_writers::WriteEncodedFile(EncodedDib(encode, dib, source.PaletteBytes(), options), path);
}
template <Encoder encode>
bool EncodedPrepared(const PreparedImage& image, const QString& path, const JpegOptions& options, errors::FileError*) {
    return image_writers::WriteEncodedFile(EncodedPrepared(encode, image, options), path);
}
template <Encoder encode>
bool EncodedBytes(const PreparedImage& image, const JpegOptions& options, FileBytes& bytes) {
    bytes.encoded = EncodedPrepared(encode, image, options);
    if (bytes.encoded.isEmpty()) return false;
    bytes.parts[0] = {bytes.encoded.constData(), size_t(bytes.encoded.size())};
    return true;
}

QByteArray Png(const QImage& picture, const JpegOptions&) { return image_writers::PngOf(picture); }

// In the order of naming::OutputType.
const OutputType kTypes[] = {
    {".BMP", "bmp", "BMP", "", nullptr, false, false, BmpFrame, BmpPrepared, BmpBytes},
    {".JPG", "jpg", "JPG", "", nullptr, true, true, JpegFrame, JpegPrepared, JpegBytes},
    {".PNG", "png", "PNG", "", "the BMP's pixels", false, false, EncodedFrame<Png>, EncodedPrepared<Png>,
     EncodedBytes<Png>},
    {".WEBP", "webp", "WebP", "WebP sans perte : les pixels du BMP", "lossless, the BMP's pixels", false, false,
     EncodedFrame<WebpLossless>, EncodedPrepared<WebpLossless>, EncodedBytes<WebpLossless>},
    {".WEBP", "webp-lossy", "WebP~", "WebP avec perte, à la qualité de compression des options JPEG",
     "lossy, at the --quality given", false, true, EncodedFrame<WebpLossy>, EncodedPrepared<WebpLossy>,
     EncodedBytes<WebpLossy>},
};

}  // namespace

std::span<const OutputType> All() { return kTypes; }

const OutputType& Of(naming::OutputType type) {
    const auto index = size_t(type);
    // A value from outside the table is written as BMP, the first type.
    return index < std::size(kTypes) ? kTypes[index] : kTypes[0];
}

std::optional<naming::OutputType> Named(const QString& name) {
    for (size_t i = 0; i < std::size(kTypes); ++i) {
        if (name == QLatin1String(kTypes[i].name)) return naming::OutputType(i);
    }
    return std::nullopt;
}

QString Names(const QString& separator, const QString& last) {
    QString names;
    for (size_t i = 0; i < std::size(kTypes); ++i) {
        if (i > 0) names += i + 1 == std::size(kTypes) ? last : separator;
        names += QLatin1String(kTypes[i].name);
    }
    return names;
}

}  // namespace output_types
