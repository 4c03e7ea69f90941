// SPDX-License-Identifier: GPL-2.0-or-later
#include "imaging/picture_loader.h"

#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QPainter>

#include "base/errors.h"
#include "imaging/jpeg_image.h"
#include "imaging/metafile.h"

namespace imaging {
namespace {

std::unique_ptr<Graphic> LoadWithQt(const QString& path, const char* format) {
    QImageReader reader(path, format);
    reader.setDecideFormatFromContent(false);
    QImage image = reader.read();
    if (image.isNull()) return nullptr;
    const PixelLayout layout = image.depth() == 1    ? PixelLayout::Bits1
                               : image.depth() == 8  ? PixelLayout::Bits8
                               : image.depth() == 24 ? PixelLayout::Bits24
                                                     : PixelLayout::Bits32;
    return std::make_unique<Bitmap>(std::move(image), layout);
}

std::unique_ptr<Graphic> LoadJpeg(const QString& path) {
    auto jpeg = std::make_unique<JpegImage>();
    jpeg->loadFromFile(path);
    try {
        // Reading the header tells a JPEG from other data renamed .jpg.
        if (jpeg->width() <= 0 || jpeg->height() <= 0) return nullptr;
    } catch (const errors::Error&) {
        return nullptr;
    }
    return jpeg;
}

}  // namespace

LoadResult LoadPictureFile(Picture& picture, const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        throw errors::Error(QStringLiteral("Impossible d'ouvrir le fichier %1").arg(path));
    }
    file.close();

    const QString extension = QFileInfo(path).suffix().toLower();
    std::unique_ptr<Graphic> graphic;
    if (extension == "bmp") {
        graphic = LoadWithQt(path, "bmp");
    } else if (extension == "ico") {
        graphic = LoadWithQt(path, "ico");
    } else if (extension == "jpg" || extension == "jpeg") {
        graphic = LoadJpeg(path);
    } else if (extension == "wmf" || extension == "emf") {
        graphic = LoadMetafile(path);
    }
    picture.setGraphic(std::move(graphic));
    return picture.graphic() ? LoadResult::Loaded : LoadResult::NotAPicture;
}

QImage ToViewerImage(const Graphic& graphic) {
    const QImage drawn = graphic.toImage();
    QImage converted(drawn.size(), QImage::Format_RGB888);
    converted.fill(Qt::white);
    QPainter painter(&converted);
    painter.drawImage(QRect(QPoint(0, 0), drawn.size()), drawn);
    painter.end();
    return converted;
}

}  // namespace imaging
