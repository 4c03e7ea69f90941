// SPDX-License-Identifier: GPL-2.0-or-later
// The real program in a real X server, driven with real input events.

#include <gtest/gtest.h>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <algorithm>
#include <cstring>

#include "framesource/frame_source.h"
#include "imaging/jpeg_image.h"
#include "media/dib.h"
#include "support/fixture_video.h"
#include "x_session.h"

namespace {

// The main window's controls lie below its menu bar.
constexpr int kMenuBarHeight = 20;

// The program built with these tests, unless ORVEXA_BINARY names another.
QString ProgramPath() { return qEnvironmentVariable("ORVEXA_BINARY", QStringLiteral(ORVEXA_BINARY_PATH)); }

class RealProgram : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(session.start()) << session.error().toStdString();
        ASSERT_TRUE(work.isValid());
        ASSERT_TRUE(session.launch(ProgramPath(), work.path()));
        mainWindow = session.waitForWindow("^Orvexa : préVersion : 0\\.30$");
        ASSERT_NE(mainWindow, 0u) << "the main window did not appear";
        mainOrigin = session.geometry(mainWindow).topLeft();
    }

    // A point of the main window's panel, in screen coordinates.
    QPoint Panel(int x, int y) const { return mainOrigin + QPoint(x, kMenuBarHeight + y); }
    void ClickPanel(int x, int y) {
        const QPoint p = Panel(x, y);
        session.click(p.x(), p.y());
    }

    XSession session;
    QTemporaryDir work;
    qulonglong mainWindow = 0;
    QPoint mainOrigin;
};

struct Bmp {
    dib::BitmapInfoHeader header;
    std::vector<uint8_t> rows;
};

bool ReadBmp(const QString& path, Bmp& bmp) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return false;
    const QByteArray bytes = file.readAll();
    if (bytes.size() < 54) return false;
    std::memcpy(&bmp.header, bytes.constData() + 14, sizeof bmp.header);
    bmp.rows.assign(bytes.begin() + 54, bytes.end());
    return true;
}

size_t JpegSize(const Bmp& bmp) {
    imaging::JpegImage jpeg;
    jpeg.encodeBgr(bmp.header.biWidth, bmp.header.biHeight, bmp.rows.data(),
                   ptrdiff_t(dib::RowStride(bmp.header.biWidth, 24)));
    return jpeg.data().size();
}

}  // namespace

TEST_F(RealProgram, StartsWithItsMainWindowAndEndsWithQuitter) {
    EXPECT_TRUE(session.programRunning());
    const QRect frame = session.geometry(mainWindow);
    EXPECT_GE(frame.width(), 329);
    // "Fichier" then "Quitter" from the menu, with the keyboard.
    const QPoint fichier = mainOrigin + QPoint(20, kMenuBarHeight / 2);
    session.click(fichier.x(), fichier.y());
    session.key("Up");
    session.key("Return");
    EXPECT_EQ(session.waitForExit(10000), 0);
}

