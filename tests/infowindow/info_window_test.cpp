// SPDX-License-Identifier: GPL-2.0-or-later
// The information window as its user sees it: texts, the typed rectangle, the outline on the
// picture, the colour scan and the zoom buttons.
#include <gtest/gtest.h>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QTest>

#include "framesource/frame_source.h"

#include "imaging/bitmap.h"
#include "infowindow/info_controls.h"
#include "infowindow/info_window.h"
#include "support/scripted_dialogs.h"
#include "widgets/controls/image_control.h"
#include "widgets/controls/speed_button.h"

namespace {

QImage Filled(int width, int height, QRgb colour) {
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(colour);
    return image;
}

// A picture of varied pixels, so that an inverted pixel can never look unchanged.
QImage Gradient(int width, int height) {
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) image.setPixel(x, y, qRgb((x * 7) & 0xFF, (y * 5) & 0xFF, (x + y) & 0xFF));
    return image;
}

class InfoWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        image.resize(320, 240);
        image.picture().bitmap().setImage(Filled(320, 240, qRgb(255, 255, 255)), imaging::PixelLayout::Bits24);
        form.AttachImage(&image, 0, 0, 0, 0);
        form.show();
    }
    void TearDown() override { EXPECT_EQ(dialogs->shownCount(), 0) << "no error may reach the user"; }

    const InfoControls& ui() const { return controls; }
    QImage picture() { return image.picture().bitmap().image(); }
    QStringList edits() const {
        return {ui().EditX->text(), ui().EditY->text(), ui().EditW->text(), ui().EditH->text()};
    }
    void typeRectangle(const QString& x, const QString& y, const QString& w, const QString& h) {
        for (auto [edit, text] : {std::pair{ui().EditX, x}, {ui().EditY, y}, {ui().EditW, w}, {ui().EditH, h}}) {
            edit->clear();
            QTest::keyClicks(edit, text);
        }
    }
    void clickValider() { QTest::mouseClick(ui().SpeedButtonValider, Qt::LeftButton); }

    testing_support::ScopedDialogs dialogs;
    FrameSource frameSource;
    ImageControl image;
    MagnifierZoom zoom;
    InfoWindow form{frameSource, zoom};
    InfoControls controls{form};
};

TEST_F(InfoWindowTest, StartsWithTheDesignTextsBeforeAnyVideo) {
    ImageControl designImage;
    designImage.resize(240, 169);
    InfoWindow fresh(frameSource, zoom);
    const InfoControls freshUi(fresh);
    EXPECT_EQ(fresh.windowTitle(), "Info:");
    EXPECT_FALSE(fresh.isVisible());
    EXPECT_EQ(freshUi.LabelPosImage->text(), "LabelPosImage");
    EXPECT_EQ(freshUi.LabelColor->text(), "LabelColor");
    EXPECT_EQ(freshUi.Labelmin->text(), "Labelmin");
    EXPECT_EQ(freshUi.LabelMAX->text(), "LabelMAX");

    fresh.AttachImage(&designImage, 0, 0, 252, 202);
    EXPECT_EQ(freshUi.LabelAVI1->text(), "W=   0 H=   0 Vues=   0");
    EXPECT_EQ(freshUi.LabelAVI2->text(), "Bits= 0 Plans=0");
    EXPECT_EQ(freshUi.LabelFenetre->text(), "W= 240 H= 169 Bits= 0");
    EXPECT_EQ(freshUi.LabelZoom->text(), "* 1");
    EXPECT_EQ(freshUi.LabelCadre->text(), "X=   0 Y=   0 L= 240 H= 169");
    EXPECT_EQ(freshUi.EditX->text(), "0");
    EXPECT_EQ(freshUi.EditY->text(), "0");
    EXPECT_EQ(freshUi.EditW->text(), "240");
    EXPECT_EQ(freshUi.EditH->text(), "169");
    EXPECT_FALSE(fresh.outlineDrawn);
    EXPECT_FALSE(fresh.isVisible()) << "attaching does not show the window";
}

TEST_F(InfoWindowTest, AttachingCollapsesToTheWholeImage) {
    EXPECT_EQ(form.cropX1, 0);
    EXPECT_EQ(form.cropY1, 0);
    EXPECT_EQ(form.cropX2, 319);
    EXPECT_EQ(form.cropY2, 239);
    EXPECT_FALSE(form.outlineDrawn);
    EXPECT_EQ(ui().LabelCadre->text(), "X=   0 Y=   0 L= 320 H= 240");
    EXPECT_EQ(ui().LabelFenetre->text(), "W= 320 H= 240 Bits=24");
}

