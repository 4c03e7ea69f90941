// SPDX-License-Identifier: GPL-2.0-or-later
// The JPEG codec: what it writes must match the reference encoder byte for byte, and decoding
// must honour the reading options of the JPEG dialog.
#include <gtest/gtest.h>

#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <set>
#include <vector>

#include <jerror.h>
#include <cstdio>

#include "base/errors.h"
#include "imaging/bitmap.h"
#include "imaging/jpeg_image.h"
#include "media/dib.h"

namespace {

// A bottom-up 24-bit DIB body with a picture that exercises every channel and sharp edges.
struct BgrPicture {
    int width;
    int height;
    int stride;
    std::vector<uint8_t> rows;

    BgrPicture(int w, int h) : width(w), height(h), stride(int(dib::RowStride(w, 24))), rows(size_t(stride) * h, 0xCD) {
        for (int y = 0; y < h; ++y) {  // y counted from the top
            uint8_t* row = rows.data() + size_t(h - 1 - y) * stride;
            for (int x = 0; x < w; ++x) {
                row[3 * x + 0] = uint8_t(x * 255 / std::max(1, w - 1));      // blue
                row[3 * x + 1] = uint8_t(y * 255 / std::max(1, h - 1));      // green
                row[3 * x + 2] = uint8_t(((x / 8 + y / 8) % 2) ? 230 : 20);  // red
            }
        }
    }

    QByteArray bmpFile() const {
        dib::BitmapInfoHeader info;
        info.biSize = 40;
        info.biWidth = width;
        info.biHeight = height;
        info.biPlanes = 1;
        info.biBitCount = 24;
        const auto file = dib::MakeFileHeader(0, int64_t(rows.size()));
        QByteArray bytes(reinterpret_cast<const char*>(&file), sizeof file);
        bytes.append(reinterpret_cast<const char*>(&info), sizeof info);
        bytes.append(reinterpret_cast<const char*>(rows.data()), qsizetype(rows.size()));
        return bytes;
    }

