// SPDX-License-Identifier: GPL-2.0-or-later
// The viewer window driven with real mouse and key events: the rubber band, the rectangle it
// hands to the frame source, the information window toggle and the keys given to the main window.
#include <gtest/gtest.h>
#include <QDir>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QTest>
#include <QWindow>
#include <cmath>

#include "framesource/frame_source.h"
#include "framesource/jpeg_options.h"
#include "imaging/bitmap.h"
#include "infowindow/info_controls.h"
#include "infowindow/info_window.h"
#include "infowindow/magnifier_zoom.h"
#include "support/scripted_dialogs.h"
#include "viewer/frame_viewer.h"
#include "viewer/viewer_placement.h"
#include "widgets/controls/image_control.h"

namespace {

QImage Gradient(int width, int height) {
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) image.setPixel(x, y, qRgb((x * 7) & 0xFF, (y * 5) & 0xFF, (x + y) & 0xFF));
    return image;
}

class Viewer : public ::testing::Test {
protected:
    void SetUp() override {
        // As the main window does for a 320 x 240 frame.
        viewer.bitmap().setImage(original, imaging::PixelLayout::DeviceDependent);
        viewer.setImageClientSize(320, 240);
        viewer.setClientSize(324, 244);
        viewer.infoForm()->AttachImage(viewer.image(), 0, 0, 0, 0);
        viewer.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&viewer));
    }
    void TearDown() override { EXPECT_EQ(dialogs->shownCount(), 0) << "no error may reach the user"; }

    // Events go to the window, as the platform delivers them, so that the window routes them
    // (and keeps them on the image control while a button is held).
    QWindow* window() { return viewer.windowHandle(); }
    QPoint at(int x, int y) { return viewer.image()->mapTo(&viewer, QPoint(x, y)); }
    void press(int x, int y, Qt::MouseButton button = Qt::LeftButton) {
        QTest::mousePress(window(), button, {}, at(x, y));
    }
    void move(int x, int y) { QTest::mouseMove(window(), at(x, y)); }
    void release(int x, int y, Qt::MouseButton button = Qt::LeftButton) {
        QTest::mouseRelease(window(), button, {}, at(x, y));
    }
    void drag(int x1, int y1, int x2, int y2) {
        press(x1, y1);
        move((x1 + x2) / 2, (y1 + y2) / 2);
        move(x2, y2);
        release(x2, y2);
    }

    InfoWindow& info() { return *viewer.infoForm(); }
    InfoControls infoUi() { return InfoControls(*viewer.infoForm()); }
    QImage picture() { return viewer.bitmap().image(); }
    QStringList edits() {
        const auto& ui = infoUi();
        return {ui.EditX->text(), ui.EditY->text(), ui.EditW->text(), ui.EditH->text()};
    }
    QList<int> cropRect() {
        const FrameSource::CropRectangle& r = frameSource.CropRect();
        return {r.top, r.left, r.height, r.width};
    }

    testing_support::ScopedDialogs dialogs;
    const QImage original = Gradient(320, 240);
    FrameSource frameSource;
    MagnifierZoom zoom;
    FrameViewer viewer{frameSource, zoom};
};

TEST(ViewerCreation, HasItsDesignLayoutAndAHiddenInformationWindow) {
    FrameSource frameSource;
    MagnifierZoom zoom;
    QPointer<InfoWindow> info;
    {
        FrameViewer viewer(frameSource, zoom);
        EXPECT_EQ(viewer.windowTitle(), "FormAvi");
        EXPECT_EQ(viewer.size(), QSize(244, 173));
        EXPECT_EQ(viewer.scrollBox()->objectName(), "ScrollBox1");
        EXPECT_EQ(viewer.image()->objectName(), "Image1");
        EXPECT_EQ(viewer.scrollBox()->widget(), viewer.image());
        EXPECT_EQ(viewer.image()->size(), QSize(240, 169));
        info = viewer.infoForm();
        ASSERT_TRUE(info);
        EXPECT_FALSE(info->isVisible());
        EXPECT_TRUE(info->isWindow());
        EXPECT_EQ(info->attachedImage, viewer.image());
        EXPECT_EQ(QList<int>({info->cropX1, info->cropY1, info->cropX2, info->cropY2}), QList<int>({0, 0, 239, 168}));
        EXPECT_EQ(InfoControls(*info).LabelFenetre->text(), "W= 240 H= 169 Bits= 0");
    }
    EXPECT_FALSE(info) << "the information window goes with its viewer";
}

