// SPDX-License-Identifier: GPL-2.0-or-later
// Decodes the input as a JPEG picture with the reading options of its first byte.
#include "base/errors.h"
#include "tests/fuzz/fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    imaging::JpegImage jpeg;
    jpeg.loadFromMemory(std::vector<uint8_t>(data + 1, data + size));
    fuzz::ApplyReadingOptions(jpeg, data[0]);
    int passes = 0;
    jpeg.setDisplayCallback([&passes](const QImage&, int, bool) { ++passes; });
    try {
        if (jpeg.width() > 0) jpeg.decode();
    } catch (const errors::Error&) {
        // "Erreur JPEG #n": the program reports it and goes on.
    }
    return 0;
}
