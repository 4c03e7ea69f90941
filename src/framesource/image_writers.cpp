#include "framesource/image_writers.h"

#include <QFileInfo>
#include <QSaveFile>

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

}  // namespace

bool WriteBmpToStream(QIODevice& stream) {
    if (!OutputImage()) return false;
    const dib::BitmapFileHeader header = OutputFileHeader();
    if (stream.write(reinterpret_cast<const char*>(&header), sizeof header) != qint64(sizeof header)) {
        return false;
    }
    const int64_t size = OutputDibBytes();
    return stream.write(reinterpret_cast<const char*>(OutputImage()), size) == size;
}

bool WriteBmpFile(const QString& path) {
    if (!MayWrite(path)) return false;
    // Unbuffered: the header and the whole DIB go out as two writes, straight from the frame.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) throw errors::Error("Erreur E/S 103");
    if (!WriteBmpToStream(file)) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
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

    const uint8_t* bits = image + sizeof info + PaletteBytes();
    jpeg.encodeBgr(info.biWidth, info.biHeight, bits, ptrdiff_t(dib::RowStride(info.biWidth, 24)));
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
