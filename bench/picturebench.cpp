// SPDX-License-Identifier: GPL-2.0-or-later
// Loads a picture file as "Voir Image..." does (by extension, with the JPEG reading options
// given as flags, drawn into the viewer's 24-bit bitmap) and prints its size and the time it
// took (on stderr), or "Pas d'Image" with exit status 1; a decoding error prints the error's
// message, as the program's error report would show it, also with status 1. What framebench is to videos, this is to
// pictures.
#include <QApplication>
#include <QElapsedTimer>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "base/errors.h"
#include "imaging/jpeg_image.h"
#include "imaging/metafile.h"
#include "imaging/picture_loader.h"

namespace {

int Usage() {
    std::fprintf(stderr,
                 "usage: picturebench FILE [--scale 0|1|2|3] [--8bits] [--grayscale] [--speed]\n"
                 "                         [--progressive-display]\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (argc < 2) return Usage();
    imaging::SetMetafileHelperPath(ORVEXA_METAFILE_HELPER_PATH);

    imaging::JpegImage options;  // holds the reading options until there is a picture to apply them to
    for (int i = 2; i < argc; ++i) {
        const std::string flag = argv[i];
        if (flag == "--scale" && i + 1 < argc) {
            options.setScale(uint8_t(std::atoi(argv[++i])));
        } else if (flag == "--8bits") {
            options.setPixelFormat(imaging::JpegImage::Format8Bits);
        } else if (flag == "--grayscale") {
            options.setGrayscale(true);
        } else if (flag == "--speed") {
            options.setPerformance(imaging::JpegImage::BestSpeed);
        } else if (flag == "--progressive-display") {
            options.setProgressiveDisplay(true);
        } else {
            return Usage();
        }
    }

    QElapsedTimer timer;
    timer.start();
    try {
        imaging::Picture picture;
        if (imaging::LoadPictureFile(picture, QString::fromLocal8Bit(argv[1])) != imaging::LoadResult::Loaded) {
            std::printf("Pas d'Image\n");
            std::fprintf(stderr, "%lld ms\n", static_cast<long long>(timer.elapsed()));
            return 1;
        }
        if (auto* jpeg = dynamic_cast<imaging::JpegImage*>(picture.graphic())) {
            jpeg->setScale(options.scale());
            jpeg->setPixelFormat(options.pixelFormat());
            jpeg->setGrayscale(options.grayscale());
            jpeg->setPerformance(options.performance());
            jpeg->setProgressiveDisplay(options.progressiveDisplay());
        }
        const QImage shown = imaging::ToViewerImage(*picture.graphic());
        std::printf("%d x %d\n", shown.width(), shown.height());
        std::fprintf(stderr, "%lld ms\n", static_cast<long long>(timer.elapsed()));
        return 0;
    } catch (const errors::Error& error) {
        std::printf("%s\n", error.what());
        std::fprintf(stderr, "%lld ms\n", static_cast<long long>(timer.elapsed()));
        return 1;
    }
}
