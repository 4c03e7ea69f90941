// Writes the seed corpora of the fuzz targets from the fixture writers: make_seeds DIR makes
// DIR/avi, DIR/picture, DIR/jpeg and DIR/metafile, in each target's input layout.
#include <QApplication>
#include <QDir>
#include <QFile>
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
    QApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_seeds DIR\n");
        return 2;
    }
    const QDir root(QString::fromLocal8Bit(argv[1]));
    for (const char* target : {"avi", "picture", "jpeg", "metafile"}) root.mkpath(target);
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
        const QString path = root.filePath(QString("avi/%1.avi").arg(fixture::CodecName(codec)));
        ok = fixture::WriteVideo(path.toStdString(), options) && ok;
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
    const QByteArray mjpeg = ReadAll(root.filePath("avi/Mjpeg.avi"));
    const qsizetype soi = mjpeg.indexOf("\xFF\xD8\xFF");
    if (soi >= 0) ok = Save(root.filePath("jpeg/mjpeg-frame.jpg"), QByteArray(1, char(0)) + mjpeg.mid(soi, 4096)) && ok;
    if (!ok) std::fprintf(stderr, "make_seeds: some seeds could not be written\n");
    return ok ? 0 : 1;
}