TEST_F(InfoWindowTest, WindowLineReportsTheBitmapLayout) {
    const struct {
        imaging::PixelLayout layout;
        bool empty;
        const char* text;
    } cases[] = {
        {imaging::PixelLayout::DeviceDependent, false, "W= 320 H= 240 Bits= 0"},
        {imaging::PixelLayout::Bits24, true, "W= 320 H= 240 Bits= 0"},
        {imaging::PixelLayout::Bits1, false, "W= 320 H= 240 Bits= 1"},
        {imaging::PixelLayout::Bits4, false, "W= 320 H= 240 Bits= 4"},
        {imaging::PixelLayout::Bits8, false, "W= 320 H= 240 Bits= 8"},
        {imaging::PixelLayout::Bits15, false, "W= 320 H= 240 Bits=15"},
        {imaging::PixelLayout::Bits16, false, "W= 320 H= 240 Bits=16"},
        {imaging::PixelLayout::Bits24, false, "W= 320 H= 240 Bits=24"},
        {imaging::PixelLayout::Bits32, false, "W= 320 H= 240 Bits=32"},
        {imaging::PixelLayout::Other, false, "W= 320 H= 240 Bits=-1"},
    };
    for (const auto& c : cases) {
        image.picture().bitmap().setImage(c.empty ? QImage() : Filled(8, 8, 0), c.layout);
        form.AttachImage(&image, 0, 0, 0, 0);
        EXPECT_EQ(ui().LabelFenetre->text(), c.text) << int(c.layout);
    }
}

TEST_F(InfoWindowTest, VideoLinesUseTheirFormats) {
    form.ShowVideoInfo(320, 240, 24, 1, 125);
    EXPECT_EQ(ui().LabelAVI1->text(), "W= 320 H= 240 Vues= 125");
    EXPECT_EQ(ui().LabelAVI2->text(), "Bits=24 Plans=1");
}

TEST_F(InfoWindowTest, PixelInfoShowsPositionAndColour) {
    QImage colours = Filled(320, 240, qRgb(64, 128, 192));
    colours.setPixel(12, 7, qRgb(255, 0, 0));
    colours.setPixel(0, 0, qRgb(64, 0, 255));
    image.picture().bitmap().setImage(colours, imaging::PixelLayout::Bits24);
    const struct {
        int x, y;
        const char* position;
        const char* colour;
    } cases[] = {
        {12, 7, "X=  12 Y=   7", "R=255  V=  0  B=  0"},    {0, 0, "X=   0 Y=   0", "R= 64  V=  0  B=255"},
        {100, 100, "X= 100 Y= 100", "R= 64  V=128  B=192"}, {-1, 5, "X=  -1 Y=   5", "R=255  V=255  B=255"},
        {320, 5, "X= 320 Y=   5", "R=255  V=255  B=255"},   {5, 240, "X=   5 Y= 240", "R=255  V=255  B=255"},
    };
    for (const auto& c : cases) {
        form.ShowPixelInfo(c.x, c.y);
        EXPECT_EQ(ui().LabelPosImage->text(), c.position);
        EXPECT_EQ(ui().LabelColor->text(), c.colour) << c.x << "," << c.y;
    }
}

TEST_F(InfoWindowTest, NormalizeClampsOrdersAndCollapses) {
    const struct {
        int x1, y1, x2, y2;
        int left, top, right, bottom;
        bool outline;
    } cases[] = {
        {10, 20, 50, 60, 10, 20, 50, 60, true},          // inside, already ordered
        {10, 20, 5, 8, 5, 8, 10, 20, true},              // dragged up and left
        {100, 50, -30, 20, 0, 20, 100, 50, true},        // beyond the left edge
        {300, 200, 400, 300, 300, 200, 319, 239, true},  // beyond the far edges
        {0, 0, 319, 239, 0, 0, 319, 239, false},         // the whole image
        {0, 0, 1000, 1000, 0, 0, 319, 239, false},       // the whole image, dragged beyond
        {7, 7, 7, 7, 0, 0, 319, 239, false},             // a click
        {10, 20, 10, 60, 0, 0, 319, 239, false},         // one pixel wide
        {10, 20, 60, 20, 0, 0, 319, 239, false},         // one pixel high
        {319, 20, 400, 60, 0, 0, 319, 239, false},       // last column dragged further right
        {0, 20, -50, 60, 0, 0, 319, 239, false},         // column 0 dragged further left
        {-20, 10, 79, 59, 0, 10, 99, 59, true},          // starts left of the picture: keeps its width
        {500, 10, 599, 59, 0, 0, 319, 239, false},       // starts beyond the right edge
        {11, 20, 10, 30, 10, 20, 11, 30, true},          // two columns, backwards
    };
    for (const auto& c : cases) {
        form.NormalizeCropRect(c.x1, c.y1, c.x2, c.y2, false);
        EXPECT_EQ(QList<int>({form.cropX1, form.cropY1, form.cropX2, form.cropY2}),
                  QList<int>({c.left, c.top, c.right, c.bottom}))
            << c.x1 << "," << c.y1 << " - " << c.x2 << "," << c.y2;
        EXPECT_EQ(form.outlineDrawn, c.outline) << c.x1 << "," << c.y1 << " - " << c.x2 << "," << c.y2;
    }
}

