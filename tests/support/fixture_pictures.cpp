// SPDX-License-Identifier: GPL-2.0-or-later
#include "support/fixture_pictures.h"

#include <QBuffer>
#include <QImage>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

// jpeglib.h needs size_t and FILE declared first.
#include <jpeglib.h>

#include "imaging/jpeg_image.h"

namespace fixture {
namespace {

// A little-endian byte writer for hand-made metafiles.
class Bytes {
public:
    Bytes& u16(uint16_t v) { return put(v, 2); }
    Bytes& u32(uint32_t v) { return put(v, 4); }
    Bytes& i32(int32_t v) { return put(uint32_t(v), 4); }
    QByteArray data;

private:
    Bytes& put(uint32_t v, int n) {
        for (int i = 0; i < n; ++i) data.append(char((v >> (8 * i)) & 0xFF));
        return *this;
    }
};

// A placeable Windows metafile of the given size in units at 96 units per inch, around its
// records; `objects` and `largestRecord` (in 16-bit words) go into its header.
QByteArray PlaceableWmf(uint16_t width, uint16_t height, const Bytes& records, uint16_t objects,
                        uint32_t largestRecord) {
    Bytes placeable;
    placeable.u32(0x9AC6CDD7).u16(0).u16(0).u16(0).u16(width).u16(height).u16(96).u32(0);
    uint16_t checksum = 0;
    for (int i = 0; i < 20; i += 2) {
        checksum ^= uint16_t(uint8_t(placeable.data[i]) | (uint8_t(placeable.data[i + 1]) << 8));
    }
    placeable.u16(checksum);
    Bytes header;
    const uint32_t words = uint32_t((18 + records.data.size()) / 2);
    header.u16(1).u16(9).u16(0x0300).u32(words).u16(objects).u32(largestRecord).u16(0);
    return placeable.data + header.data + records.data;
}

QImage Gradient(int width, int height) {
    QImage image(width, height, QImage::Format_RGB888);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) image.setPixel(x, y, qRgb(x * 255 / width, y * 255 / height, 128));
    }
    return image;
}

}  // namespace

QByteArray MakeWmf() {
    Bytes records;
    records.u32(5).u16(0x020B).u16(0).u16(0);                   // window origin
    records.u32(5).u16(0x020C).u16(32).u16(64);                 // window extent
    records.u32(7).u16(0x041B).u16(24).u16(48).u16(8).u16(16);  // rectangle
    records.u32(3).u16(0x0000);                                 // end
    return PlaceableWmf(64, 32, records, 0, 7);
}

QByteArray MakeWmfWithText() {
    Bytes records;
    records.u32(5).u16(0x020B).u16(0).u16(0);     // window origin
    records.u32(5).u16(0x020C).u16(48).u16(160);  // window extent
    // The font: height, width, escapement, orientation, weight, eight one-byte fields, face.
    records.u32(15).u16(0x02FB).u16(uint16_t(-28)).u16(0).u16(0).u16(0).u16(700);
    records.u16(0).u16(0).u16(0).u16(0);
    records.data.append("Arial\0", 6);
    records.u32(4).u16(0x012D).u16(0);  // select it
    records.u32(9).u16(0x0521).u16(6);  // text out: length, characters, y, x
    records.data.append("Orvexa", 6);
    records.u16(8).u16(6);
    records.u32(3).u16(0x0000);  // end
    return PlaceableWmf(160, 48, records, 1, 15);
}

QByteArray MakeEmf(int width, int height, int wholeRectangles) {
    Bytes body;
    body.u32(43).u32(24).i32(16).i32(8).i32(48).i32(24);  // rectangle
    for (int i = 0; i < wholeRectangles; ++i) body.u32(43).u32(24).i32(0).i32(0).i32(width - 1).i32(height - 1);
    body.u32(14).u32(20).u32(0).u32(16).u32(20);  // end
    Bytes header;
    const uint32_t total = uint32_t(88 + body.data.size());
    const uint32_t records = uint32_t(3 + wholeRectangles);
    // 96 pixels an inch: 2646 hundredths of a millimetre for every hundred pixels.
    const auto hundredthsOfMm = [](int pixels) { return int32_t(int64_t(pixels) * 2646 / 100); };
    header.u32(1).u32(88);
    header.i32(0).i32(0).i32(width - 1).i32(height - 1);                          // bounds, pixels
    header.i32(0).i32(0).i32(hundredthsOfMm(width)).i32(hundredthsOfMm(height));  // frame, 0.01 mm
    header.u32(0x464D4520).u32(0x10000).u32(total).u32(records).u16(1).u16(0);
    header.u32(0).u32(0).u32(0);
    header.i32(1024).i32(768).i32(271).i32(203);  // device pixels and millimetres
    return header.data + body.data;
}

