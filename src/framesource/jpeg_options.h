// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once
// The JPEG options as a value: what the options dialog or the batch command's flags set, handed
// to whoever encodes or decodes a JPEG (the writers, the ranking, the picture viewer).

#include <cstdint>

namespace imaging {
class Graphic;
}  // namespace imaging

namespace jpeg_options {

struct JpegOptions {
    // Writing.
    uint8_t quality = 100;
    bool grayscale = false;
    bool progressiveEncoding = false;
    // Reading; an index of the dialog's lists, 255 for a typed text that names no item.
    uint8_t pixelFormat = 0;
    uint8_t scale = 0;
    uint8_t performance = 0;
    bool progressiveDisplay = false;

    // Copies the options into a JPEG graphic; other graphics get none.
    void ApplyTo(imaging::Graphic* graphic) const;
};

}  // namespace jpeg_options
