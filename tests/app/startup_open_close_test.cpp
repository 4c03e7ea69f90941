// SPDX-License-Identifier: GPL-2.0-or-later
// Start-up state, opening and closing videos, and the keyboard switch of the text fields.

#include <QAction>
#include <QClipboard>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMenu>
#include <QMimeData>
#include <QRegularExpression>
#include <QScreen>
#include <QScrollArea>
#include <QTimer>
#include <QTransform>
#include <QUrl>

#include "framelist/frame_list_window.h"
#include "main_window_fixture.h"
#include "rankingplot/ranking_plot_window.h"
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

    // A damaged MP4 opens from its tables: the count they list holds until a frame whose
    // packets show the damage is asked for; the window then takes the count FFmpeg presents,
    // as after an open, and shows the frame within it.
    const std::string damaged = dir.File("DAMAGED.MP4");
    ASSERT_TRUE(fixture::WriteDamagedMp4(damaged, 96));
    const auto presented = int(fixture::DecodeSequentially(damaged, 0).pictures.size());
    ASSERT_LT(presented, 96);
    dialogs->queueFiles({QString::fromStdString(damaged)});
    ui().SpeedButtonOuvrirAvi->click();
    EXPECT_EQ(ui().LabelMax->text(), "95");
    ui().TrackBarVideo->setValue(2);
    EXPECT_EQ(ShownFrameNumber(), 2);
    EXPECT_EQ(ui().LabelMax->text(), "95");
    ui().TrackBarVideo->setValue(95);
    QCoreApplication::processEvents();
    EXPECT_EQ(ui().LabelMax->text(), QString::number(presented - 1));
    EXPECT_EQ(ui().TrackBarVideo->maximum(), presented - 1);
    EXPECT_EQ(ui().TrackBarVideo->value(), presented - 1);
    EXPECT_EQ(navigation.RangeEnd(), presented - 1);
    EXPECT_EQ(navigation.CurrentPosition(), presented - 1);
    EXPECT_EQ(ShownFrameNumber(), 95);
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

