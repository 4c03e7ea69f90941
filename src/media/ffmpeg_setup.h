// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once
// The process-wide settings of the FFmpeg libraries, made before any file is opened through
// them: no log output, and no single allocation larger than any real video needs, so that a
// size field of a hostile file cannot make a demuxer claim and clear gigabytes of memory.

#include <cstddef>

namespace ffmpeg {

// Room for the largest block a real file needs: an uncompressed 16384 x 8192 frame at 32 bits.
constexpr size_t kLargestAllocation = size_t(512) << 20;

// Safe to call any number of times, from any thread.
void SetUpLibraries();

}  // namespace ffmpeg
