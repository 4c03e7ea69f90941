// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once
// What the picture loader and the metafile helper program agree on. The helper is started as
//   orvexa-metafile-helper svg wmf|emf FILE   writes the metafile's SVG to stdout
//   orvexa-metafile-helper render              reads SVG on stdin, writes the picture to stdout
// and exits with status 0 only when it wrote a complete result. A picture is the width and the
// height (32 bits each, this machine's byte order) followed by width x height pixels of 32 bits
// (0xFFRRGGBB), rows top first.

#include <cstdint>

namespace metafile {

constexpr const char* kHelperName = "orvexa-metafile-helper";
// Metafiles are drawn at most 8192 pixels on a side (256 MB of pixels).
constexpr int kMaxSide = 8192;
// Larger metafile files and SVG texts are not drawn.
constexpr int64_t kMaxFileBytes = int64_t(64) << 20;
constexpr int64_t kMaxSvgBytes = int64_t(64) << 20;

}  // namespace metafile
