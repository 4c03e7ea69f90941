// SPDX-License-Identifier: GPL-2.0-or-later
// Loads the input as "Voir Image..." does: the first byte picks the file's extension, the
// second the JPEG reading options; metafiles go through the helper program.
#include <QGuiApplication>

#include "base/errors.h"
#include "imaging/metafile.h"
#include "imaging/picture_loader.h"
#include "tests/fuzz/fuzz_input.h"

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static QGuiApplication app(*argc, *argv);
    imaging::SetMetafileHelperPath(ORVEXA_METAFILE_HELPER_PATH);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    static const char* const kExtensions[] = {"bmp", "ico", "jpg", "wmf", "emf"};
    const QString path = fuzz::WriteInput(data + 2, size - 2, kExtensions[data[0] % 5]);
    try {
        imaging::Picture picture;
        if (imaging::LoadPictureFile(picture, path) != imaging::LoadResult::Loaded) return 0;
        if (auto* jpeg = dynamic_cast<imaging::JpegImage*>(picture.graphic()))
            fuzz::ApplyReadingOptions(*jpeg, data[1]);
        imaging::ToViewerImage(*picture.graphic());
    } catch (const errors::Error&) {
        // What the error report shows; the program goes on.
    }
    return 0;
}
