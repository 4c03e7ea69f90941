// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once
// What the fuzz targets share: the input written to a file of the process's own (the readers
// take paths), and the reading options taken from one input byte.

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QString>
#include <cstddef>
#include <cstdint>

#include "imaging/jpeg_image.h"

namespace fuzz {

inline QString WriteInput(const uint8_t* data, size_t size, const char* extension) {
    const QString path =
        QDir::temp().filePath(QString("orvexa-fuzz-%1.%2").arg(QCoreApplication::applicationPid()).arg(extension));
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        file.write(reinterpret_cast<const char*>(data), qint64(size));
    return path;
}

// Bits 0-1 scale, 2 eight bits, 3 grey scale, 4 speed, 5 progressive display.
inline void ApplyReadingOptions(imaging::JpegImage& jpeg, uint8_t bits) {
    jpeg.setScale(bits & 3);
    jpeg.setPixelFormat(bits & 4 ? imaging::JpegImage::Format8Bits : imaging::JpegImage::Format24Bits);
    jpeg.setGrayscale(bits & 8);
    jpeg.setPerformance(bits & 16 ? imaging::JpegImage::BestSpeed : imaging::JpegImage::BestQuality);
    jpeg.setProgressiveDisplay(bits & 32);
}

}  // namespace fuzz
