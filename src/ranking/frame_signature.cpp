// SPDX-License-Identifier: GPL-2.0-or-later
// A frame's signature: mean greys and colour differences over a coarse grid of its picture,
// from a sample of its pixels (a few thousand, whatever the frame size), so that taking it
// costs a small part of the frame's encoding.
#include <algorithm>

#include "ranking/scenes.h"

namespace scenes {
namespace {

// Samples per cell and direction, at most: 8 x 8 samples for each grey cell.
constexpr int kSamplesPerCell = 8;

struct CellSums {
    int64_t grey = 0;
    int64_t blue = 0;  // blue minus grey
    int64_t red = 0;   // red minus grey
    int64_t count = 0;
};

// The grey of a BGR pixel as BT.601 weighs it, in 1/1024 steps.
int GreyOf(const uint8_t* p) { return 117 * p[0] + 601 * p[1] + 306 * p[2]; }

uint8_t Mean(int64_t sum, int64_t count) { return uint8_t(std::clamp<int64_t>((sum + count / 2) / count, 0, 255)); }

}  // namespace

Signature SignatureOfBgr(int width, int height, const uint8_t* topRow, ptrdiff_t stride) {
    Signature signature{};
    if (width <= 0 || height <= 0 || !topRow) return signature;
    CellSums cells[kGreyCells][kGreyCells]{};
    // Sample positions: a grid of kGreyCells * kSamplesPerCell points each way, on pixel centres.
    const int across = kGreyCells * kSamplesPerCell;
    for (int sy = 0; sy < across; ++sy) {
        const int y = int((int64_t(2 * sy + 1) * height) / (2 * across));
        const uint8_t* row = topRow + ptrdiff_t(y) * stride;
        CellSums* line = cells[sy / kSamplesPerCell];
        for (int sx = 0; sx < across; ++sx) {
            const int x = int((int64_t(2 * sx + 1) * width) / (2 * across));
            const uint8_t* p = row + ptrdiff_t(x) * 3;
            const int grey = GreyOf(p);
            CellSums& cell = line[sx / kSamplesPerCell];
            cell.grey += grey;
            cell.blue += 1024 * p[0] - grey;
            cell.red += 1024 * p[2] - grey;
            ++cell.count;
        }
    }
    size_t out = 0;
    for (const auto& line : cells) {
        for (const CellSums& cell : line) signature[out++] = Mean(cell.grey, cell.count * 1024);
    }
    // Colour differences over 2 x 2 grey cells, halved into 0..255 around 128.
    const int merge = kGreyCells / kColourCells;
    for (int channel = 0; channel < 2; ++channel) {
        for (int cy = 0; cy < kColourCells; ++cy) {
            for (int cx = 0; cx < kColourCells; ++cx) {
                int64_t sum = 0;
                int64_t count = 0;
                for (int dy = 0; dy < merge; ++dy) {
                    for (int dx = 0; dx < merge; ++dx) {
                        const CellSums& cell = cells[cy * merge + dy][cx * merge + dx];
                        sum += channel == 0 ? cell.blue : cell.red;
                        count += cell.count;
                    }
                }
                signature[out++] = Mean(sum + 128 * 2048 * count, count * 2048);
            }
        }
    }
    return signature;
}

}  // namespace scenes
