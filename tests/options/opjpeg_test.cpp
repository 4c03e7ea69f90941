// SPDX-License-Identifier: GPL-2.0-or-later
// The JPEG options dialog: its defaults, how it copies its settings into a JPEG image, the
// quality text's limits, and which graphic "Appliquer..." acts on.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTest>
#include <QToolButton>

#include "base/errors.h"
#include "framesource/frame_source.h"
#include "framesource/jpeg_options.h"
#include "imaging/jpeg_image.h"
#include "imaging/picture.h"
#include "infowindow/info_window.h"
#include "options/jpeg_options_dialog.h"
#include "support/scripted_dialogs.h"
#include "widgets/controls/up_down.h"

namespace {

struct Dialog {
    JpegOptionsDialog form;
    QLineEdit* quality = form.findChild<QLineEdit*>("CompressionQuality");
    UpDown* upDown = form.findChild<UpDown*>("UpDown1");
    QCheckBox* grey = form.findChild<QCheckBox*>("GrayScale");
    QCheckBox* progressive = form.findChild<QCheckBox*>("ProgressiveEncoding");
    QCheckBox* progressiveDisplay = form.findChild<QCheckBox*>("ProgressiveDisplay");
    QComboBox* pixelFormat = form.findChild<QComboBox*>("PixelFormat");
    QComboBox* scale = form.findChild<QComboBox*>("Scale");
    QComboBox* performance = form.findChild<QComboBox*>("Performance");
    QToolButton* apply = form.findChild<QToolButton*>("SpeedButtonAppliquer");
    QPushButton* ok = form.findChild<QPushButton*>("BitBtnOk");

