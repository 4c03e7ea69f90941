// SPDX-License-Identifier: GPL-2.0-or-later
// Picture files loaded by extension: readable pictures of each kind, and files that are not.

#include <gtest/gtest.h>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>

#include "base/errors.h"
#include "imaging/jpeg_image.h"
#include "imaging/metafile.h"
#include "imaging/picture_loader.h"
#include "support/fixture_pictures.h"

namespace {

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
    imaging::Picture picture;
};

}  // namespace

TEST_F(PictureLoader, ReadsEachKindByItsExtension) {
    imaging::JpegImage jpeg;
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
        {Write("drawing.wmf", fixture::MakeWmf()), {64, 32}, false},
        {Write("drawing.emf", fixture::MakeEmf()), {64, 32}, false},
    };
    for (const auto& c : cases) {
        ASSERT_EQ(imaging::LoadPictureFile(picture, c.path), imaging::LoadResult::Loaded) << c.path.toStdString();
        ASSERT_NE(picture.graphic(), nullptr);
        // Enhanced metafiles give their size from inclusive bounds, so one pixel may go either way.
        EXPECT_NEAR(picture.graphic()->width(), c.size.width(), 1) << c.path.toStdString();
        EXPECT_NEAR(picture.graphic()->height(), c.size.height(), 1) << c.path.toStdString();
        EXPECT_EQ(dynamic_cast<imaging::JpegImage*>(picture.graphic()) != nullptr, c.isJpeg);
        EXPECT_FALSE(picture.graphic()->toImage().isNull());
    }
}

TEST_F(PictureLoader, FilesThatAreNotPicturesOfTheirKindLeaveThePictureEmpty) {
    const QByteArray text = "ceci n'est pas une image\n";
    for (const char* name : {"notes.bmp", "notes.jpg", "notes.ico", "notes.wmf", "notes.emf", "notes.txt", "notes"}) {
        picture.bitmap();  // something to be emptied
        EXPECT_EQ(imaging::LoadPictureFile(picture, Write(name, text)), imaging::LoadResult::NotAPicture) << name;
        EXPECT_EQ(picture.graphic(), nullptr);
    }
    EXPECT_THROW(imaging::LoadPictureFile(picture, dir.filePath("missing.bmp")), errors::Error);
}

// The metafile libraries run in the helper program: whatever it does, the program gets a
// picture or none within the time limit, and goes on.
TEST_F(PictureLoader, AMetafileHelperThatMisbehavesGivesNoPictureInTime) {
    const QString real = ORVEXA_METAFILE_HELPER_PATH;
    struct {
        const char* behaviour;
        QString script;
        bool loads;
    } const cases[] = {
        {"crashes", "kill -SEGV $$", false},
        {"hangs", "exec sleep 60", false},
        {"fails", "exit 3", false},
        {"answers nonsense", "echo nonsense", false},
        // 65535 x 65535 pixels announced, none sent.
        {"claims a huge picture", "printf '\\377\\377\\000\\000\\377\\377\\000\\000'", false},
        // The real helper, but only when it runs without write access and under the memory limit.
        {"is limited",
         QString("[ \"$(ulimit -f)\" = 0 ] && [ \"$(ulimit -v)\" -le 1048576 ] || exit 1\nexec '%1' \"$@\"").arg(real),
         true},
    };
    const QString drawing = Write("drawing.wmf", fixture::MakeWmf());
    for (const auto& c : cases) {
        const QString helper = dir.filePath("helper.sh");
        QFile script(helper);
        ASSERT_TRUE(script.open(QIODevice::WriteOnly | QIODevice::Truncate));
        script.write(("#!/bin/sh\n" + c.script + "\n").toUtf8());
        script.close();
        script.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        imaging::SetMetafileHelperPath(helper);
        QElapsedTimer timer;
        timer.start();
        const imaging::LoadResult result = imaging::LoadPictureFile(picture, drawing);
        EXPECT_LT(timer.elapsed(), 5000) << c.behaviour;
        EXPECT_EQ(result == imaging::LoadResult::Loaded, c.loads) << c.behaviour;
    }
    imaging::SetMetafileHelperPath(real);
    EXPECT_EQ(imaging::LoadPictureFile(picture, drawing), imaging::LoadResult::Loaded);
}

// libwmf draws text with fonts of its own; without them it opens no metafile at all.
TEST_F(PictureLoader, DrawsTheTextOfAMetafile) {
    ASSERT_EQ(imaging::LoadPictureFile(picture, Write("text.wmf", fixture::MakeWmfWithText())),
              imaging::LoadResult::Loaded);
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