TEST_F(Viewer, PictureFitsWithoutScrollBarsAndScrollsWhenLarger) {
    EXPECT_EQ(viewer.scrollBox()->viewport()->size(), QSize(320, 240));
    EXPECT_FALSE(viewer.scrollBox()->horizontalScrollBar()->isVisible());
    EXPECT_FALSE(viewer.scrollBox()->verticalScrollBar()->isVisible());
    viewer.setClientSize(200, 150);
    QCoreApplication::processEvents();
    EXPECT_TRUE(viewer.scrollBox()->horizontalScrollBar()->isVisible());
    EXPECT_TRUE(viewer.scrollBox()->verticalScrollBar()->isVisible());
    EXPECT_EQ(viewer.image()->size(), QSize(320, 240)) << "never stretched";
}

// As the main window sizes a viewer for a picture of W x H: the window is W + 4 by H + 4 and the
// picture sits 2 pixels in, with no scroll bar and no margin, down to a single pixel.
TEST_F(Viewer, SmallPicturesGetAWindowOfTheirSizePlusFour) {
    const QSize sizes[] = {{32, 32}, {40, 20}, {1, 1}, {3, 60}};
    for (const QSize& size : sizes) {
        viewer.bitmap().setImage(Gradient(size.width(), size.height()), imaging::PixelLayout::Bits24);
        viewer.setImageClientSize(size.width(), size.height());
        viewer.setClientSize(size.width() + 4, size.height() + 4);
        QCoreApplication::processEvents();
        EXPECT_EQ(viewer.size(), size + QSize(4, 4)) << size.width() << " x " << size.height();
        EXPECT_EQ(viewer.image()->mapTo(&viewer, QPoint(0, 0)), QPoint(2, 2));
        EXPECT_EQ(viewer.scrollBox()->viewport()->size(), size);
        EXPECT_FALSE(viewer.scrollBox()->horizontalScrollBar()->isVisible());
        EXPECT_FALSE(viewer.scrollBox()->verticalScrollBar()->isVisible());
    }
}

