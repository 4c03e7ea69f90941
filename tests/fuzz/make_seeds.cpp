// SPDX-License-Identifier: GPL-2.0-or-later
// Writes the seed corpora of the fuzz targets from the fixture writers: make_seeds DIR makes
// DIR/video, DIR/picture, DIR/jpeg and DIR/metafile, in each target's input layout.
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <cstdio>

#include "support/fixture_pictures.h"
#include "support/fixture_video.h"

namespace {

bool Save(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

QByteArray ReadAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_seeds DIR\n");
        return 2;
    }
    const QDir root(QString::fromLocal8Bit(argv[1]));
    for (const char* target : {"video", "picture", "jpeg", "metafile"}) root.mkpath(target);
    bool ok = true;

    using fixture::Codec;
    for (Codec codec :
         {Codec::Rgb24, Codec::Pal8, Codec::Mjpeg, Codec::Mpeg4BFrames, Codec::Mpeg4Packed, Codec::Ffv1}) {
        fixture::VideoOptions options;
        options.codec = codec;
        options.width = 34;  // an odd block count, small enough for quick runs
        options.height = 18;
        options.frames = 4;
        if (codec == Codec::Rgb24) options.droppedAt = {2};
        const QString path = root.filePath(QString("video/%1.avi").arg(fixture::CodecName(codec)));
        ok = fixture::WriteVideo(path.toStdString(), options) && ok;
    }
    // The other containers, each with a hard case of its own.
    struct Container {
        const char* name;
        const char* muxer;
        Codec codec;
        void (*hardCase)(fixture::VideoOptions&);
    };
    const Container containers[] = {
        {"h264-bframes.mp4", "mp4", Codec::H264, [](fixture::VideoOptions&) {}},
        {"h264-cut.mp4", "mp4", Codec::H264, [](fixture::VideoOptions& o) { o.cutAt = 5; }},
        {"h264-turned.mov", "mov", Codec::H264, [](fixture::VideoOptions& o) { o.clockwise = 90; }},
        {"h264-opengop.mkv", "matroska", Codec::H264, [](fixture::VideoOptions& o) { o.openGop = true; }},
        {"vp9-variable.webm", "webm", Codec::Vp9, [](fixture::VideoOptions& o) { o.variableRate = true; }},
        {"h264-audiofirst.ts", "mpegts", Codec::H264, [](fixture::VideoOptions& o) { o.audioFirst = true; }},
    };
    for (const Container& c : containers) {
        fixture::VideoOptions options;
        options.codec = c.codec;
        options.container = c.muxer;
        options.width = 34;
        options.height = 18;
        options.frames = 14;  // past the second key frame
        c.hardCase(options);
        ok = fixture::WriteVideo(root.filePath(QString("video/") + c.name).toStdString(), options) && ok;
    }

    // Picture inputs: extension byte (bmp, ico, jpg, wmf, emf), reading-options byte, file.
    struct Picture {
        const char* name;
        char extension;
        QByteArray bytes;
    };
    const Picture pictures[] = {
        {"gradient.bmp", 0, fixture::MakeQtImage(21, 13, "BMP")},
        {"gradient.ico", 1, fixture::MakeQtImage(16, 16, "ICO")},
        {"baseline.jpg", 2, fixture::MakeJpeg(40, 24, false, false)},
        {"progressive.jpg", 2, fixture::MakeJpeg(40, 24, true, false)},
        {"grey.jpg", 2, fixture::MakeJpeg(24, 40, true, true)},
        {"drawing.wmf", 3, fixture::MakeWmf()},
        {"drawing.emf", 4, fixture::MakeEmf()},
    };
    for (const Picture& p : pictures) {
        for (char options : {char(0), char(0x2D)}) {
            const QString name = QString("%1-%2").arg(int(options)).arg(p.name);
            ok =
                Save(root.filePath("picture/" + name), QByteArray(1, p.extension) + QByteArray(1, options) + p.bytes) &&
                ok;
            if (p.extension == 2) ok = Save(root.filePath("jpeg/" + name), QByteArray(1, options) + p.bytes) && ok;
        }
        if (p.extension >= 3) {
            ok = Save(root.filePath(QString("metafile/%1").arg(p.name)),
                      QByteArray(1, char(p.extension == 4)) + p.bytes) &&
                 ok;
        }
    }
    // The MJPEG video's first chunk is a JPEG picture too.
    const QByteArray mjpeg = ReadAll(root.filePath("video/Mjpeg.avi"));
    const qsizetype soi = mjpeg.indexOf("\xFF\xD8\xFF");
    if (soi >= 0) ok = Save(root.filePath("jpeg/mjpeg-frame.jpg"), QByteArray(1, char(0)) + mjpeg.mid(soi, 4096)) && ok;
    if (!ok) std::fprintf(stderr, "make_seeds: some seeds could not be written\n");
    return ok ? 0 : 1;
}