TEST_F(InfoWindowTest, CollapseErasesTheDraggedLineOnlyWhenAsked) {
    const QImage original = Gradient(320, 240);
    image.picture().bitmap().setImage(original, imaging::PixelLayout::Bits24);
    form.SetCropCorners(10, 20, 10, 60);
    form.DrawCropOutline(true);
    ASSERT_NE(picture(), original);
    form.NormalizeCropRect(10, 20, 10, 60, true);
    EXPECT_EQ(picture(), original);

    form.SetCropCorners(10, 20, 10, 60);
    form.NormalizeCropRect(10, 20, 10, 60, false);
    EXPECT_EQ(picture(), original) << "nothing to erase, nothing drawn";
}

TEST_F(InfoWindowTest, OutlineInvertsEachBorderPixelOnce) {
    const QImage original = Gradient(320, 240);
    image.picture().bitmap().setImage(original, imaging::PixelLayout::Bits24);
    form.SetCropCorners(50, 30, 10, 20);  // stored corners are used unordered
    form.DrawCropOutline(true);
    const QImage drawn = picture();
    for (int y = 0; y < 240; ++y) {
        for (int x = 0; x < 320; ++x) {
            const bool border =
                ((x == 10 || x == 50) && y >= 20 && y <= 30) || ((y == 20 || y == 30) && x >= 10 && x <= 50);
            const QRgb before = original.pixel(x, y);
            const QRgb expected = border ? qRgb(255 - qRed(before), 255 - qGreen(before), 255 - qBlue(before)) : before;
            ASSERT_EQ(drawn.pixel(x, y), expected) << x << "," << y;
        }
    }
}

TEST_F(InfoWindowTest, OutlineDrawnTwiceRestoresThePicture) {
    const struct {
        int x1, y1, x2, y2;
    } cases[] = {
        {10, 20, 50, 60}, {0, 0, 319, 239}, {300, 200, 400, 300}, {-30, -30, 20, 20},
        {7, 7, 7, 7},     {10, 5, 10, 90},  {5, 10, 90, 10},      {-100, -100, -50, -50},
    };
    for (const auto& c : cases) {
        const QImage original = Gradient(320, 240);
        image.picture().bitmap().setImage(original, imaging::PixelLayout::DeviceDependent);
        form.SetCropCorners(c.x1, c.y1, c.x2, c.y2);
        form.DrawCropOutline(true);
        form.DrawCropOutline(true);
        ASSERT_EQ(picture().sizeInBytes(), original.sizeInBytes());
        EXPECT_EQ(0, memcmp(picture().constBits(), original.constBits(), size_t(original.sizeInBytes())))
            << c.x1 << "," << c.y1 << " - " << c.x2 << "," << c.y2;
    }
    // A zero-size rectangle and a false request change nothing at all.
    const QImage original = picture();
    form.SetCropCorners(7, 7, 7, 7);
    form.DrawCropOutline(true);
    form.SetCropCorners(10, 10, 50, 50);
    form.DrawCropOutline(false);
    EXPECT_EQ(picture(), original);
}