// A viewer is at most the screen's available area and goes beside, below, left of or above the
// main window, whichever holds it whole (else shows the most of it); with no room it covers.
TEST(ViewerPlacement, StaysOnTheScreenAndClearOfTheMainWindowWhereThereIsRoom) {
    const QRect screen(0, 0, 1600, 1000);
    const QRect designMain(53, 107, 329, 541);
    const QRect designViewer(354, 11, 252, 202);
    struct Case {
        const char* what;
        QSize wanted;
        QRect current, main, available;
        QRect placed;
    };
    const Case cases[] = {
        {"small, beside", {164, 124}, designViewer, designMain, screen, {382, 11, 164, 124}},
        {"already clear", {164, 124}, {700, 300, 252, 202}, designMain, screen, {700, 300, 164, 124}},
        {"1080p, scrolls beside", {1924, 1084}, designViewer, designMain, screen, {382, 0, 1218, 1000}},
        {"right too narrow: below", {644, 484}, designViewer, {900, 0, 700, 500}, screen, {354, 500, 644, 484}},
        {"only left holds it", {644, 484}, {1000, 11, 252, 202}, {1200, 100, 329, 541}, screen, {556, 11, 644, 484}},
        {"panel at the top", {1924, 1084}, designViewer, designMain, {0, 30, 1600, 970}, {382, 30, 1218, 970}},
        {"no room: covers", {1924, 1084}, designViewer, {0, 0, 1500, 950}, screen, {0, 0, 1600, 1000}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(viewer::PlaceViewer(c.wanted, c.current, c.main, c.available), c.placed) << c.what;
    }
}

// The frame of a video larger than the screen: the window keeps to the screen beside the main
// window, and the picture stays at 1:1 under scroll bars.
TEST(ViewerFit, ALargePictureScrollsInAWindowThatFitsTheScreen) {
    FrameSource frameSource;
    MagnifierZoom zoom;
    QWidget main;
    const QRect screen = main.screen()->availableGeometry();
    main.setGeometry(screen.left() + 53, screen.top() + 107, 329, 541);
    main.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&main));
    FrameViewer viewer(frameSource, zoom);
    viewer.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&viewer));
    const QSize pictures[] = {{1920, 1080}, {160, 120}};
    for (const QSize& picture : pictures) {
        viewer.bitmap().setImage(Gradient(picture.width(), picture.height()), imaging::PixelLayout::Bits24);
        viewer.FitToPicture(picture, main);
        QCoreApplication::processEvents();
        const bool fits = picture.width() + 4 <= screen.width() - main.frameGeometry().right() - 1;
        EXPECT_TRUE(screen.contains(viewer.frameGeometry())) << picture.width();
        EXPECT_FALSE(viewer.frameGeometry().intersects(main.frameGeometry())) << picture.width();
        EXPECT_EQ(viewer.image()->size(), picture) << "never scaled";
        EXPECT_EQ(viewer.size() == picture + QSize(4, 4), fits) << picture.width();
        EXPECT_NE(viewer.scrollBox()->horizontalScrollBar()->isVisible(), fits) << picture.width();
    }
}

// "Ajuster à la fenêtre" (key F, or the window's menu) shows a large frame whole at any scale;
// the pixel read under the pointer and the crop rectangle drawn stay in the frame's pixels.
// F11 and a double click show the window full screen and back.
TEST(ViewerFit, FittedPicturesKeepTheFramesCoordinates) {
    testing_support::ScopedDialogs dialogs;
    FrameSource frameSource;
    MagnifierZoom zoom;
    FrameViewer viewer(frameSource, zoom);
    const QImage large = Gradient(1600, 1200);
    viewer.bitmap().setImage(large, imaging::PixelLayout::Bits24);
    viewer.setImageClientSize(1600, 1200);
    viewer.infoForm()->AttachImage(viewer.image(), 0, 0, 0, 0);
    viewer.resize(404, 304);
    viewer.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&viewer));
    QTest::keyClick(&viewer, Qt::Key_F);
    ASSERT_TRUE(viewer.fitToWindow());
    const QSize room = viewer.scrollBox()->viewport()->size();
    const double scale = viewer.image()->scale();
    EXPECT_DOUBLE_EQ(scale, std::min(room.width() / 1600.0, room.height() / 1200.0));
    EXPECT_TRUE(QRect(QPoint(), room).contains(viewer.image()->geometry())) << "shown whole";
    EXPECT_EQ(viewer.image()->clientSize(), QSize(1600, 1200));

    QWindow* window = viewer.windowHandle();
    const auto shownAt = [&](int x, int y) {
        return viewer.image()->mapTo(&viewer, QPoint(int(std::ceil(x * scale)), int(std::ceil(y * scale))));
    };
    QTest::mouseMove(window, shownAt(1000, 800));
    EXPECT_EQ(InfoControls(*viewer.infoForm()).LabelPosImage->text(), "X=1000 Y= 800");
    QTest::mousePress(window, Qt::LeftButton, {}, shownAt(400, 300));
    QTest::mouseMove(window, shownAt(800, 600));
    QTest::mouseMove(window, shownAt(1200, 900));
    QTest::mouseRelease(window, Qt::LeftButton, {}, shownAt(1200, 900));
    const FrameSource::CropRectangle& crop = frameSource.CropRect();
    EXPECT_NEAR(crop.left, 400, 1);
    EXPECT_NEAR(crop.top, 300, 1);
    EXPECT_NEAR(crop.width, 801, 2);
    EXPECT_NEAR(crop.height, 601, 2);
    // Beyond the right and bottom edges the rectangle ends at the frame's own last pixel.
    QTest::mousePress(window, Qt::LeftButton, {}, shownAt(1500, 1100));
    QTest::mouseMove(window,
                     viewer.image()->mapTo(&viewer, QPoint(room.width() - 1, room.height() - 1)) + QPoint(50, 50));
    QTest::mouseRelease(window, Qt::LeftButton, {},
                        viewer.image()->mapTo(&viewer, viewer.image()->rect().bottomRight()) + QPoint(50, 50));
    EXPECT_EQ(crop.left + crop.width, 1600);
    EXPECT_EQ(crop.top + crop.height, 1200);

    QTest::keyClick(&viewer, Qt::Key_F);
    EXPECT_FALSE(viewer.fitToWindow());
    EXPECT_EQ(viewer.image()->size(), QSize(1600, 1200)) << "1:1 again";

    QTest::keyClick(&viewer, Qt::Key_F11);
    EXPECT_TRUE(viewer.isFullScreen());
    QTest::mouseDClick(viewer.image(), Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_FALSE(viewer.isFullScreen());
    EXPECT_EQ(dialogs->shownCount(), 0);
}

