// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once
// A JPEG picture in memory: the compressed data plus the options that decide how it is encoded
// and how it is decoded for display. Encoding and decoding go through libjpeg; its errors become
// errors::Error("Erreur JPEG #n") with libjpeg's message code.

#include <QImage>
#include <QString>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

#include "imaging/graphic.h"

namespace imaging {

class Bitmap;

class JpegImage : public Graphic {
public:
    // Reading options as the dialog's lists number them.
    enum PixelFormat : uint8_t { Format24Bits = 0, Format8Bits = 1 };
    enum Scale : uint8_t { FullSize = 0, HalfSize = 1, QuarterSize = 2, EighthSize = 3 };
    enum Performance : uint8_t { BestQuality = 0, BestSpeed = 1 };

    // Called after every output pass of a progressive display with the picture as it stands;
    // `final` is set for the closing pass made with the full-quality settings.
    using DisplayCallback = std::function<void(const QImage& picture, int pass, bool final)>;

    JpegImage() = default;

    // The size at the reading scale; 0 x 0 when the data is no JPEG picture or one beyond what
    // the decoder takes (over 64 megapixels at full size, or over 100 scans).
    int width() const override;
    int height() const override;
    bool isEmpty() const override { return data_.empty(); }
    // The decoded picture; decodes first when needed (and may then throw).
    QImage toImage() const override;

    // Writing options.
    uint8_t quality() const { return quality_; }
    void setQuality(uint8_t quality) { quality_ = quality; }
    bool grayscale() const { return grayscale_; }
    void setGrayscale(bool on);
    bool progressiveEncoding() const { return progressiveEncoding_; }
    void setProgressiveEncoding(bool on) { progressiveEncoding_ = on; }

    // Reading options.
    uint8_t pixelFormat() const { return pixelFormat_; }
    void setPixelFormat(uint8_t format);
    uint8_t scale() const { return scale_; }
    void setScale(uint8_t scale);
    uint8_t performance() const { return performance_; }
    void setPerformance(uint8_t performance);
    bool progressiveDisplay() const { return progressiveDisplay_; }
    void setProgressiveDisplay(bool on) { progressiveDisplay_ = on; }

    // Set whenever the picture to show is no longer the one shown last; cleared by the viewer.
    bool changed() const { return changed_; }
    void clearChanged() { changed_ = false; }
    bool hasDecodedPicture() const { return !decoded_.isNull(); }

    // Encodes 24-bit rows, blue-green-red, stored bottom row first as in a DIB (a negative
    // height means top row first). An empty picture gives empty data.
    void encodeBgr(int width, int height, const uint8_t* rows, ptrdiff_t stride);
    // The byte length encodeBgr's encoding of the same rows would have, without keeping it or
    // the image's data: the bytes go through a buffer used over again.
    size_t encodedLengthBgr(int width, int height, const uint8_t* rows, ptrdiff_t stride) const;
    // Encodes the bitmap's picture at 24 bits per pixel.
    void assign(const Bitmap& bitmap);

    // Compressed data.
    const std::vector<uint8_t>& data() const { return data_; }
    void loadFromMemory(std::vector<uint8_t> data);
    // Reads a file; a file that cannot be read raises an error with the file name.
    void loadFromFile(const QString& path);
    // Writes the compressed data; a file that cannot be created raises
    // "Impossible de créer le fichier PATH".
    void saveToFile(const QString& path) const;

    // Decodes now with the reading options.
    void decode() const;
    void setDisplayCallback(DisplayCallback callback) { onDisplay_ = std::move(callback); }
    // Output passes of the last decode (one per scan plus a final pass in progressive
    // display, one otherwise) and the warnings libjpeg gave about damaged data.
    int lastDecodePasses() const { return lastPasses_; }
    int lastDecodeWarnings() const { return lastWarnings_; }

private:
    void discardPicture();
    void readDimensions() const;

    std::vector<uint8_t> data_;
    // Encodes rows of BGR pixels (bottom-up for a positive height) into `out`, or only counts
    // the bytes; returns the encoding's length.
    size_t compressBgr(std::vector<uint8_t>& out, int width, int height, const uint8_t* rows, ptrdiff_t stride,
                       bool countOnly) const;
    mutable std::vector<uint8_t> scratch_;  // encodedLengthBgr's buffer
    uint8_t quality_ = 100;
    bool grayscale_ = false;
    bool progressiveEncoding_ = false;
    uint8_t pixelFormat_ = Format24Bits;
    uint8_t scale_ = FullSize;
    uint8_t performance_ = BestQuality;
    bool progressiveDisplay_ = false;
    bool changed_ = false;

    mutable QImage decoded_;
    mutable int width_ = 0;
    mutable int height_ = 0;
    mutable bool dimensionsKnown_ = false;
    mutable int lastPasses_ = 0;
    mutable int lastWarnings_ = 0;
    DisplayCallback onDisplay_;
};

}  // namespace imaging
