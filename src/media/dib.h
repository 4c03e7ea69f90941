// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once
// The two header records of a packed device-independent bitmap and of a BMP file, laid out
// byte for byte as they stand in files: little-endian, no padding.

#include <bit>
#include <cstdint>
#include <cstring>

namespace dib {

#pragma pack(push, 1)
struct BitmapFileHeader {
    uint16_t bfType = 0;
    uint32_t bfSize = 0;
    uint16_t bfReserved1 = 0;
    uint16_t bfReserved2 = 0;
    uint32_t bfOffBits = 0;
};

struct BitmapInfoHeader {
    uint32_t biSize = 0;
    int32_t biWidth = 0;
    int32_t biHeight = 0;
    uint16_t biPlanes = 0;
    uint16_t biBitCount = 0;
    uint32_t biCompression = 0;
    uint32_t biSizeImage = 0;
    int32_t biXPelsPerMeter = 0;
    int32_t biYPelsPerMeter = 0;
    uint32_t biClrUsed = 0;
    uint32_t biClrImportant = 0;
};
#pragma pack(pop)

static_assert(sizeof(BitmapFileHeader) == 14, "BITMAPFILEHEADER is 14 bytes in files");
static_assert(sizeof(BitmapInfoHeader) == 40, "BITMAPINFOHEADER is 40 bytes in files");
static_assert(std::endian::native == std::endian::little, "DIB records are stored little-endian");

constexpr uint16_t kBitmapMagic = 0x4D42;  // "BM"
constexpr uint32_t kRgbCompression = 0;
constexpr int64_t kFileAndInfoHeaderBytes = sizeof(BitmapFileHeader) + sizeof(BitmapInfoHeader);

// Bytes per pixel row, rounded up to a multiple of 4. Computed in 64 bits so that no header
// value can overflow it; callers check the result against their own limits.
constexpr int64_t RowStride(int64_t width, int64_t bitsPerPixel) {
    const int64_t w = width < 0 ? -width : width;
    return ((w * bitsPerPixel + 31) / 32) * 4;
}

constexpr int64_t ImageSize(int64_t width, int64_t height, int64_t bitsPerPixel) {
    const int64_t h = height < 0 ? -height : height;
    return h * RowStride(width, bitsPerPixel);
}

// Size of the colour table that follows a 40-byte info header.
constexpr int64_t PaletteBytes(const BitmapInfoHeader& header) {
    if (header.biBitCount > 8) return 0;
    if (header.biClrUsed != 0) return 4 * int64_t(header.biClrUsed);
    return 4 * (int64_t(1) << header.biBitCount);
}

// The header of a bottom-up 24-bit picture of width x height pixels, as the video readers give.
inline BitmapInfoHeader BgrHeader(int32_t width, int32_t height) {
    BitmapInfoHeader header;
    header.biSize = sizeof header;
    header.biWidth = width;
    header.biHeight = height;
    header.biPlanes = 1;
    header.biBitCount = 24;
    header.biCompression = kRgbCompression;
    header.biSizeImage = uint32_t(ImageSize(width, height, 24));
    return header;
}

// The BMP file header of a picture whose pixels follow the headers and colour table.
inline BitmapFileHeader MakeFileHeader(int64_t paletteBytes, int64_t imageSize) {
    BitmapFileHeader header;
    header.bfType = kBitmapMagic;
    header.bfSize = uint32_t(kFileAndInfoHeaderBytes + paletteBytes + imageSize);
    header.bfOffBits = uint32_t(kFileAndInfoHeaderBytes + paletteBytes);
    return header;
}

}  // namespace dib
