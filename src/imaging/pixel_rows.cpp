// SPDX-License-Identifier: GPL-2.0-or-later
#include "imaging/pixel_rows.h"

#include <QColor>
#include <cstring>
#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace pixel_rows {

namespace {

// One row of 24-bit BGR pixels to 32-bit xRGB, four pixels (three words) at a time.
void ConvertRowPortable(const uint8_t* source, uint32_t* destination, int width) {
    constexpr uint32_t opaque = 0xFF000000u;
    int x = 0;
    for (; x + 4 <= width; x += 4, source += 12) {
        uint32_t a, b, c;
        std::memcpy(&a, source, 4);
        std::memcpy(&b, source + 4, 4);
        std::memcpy(&c, source + 8, 4);
        destination[x] = opaque | (a & 0xFFFFFFu);
        destination[x + 1] = opaque | (a >> 24) | ((b & 0xFFFFu) << 8);
        destination[x + 2] = opaque | (b >> 16) | ((c & 0xFFu) << 16);
        destination[x + 3] = opaque | (c >> 8);
    }
    for (; x < width; ++x, source += 3) destination[x] = qRgb(source[2], source[1], source[0]);
}

#if defined(__x86_64__)
// The same with one byte shuffle per four pixels, on processors that have it (nearly all).
__attribute__((target("ssse3"))) void ConvertRowShuffle(const uint8_t* source, uint32_t* destination, int width) {
    const __m128i spread = _mm_setr_epi8(0, 1, 2, -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11, -1);
    const __m128i opaque = _mm_set1_epi32(int(0xFF000000u));
    int x = 0;
    // Each load reads 16 bytes for 12 used, so the last group is left to the portable loop.
    for (; x + 6 <= width; x += 4, source += 12) {
        const __m128i bgr = _mm_loadu_si128(reinterpret_cast<const __m128i*>(source));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(destination + x),
                         _mm_or_si128(_mm_shuffle_epi8(bgr, spread), opaque));
    }
    ConvertRowPortable(source, destination + x, width - x);
}
#endif

}  // namespace

void BgrToXrgb(const uint8_t* source, uint32_t* destination, int width) {
#if defined(__x86_64__)
    static const bool hasShuffle = __builtin_cpu_supports("ssse3");
    if (hasShuffle) return ConvertRowShuffle(source, destination, width);
#endif
    ConvertRowPortable(source, destination, width);
}

}  // namespace pixel_rows
