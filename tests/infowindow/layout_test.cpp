// SPDX-License-Identifier: GPL-2.0-or-later
// Every caption of the information window fits its control at the longest text it can show, in
// the program font.
#include <gtest/gtest.h>
#include <QDir>
#include <QFontMetrics>
#include <QGroupBox>
#include <QImage>
#include <QTest>

#include "framesource/frame_source.h"
#include "imaging/bitmap.h"
#include "infowindow/info_controls.h"
#include "infowindow/info_window.h"
#include "widgets/controls/image_control.h"

namespace {

int TextWidth(const QWidget& widget, const QString& text) {
    return QFontMetrics(widget.font()).horizontalAdvance(text);
}

class InfoLayout : public ::testing::Test {
protected:
    void SetUp() override {
        zoom.level = 1;
        image.resize(9999, 9999);
        form.AttachImage(&image, 0, 0, 0, 0);
        form.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    }
    // The widest text each line can hold.
    void fillWithLongestTexts() {
        form.ShowVideoInfo(9999, 9999, 32, 1, 9999);
        form.ShowWindowInfo(9999, 9999, 32);
        form.SetCropCorners(9998, 9998, 1, 1);
        form.ShowCropLabel();
        form.ShowCropEdits();
        form.ShowPixelInfo(-999, -999);
        ui.Labelmin->setText("min = 7FFFFFFF");
        ui.LabelMAX->setText("MAX = 80000001");
    }

    ImageControl image;
    FrameSource frameSource;
    MagnifierZoom zoom;
    InfoWindow form{frameSource, zoom};
    InfoControls ui{form};
};

TEST_F(InfoLayout, HasTheDesignGeometry) {
    EXPECT_EQ(form.size(), QSize(248, 428));
    const struct {
        const char* name;
        QRect geometry;
    } cases[] = {
        {"GroupBox2", {0, 0, 248, 57}},
        {"GroupBox3", {0, 57, 248, 112}},
        {"GroupBox4", {0, 169, 248, 132}},
        {"GroupBox1", {0, 301, 248, 127}},
        {"SpeedButtonZoomOut", {55, 41, 41, 22}},
        {"SpeedButtonZoomIn", {151, 41, 41, 22}},
        {"SpeedButton3", {48, 80, 153, 22}},
        {"EditX", {32, 44, 65, 21}},
        {"EditH", {136, 73, 65, 21}},
        {"SpeedButtonValider", {136, 103, 65, 22}},
        {"SpeedButtonMinMax", {32, 88, 73, 22}},
        {"LabelZoom", {95, 48, 53, 14}},
    };
    for (const auto& c : cases) {
        const QWidget* widget = form.findChild<QWidget*>(c.name);
        ASSERT_NE(widget, nullptr) << c.name;
        EXPECT_EQ(widget->geometry(), c.geometry) << c.name;
    }
}

TEST_F(InfoLayout, BoxesStayDockedWhenResized) {
    form.resize(300, 500);
    QCoreApplication::processEvents();
    EXPECT_EQ(form.findChild<QGroupBox*>("GroupBox2")->geometry(), QRect(0, 0, 300, 57));
    EXPECT_EQ(form.findChild<QGroupBox*>("GroupBox4")->geometry(), QRect(0, 169, 300, 204));
    EXPECT_EQ(form.findChild<QGroupBox*>("GroupBox1")->geometry(), QRect(0, 373, 300, 127));
    EXPECT_EQ(ui.LabelZoom->width(), 53 + 52) << "the zoom caption widens with its box";
}

TEST_F(InfoLayout, EveryCaptionFitsItsControl) {
    fillWithLongestTexts();
    for (const QLabel* label : form.findChildren<QLabel*>()) {
        const int needed = TextWidth(*label, label->text());
        EXPECT_LE(needed, label->width())
            << label->objectName().toStdString() << " \"" << label->text().toStdString() << "\"";
        EXPECT_LE(label->x() + needed, label->parentWidget()->width() - 2) << label->objectName().toStdString();
        EXPECT_LE(QFontMetrics(label->font()).height(), label->height() + 1) << label->objectName().toStdString();
    }
    for (const QToolButton* button : form.findChildren<QToolButton*>()) {
        EXPECT_LE(TextWidth(*button, button->text()) + 6, button->width()) << button->objectName().toStdString();
    }
    for (const QGroupBox* box : form.findChildren<QGroupBox*>()) {
        EXPECT_LE(TextWidth(*box, box->title()) + 16, box->width()) << box->objectName().toStdString();
    }
    for (const QLineEdit* edit : form.findChildren<QLineEdit*>()) {
        EXPECT_LE(TextWidth(*edit, edit->text()) + 8, edit->width()) << edit->objectName().toStdString();
    }
}

TEST_F(InfoLayout, NumberLinesUseAFixedPitchFace) {
    for (const QLabel* label : {ui.LabelAVI1, ui.LabelAVI2, ui.LabelFenetre, ui.LabelCadre, ui.LabelColor}) {
        const QFontMetrics metrics(label->font());
        EXPECT_EQ(metrics.horizontalAdvance("1111"), metrics.horizontalAdvance("WWWW"))
            << label->objectName().toStdString();
        EXPECT_EQ(label->font().pixelSize(), form.font().pixelSize()) << "size unchanged";
    }
    const QFontMetrics window(ui.LabelPosImage->font());
    EXPECT_NE(window.horizontalAdvance("1111"), window.horizontalAdvance("WWWW")) << "the others keep the window font";
}

// The window as the user sees it; kept as a picture when ORVEXA_GRAB_DIR names a directory.
TEST_F(InfoLayout, GrabShowsTheWindow) {
    fillWithLongestTexts();
    const QImage grabbed = form.grab().toImage();
    EXPECT_EQ(grabbed.size() / grabbed.devicePixelRatio(), QSize(248, 428));
    const QString dir = qEnvironmentVariable("ORVEXA_GRAB_DIR");
    if (!dir.isEmpty()) {
        EXPECT_TRUE(grabbed.save(QDir(dir).filePath("FormInfoImg.png")));
    }
}

}  // namespace