TEST_F(Viewer, ShowingMakesItsPictureTheJpegOptionsTarget) {
    imaging::Picture* target = nullptr;
    QObject::connect(&viewer, &FrameViewer::shown, [&] { target = &viewer.picture(); });
    viewer.hide();
    viewer.show();
    EXPECT_EQ(target, &viewer.image()->picture());
}

TEST_F(Viewer, GesturesGiveTheCropRectangle) {
    const struct {
        const char* gesture;
        int x1, y1, x2, y2;
        int left, top, width, height;
    } cases[] = {
        {"click", 40, 30, 40, 30, 0, 0, 320, 240},
        {"drag up and left", 10, 20, 5, 8, 5, 8, 6, 13},
        {"drag down and right", 5, 8, 10, 20, 5, 8, 6, 13},
        {"beyond the left edge", 100, 50, -30, 20, 0, 20, 101, 31},
        {"beyond the right and bottom edges", 300, 200, 500, 400, 300, 200, 20, 40},
        {"out of the window above", 50, 60, 70, -200, 50, 0, 21, 61},
        {"one pixel wide", 30, 30, 30, 90, 0, 0, 320, 240},
        {"one pixel high", 30, 30, 90, 30, 0, 0, 320, 240},
        {"whole image from its corner", 0, 0, 319, 239, 0, 0, 320, 240},
    };
    for (const auto& c : cases) {
        frameSource.SetCropRect(-7, -7, -7, -7);
        drag(c.x1, c.y1, c.x2, c.y2);
        EXPECT_EQ(QList<int>({info().cropX1, info().cropY1, info().cropX2 - info().cropX1 + 1,
                              info().cropY2 - info().cropY1 + 1}),
                  QList<int>({c.left, c.top, c.width, c.height}))
            << c.gesture;
        EXPECT_EQ(cropRect(), QList<int>({c.top, c.left, c.height, c.width})) << c.gesture;
        EXPECT_EQ(edits(), QStringList({QString::number(c.left), QString::number(c.top), QString::number(c.width),
                                        QString::number(c.height)}))
            << c.gesture;
        EXPECT_EQ(infoUi().LabelCadre->text(),
                  QString::asprintf("X=%4d Y=%4d L=%4d H=%4d", c.left, c.top, c.width, c.height))
            << c.gesture;
    }
}