// The typical road: open a video through the real file dialog, draw a rectangle on the
// viewer, limit output to it, rank the frames, mark the best and extract them in one batch.
TEST_F(RealProgram, RanksAndExtractsTheBestCroppedFrames) {
    const QString video = work.filePath("road.avi");
    fixture::VideoOptions options;
    options.codec = fixture::Codec::Mpeg4BFrames;
    options.width = 320;
    options.height = 240;
    options.frames = 30;
    ASSERT_TRUE(fixture::WriteVideo(video.toStdString(), options));
    const QString output = work.filePath("out");
    ASSERT_TRUE(QDir().mkpath(output));

    ClickPanel(16 + 28, 8 + 11);  // "Ouvrir..."
    ASSERT_NE(session.waitForWindow("^Ouvrir$"), 0u) << "no file dialog";
    session.type(video);
    session.key("Return");
    const qulonglong viewer = session.waitForWindow("^Vue Avi: 0 - Ligne: 0$");
    ASSERT_NE(viewer, 0u) << "the viewer did not show frame 0";
    // The arrow keys step through the frames.
    session.key("Right");
    session.key("Right");
    EXPECT_NE(session.waitForWindow("^Vue Avi: 2 - Ligne: 2$", 5000), 0u);
    session.key("Left");
    EXPECT_NE(session.waitForWindow("^Vue Avi: 1 - Ligne: 1$", 5000), 0u);

    // The picture starts 2 pixels inside the viewer's client area.
    const QPoint picture = session.geometry(viewer).topLeft() + QPoint(2, 2);
    session.drag(picture.x() + 40, picture.y() + 30, picture.x() + 139, picture.y() + 89);  // 100 x 60
    session.settle(1000);  // the release hands the rectangle over before the box is ticked

    session.shot("1-dragged");
    ClickPanel(16 + 8, 432 + 8);  // "Limiter au Cadre"

    ClickPanel(171 + 28, 8 + 11);  // "Liste..."
    const qulonglong list = session.waitForWindow("^FormListe$");
    ASSERT_NE(list, 0u);
    session.settle(1500);  // the table builds row by row
    session.shot("2-list");
    const QPoint listOrigin = session.geometry(list).topLeft();
    session.click(listOrigin.x() + 8 + 32, listOrigin.y() + 8 + 11);  // "Best of..."
    ASSERT_NE(session.waitForWindow("^Traitement Terminé$", 30000), 0u) << "the ranking did not end";
    session.key("Return");
    session.click(listOrigin.x() + 312 + 20, listOrigin.y() + 8 + 8);  // "Sél."
    session.settle(1000);
    session.shot("3-marked");

    // The output directory is the working directory at start-up; move the files after.
    ClickPanel(16 + 40, 488 + 11);  // "Extraire Lot..."
    ASSERT_NE(session.waitForWindow("^Extraction Terminée$", 30000), 0u) << "the batch did not end";
    session.shot("4-batch");
    session.key("Return");

    QStringList written = QDir(work.path()).entryList({"IMAGE*.BMP"}, QDir::Files);
    std::sort(written.begin(), written.end(), [](const QString& a, const QString& b) {
        return a.mid(5).section('.', 0, 0).toInt() < b.mid(5).section('.', 0, 0).toInt();
    });
    ASSERT_EQ(written.size(), 10) << written.join(' ').toStdString();

    // Every file holds the crop; the JPEG sizes come largest first and are the ten largest.
    std::vector<size_t> sizes;
    for (const QString& name : written) {
        Bmp bmp;
        ASSERT_TRUE(ReadBmp(work.filePath(name), bmp));
        EXPECT_EQ(+bmp.header.biWidth, 100);
        EXPECT_EQ(+bmp.header.biHeight, 60);
        sizes.push_back(JpegSize(bmp));
    }
    EXPECT_TRUE(std::is_sorted(sizes.rbegin(), sizes.rend()));

    std::vector<size_t> allSizes;
    FrameSource frameSource;
    ASSERT_TRUE(frameSource.OpenVideo(video));
    ASSERT_TRUE(frameSource.SetCropRect(30, 40, 60, 100));
    frameSource.SetCropEnabled(true);
    for (int frame = 0; frame < frameSource.FrameCount(); ++frame) {
        ASSERT_TRUE(frameSource.PrepareFrame(frame));
        imaging::JpegImage jpeg;
        jpeg.encodeBgr(100, 60, frameSource.OutputImage() + sizeof(dib::BitmapInfoHeader) + frameSource.PaletteBytes(),
                       dib::RowStride(100, 24));
        allSizes.push_back(jpeg.data().size());
    }
    frameSource.CloseVideo();
    std::sort(allSizes.rbegin(), allSizes.rend());
    allSizes.resize(10);
    EXPECT_EQ(sizes, allSizes);
}

// "Parcourir..." with the real directory chooser creates a typed directory, and "Extraire"
// writes there.
TEST_F(RealProgram, ExtractsIntoADirectoryChosenAndCreatedWithTheChooser) {
    const QString video = work.filePath("clip.avi");
    fixture::VideoOptions options;
    options.frames = 5;
    ASSERT_TRUE(fixture::WriteVideo(video.toStdString(), options));
    ClickPanel(16 + 28, 8 + 11);  // "Ouvrir..."
    ASSERT_NE(session.waitForWindow("^Ouvrir$"), 0u);
    session.type(video);
    session.key("Return");
    ASSERT_NE(session.waitForWindow("^Vue Avi: 0 - Ligne: 0$"), 0u);

    const QString target = work.filePath("nouveau/sous");
    ClickPanel(16 + 44, 240 + 11);  // "Parcourir..."
    ASSERT_NE(session.waitForWindow("^Sélection du répertoire$"), 0u) << "no directory chooser";
    session.type(target);
    session.key("Return");
    // The chooser asks before creating the directory; OK is the default button.
    session.settle(800);
    session.key("Return");
    session.settle(800);
    ASSERT_TRUE(QFileInfo(target).isDir()) << "the directory was not created";

    ClickPanel(16 + 40, 456 + 11);  // "Extraire"
    EXPECT_TRUE(QFileInfo::exists(target + "/IMAGE1.BMP"));
    EXPECT_FALSE(QFileInfo::exists(work.filePath("IMAGE1.BMP")));
}
