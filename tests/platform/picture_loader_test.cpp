// Picture files loaded by extension: readable pictures of each kind, and files that are not.

#include <QDataStream>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "platform/errors.h"
#include "platform/jpeg_image.h"
#include "platform/picture_loader.h"

namespace {

// A little-endian byte writer for hand-made metafiles.
class Bytes {
public:
    Bytes& u16(uint16_t v) { return put(v, 2); }
    Bytes& u32(uint32_t v) { return put(v, 4); }
    Bytes& i32(int32_t v) { return put(uint32_t(v), 4); }
    QByteArray data;

private:
    Bytes& put(uint32_t v, int n) {
        for (int i = 0; i < n; ++i) data.append(char((v >> (8 * i)) & 0xFF));
        return *this;
    }
};

// A placeable Windows metafile of the given size in units at 96 units per inch, around its
// records; `objects` and `largestRecord` (in 16-bit words) go into its header.
QByteArray PlaceableWmf(uint16_t width, uint16_t height, const Bytes& records, uint16_t objects,
                        uint32_t largestRecord) {
    Bytes placeable;
    placeable.u32(0x9AC6CDD7).u16(0).u16(0).u16(0).u16(width).u16(height).u16(96).u32(0);
    uint16_t checksum = 0;
    for (int i = 0; i < 20; i += 2) {
        checksum ^= uint16_t(uint8_t(placeable.data[i]) | (uint8_t(placeable.data[i + 1]) << 8));
    }
    placeable.u16(checksum);
    Bytes header;
    const uint32_t words = uint32_t((18 + records.data.size()) / 2);
    header.u16(1).u16(9).u16(0x0300).u32(words).u16(objects).u32(largestRecord).u16(0);
    return placeable.data + header.data + records.data;
}

// 64 x 32 units holding one rectangle.
QByteArray MakeWmf() {
    Bytes records;
    records.u32(5).u16(0x020B).u16(0).u16(0);                   // window origin
    records.u32(5).u16(0x020C).u16(32).u16(64);                 // window extent
    records.u32(7).u16(0x041B).u16(24).u16(48).u16(8).u16(16);  // rectangle
    records.u32(3).u16(0x0000);                                 // end
    return PlaceableWmf(64, 32, records, 0, 7);
}

// 160 x 48 units holding the word "Orvexa" in a bold 28-unit font, black on white.
QByteArray MakeWmfWithText() {
    Bytes records;
    records.u32(5).u16(0x020B).u16(0).u16(0);    // window origin
    records.u32(5).u16(0x020C).u16(48).u16(160);  // window extent
    // The font: height, width, escapement, orientation, weight, eight one-byte fields, face.
    records.u32(15).u16(0x02FB).u16(uint16_t(-28)).u16(0).u16(0).u16(0).u16(700);
    records.u16(0).u16(0).u16(0).u16(0);
    records.data.append("Arial\0", 6);
    records.u32(4).u16(0x012D).u16(0);  // select it
    records.u32(9).u16(0x0521).u16(6);  // text out: length, characters, y, x
    records.data.append("Orvexa", 6);
    records.u16(8).u16(6);
    records.u32(3).u16(0x0000);  // end
    return PlaceableWmf(160, 48, records, 1, 15);
}

// An enhanced metafile of 64 x 32 pixels holding one rectangle.
QByteArray MakeEmf() {
    Bytes body;
    body.u32(43).u32(24).i32(16).i32(8).i32(48).i32(24);  // rectangle
    body.u32(14).u32(20).u32(0).u32(16).u32(20);          // end
    Bytes header;
    const uint32_t total = uint32_t(88 + body.data.size());
    header.u32(1).u32(88);
    header.i32(0).i32(0).i32(63).i32(31);         // bounds, pixels
    header.i32(0).i32(0).i32(1693).i32(846);      // frame, 0.01 mm
    header.u32(0x464D4520).u32(0x10000).u32(total).u32(3).u16(1).u16(0);
    header.u32(0).u32(0).u32(0);
    header.i32(1024).i32(768).i32(271).i32(203);  // device pixels and millimetres
    return header.data + body.data;
}

class PictureLoader : public ::testing::Test {
protected:
    QString Write(const QString& name, const QByteArray& bytes) {
        QFile file(dir.filePath(name));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
        return file.fileName();
    }
    QString WriteImage(const QString& name, const char* format) {
        QImage image(40, 30, QImage::Format_RGB32);
        image.fill(Qt::red);
        const QString path = dir.filePath(name);
        EXPECT_TRUE(image.save(path, format));
        return path;
    }

    QTemporaryDir dir;
    gfx::Picture picture;
};

}  // namespace

TEST_F(PictureLoader, ReadsEachKindByItsExtension) {
    gfx::JpegImage jpeg;
    QImage rgb(48, 36, QImage::Format_RGB888);
    rgb.fill(Qt::blue);
    jpeg.encodeBgr(48, 36, rgb.constBits(), rgb.bytesPerLine());
    jpeg.saveToFile(dir.filePath("photo.JPEG"));

    struct {
        QString path;
        QSize size;
        bool isJpeg;
    } const cases[] = {
        {WriteImage("a.bmp", "BMP"), {40, 30}, false},
        {WriteImage("b.ICO", "ICO"), {40, 30}, false},
        {dir.filePath("photo.JPEG"), {48, 36}, true},
        {Write("drawing.wmf", MakeWmf()), {64, 32}, false},
        {Write("drawing.emf", MakeEmf()), {64, 32}, false},
    };
    for (const auto& c : cases) {
        ASSERT_EQ(gfx::LoadPictureFile(picture, c.path), gfx::LoadResult::Loaded) << c.path.toStdString();
        ASSERT_NE(picture.graphic(), nullptr);
        // Enhanced metafiles give their size from inclusive bounds, so one pixel may go either way.
        EXPECT_NEAR(picture.graphic()->width(), c.size.width(), 1) << c.path.toStdString();
        EXPECT_NEAR(picture.graphic()->height(), c.size.height(), 1) << c.path.toStdString();
        EXPECT_EQ(dynamic_cast<gfx::JpegImage*>(picture.graphic()) != nullptr, c.isJpeg);
        EXPECT_FALSE(picture.graphic()->toImage().isNull());
    }
}

TEST_F(PictureLoader, FilesThatAreNotPicturesOfTheirKindLeaveThePictureEmpty) {
    const QByteArray text = "ceci n'est pas une image\n";
    for (const char* name : {"notes.bmp", "notes.jpg", "notes.ico", "notes.wmf", "notes.emf", "notes.txt", "notes"}) {
        picture.bitmap();  // something to be emptied
        EXPECT_EQ(gfx::LoadPictureFile(picture, Write(name, text)), gfx::LoadResult::NotAPicture) << name;
        EXPECT_EQ(picture.graphic(), nullptr);
    }
    EXPECT_THROW(gfx::LoadPictureFile(picture, dir.filePath("missing.bmp")), errors::Error);
}

// libwmf draws text with fonts of its own; without them it opens no metafile at all.
TEST_F(PictureLoader, DrawsTheTextOfAMetafile) {
    ASSERT_EQ(gfx::LoadPictureFile(picture, Write("text.wmf", MakeWmfWithText())), gfx::LoadResult::Loaded);
    ASSERT_NE(picture.graphic(), nullptr);
    const QImage image = picture.graphic()->toImage();
    EXPECT_EQ(image.size(), QSize(160, 48));
    int ink = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) ink += qGray(image.pixel(x, y)) < 128;
    }
    // Six bold letters 28 units high cover a few hundred pixels; nothing else is drawn.
    EXPECT_GT(ink, 150);
}