TEST_F(Viewer, RubberBandFollowsThePointerAndLeavesOneOutline) {
    press(10, 20);
    EXPECT_EQ(edits(), QStringList({"10", "20", "1", "1"}));
    EXPECT_EQ(picture(), original) << "a zero-size outline changes no pixel";
    EXPECT_EQ(viewer.image()->cursor().shape(), Qt::SizeAllCursor);

    const QString labelBefore = infoUi().LabelCadre->text();
    move(60, 40);
    EXPECT_EQ(edits(), QStringList({"10", "20", "51", "21"}));
    move(-15, 500);
    EXPECT_EQ(edits(), QStringList({"10", "20", "26", "481"})) << "unclamped while dragging";
    EXPECT_EQ(infoUi().LabelCadre->text(), labelBefore) << "the label waits for the release";
    move(50, 60);
    release(50, 60);
    EXPECT_EQ(viewer.image()->cursor().shape(), Qt::ArrowCursor);
    EXPECT_TRUE(info().outlineDrawn);

    // Exactly the outline of the final rectangle is on the picture.
    QImage expected = original;
    for (int y = 20; y <= 60; ++y)
        for (int x = 10; x <= 50; ++x)
            if (x == 10 || x == 50 || y == 20 || y == 60) expected.setPixel(x, y, ~expected.pixel(x, y) | 0xFF000000);
    EXPECT_EQ(picture(), expected);

    // A click erases it and gives the whole image back.
    press(100, 100);
    release(100, 100);
    EXPECT_FALSE(info().outlineDrawn);
    EXPECT_EQ(picture(), original);
    EXPECT_EQ(cropRect(), QList<int>({0, 0, 240, 320}));
}

// Only the outline of the rectangle kept may stay on the picture, so that the next press erases
// it completely, also when the drag went past an edge.
TEST_F(Viewer, DragPastAnEdgeLeavesTheClampedOutline) {
    const struct {
        int x1, y1, x2, y2;
        int left, top, right, bottom;
    } cases[] = {
        {100, 50, -30, 20, 0, 20, 100, 50},
        {300, 200, 500, 400, 300, 200, 319, 239},
        {50, 60, 70, -200, 50, 0, 70, 60},
        {0, 0, 600, 600, -1, -1, -1, -1},  // the whole image: no outline at all
    };
    for (const auto& c : cases) {
        drag(c.x1, c.y1, c.x2, c.y2);
        QImage expected = original;
        for (int y = c.top; y <= c.bottom && c.top >= 0; ++y)
            for (int x = c.left; x <= c.right; ++x)
                if (x == c.left || x == c.right || y == c.top || y == c.bottom)
                    expected.setPixel(x, y, ~expected.pixel(x, y) | 0xFF000000);
        EXPECT_EQ(picture(), expected) << c.x2 << "," << c.y2;
        press(160, 120);
        release(160, 120);
        EXPECT_EQ(picture(), original) << "a click takes every line away";
    }
}

TEST_F(Viewer, CollapsedDragErasesItsLine) {
    drag(30, 30, 30, 90);
    EXPECT_EQ(picture(), original);
    EXPECT_FALSE(info().outlineDrawn);
}

TEST_F(Viewer, NewDragErasesThePreviousOutline) {
    drag(10, 10, 60, 60);
    drag(100, 100, 150, 130);
    QImage expected = original;
    for (int y = 100; y <= 130; ++y)
        for (int x = 100; x <= 150; ++x)
            if (x == 100 || x == 150 || y == 100 || y == 130)
                expected.setPixel(x, y, ~expected.pixel(x, y) | 0xFF000000);
    EXPECT_EQ(picture(), expected);
}

TEST_F(Viewer, RightOrMiddleClickTogglesTheInformationWindow) {
    info().SetCropCorners(5, 6, 14, 26);
    for (Qt::MouseButton button : {Qt::RightButton, Qt::MiddleButton}) {
        ASSERT_FALSE(info().isVisible());
        press(40, 40, button);
        EXPECT_TRUE(info().isVisible());
        EXPECT_EQ(infoUi().LabelCadre->text(), "X=   5 Y=   6 L=  10 H=  21");
        release(40, 40, button);
        EXPECT_TRUE(info().isVisible()) << "a release only resets the cursor";
        EXPECT_EQ(viewer.image()->cursor().shape(), Qt::ArrowCursor);
        press(40, 40, button);
        release(40, 40, button);
        EXPECT_FALSE(info().isVisible());
    }
    EXPECT_EQ(QList<int>({info().cropX1, info().cropY1, info().cropX2, info().cropY2}), QList<int>({5, 6, 14, 26}))
        << "the rectangle is left alone";
    EXPECT_EQ(picture(), original);
}

