// SPDX-License-Identifier: GPL-2.0-or-later
// The metafile helper: converts one metafile to SVG, or draws an SVG text into a picture, in a
// process of its own, so that a metafile that crashes, loops or eats memory in the libraries
// costs the program no more than a picture it cannot show. The program starts it with its
// limits already set (see imaging/metafile.cpp); nothing is written but stdout.

#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>
#include <cstdio>
#include <cstring>

#include "imaging/metafile_helper_protocol.h"
#include "metafile-helper/convert.h"

namespace {

bool WriteOut(const void* data, size_t bytes) { return std::fwrite(data, 1, bytes, stdout) == bytes; }

int Svg(const char* kind, const char* path) {
    QFile file(QString::fromLocal8Bit(path));
    if (!file.open(QIODevice::ReadOnly) || file.size() > metafile::kMaxFileBytes) return 1;
    const QByteArray contents = file.readAll();
    const bool enhanced = std::strcmp(kind, "emf") == 0;
    if (!enhanced && std::strcmp(kind, "wmf") != 0) return 2;
    const QByteArray svg = enhanced ? metafile::EmfToSvg(contents) : metafile::WmfToSvg(contents);
    if (svg.isEmpty()) return 1;
    return WriteOut(svg.constData(), size_t(svg.size())) && std::fflush(stdout) == 0 ? 0 : 1;
}

int Render(int argc, char** argv) {
    QFile in;
    if (!in.open(stdin, QIODevice::ReadOnly)) return 1;
    const QByteArray svg = in.read(metafile::kMaxSvgBytes + 1);
    if (svg.isEmpty() || svg.size() > metafile::kMaxSvgBytes) return 1;

    // Text needs the font machinery of a graphical application; no display is used.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QSvgRenderer renderer(svg);
    if (!renderer.isValid()) return 1;
    const QSize size = renderer.defaultSize();
    if (size.isEmpty() || size.width() > metafile::kMaxSide || size.height() > metafile::kMaxSide) return 1;
    QImage image(size, QImage::Format_RGB32);
    if (image.isNull()) return 1;
    image.fill(Qt::white);
    QPainter painter(&image);
    renderer.render(&painter);
    painter.end();

    const uint32_t header[2] = {uint32_t(size.width()), uint32_t(size.height())};
    bool ok = WriteOut(header, sizeof header);
    for (int y = 0; ok && y < image.height(); ++y) ok = WriteOut(image.constScanLine(y), size_t(image.width()) * 4);
    return ok && std::fflush(stdout) == 0 ? 0 : 1;
}

int Usage() {
    std::fprintf(stderr, "usage: %s svg wmf|emf FILE\n       %s render < SVG\n", metafile::kHelperName,
                 metafile::kHelperName);
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 4 && std::strcmp(argv[1], "svg") == 0) return Svg(argv[2], argv[3]);
    if (argc == 2 && std::strcmp(argv[1], "render") == 0) return Render(argc, argv);
    return Usage();
}
