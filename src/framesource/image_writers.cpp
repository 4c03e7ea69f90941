// SPDX-License-Identifier: GPL-2.0-or-later
#include "framesource/image_writers.h"

#include <QFileInfo>
#include <QSaveFile>
#include <cstring>

#include "framesource/frame_source.h"
#include "framesource/jpeg_options.h"
#include "platform/dialogs.h"
#include "platform/dib.h"
#include "platform/errors.h"
#include "platform/jpeg_image.h"

namespace FrameSource {
namespace {

// True when the path is free or the user agreed to replace the file there.
bool MayWrite(const QString& path) {
    const QFileInfo info(path);
    if (!info.exists()) return true;
    const auto answer = dialogs::current().messageBox(QString("Ecraser : %1 ?").arg(info.fileName()),
                                                      "Fichier Existant", dialogs::Buttons::OkCancel);
    return answer == dialogs::Answer::Ok;
}

int64_t OutputDibBytes() { return int64_t(sizeof(dib::BitmapInfoHeader)) + PaletteBytes() + OutputImageSize(); }

// The file header and the whole DIB as two writes.
bool WriteBmpParts(QIODevice& stream, const dib::BitmapFileHeader& header, const uint8_t* packedDib, int64_t size) {
    if (stream.write(reinterpret_cast<const char*>(&header), sizeof header) != qint64(sizeof header)) {
        return false;
    }
    return stream.write(reinterpret_cast<const char*>(packedDib), size) == size;
}

bool WriteBmpAside(const QString& path, const dib::BitmapFileHeader& header, const uint8_t* packedDib, int64_t size) {
    if (!MayWrite(path)) return false;
    // Unbuffered: the header and the whole DIB go out as two writes, straight from the picture.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) throw errors::Error("Erreur E/S 103");
    if (!WriteBmpParts(file, header, packedDib, size)) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

}  // namespace

bool WriteBmpToStream(QIODevice& stream) {
    if (!OutputImage()) return false;
    return WriteBmpParts(stream, OutputFileHeader(), OutputImage(), OutputDibBytes());
}

bool WriteBmpFile(const QString& path) {
    if (!OutputImage()) return false;
    return WriteBmpAside(path, OutputFileHeader(), OutputImage(), OutputDibBytes());
}

bool WritePreparedBmp(const PreparedImage& image, const QString& path) {
    if (image.dib.empty() || image.decoded) return false;
    return WriteBmpAside(path, image.fileHeader, image.dib.data(), int64_t(image.dib.size()));
}

bool WritePreparedJpeg(const PreparedImage& image, const QString& path) {
    if (image.dib.empty() || image.decoded) return false;
    gfx::JpegImage jpeg;
    if (image.jpeg.empty()) {
        // Not encoded beforehand: encoded here with the options of this moment.
        jpegoptions::ApplyTo(&jpeg);
        if (!EncodePrepared(image, jpeg)) return false;
    } else {
        jpeg.loadFromMemory(image.jpeg);
    }
    if (!MayWrite(path)) throw errors::SilentAbort();
    jpeg.saveToFile(path);
    return true;
}

bool EncodePrepared(const PreparedImage& image, gfx::JpegImage& jpeg) {
    if (image.dib.size() < sizeof(dib::BitmapInfoHeader) || image.decoded) return false;
    return EncodeDib(image.dib.data(), image.paletteBytes, jpeg);
}

bool EncodeDecoded(const video::DecodedPicture& picture, avscale::PictureScaler& scaler, gfx::JpegImage& jpeg) {
    int64_t stride = 0;
    const uint8_t* rows = picture.TopDownBits(scaler, stride);
    if (!rows) return false;
    jpeg.encodeBgr(picture.width(), -picture.height(), rows, ptrdiff_t(stride));
    return true;
}

bool EncodeDib(const uint8_t* packedDib, int32_t paletteBytes, gfx::JpegImage& jpeg) {
    dib::BitmapInfoHeader info;
    std::memcpy(&info, packedDib, sizeof info);
    if (info.biBitCount != 24 || info.biCompression != dib::kRgbCompression) return false;
    const uint8_t* bits = packedDib + sizeof info + paletteBytes;
    jpeg.encodeBgr(info.biWidth, info.biHeight, bits, ptrdiff_t(dib::RowStride(info.biWidth, 24)));
    return true;
}

bool WriteJpegFile(const QString& path) {
    const uint8_t* image = OutputImage();
    if (!image) return false;
    dib::BitmapInfoHeader info;
    std::memcpy(&info, image, sizeof info);
    if (info.biBitCount != 24 || info.biCompression != dib::kRgbCompression) return false;

    gfx::JpegImage jpeg;
    jpegoptions::ApplyTo(&jpeg);
    if (!MayWrite(path)) throw errors::SilentAbort();
    EncodeDib(image, PaletteBytes(), jpeg);
    jpeg.saveToFile(path);
    return true;
}

bool SaveFrameBmp(int32_t position, const QString& path) {
    if (!PrepareFrame(position)) return false;
    return WriteBmpFile(path);
}

bool SaveFrameJpeg(int32_t position, const QString& path) {
    if (!PrepareFrame(position)) return false;
    return WriteJpegFile(path);
}

}  // namespace FrameSource
