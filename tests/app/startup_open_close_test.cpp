// SPDX-License-Identifier: GPL-2.0-or-later
// Start-up state, opening and closing videos, and the keyboard switch of the text fields.

#include <QDir>
#include <QRegularExpression>
#include <QScrollArea>
#include <QTimer>
#include <QTransform>

#include "main_window_fixture.h"
#include "widgets/controls/image_control.h"
#include "widgets/file_filter.h"

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
    EXPECT_TRUE(navigation.VideoSequence());
    EXPECT_FALSE(frameSource.VideoOpen());
}

TEST_F(MainWindowTest, OpeningAHundredFrameVideoSetsRangeAndSizesTheViewer) {
    OpenFixture(100, 160, 120);
    ASSERT_TRUE(frameSource.VideoOpen());
    EXPECT_EQ(ui().LabelMax->text(), "99");
    EXPECT_EQ(ui().TrackBarVideo->minimum(), 0);
    EXPECT_EQ(ui().TrackBarVideo->maximum(), 99);
    EXPECT_EQ(ui().TrackBarVideo->value(), 0);
    EXPECT_EQ(navigation.RangeStart(), 0);
    EXPECT_EQ(navigation.RangeEnd(), 99);
    FrameViewer* viewer = window->VideoViewer();
    EXPECT_TRUE(viewer->isVisible());
    EXPECT_EQ(viewer->image()->size(), QSize(160, 120));
    EXPECT_EQ(viewer->size(), QSize(164, 124));
    EXPECT_EQ(ShownFrameNumber(), 0);
    EXPECT_EQ(viewer->windowTitle(), "Vue Avi: 0 - Ligne: 0");
    EXPECT_TRUE(ui().SpeedButtonExtraire->isEnabled());
    EXPECT_TRUE(ui().SpeedButtonVoir->isEnabled());
}

// "Ouvrir..." offers every video type first, whatever the case of the names, and a phone's
// portrait MP4 opens upright with its own frame count.
TEST_F(MainWindowTest, OpenDialogOffersEveryVideoTypeAndOpensAnMp4) {
    fixture::VideoOptions options;
    options.codec = fixture::Codec::H264;
    options.container = "mp4";
    options.frames = 24;
    options.clockwise = 90;
    const std::string path = dir.File("PORTRAIT.MP4");
    ASSERT_TRUE(fixture::WriteVideo(path, options));
    dialogs->queueFiles({QString::fromStdString(path)});
    ui().SpeedButtonOuvrirAvi->click();

    ASSERT_FALSE(dialogs->fileRequests().empty());
    const QStringList filters = dialogs::toQtNameFilters(dialogs->fileRequests().back().filter);
    ASSERT_EQ(filters.size(), 3);
    EXPECT_TRUE(
        filters[0].startsWith(QString("Vidéos (*.avi *.mp4 *.m4v *.mov *.mkv *.webm *.ts *.m2ts *.mts "
                                      "*.mpg *.mpeg *.vob)")));
    EXPECT_TRUE(filters[1].startsWith("Animations AVI (*.AVI)"));
    EXPECT_TRUE(filters[2].startsWith("Tous Fichiers (*.*)"));
    const auto offered = [&](int filter, const QString& name) {
        const QString& text = filters[filter];
        const qsizetype open = text.lastIndexOf('(');
        for (const QString& pattern : text.mid(open + 1, text.size() - open - 2).split(' ')) {
            if (QRegularExpression::fromWildcard(pattern, Qt::CaseSensitive).match(name).hasMatch()) return true;
        }
        return false;
    };
    for (const QString name : {"PORTRAIT.MP4", "clip.webm", "Cam.Mts", "film.MKV", "old.avi", "dvd.VOB"}) {
        EXPECT_TRUE(offered(0, name)) << name.toStdString();
    }
    EXPECT_FALSE(offered(0, "notes.txt"));
    EXPECT_FALSE(offered(1, "PORTRAIT.MP4"));
    EXPECT_TRUE(offered(1, "old.Avi"));

    ASSERT_TRUE(frameSource.VideoOpen());
    EXPECT_EQ(ui().LabelMax->text(), "23");
    EXPECT_EQ(window->VideoViewer()->image()->size(), QSize(120, 160)) << "shown upright";
    ui().TrackBarVideo->setValue(17);
    EXPECT_EQ(navigation.CurrentPosition(), 17);
    const QImage turnedBack = window->VideoViewer()->bitmap().image().transformed(QTransform().rotate(-90));
    EXPECT_EQ(FrameNumberOf(turnedBack), 17);
}