TEST_F(Viewer, HoveringShowsPositionAndColourOnly) {
    const QStringList before = edits();
    const QString label = infoUi().LabelCadre->text();
    const QRgb colour = original.pixel(12, 7);
    move(12, 7);
    EXPECT_EQ(infoUi().LabelPosImage->text(), "X=  12 Y=   7");
    EXPECT_EQ(infoUi().LabelColor->text(),
              QString::asprintf("R=%3d  V=%3d  B=%3d", qRed(colour), qGreen(colour), qBlue(colour)));
    EXPECT_EQ(edits(), before);
    EXPECT_EQ(infoUi().LabelCadre->text(), label);
}

TEST_F(Viewer, EmptyViewerStillAnswersTheMouse) {
    viewer.picture().clear();
    move(3, 4);
    EXPECT_EQ(infoUi().LabelColor->text(), "R=255  V=255  B=255");
    drag(10, 20, 50, 60);
    EXPECT_EQ(cropRect(), QList<int>({20, 10, 41, 41}));
}

TEST_F(Viewer, KeysGoToTheMainWindowsHandler) {
    QList<int> seen;
    viewer.setKeyDownHandler([&](int& key) {
        seen << key;
        if (key != 0x41) key = 0;
    });
    const struct {
        Qt::Key key;
        Qt::KeyboardModifiers modifiers;
        int code;
    } cases[] = {
        {Qt::Key_PageUp, {}, 0x21}, {Qt::Key_A, {}, 0x41},
        {Qt::Key_5, {}, 0x35},      {Qt::Key_5, Qt::KeypadModifier, 0x65},
        {Qt::Key_Right, {}, 0x27},  {Qt::Key_Home, {}, 0x24},
    };
    for (const auto& c : cases) {
        seen.clear();
        QTest::keyClick(&viewer, c.key, c.modifiers);
        EXPECT_EQ(seen, QList<int>({c.code})) << c.code;
    }
}

TEST_F(Viewer, ArrowKeysAreNotEatenByTheScrollArea) {
    viewer.setClientSize(100, 100);  // scroll bars on: the scroll area would like the arrows
    QList<int> seen;
    viewer.setKeyDownHandler([&](int& key) {
        seen << key;
        key = 0;
    });
    viewer.activateWindow();
    QTest::keyClick(window(), Qt::Key_Right);
    QTest::keyClick(window(), Qt::Key_PageDown);
    EXPECT_EQ(seen, QList<int>({0x27, 0x22}));
    EXPECT_EQ(viewer.scrollBox()->horizontalScrollBar()->value(), 0);
}

// The window as the user sees it, with a rectangle on the picture; kept as a picture when
// ORVEXA_GRAB_DIR names a directory.
TEST_F(Viewer, GrabShowsThePictureWithItsOutline) {
    drag(20, 30, 200, 150);
    const QImage grabbed = viewer.grab().toImage();
    const QPoint corner = viewer.image()->mapTo(&viewer, QPoint(20, 30)) * grabbed.devicePixelRatio();
    EXPECT_EQ(grabbed.pixel(corner) | 0xFF000000, ~original.pixel(20, 30) | 0xFF000000) << "the outline is on screen";
    const QString dir = qEnvironmentVariable("ORVEXA_GRAB_DIR");
    if (!dir.isEmpty()) {
        EXPECT_TRUE(grabbed.save(QDir(dir).filePath("FormAvi.png")));
    }
}

}  // namespace
