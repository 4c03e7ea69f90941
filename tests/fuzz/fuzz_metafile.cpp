// SPDX-License-Identifier: GPL-2.0-or-later
// Converts the input to SVG in-process, as the metafile helper does: the first byte's low bit
// picks the enhanced (EMF) or the Windows (WMF) format. Finds what the helper's limits must
// contain; a finding here is a file for the program's regression suite, not a crash of it.
#include "metafile-helper/convert.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const QByteArray contents(reinterpret_cast<const char*>(data + 1), qsizetype(size - 1));
    if (data[0] & 1) {
        metafile::EmfToSvg(contents);
    } else {
        metafile::WmfToSvg(contents);
    }
    return 0;
}
