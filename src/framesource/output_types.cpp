// SPDX-License-Identifier: GPL-2.0-or-later
#include "framesource/output_types.h"

#include <iterator>

#include "framesource/image_writers.h"
#include "imaging/jpeg_image.h"

namespace output_types {
namespace {

using jpeg_options::JpegOptions;
using PreparedImage = FrameSource::PreparedImage;

bool BmpFrame(const FrameSource& source, const QString& path, const JpegOptions&, int* error) {
    return image_writers::WriteBmpFile(source, path, error);
}
bool BmpPrepared(const PreparedImage& image, const QString& path, const JpegOptions&, int* error) {
    return image_writers::WritePreparedBmp(image, path, error);
}
bool BmpBytes(const PreparedImage& image, const JpegOptions&, FileBytes& bytes) {
    bytes.parts[0] = {&image.fileHeader, sizeof image.fileHeader};
    bytes.parts[1] = {image.dib.data(), image.dib.size()};
    return true;
}

bool JpegFrame(const FrameSource& source, const QString& path, const JpegOptions& jpeg, int*) {
    return image_writers::WriteJpegFile(source, path, jpeg);
}
bool JpegPrepared(const PreparedImage& image, const QString& path, const JpegOptions& jpeg, int*) {
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

bool PngFrame(const FrameSource& source, const QString& path, const JpegOptions&, int*) {
    return image_writers::WritePngFile(source, path);
}
bool PngPrepared(const PreparedImage& image, const QString& path, const JpegOptions&, int*) {
    return image_writers::WritePreparedPng(image, path);
}
bool PngBytes(const PreparedImage& image, const JpegOptions&, FileBytes& bytes) {
    bytes.encoded = image_writers::PreparedPng(image);
    if (bytes.encoded.isEmpty()) return false;
    bytes.parts[0] = {bytes.encoded.constData(), size_t(bytes.encoded.size())};
    return true;
}

// In the order of naming::OutputType.
const OutputType kTypes[] = {
    {naming::OutputType::Bmp, ".BMP", "bmp", false, BmpFrame, BmpPrepared, BmpBytes},
    {naming::OutputType::Jpeg, ".JPG", "jpg", true, JpegFrame, JpegPrepared, JpegBytes},
    {naming::OutputType::Png, ".PNG", "png", false, PngFrame, PngPrepared, PngBytes},
};

}  // namespace

const OutputType& Of(naming::OutputType type) {
    const auto index = size_t(type);
    // A value from outside the table is written as BMP, the first type.
    return index < std::size(kTypes) ? kTypes[index] : kTypes[0];
}

const OutputType* Named(const QString& name) {
    for (const OutputType& type : kTypes) {
        if (name == QLatin1String(type.name)) return &type;
    }
    return nullptr;
}

}  // namespace output_types
