#pragma once
// Program-wide values shared by the windows: the long-loop flag, the list state, the zoom shown
// by the information windows and the picture that the JPEG options act on.

#include <cstdint>

namespace gfx {
class Picture;
}

namespace program {

// Keeps the long loops (slideshow, list build, ranking, marking, batch) running.
inline bool RunFlag = false;
// The frame list holds the rows of the open video.
inline bool ListBuilt = false;
// Display-only zoom, in sixteenths.
inline int32_t ZoomLevel = 16;
// The viewer picture that "Appliquer..." of the JPEG options acts on.
inline gfx::Picture* JpegOptionsTarget = nullptr;

}  // namespace program