// What comes back at the next run: the recent files (eight at most, newest first, those gone
// left out), the folders of the last open and of the output, and every window wholly on its
// screen, even one left off it. Files dropped on the main window or the viewer open as
// "Ouvrir..." opens them, and the standard keys reach the menu's commands.
TEST_F(MainWindowTest, RecentFilesFoldersWindowsAndDropsComeBackAtTheNextRun) {
    std::vector<QString> videos;
    fixture::VideoOptions options;
    options.frames = 3;
    options.width = 32;
    options.height = 24;
    for (int i = 0; i < 10; ++i) {
        videos.push_back(QString::fromStdString(dir.File("recent" + std::to_string(i) + ".avi")));
        ASSERT_TRUE(fixture::WriteVideo(videos.back().toStdString(), options));
    }
    // Dropped on the main window, then on the viewer; the others through Ctrl+O.
    const auto drop = [](QWidget* target, const QString& path) {
        QMimeData data;
        data.setUrls({QUrl::fromLocalFile(path)});
        QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(target, &enter);
        EXPECT_TRUE(enter.isAccepted());
        QDropEvent dropped(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(target, &dropped);
        EXPECT_TRUE(dropped.isAccepted());
        QCoreApplication::processEvents();
    };
    drop(window.get(), videos[0]);
    EXPECT_EQ(ui().EditNomFicAvi->text(), "recent0.avi");
    EXPECT_TRUE(frameSource.VideoOpen());
    drop(window->VideoViewer(), videos[1]);
    EXPECT_EQ(ui().EditNomFicAvi->text(), "recent1.avi");
    for (int i = 2; i < 10; ++i) {
        dialogs->queueFiles({videos[size_t(i)]});
        QTest::keyClick(ui().TrackBarVideo, Qt::Key_O, Qt::ControlModifier);
        EXPECT_EQ(ui().EditNomFicAvi->text(), QString("recent%1.avi").arg(i));
    }
    QTest::keyClick(window->VideoViewer(), Qt::Key_W, Qt::ControlModifier);
    EXPECT_FALSE(frameSource.VideoOpen()) << "Ctrl+W closes the video";
    ASSERT_TRUE(QFile::remove(videos[6]));
    const QString output = QString::fromStdString(dir.File("out"));
    ASSERT_TRUE(QDir().mkpath(output));
    dialogs->queueDirectory(output);
    ui().SpeedButtonParcourirExtraction->click();

    // The windows are left where no screen is; the plot window comes from the main menu.
    window->ShowFrameList();
    window->findChild<QAction*>("Graphique1")->trigger();
    RankingPlotWindow* plot = window->ListWindow()->rankingPlot();
    ASSERT_NE(plot, nullptr);
    for (QWidget* shown : {static_cast<QWidget*>(window.get()), static_cast<QWidget*>(window->ListWindow()),
                           static_cast<QWidget*>(plot)}) {
        shown->move(9000, 9000);
    }
    QTest::keyClick(ui().TrackBarVideo, Qt::Key_Q, Qt::ControlModifier);
    EXPECT_FALSE(window->isVisible()) << "Ctrl+Q quits";
    controls.reset();
    window.reset();

    window = std::make_unique<MainWindow>(frameSource, navigation);
    window->show();
    controls = std::make_unique<MainControls>(*window);
    EXPECT_EQ(ui().LabelRepFicAvi->text(), QFileInfo(videos[0]).absolutePath());
    EXPECT_EQ(ui().LabelRepFicImg->text(), output + "/");
    QStringList recent;
    auto* menu = window->findChild<QMenu*>("FichiersRecents1");
    emit menu->aboutToShow();
    for (QAction* action : menu->actions()) recent << action->text();
    EXPECT_EQ(recent, (QStringList{"&1 recent9.avi", "&2 recent8.avi", "&3 recent7.avi", "&4 recent5.avi",
                                   "&5 recent4.avi", "&6 recent3.avi", "&7 recent2.avi"}));
    menu->actions().first()->trigger();
    EXPECT_EQ(ui().EditNomFicAvi->text(), "recent9.avi");
    window->ShowFrameList();
    window->findChild<QAction*>("Graphique1")->trigger();
    const QRect screen = window->screen()->availableGeometry();
    for (QWidget* shown : {static_cast<QWidget*>(window.get()), static_cast<QWidget*>(window->ListWindow()),
                           static_cast<QWidget*>(window->ListWindow()->rankingPlot())}) {
        EXPECT_TRUE(screen.contains(shown->frameGeometry()))
            << shown->objectName().toStdString() << " " << shown->frameGeometry().x() << ","
            << shown->frameGeometry().y() << " " << shown->frameGeometry().width() << "x"
            << shown->frameGeometry().height() << " on " << screen.width() << "x" << screen.height();
    }
}

// Ctrl+C in the viewer puts the frame shown on the clipboard as "Extraire" would write it: the
// crop rectangle's part when "Limiter au Cadre" is on, without the outline drawn on the viewer.
TEST_F(MainWindowTest, CtrlCInTheViewerCopiesTheFrameAsCropped) {
    OpenFixture(10, 160, 120);
    ui().TrackBarVideo->setValue(4);
    FrameViewer* viewer = window->VideoViewer();
    for (const bool cropped : {false, true}) {
        if (cropped) {
            QTest::mouseClick(viewer->image(), Qt::LeftButton, {}, QPoint(10, 20));  // a rectangle first
            QTest::mousePress(viewer->image(), Qt::LeftButton, {}, QPoint(10, 20));
            QTest::mouseMove(viewer->image(), QPoint(89, 69));
            QTest::mouseRelease(viewer->image(), Qt::LeftButton, {}, QPoint(89, 69));
            QTest::mouseClick(ui().CheckBoxCadre, Qt::LeftButton);
            ASSERT_TRUE(frameSource.CropEnabled());
        }
        QApplication::clipboard()->clear();
        QApplication::setActiveWindow(viewer);
        QTest::keyClick(viewer, Qt::Key_C, Qt::ControlModifier);
        const QImage copied = QApplication::clipboard()->image();
        imaging::Bitmap expected;
        ASSERT_TRUE(frameSource.LoadOutputBitmap(4, expected));
        EXPECT_EQ(copied.size(), cropped ? QSize(80, 50) : QSize(160, 120));
        EXPECT_EQ(copied.convertToFormat(QImage::Format_RGB32),
                  expected.toImage().convertToFormat(QImage::Format_RGB32));
        EXPECT_EQ(navigation.CurrentPosition(), 4) << "C is no key of the key map";
    }
}