    std::vector<uint8_t> encode(uint8_t quality, bool grey = false, bool progressive = false) const {
        imaging::JpegImage jpeg;
        jpeg.setQuality(quality);
        jpeg.setGrayscale(grey);
        jpeg.setProgressiveEncoding(progressive);
        jpeg.encodeBgr(width, height, rows.data(), stride);
        return jpeg.data();
    }
};

imaging::JpegImage Loaded(std::vector<uint8_t> data) {
    imaging::JpegImage jpeg;
    jpeg.loadFromMemory(std::move(data));
    return jpeg;
}

int CountScans(const std::vector<uint8_t>& data) {
    int scans = 0;
    for (size_t i = 0; i + 1 < data.size(); ++i) scans += data[i] == 0xFF && data[i + 1] == 0xDA;
    return scans;
}

TEST(JpegImage, EncodingMatchesCjpegByteForByte) {
    const QString cjpeg = QStandardPaths::findExecutable("cjpeg");
    if (cjpeg.isEmpty()) GTEST_SKIP() << "cjpeg is not installed";
    struct Case {
        uint8_t quality;
        bool grey;
        bool progressive;
        QStringList switches;
    };
    const Case cases[] = {
        {100, false, false, {"-quality", "100", "-baseline"}},
        {75, false, false, {"-quality", "75", "-baseline"}},
        {90, true, false, {"-quality", "90", "-baseline", "-grayscale"}},
        {85, false, true, {"-quality", "85", "-baseline", "-progressive"}},
        {60, true, true, {"-quality", "60", "-baseline", "-grayscale", "-progressive"}},
    };
    QTemporaryDir dir;
    for (const auto size : {QSize(320, 240), QSize(37, 23)}) {  // 37: rows padded to 112 bytes
        const BgrPicture picture(size.width(), size.height());
        const QString bmp = dir.filePath("in.bmp");
        QFile file(bmp);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(picture.bmpFile());
        file.close();
        for (const auto& c : cases) {
            SCOPED_TRACE(c.switches.join(' ').toStdString() + " " + std::to_string(size.width()));
            QProcess process;
            process.start(cjpeg, c.switches + QStringList{bmp});
            ASSERT_TRUE(process.waitForFinished());
            const QByteArray expected = process.readAllStandardOutput();
            ASSERT_FALSE(expected.isEmpty()) << process.readAllStandardError().toStdString();
            const auto ours = picture.encode(c.quality, c.grey, c.progressive);
            EXPECT_EQ(QByteArray(reinterpret_cast<const char*>(ours.data()), qsizetype(ours.size())), expected);
        }
    }
}

TEST(JpegImage, BitmapAndDibRowsGiveTheSameFile) {
    const BgrPicture picture(33, 17);
    QImage image;
    image.loadFromData(picture.bmpFile(), "BMP");
    ASSERT_EQ(image.size(), QSize(33, 17));
    imaging::JpegImage jpeg;
    jpeg.setQuality(80);
    jpeg.assign(imaging::Bitmap(image, imaging::PixelLayout::Bits24));
    EXPECT_EQ(jpeg.data(), picture.encode(80));
}

TEST(JpegImage, EmptyPictureGivesEmptyData) {
    imaging::JpegImage jpeg;
    jpeg.loadFromMemory({1, 2, 3});
    jpeg.encodeBgr(0, 0, nullptr, 0);
    EXPECT_TRUE(jpeg.data().empty());
    jpeg.assign(imaging::Bitmap());
    EXPECT_TRUE(jpeg.data().empty());
    EXPECT_TRUE(jpeg.isEmpty());
}

TEST(JpegImage, EncodedFileHasTheAskedComponentsAndMode) {
    const BgrPicture picture(64, 48);
    struct Case {
        bool grey, progressive;
        int components;
        uint8_t frameMarker;
    };
    for (const Case c : {Case{false, false, 3, 0xC0}, Case{true, false, 1, 0xC0}, Case{false, true, 3, 0xC2}}) {
        const auto data = picture.encode(100, c.grey, c.progressive);
        size_t at = 2;  // walk the markers up to the frame header
        while (at + 4 < data.size() && !(data[at + 1] == 0xC0 || data[at + 1] == 0xC2)) {
            at += 2 + size_t(data[at + 2] << 8 | data[at + 3]);
        }
        ASSERT_LT(at + 9, data.size());
        EXPECT_EQ(data[at + 1], c.frameMarker);
        EXPECT_EQ(data[at + 9], c.components);
    }
}

TEST(JpegImage, ScaleDividesTheDecodedSize) {
    const auto data = BgrPicture(640, 480).encode(90);
    const QSize expected[] = {{640, 480}, {320, 240}, {160, 120}, {80, 60}};
    for (uint8_t scale = 0; scale < 4; ++scale) {
        auto jpeg = Loaded(data);
        jpeg.setScale(scale);
        EXPECT_EQ(QSize(jpeg.width(), jpeg.height()), expected[scale]) << "before decoding";
        EXPECT_EQ(jpeg.toImage().size(), expected[scale]);
    }
}

TEST(JpegImage, GreyAndEightBitsDecodeToAPalette) {
    const auto data = BgrPicture(120, 90).encode(95);
    struct Case {
        bool grey;
        uint8_t format;
        uint8_t performance;
    };
    for (const Case c : {Case{true, 0, 0}, Case{false, 1, 0}, Case{true, 1, 1}, Case{false, 1, 1}}) {
        SCOPED_TRACE(testing::Message() << c.grey << int(c.format) << int(c.performance));
        auto jpeg = Loaded(data);
        jpeg.setGrayscale(c.grey);
        jpeg.setPixelFormat(c.format);
        jpeg.setPerformance(c.performance);
        const QImage image = jpeg.toImage();
        ASSERT_EQ(image.format(), QImage::Format_Indexed8);
        EXPECT_LE(image.colorCount(), 236);
        EXPECT_GT(image.colorCount(), 8);
        if (c.grey) {
            for (const QRgb colour : image.colorTable())
                EXPECT_TRUE(qRed(colour) == qGreen(colour) && qGreen(colour) == qBlue(colour));
        }
    }
    const QImage full = Loaded(data).toImage();
    EXPECT_EQ(full.format(), QImage::Format_RGB888);
    // The checkerboard's red survives the round trip.
    EXPECT_LT(qRed(full.pixel(4, 4)), 128);
    EXPECT_GT(qRed(full.pixel(12, 4)), 128);
}

TEST(JpegImage, ProgressiveDisplayShowsEachScan) {
    const BgrPicture picture(96, 64);
    struct Case {
        bool grey, progressiveFile, progressiveDisplay;
        uint8_t format;
    };
    for (const Case c : {Case{false, true, true, 0}, Case{true, true, true, 0}, Case{false, true, true, 1},
                         Case{false, true, false, 0}, Case{false, false, true, 0}}) {
        SCOPED_TRACE(testing::Message() << c.grey << c.progressiveFile << c.progressiveDisplay << int(c.format));
        const auto data = picture.encode(90, c.grey, c.progressiveFile);
        auto jpeg = Loaded(data);
        jpeg.setPixelFormat(c.format);
        jpeg.setProgressiveDisplay(c.progressiveDisplay);
        int scanPasses = 0, finalPasses = 0;
        jpeg.setDisplayCallback([&](const QImage& image, int, bool final) {
            EXPECT_EQ(image.size(), QSize(96, 64));
            ++(final ? finalPasses : scanPasses);
        });
        jpeg.decode();
        const bool buffered = c.progressiveFile && c.progressiveDisplay;
        EXPECT_EQ(scanPasses, buffered ? CountScans(data) : 0);
        EXPECT_EQ(finalPasses, 1);
        EXPECT_EQ(jpeg.lastDecodePasses(), scanPasses + finalPasses);
        if (buffered) {
            EXPECT_GT(scanPasses, 1);
        }
        // The final picture is the same whichever way it was reached.
        auto plain = Loaded(data);
        plain.setPixelFormat(c.format);
        if (c.format == 0) {
            EXPECT_EQ(jpeg.toImage(), plain.toImage());
        }
    }
}

TEST(JpegImage, DamagedDataWarnsButStillDecodes) {
    const auto data = BgrPicture(160, 120).encode(90);
    auto truncated = data;
    truncated.resize(data.size() / 2);
    auto corrupted = data;
    for (size_t i = data.size() / 2; i < data.size() / 2 + 40; ++i) corrupted[i] = uint8_t(i * 37);
    for (const auto& damaged : {truncated, corrupted}) {
        auto jpeg = Loaded(damaged);
        QImage image;
        EXPECT_NO_THROW(image = jpeg.toImage());
        EXPECT_EQ(image.size(), QSize(160, 120));
        EXPECT_GT(jpeg.lastDecodeWarnings(), 0);
    }
}

TEST(JpegImage, GarbageRaisesTheLibjpegMessageCode) {
    auto jpeg = Loaded({'n', 'o', 't', ' ', 'a', ' ', 'j', 'p', 'e', 'g'});
    try {
        jpeg.decode();
        FAIL() << "garbage decoded";
    } catch (const errors::Error& error) {
        EXPECT_EQ(error.message(), QString("Erreur JPEG #%1").arg(int(JERR_NO_SOI)));
    }
    EXPECT_EQ(jpeg.width(), 0);  // asking the size never throws
    auto cut = Loaded({0xFF, 0xD8, 0xFF});
    EXPECT_THROW(cut.decode(), errors::Error);
}

TEST(JpegImage, OnlyDecodingOptionsDiscardTheDecodedPicture) {
    const auto data = BgrPicture(32, 32).encode(90);
    using Setter = std::function<void(imaging::JpegImage&)>;
    const std::pair<Setter, bool> cases[] = {
        {[](imaging::JpegImage& j) { j.setGrayscale(true); }, true},
        {[](imaging::JpegImage& j) { j.setPixelFormat(1); }, true},
        {[](imaging::JpegImage& j) { j.setScale(1); }, true},
        {[](imaging::JpegImage& j) { j.setPerformance(1); }, true},
        {[](imaging::JpegImage& j) { j.setQuality(10); }, false},
        {[](imaging::JpegImage& j) { j.setProgressiveEncoding(true); }, false},
        {[](imaging::JpegImage& j) { j.setProgressiveDisplay(true); }, false},
    };
    for (const auto& [set, discards] : cases) {
        auto jpeg = Loaded(data);
        jpeg.decode();
        jpeg.clearChanged();
        set(jpeg);
        EXPECT_EQ(!jpeg.hasDecodedPicture(), discards);
        EXPECT_EQ(jpeg.changed(), discards);
    }
}

TEST(JpegImage, SavesAndLoadsFiles) {
    QTemporaryDir dir;
    const auto data = BgrPicture(20, 10).encode(70);
    const QString path = dir.filePath("a.jpg");
    Loaded(data).saveToFile(path);
    imaging::JpegImage back;
    back.loadFromFile(path);
    EXPECT_EQ(back.data(), data);
    EXPECT_EQ(QSize(back.width(), back.height()), QSize(20, 10));
    try {
        Loaded(data).saveToFile(dir.filePath("missing/a.jpg"));
        FAIL();
    } catch (const errors::Error& error) {
        EXPECT_EQ(error.message(), "Impossible de créer le fichier " + dir.filePath("missing/a.jpg"));
    }
}

}  // namespace