    std::vector<QWidget*> readingOptions() const { return {progressiveDisplay, pixelFormat, scale, performance}; }
};

TEST(FormOpJpeg, LayoutCaptionsAndDefaults) {
    Dialog d;
    EXPECT_EQ(d.form.objectName(), "FormOpJpeg");
    EXPECT_EQ(d.form.windowTitle(), "Options Jpeg");
    // The design's outer size 295 x 373 less the frame: 4-pixel borders and the caption.
    EXPECT_EQ(d.form.geometry(), QRect(407, 40, 287, 344));
    struct Expected {
        const char* name;
        QRect geometry;
    };
    const Expected controls[] = {
        {"CompressionQuality", {152, 12, 57, 21}},    {"UpDown1", {209, 12, 12, 21}},
        {"ProgressiveEncoding", {64, 48, 145, 17}},   {"GrayScale", {72, 72, 97, 17}},
        {"GroupBox1", {32, 104, 177, 177}},           {"ProgressiveDisplay", {16, 40, 145, 17}},
        {"SpeedButtonAppliquer", {24, 304, 121, 22}}, {"BitBtnOk", {192, 304, 75, 25}},
    };
    for (const auto& [name, geometry] : controls) {
        const auto* widget = d.form.findChild<QWidget*>(name);
        ASSERT_NE(widget, nullptr) << name;
        EXPECT_EQ(widget->geometry(), geometry) << name;
    }
    EXPECT_EQ(d.form.findChild<QLabel*>("Label1")->text(), "Qualité de Compression:");
    // Every caption is readable whole inside its fixed box.
    const QLabel* label = d.form.findChild<QLabel*>("Label1");
    EXPECT_LE(label->sizeHint().width(), label->width());
    for (QCheckBox* box : {d.grey, d.progressive, d.progressiveDisplay}) {
        QStyleOptionButton option;
        option.initFrom(box);
        option.text = box->text();
        const QRect room = box->style()->subElementRect(QStyle::SE_CheckBoxContents, &option, box);
        const QRect ink = box->fontMetrics().tightBoundingRect(box->text());
        EXPECT_LE(ink.width(), room.width()) << box->objectName().toStdString();
        EXPECT_LE(ink.height(), box->height()) << box->objectName().toStdString();
    }
    EXPECT_EQ(d.form.findChild<QGroupBox*>("GroupBox1")->title(), "Options de Lecture");
    EXPECT_EQ(d.apply->text(), "Appliquer...");
    EXPECT_EQ(d.ok->text(), "OK");
    EXPECT_EQ(d.quality->text(), "100");
    EXPECT_EQ(d.upDown->position(), 100);
    for (QCheckBox* box : {d.grey, d.progressive, d.progressiveDisplay}) EXPECT_FALSE(box->isChecked());
    const std::pair<QComboBox*, QStringList> lists[] = {
        {d.pixelFormat, {"24 bits", "8 bits"}},
        {d.scale, {"Pleine Taille", "Demie Taille", "Quart de Taille", "Huitième de Taille"}},
        {d.performance, {"Qualité", "Vitesse"}},
    };
    for (const auto& [list, items] : lists) {
        QStringList texts;
        for (int i = 0; i < list->count(); ++i) texts << list->itemText(i);
        EXPECT_EQ(texts, items);
        EXPECT_EQ(list->currentIndex(), 0);
    }
}

TEST(FormOpJpeg, QualityTextIsLimitedToOneToHundred) {
    const std::pair<const char*, int> cases[] = {
        {"100", 100}, {"75", 75},   {"1", 1}, {"101", 100}, {"255", 100},
        {"256", 100}, {"300", 100}, {"0", 1}, {"-5", 1},    {" 42 ", 42},
    };
    Dialog d;
    for (const auto& [text, quality] : cases) {
        d.quality->setText(text);
        imaging::JpegImage jpeg;
        d.form.ApplyJpegOptions(&jpeg);
        EXPECT_EQ(jpeg.quality(), quality) << text;
    }
}

TEST(FormOpJpeg, QualityThatIsNotAWholeNumberIsAnErrorAndChangesNothing) {
    Dialog d;
    for (const QString text : {"abc", "", "7.5", "99999999999"}) {
        imaging::JpegImage jpeg;
        jpeg.setQuality(33);
        d.quality->setText(text);
        d.grey->setChecked(true);
        try {
            d.form.ApplyJpegOptions(&jpeg);
            ADD_FAILURE() << text.toStdString();
        } catch (const errors::Error& error) {
            EXPECT_EQ(error.message(), "'" + text + "' n'est pas une valeur entière correcte");
        }
        EXPECT_EQ(jpeg.quality(), 33);
        EXPECT_FALSE(jpeg.grayscale());
    }
}

TEST(FormOpJpeg, ApplyCopiesEverySetting) {
    Dialog d;
    d.quality->setText("61");
    d.grey->setChecked(true);
    d.progressive->setChecked(true);
    d.progressiveDisplay->setChecked(true);
    d.pixelFormat->setCurrentIndex(1);
    d.scale->setCurrentIndex(3);
    d.performance->setCurrentIndex(1);
    imaging::JpegImage jpeg;
    d.form.ApplyJpegOptions(&jpeg);
    EXPECT_EQ(jpeg.quality(), 61);
    EXPECT_TRUE(jpeg.grayscale());
    EXPECT_TRUE(jpeg.progressiveEncoding());
    EXPECT_TRUE(jpeg.progressiveDisplay());
    EXPECT_EQ(jpeg.pixelFormat(), 1);
    EXPECT_EQ(jpeg.scale(), 3);
    EXPECT_EQ(jpeg.performance(), 1);

    // A typed text selects no item; the field then has all bits set.
    d.scale->setEditText("Double");
    d.scale->setCurrentIndex(-1);
    d.form.ApplyJpegOptions(&jpeg);
    EXPECT_EQ(jpeg.scale(), 255);
}

TEST(FormOpJpeg, ReadingOptionsAreAvailableOnlyForAJpeg) {
    Dialog d;
    imaging::Bitmap bitmap(QImage(4, 4, QImage::Format_RGB888), imaging::PixelLayout::Bits24);
    imaging::JpegImage baseline, progressive;
    progressive.setQuality(12);
    struct Case {
        imaging::Graphic* graphic;
        bool encodeProgressive;
        bool listsEnabled;
        bool displayEnabled;
    };
    const Case cases[] = {
        {&baseline, false, true, false},
        {&progressive, true, true, true},
        {&bitmap, true, false, false},
        {nullptr, true, false, false},
    };
    for (const auto& c : cases) {
        d.progressive->setChecked(c.encodeProgressive);
        d.form.ApplyJpegOptions(c.graphic);
        EXPECT_EQ(d.pixelFormat->isEnabled(), c.listsEnabled);
        EXPECT_EQ(d.scale->isEnabled(), c.listsEnabled);
        EXPECT_EQ(d.performance->isEnabled(), c.listsEnabled);
        EXPECT_EQ(d.progressiveDisplay->isEnabled(), c.displayEnabled);
    }
    EXPECT_EQ(bitmap.width(), 4);  // a bitmap is left alone
}

TEST(FormOpJpeg, AppliquerActsOnTheGraphicTheTargetHoldsNow) {
    Dialog d;
    testing_support::ScopedDialogs dialogs;
    d.form.show();
    d.quality->setText("42");

    d.form.setTarget(nullptr);
    QTest::mouseClick(d.apply, Qt::LeftButton);  // no target: nothing happens
    for (QWidget* option : d.readingOptions()) EXPECT_TRUE(option->isEnabled() || option == d.progressiveDisplay);

    imaging::Picture picture;
    d.form.setTarget(&picture);
    picture.setGraphic(std::make_unique<imaging::JpegImage>());
    picture.setGraphic(std::make_unique<imaging::JpegImage>());  // the viewer moved on
    QTest::mouseClick(d.apply, Qt::LeftButton);
    EXPECT_EQ(static_cast<imaging::JpegImage*>(picture.graphic())->quality(), 42);
    EXPECT_TRUE(d.scale->isEnabled());

    picture.setGraphic(std::make_unique<imaging::Bitmap>());
    QTest::mouseClick(d.apply, Qt::LeftButton);
    for (QWidget* option : d.readingOptions()) EXPECT_FALSE(option->isEnabled());

    // An error ends the click at its guard and is reported.
    picture.setGraphic(std::make_unique<imaging::JpegImage>());
    d.quality->setText("x1");
    QTest::mouseClick(d.apply, Qt::LeftButton);
    EXPECT_EQ(dialogs->errors(), QStringList{"'x1' n'est pas une valeur entière correcte"});
    d.form.setTarget(nullptr);
}

TEST(FormOpJpeg, SpinnerStepsWithinOneToHundred) {
    Dialog d;
    d.form.show();
    d.upDown->step(1);
    EXPECT_EQ(d.quality->text(), "100");  // no wrapping past the top
    d.upDown->step(-1);
    EXPECT_EQ(d.quality->text(), "99");
    d.quality->setText("2");
    d.upDown->step(-1);
    d.upDown->step(-1);
    EXPECT_EQ(d.quality->text(), "1");
}

TEST(FormOpJpeg, OkHidesAndKeepsTheSettings) {
    Dialog d;
    d.form.show();
    d.grey->setChecked(true);
    QTest::mouseClick(d.ok, Qt::LeftButton);
    EXPECT_FALSE(d.form.isVisible());
    EXPECT_TRUE(d.grey->isChecked());
}

// A group's title is drawn across the top line of its frame, as in the information window.
TEST(FormOpJpeg, GroupTitleSitsOnItsFrameLikeTheOtherGroups) {
    Dialog d;
    FrameSource frameSource;
    MagnifierZoom zoom;
    InfoWindow info(frameSource, zoom);
    for (QGroupBox* box : {d.form.findChild<QGroupBox*>("GroupBox1"), info.findChild<QGroupBox*>("GroupBox2")}) {
        ASSERT_NE(box, nullptr);
        box->ensurePolished();
        QStyleOptionGroupBox option;
        option.initFrom(box);
        option.text = box->title();
        option.lineWidth = 1;
        option.subControls = QStyle::SC_GroupBoxFrame | QStyle::SC_GroupBoxLabel;
        const auto rect = [&](QStyle::SubControl part) {
            return box->style()->subControlRect(QStyle::CC_GroupBox, &option, part, box);
        };
        const QRect title = rect(QStyle::SC_GroupBoxLabel), frame = rect(QStyle::SC_GroupBoxFrame);
        EXPECT_LT(title.top(), frame.top()) << box->title().toStdString();
        EXPECT_GT(title.bottom(), frame.top()) << box->title().toStdString();
    }
}

}  // namespace
