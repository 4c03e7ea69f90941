// Start-up state, opening and closing videos, and the keyboard switch of the text fields.

#include <QDir>
#include <QScrollArea>

#include "main_window_fixture.h"
#include "platform/controls/image_control.h"

TEST_F(MainWindowTest, StartsWithItsDefaultsAndNoVideo) {
    EXPECT_EQ(window->windowTitle(), QString("Orvexa : préVersion : 0.30"));
    EXPECT_EQ(ui().EditNomFicAvi->text(), "*.AVI");
    EXPECT_EQ(ui().EditNomFicImg->text(), "IMAGE");
    EXPECT_EQ(ui().LabelRepFicAvi->text(), QDir::currentPath());
    EXPECT_EQ(ui().LabelRepFicImg->text(), QDir::currentPath());
    EXPECT_EQ(ui().LabelMin->text(), "0");
    EXPECT_EQ(ui().LabelMax->text(), "0");
    EXPECT_EQ(ui().LabelEtat->text(), QString("Lecture Arrêtée"));
    EXPECT_EQ(ui().SpeedButtonSequence->text(), QString("Séquence AVI"));
    EXPECT_EQ(ui().LabelNomImg->text(), "IMAGE1.BMP");
    EXPECT_FALSE(ui().CheckBoxCadre->isChecked());
    EXPECT_TRUE(ui().SpeedButtonPause->isDown());
    EXPECT_EQ(ui().RadioGroupNum->itemIndex(), 0);
    EXPECT_EQ(ui().RadioGroupTypeExtraction->itemIndex(), 0);
    EXPECT_FALSE(ui().RadioGroupPlansExtraction->isEnabled());
    for (QWidget* button : {static_cast<QWidget*>(ui().SpeedButtonVisu), static_cast<QWidget*>(ui().SpeedButtonListe),
                            static_cast<QWidget*>(ui().SpeedButtonExtraire), static_cast<QWidget*>(ui().SpeedButtonLot),
                            static_cast<QWidget*>(ui().SpeedButtonVoir)}) {
        EXPECT_FALSE(button->isEnabled()) << button->objectName().toStdString();
    }
    EXPECT_TRUE(window->isPaused());
    EXPECT_TRUE(navigation::AviSequence());
    EXPECT_FALSE(FrameSource::VideoOpen());
}

TEST_F(MainWindowTest, OpeningAHundredFrameVideoSetsRangeAndSizesTheViewer) {
    OpenFixture(100, 160, 120);
    ASSERT_TRUE(FrameSource::VideoOpen());
    EXPECT_EQ(ui().LabelMax->text(), "99");
    EXPECT_EQ(ui().TrackBarVideo->minimum(), 0);
    EXPECT_EQ(ui().TrackBarVideo->maximum(), 99);
    EXPECT_EQ(ui().TrackBarVideo->value(), 0);
    EXPECT_EQ(navigation::RangeStart(), 0);
    EXPECT_EQ(navigation::RangeEnd(), 99);
    TFormAvi* viewer = window->FrameViewer();
    EXPECT_TRUE(viewer->isVisible());
    EXPECT_EQ(viewer->image()->size(), QSize(160, 120));
    EXPECT_EQ(viewer->size(), QSize(164, 124));
    EXPECT_EQ(ShownFrameNumber(), 0);
    EXPECT_EQ(viewer->windowTitle(), "Vue Avi: 0 - Ligne: 0");
    EXPECT_TRUE(ui().SpeedButtonExtraire->isEnabled());
    EXPECT_TRUE(ui().SpeedButtonVoir->isEnabled());
}

TEST_F(MainWindowTest, CancelledOrFailedOpensLeaveNoVideo) {
    OpenFixture(10);
    ASSERT_TRUE(FrameSource::VideoOpen());
    ui().SpeedButtonOuvrirAvi->click();  // the dialog is cancelled: no file queued
    EXPECT_FALSE(FrameSource::VideoOpen());
    EXPECT_FALSE(ui().SpeedButtonExtraire->isEnabled());
    EXPECT_FALSE(ui().SpeedButtonListe->isEnabled());
    EXPECT_EQ(ui().LabelMax->text(), "0");  // a cancelled dialog is no error

    const std::string text = dir.File("notes.avi");
    ASSERT_TRUE(fixture::WriteBadFile(text, fixture::BadFile::Text, ""));
    dialogs->queueFiles({QString::fromStdString(text)});
    ui().SpeedButtonOuvrirAvi->click();
    EXPECT_FALSE(FrameSource::VideoOpen());
    EXPECT_EQ(ui().LabelMax->text(), "Erreur");
    EXPECT_EQ(ui().EditNomFicAvi->text(), "notes.avi");
    EXPECT_TRUE(dialogs->messages().empty());

    ui().SpeedButtonFermer->click();
    EXPECT_EQ(ui().LabelMax->text(), "0");
    EXPECT_EQ(ui().EditNomFicAvi->text(), "");
}

TEST_F(MainWindowTest, ASecondOpenForgetsTheCropRectangle) {
    OpenFixture(10);
    FrameSource::SetCropRect(0, 0, 5, 10);
    ui().CheckBoxCadre->setChecked(true);
    FrameSource::SetCropEnabled(true);
    OpenFixture(12);
    EXPECT_TRUE(FrameSource::VideoOpen());
    EXPECT_FALSE(FrameSource::CropDefined());
    EXPECT_FALSE(FrameSource::CropEnabled());
    EXPECT_FALSE(ui().CheckBoxCadre->isChecked());
}

TEST_F(MainWindowTest, TypingInNameFieldsNeverMovesThroughFrames) {
    OpenFixture(20);
    ui().TrackBarVideo->setValue(5);
    Focus(ui().EditNomFicImg);
    QTest::keyClicks(ui().EditNomFicImg, "N5X");
    EXPECT_EQ(navigation::CurrentPosition(), 5);
    EXPECT_EQ(ui().EditNomFicImg->text(), "IMAGEN5X");
    EXPECT_EQ(ui().LabelNomImg->text(), "IMAGEN5X1.BMP");

    Focus(ui().CheckBoxBoucle);  // leaving the field switches the key map on again
    QTest::keyClick(ui().CheckBoxBoucle, Qt::Key_N);
    EXPECT_EQ(navigation::CurrentPosition(), 6);
}

TEST_F(MainWindowTest, EnterInTheVideoNameMovesTheFocusToTheTrackBar) {
    Focus(ui().EditNomFicAvi);
    QTest::keyClick(ui().EditNomFicAvi, Qt::Key_Return);
    EXPECT_TRUE(ui().TrackBarVideo->hasFocus());
    EXPECT_FALSE(FrameSource::VideoOpen());
}