TEST_F(InfoWindowTest, ValiderAppliesTheTypedRectangle) {
    const struct {
        const char *x, *y, *w, *h;
        int left, top, width, height;
        QStringList boxes;
    } cases[] = {
        {"10", "20", "100", "50", 10, 20, 100, 50, {"10", "20", "100", "50"}},
        {"300", "10", "100", "50", 300, 10, 20, 50, {"300", "10", "20", "50"}},  // clipped at the right
        {"10", "20", "1", "50", 0, 0, 320, 240, {"0", "0", "320", "240"}},       // one pixel wide
        {"10", "20", "100", "1", 0, 0, 320, 240, {"0", "0", "320", "240"}},      // one pixel high
        {"-20", "-5", "100", "50", 0, 0, 100, 50, {"0", "0", "100", "50"}},      // starts outside
        {"400", "10", "100", "50", 0, 0, 320, 240, {"0", "0", "320", "240"}},    // starts beyond the right
        {"2147483647", "2147483647", "2147483647", "2147483647", 0, 0, 320, 240, {"0", "0", "320", "240"}},
        {"-2147483648", "0", "-2147483648", "50", 0, 0, 320, 240, {"0", "0", "320", "240"}},
    };
    for (const auto& c : cases) {
        frameSource.SetCropRect(-7, -7, -7, -7);
        typeRectangle(c.x, c.y, c.w, c.h);
        clickValider();
        EXPECT_EQ(edits(), c.boxes) << c.x << " " << c.y << " " << c.w << " " << c.h;
        EXPECT_EQ(ui().LabelCadre->text(),
                  QString::asprintf("X=%4d Y=%4d L=%4d H=%4d", c.left, c.top, c.width, c.height));
        const FrameSource::CropRectangle& r = frameSource.CropRect();
        EXPECT_EQ(QList<int>({r.top, r.left, r.height, r.width}), QList<int>({c.top, c.left, c.height, c.width}))
            << "SetCropRect takes top, left, height, width";
    }
}

TEST_F(InfoWindowTest, ValiderWithUnchangedBoxesKeepsTheRectangle) {
    typeRectangle("10", "20", "100", "50");
    clickValider();
    const QImage outlined = picture();
    clickValider();
    EXPECT_EQ(edits(), QStringList({"10", "20", "100", "50"}));
    EXPECT_EQ(QList<int>({form.cropX1, form.cropY1, form.cropX2, form.cropY2}), QList<int>({10, 20, 109, 69}));
    EXPECT_EQ(picture(), outlined) << "old outline erased, the same one drawn again";
}

TEST_F(InfoWindowTest, ValiderFallsBackOnUnreadableBoxes) {
    typeRectangle("10", "20", "100", "50");
    clickValider();
    const struct {
        const char *x, *y, *w, *h;
        QStringList boxes;
    } cases[] = {
        {"abc", "20", "100", "50", {"10", "20", "100", "50"}},
        {"", "", "", "", {"10", "20", "100", "50"}},
        {"12x", "2 0", "9999999999", "-", {"10", "20", "100", "50"}},
        {"abc", "30", "", "40", {"10", "30", "100", "40"}},
    };
    for (const auto& c : cases) {
        typeRectangle(c.x, c.y, c.w, c.h);
        clickValider();
        EXPECT_EQ(edits(), c.boxes) << c.x << "|" << c.y << "|" << c.w << "|" << c.h;
    }
}

TEST_F(InfoWindowTest, ValiderMovesTheOutline) {
    const QImage original = Gradient(320, 240);
    image.picture().bitmap().setImage(original, imaging::PixelLayout::Bits24);
    form.AttachImage(&image, 0, 0, 0, 0);

    typeRectangle("10", "20", "100", "50");
    clickValider();
    EXPECT_TRUE(form.outlineDrawn);
    EXPECT_NE(picture().pixel(10, 20), original.pixel(10, 20));
    EXPECT_EQ(picture().pixel(11, 21), original.pixel(11, 21));

    typeRectangle("30", "40", "60", "60");
    clickValider();
    EXPECT_EQ(picture().pixel(10, 20), original.pixel(10, 20)) << "the old outline is erased";
    EXPECT_NE(picture().pixel(30, 40), original.pixel(30, 40));

    typeRectangle("0", "0", "320", "240");
    clickValider();
    EXPECT_FALSE(form.outlineDrawn) << "the whole image has no outline";
    EXPECT_EQ(picture(), original);
}

TEST_F(InfoWindowTest, MinMaxScansPackedColours) {
    const struct {
        QImage picture;
        const char* min;
        const char* max;
    } cases[] = {
        {[] {
             QImage p = Filled(40, 30, qRgb(10, 20, 30));
             p.setPixel(3, 4, qRgb(0, 0, 0));
             p.setPixel(39, 29, qRgb(255, 255, 255));
             return p;
         }(),
         "min = 00000000", "MAX = 00FFFFFF"},
        {[] {
             QImage p = Filled(2, 1, qRgb(255, 0, 0));
             p.setPixel(1, 0, qRgb(0, 0, 1));
             return p;
         }(),
         "min = 000000FF", "MAX = 00010000"},  // blue weighs most
        {QImage(), "min = 7FFFFFFF", "MAX = 80000001"},
    };
    for (const auto& c : cases) {
        image.picture().bitmap().setImage(c.picture, imaging::PixelLayout::Bits24);
        QTest::mouseClick(ui().SpeedButtonMinMax, Qt::LeftButton);
        EXPECT_EQ(ui().Labelmin->text(), c.min);
        EXPECT_EQ(ui().LabelMAX->text(), c.max);
    }
}