TEST_F(MainWindowTest, CancelledOrFailedOpensLeaveNoVideo) {
    OpenFixture(10);
    ASSERT_TRUE(frameSource.VideoOpen());
    ui().SpeedButtonOuvrirAvi->click();  // the dialog is cancelled: no file queued
    EXPECT_FALSE(frameSource.VideoOpen());
    EXPECT_FALSE(ui().SpeedButtonExtraire->isEnabled());
    EXPECT_FALSE(ui().SpeedButtonListe->isEnabled());
    EXPECT_EQ(ui().LabelMax->text(), "0");  // a cancelled dialog is no error

    const std::string text = dir.File("notes.avi");
    ASSERT_TRUE(fixture::WriteBadFile(text, fixture::BadFile::Text, ""));
    dialogs->queueFiles({QString::fromStdString(text)});
    ui().SpeedButtonOuvrirAvi->click();
    EXPECT_FALSE(frameSource.VideoOpen());
    EXPECT_EQ(ui().LabelMax->text(), "Erreur");
    EXPECT_EQ(ui().EditNomFicAvi->text(), "notes.avi");
    EXPECT_TRUE(dialogs->messages().empty());

    ui().SpeedButtonFermer->click();
    EXPECT_EQ(ui().LabelMax->text(), "0");
    EXPECT_EQ(ui().EditNomFicAvi->text(), "");
}

// The pause command while a long video is indexed cancels the open, as the caption says: no
// error shown, and no empty viewer left up from the video before.
TEST_F(MainWindowTest, PauseWhileIndexingCancelsTheOpenAsTheCaptionSays) {
    const std::string path = dir.File("long.mkv");
    OpenFixture(10, 320, 240);
    ASSERT_TRUE(window->VideoViewer()->isVisible());
    fixture::VideoOptions options;
    options.codec = fixture::Codec::Mjpeg;
    options.container = "matroska";
    options.frames = 400;
    ASSERT_TRUE(fixture::WriteVideo(path, options));

    QString captionWhileIndexing;
    QTimer pauser;  // runs from the indexing's own event processing
    QObject::connect(&pauser, &QTimer::timeout, [&] {
        if (!window->windowTitle().contains("Indexation")) return;
        captionWhileIndexing = window->windowTitle();
        pauser.stop();
        ui().SpeedButtonPause->click();
    });
    pauser.start(0);
    dialogs->queueFiles({QString::fromStdString(path)});
    ui().SpeedButtonOuvrirAvi->click();

    EXPECT_TRUE(QRegularExpression("^Orvexa : préVersion : 0\\.30 - Indexation \\d+ % \\(Pause pour annuler\\)$")
                    .match(captionWhileIndexing)
                    .hasMatch())
        << captionWhileIndexing.toStdString();
    EXPECT_EQ(window->windowTitle(), "Orvexa : préVersion : 0.30");
    EXPECT_FALSE(frameSource.VideoOpen());
    EXPECT_EQ(ui().LabelMax->text(), "Ouverture Annulée");
    EXPECT_LE(ui().LabelMax->sizeHint().width(), ui().LabelMax->width());
    EXPECT_EQ(ui().EditNomFicAvi->text(), "long.mkv");
    EXPECT_FALSE(window->VideoViewer()->isVisible());
    EXPECT_FALSE(ui().SpeedButtonListe->isEnabled());
    EXPECT_TRUE(dialogs->messages().empty());
    EXPECT_TRUE(dialogs->errors().empty());

    // Left to index, the same file opens.
    dialogs->queueFiles({QString::fromStdString(path)});
    ui().SpeedButtonOuvrirAvi->click();
    EXPECT_EQ(ui().LabelMax->text(), "399");
    EXPECT_TRUE(window->VideoViewer()->isVisible());
}

TEST_F(MainWindowTest, ASecondOpenForgetsTheCropRectangle) {
    OpenFixture(10);
    frameSource.SetCropRect(0, 0, 5, 10);
    ui().CheckBoxCadre->setChecked(true);
    frameSource.SetCropEnabled(true);
    OpenFixture(12);
    EXPECT_TRUE(frameSource.VideoOpen());
    EXPECT_FALSE(frameSource.CropDefined());
    EXPECT_FALSE(frameSource.CropEnabled());
    EXPECT_FALSE(ui().CheckBoxCadre->isChecked());
}

TEST_F(MainWindowTest, TypingInNameFieldsNeverMovesThroughFrames) {
    OpenFixture(20);
    ui().TrackBarVideo->setValue(5);
    Focus(ui().EditNomFicImg);
    QTest::keyClicks(ui().EditNomFicImg, "N5X");
    EXPECT_EQ(navigation.CurrentPosition(), 5);
    EXPECT_EQ(ui().EditNomFicImg->text(), "IMAGEN5X");
    EXPECT_EQ(ui().LabelNomImg->text(), "IMAGEN5X1.BMP");

    Focus(ui().CheckBoxBoucle);  // leaving the field switches the key map on again
    QTest::keyClick(ui().CheckBoxBoucle, Qt::Key_N);
    EXPECT_EQ(navigation.CurrentPosition(), 6);
}

TEST_F(MainWindowTest, EnterInTheVideoNameMovesTheFocusToTheTrackBar) {
    Focus(ui().EditNomFicAvi);
    QTest::keyClick(ui().EditNomFicAvi, Qt::Key_Return);
    EXPECT_TRUE(ui().TrackBarVideo->hasFocus());
    EXPECT_FALSE(frameSource.VideoOpen());
}
