// SPDX-License-Identifier: GPL-2.0-or-later
// Opens the input as a video (AVI or another container: the content decides) and fetches its
// first, last and one more frame, as the 24-bit picture that extraction uses, as the viewer's
// screen picture and as the ranking's decoded frame, converted apart.
#include <QGuiApplication>
#include <cstdlib>

#include "framesource/frame_source.h"
#include "imaging/bitmap.h"
#include "tests/fuzz/fuzz_input.h"

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static QGuiApplication app(*argc, *argv);
    // Every input's index is saved as an open saves it, in a folder of this run's own rather
    // than the user's cache, removed when the run ends.
    static const QString indexes =
        QDir::temp().filePath(QString("orvexa-fuzz-%1-index").arg(QCoreApplication::applicationPid()));
    qputenv("ORVEXA_INDEX_DIR", QFile::encodeName(indexes));
    std::atexit([] { QDir(indexes).removeRecursively(); });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QString path = fuzz::WriteInput(data, size, "video");
    FrameSource frameSource;
    if (!frameSource.OpenVideo(path)) return 0;
    const int32_t count = frameSource.FrameCount();
    uint32_t pick = 0;
    for (size_t i = 0; i < size && i < 64; ++i) pick = pick * 31 + data[i];
    imaging::Bitmap bitmap;
    FrameSource::PreparedImage image;
    for (int32_t position : {0, count - 1, count > 0 ? int32_t(pick % uint32_t(count)) : 0}) {
        frameSource.FetchFrame(position);
        frameSource.LoadFrameBitmap(position, bitmap);
        frameSource.PrepareImage(position, image);
    }
    frameSource.CloseVideo();
    return 0;
}