TEST_F(InfoWindowTest, ZoomButtonsStopAtTheirLimits) {
    const struct {
        SpeedButton* button;
        int clicks;
        const char* label;
        int level;
        bool inEnabled, outEnabled;
    } cases[] = {
        {ui().SpeedButtonZoomIn, 1, "* 2", 32, true, true},   {ui().SpeedButtonZoomIn, 1, "* 4", 64, false, true},
        {ui().SpeedButtonZoomIn, 5, "* 4", 64, false, true},  // disabled: clicks do nothing
        {ui().SpeedButtonZoomOut, 2, "* 1", 16, true, true},  {ui().SpeedButtonZoomOut, 1, "/ 2", 8, true, true},
        {ui().SpeedButtonZoomOut, 3, "/ 16", 1, true, false}, {ui().SpeedButtonZoomOut, 2, "/ 16", 1, true, false},
        {ui().SpeedButtonZoomIn, 2, "/ 4", 4, true, true},
    };
    for (const auto& c : cases) {
        for (int i = 0; i < c.clicks; ++i) QTest::mouseClick(c.button, Qt::LeftButton);
        EXPECT_EQ(ui().LabelZoom->text(), c.label);
        EXPECT_EQ(zoom.level, c.level);
        EXPECT_EQ(ui().SpeedButtonZoomIn->isEnabled(), c.inEnabled) << c.label;
        EXPECT_EQ(ui().SpeedButtonZoomOut->isEnabled(), c.outEnabled) << c.label;
    }
}

TEST_F(InfoWindowTest, ZoomIsSharedButEachWindowRefreshesOnItsOwn) {
    InfoWindow other(frameSource, zoom);
    other.AttachImage(&image, 0, 0, 0, 0);
    QTest::mouseClick(ui().SpeedButtonZoomIn, Qt::LeftButton);
    EXPECT_EQ(InfoControls(other).LabelZoom->text(), "* 1");
    other.UpdateZoomControls();
    EXPECT_EQ(InfoControls(other).LabelZoom->text(), "* 2");

    zoom.level = 1000;  // out of range from elsewhere: brought back on the next update
    form.UpdateZoomControls();
    EXPECT_EQ(zoom.level, 64);
    zoom.level = -3;
    form.UpdateZoomControls();
    EXPECT_EQ(zoom.level, 1);
}

TEST_F(InfoWindowTest, AdapterButtonDoesNothing) {
    const QStringList before = edits();
    QTest::mouseClick(ui().SpeedButton3, Qt::LeftButton);
    EXPECT_TRUE(ui().SpeedButton3->isEnabled());
    EXPECT_EQ(edits(), before);
    EXPECT_EQ(zoom.level, 16);
}

TEST_F(InfoWindowTest, ShowForImageShowsAndClosingHides) {
    form.hide();
    form.SetCropCorners(5, 6, 14, 26);
    form.ShowForImage(&image);
    EXPECT_TRUE(form.isVisible());
    EXPECT_EQ(ui().LabelCadre->text(), "X=   5 Y=   6 L=  10 H=  21");
    EXPECT_EQ(edits(), QStringList({"5", "6", "10", "21"}));
    form.close();
    EXPECT_FALSE(form.isVisible());
    EXPECT_EQ(form.attachedImage, &image) << "closing only hides";
}

TEST_F(InfoWindowTest, WithoutAPictureNothingFails) {
    InfoWindow lonely(frameSource, zoom);
    lonely.ShowPixelInfo(3, 4);
    EXPECT_EQ(InfoControls(lonely).LabelColor->text(), "R=255  V=255  B=255");
    lonely.SetCropCorners(1, 2, 30, 40);
    lonely.DrawCropOutline(true);
    QTest::mouseClick(InfoControls(lonely).SpeedButtonMinMax, Qt::LeftButton);
    EXPECT_EQ(InfoControls(lonely).Labelmin->text(), "min = 7FFFFFFF");
}

}  // namespace
