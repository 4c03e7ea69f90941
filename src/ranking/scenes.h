// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once
// Scenes of a video, found from a small picture of each frame (its signature) taken while the
// frame is measured. The cuts depend only on the signatures in frame order, so they are the
// same whatever the number of workers and stretches that measured the frames, and whatever
// machines measured them.

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace scenes {

// 8x8 mean greys, then 4x4 means of the two colour differences (blue and red against grey,
// halved and centred on 128), of the frame's picture.
constexpr int kGreyCells = 8;
constexpr int kColourCells = 4;
constexpr size_t kSignatureBytes = kGreyCells * kGreyCells + 2 * kColourCells * kColourCells;
using Signature = std::array<uint8_t, kSignatureBytes>;

// The signature of 24-bit BGR rows; `stride` is negative for rows stored bottom-up, with
// `topRow` the top row's first byte either way.
Signature SignatureOfBgr(int width, int height, const uint8_t* topRow, ptrdiff_t stride);

// Where one scene ends and the next begins. A hard cut has an empty transition (its first and
// end are `frame`); a dissolve or a fade has the frames it blends, `frame` among them.
struct Cut {
    int32_t frame = 0;            // the first frame of the new scene
    int32_t transitionFirst = 0;  // the transition's frames, end excluded
    int32_t transitionEnd = 0;
    bool operator==(const Cut&) const = default;
};

struct SceneList {
    std::vector<Cut> cuts;  // ascending, none at frame 0

    int Count() const { return int(cuts.size()) + 1; }
    // The scene of a frame, from 1.
    int SceneOf(int32_t frame) const;
    // The frame lies in a dissolve or a fade rather than in a shot of its own.
    bool InTransition(int32_t frame) const;
};

// The scenes of frames 0 to signatures.size() - 1. `measured[i]` false: frame i could not be
// decoded and takes no part (it belongs to the scene around it). `frameRate` (frames per
// second) scales the lengths of transitions looked for and of the shortest scene.
SceneList FindScenes(const std::vector<Signature>& signatures, const std::vector<bool>& measured, double frameRate);

}  // namespace scenes