QByteArray MakeJpeg(int width, int height, bool progressive, bool grayscale) {
    const QImage image = Gradient(width, height);
    imaging::JpegImage jpeg;
    jpeg.setQuality(90);
    jpeg.setProgressiveEncoding(progressive);
    jpeg.setGrayscale(grayscale);
    // The encoder takes blue-green-red rows; a negative height says they run top down.
    const QImage bgr = image.rgbSwapped();
    jpeg.encodeBgr(width, -height, bgr.constBits(), bgr.bytesPerLine());
    return QByteArray(reinterpret_cast<const char*>(jpeg.data().data()), qsizetype(jpeg.data().size()));
}

QByteArray MakeJpegOfEveryScan(int width, int height) {
    constexpr int kComponents = 3;
    constexpr int kTopBit = 10;  // the largest point transform libjpeg takes for 8-bit samples
    std::vector<jpeg_scan_info> scans;
    const auto add = [](int components, int ss, int se, int ah, int al) {
        jpeg_scan_info scan{};
        scan.comps_in_scan = components;
        for (int c = 0; c < components; ++c) scan.component_index[c] = c;
        scan.Ss = ss, scan.Se = se, scan.Ah = ah, scan.Al = al;
        return scan;
    };
    for (int bit = kTopBit; bit >= 0; --bit) scans.push_back(add(kComponents, 0, 0, bit == kTopBit ? 0 : bit + 1, bit));
    for (int c = 0; c < kComponents; ++c) {
        for (int k = 1; k < 64; ++k) {
            for (int bit = kTopBit; bit >= 0; --bit) {
                jpeg_scan_info scan = add(1, k, k, bit == kTopBit ? 0 : bit + 1, bit);
                scan.component_index[0] = c;
                scans.push_back(scan);
            }
        }
    }

    const QImage image = Gradient(width, height);
    jpeg_compress_struct cinfo{};
    jpeg_error_mgr errors{};
    cinfo.err = jpeg_std_error(&errors);
    jpeg_create_compress(&cinfo);
    unsigned char* out = nullptr;
    unsigned long outSize = 0;
    jpeg_mem_dest(&cinfo, &out, &outSize);
    cinfo.image_width = JDIMENSION(width);
    cinfo.image_height = JDIMENSION(height);
    cinfo.input_components = kComponents;
    cinfo.in_color_space = JCS_RGB;
    jpeg_set_defaults(&cinfo);
    cinfo.scan_info = scans.data();
    cinfo.num_scans = int(scans.size());
    jpeg_start_compress(&cinfo, TRUE);
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(image.constScanLine(int(cinfo.next_scanline)));
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    const QByteArray bytes(reinterpret_cast<const char*>(out), qsizetype(outSize));
    std::free(out);
    return bytes;
}

QByteArray MakeJpegClaiming(int width, int height) {
    QByteArray bytes = MakeJpeg(16, 16, false, false);
    // The frame header: marker, length (2), precision (1), height (2), width (2).
    const qsizetype sof = bytes.indexOf("\xFF\xC0");
    if (sof < 0) return {};
    bytes[sof + 5] = char(height >> 8), bytes[sof + 6] = char(height & 0xFF);
    bytes[sof + 7] = char(width >> 8), bytes[sof + 8] = char(width & 0xFF);
    return bytes;
}

QByteArray MakeQtImage(int width, int height, const char* format) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    Gradient(width, height).save(&buffer, format);
    return bytes;
}

}  // namespace fixture
