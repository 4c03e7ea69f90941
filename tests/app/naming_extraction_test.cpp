// SPDX-License-Identifier: GPL-2.0-or-later
// Output names, the start number, and the extraction commands.

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QRadioButton>
#include <functional>

#include "framelist/frame_list_window.h"
#include "framesource/image_writers.h"
#include "imaging/jpeg_image.h"
#include "main_window_fixture.h"
#include "options/jpeg_options_dialog.h"

namespace {

struct NameCase {
    const char* prefix;
    int numbering;  // 0 Normale, 1 Formatée, 2 Aucune
    const char* mask;
    const char* start;
    int type;  // 0 BMP, 1 JPG
    const char* expected;
};

}  // namespace

TEST_F(MainWindowTest, BuildsNamesFromPrefixNumberingMaskAndType) {
    ui().LabelRepFicImg->setText("/photos");
    const NameCase cases[] = {
        {"IMAGE", 0, "", "1", 0, "IMAGE1.BMP"},
        {"IMAGE", 0, "", "2", 0, "IMAGE2.BMP"},
        {"lune", 1, "####", "7", 1, "lune0007.JPG"},
        {"lune", 1, "##", "123", 1, "lune123.JPG"},
        {"lune", 1, "", "5", 0, "lune5.BMP"},
        {"lune", 2, "", "7", 0, "lune.BMP"},
        {"   ", 0, "", "1", 1, "IMAGE1.JPG"},
        {"IMAGE", 1, "###", "4", 0, "IMAGE004.BMP"},
        {"IMAGE", 1, "###", "12345", 0, "IMAGE12345.BMP"},
        {" a b ", 0, "", "3", 0, " a b 3.BMP"},
        {"x", 1, "#################", "7", 0, "x                7.BMP"},
    };
    for (const NameCase& c : cases) {
        ui().EditNomFicImg->setText(c.prefix);
        ui().RadioGroupNum->setItemIndex(c.numbering);
        ui().EditFormat->setText(c.mask);
        ui().EditDebut->setText(c.start);
        ui().RadioGroupTypeExtraction->setItemIndex(c.type);
        EXPECT_EQ(window->BuildImageName(), QString(c.expected)) << c.expected;
        EXPECT_EQ(ui().LabelNomImg->text(), QString(c.expected));
        EXPECT_EQ(window->outputDir(), "/photos/");
        EXPECT_EQ(window->outputType(), naming::OutputType(c.type));
    }
}

TEST_F(MainWindowTest, MaskAndStartNumberBoxesFilterWhatIsTyped) {
    QTest::mouseClick(ui().RadioGroupNum->button(1), Qt::LeftButton);
    EXPECT_TRUE(ui().EditFormat->isVisibleTo(window.get()));
    EXPECT_TRUE(ui().LabelFormat->isVisibleTo(window.get()));
    Focus(ui().EditFormat);
    QTest::keyClick(ui().EditFormat, Qt::Key_5);
    EXPECT_EQ(ui().EditFormat->text(), "#####");
    QTest::keyClick(ui().EditFormat, Qt::Key_A);
    EXPECT_EQ(ui().EditFormat->text(), "######");
    QTest::keyClick(ui().EditFormat, Qt::Key_Home);
    QTest::keyClick(ui().EditFormat, Qt::Key_Delete);  // deletes, as in any box
    EXPECT_EQ(ui().EditFormat->text(), "#####");
    QTest::keyClick(ui().EditFormat, Qt::Key_0);
    EXPECT_EQ(ui().EditFormat->text(), "");
    QTest::keyClick(ui().EditFormat, Qt::Key_3);
    EXPECT_EQ(ui().LabelNomImg->text(), "IMAGE001.BMP");

    Focus(ui().EditDebut);
    ui().EditDebut->selectAll();
    QTest::keyClicks(ui().EditDebut, "4x2");
    EXPECT_EQ(ui().EditDebut->text(), "42");
    EXPECT_EQ(window->startNumber(), 42);
    // Deleting every digit puts the last valid number back at once.
    ui().EditDebut->setText("");
    EXPECT_EQ(ui().EditDebut->text(), "42");
    ui().EditDebut->setText("99999999999");
    EXPECT_EQ(ui().EditDebut->text(), "42");

    QTest::mouseClick(ui().RadioGroupNum->button(2), Qt::LeftButton);
    EXPECT_FALSE(ui().EditFormat->isVisibleTo(window.get()));
    EXPECT_EQ(ui().LabelNomImg->text(), "IMAGE.BMP");
}

TEST_F(MainWindowTest, BrowseSetsTheOutputDirectoryWithItsSeparator) {
    dialogs->queueDirectory(QString::fromStdString(dir.File("out")));
    ui().SpeedButtonParcourirExtraction->click();
    ASSERT_EQ(dialogs->directoryRequests().size(), 1u);
    EXPECT_EQ(dialogs->directoryRequests()[0].title, QString("Sélection du répertoire"));
    EXPECT_EQ(ui().LabelRepFicImg->text(), QString::fromStdString(dir.File("out")) + "/");
    ui().SpeedButtonParcourirExtraction->click();  // cancelled: nothing changes
    EXPECT_EQ(ui().LabelRepFicImg->text(), QString::fromStdString(dir.File("out")) + "/");
    dialogs->queueDirectory("/");
    ui().SpeedButtonParcourirExtraction->click();
    EXPECT_EQ(ui().LabelRepFicImg->text(), "/");
}

// Each "Extraire" writes the next number; without numbering the name stays, and the second
// extraction asks before it replaces the first (the question is the writers').
TEST_F(MainWindowTest, ExtractionsWriteSuccessiveFormattedJpegFilesOrAskToReplace) {
    OpenFixture(20, 64, 48, fixture::Codec::Rgb24);
    ui().LabelRepFicImg->setText(QString::fromStdString(dir.File("")));
    QTest::mouseClick(ui().RadioGroupNum->button(1), Qt::LeftButton);
    ui().EditFormat->setText("###");
    QTest::mouseClick(ui().RadioGroupTypeExtraction->button(1), Qt::LeftButton);
    for (int frame : {10, 11, 12}) {
        ui().TrackBarVideo->setValue(frame);
        ui().SpeedButtonExtraire->click();
    }
    for (int i = 1; i <= 3; ++i) {
        const QString path =
            QString::fromStdString(dir.File(QString("IMAGE%1.JPG").arg(i, 3, 10, QChar('0')).toStdString()));
        ASSERT_TRUE(QFileInfo::exists(path)) << path.toStdString();
        imaging::JpegImage jpeg;
        jpeg.loadFromFile(path);
        EXPECT_EQ(FrameNumberOf(jpeg.toImage()), 9 + i);
    }
    EXPECT_EQ(ui().EditDebut->text(), "4");
    EXPECT_EQ(ui().LabelNomImg->text(), "IMAGE004.JPG");

    QTest::mouseClick(ui().RadioGroupNum->button(2), Qt::LeftButton);
    QTest::mouseClick(ui().RadioGroupTypeExtraction->button(0), Qt::LeftButton);
    ui().SpeedButtonExtraire->click();
    ASSERT_TRUE(QFileInfo::exists(QString::fromStdString(dir.File("IMAGE.BMP"))));
    EXPECT_TRUE(dialogs->messages().empty());
    dialogs->queueAnswer(dialogs::Answer::Cancel);
    ui().SpeedButtonExtraire->click();
    EXPECT_EQ(dialogs->messageTexts(), QStringList{"Ecraser : IMAGE.BMP ?"});
    EXPECT_EQ(ui().EditDebut->text(), "4");
}

TEST_F(MainWindowTest, StartNumberStopsAtTheLargestValue) {
    OpenFixture(3, 32, 24);
    ui().LabelRepFicImg->setText(QString::fromStdString(dir.File("")));
    ui().EditDebut->setText("2147483647");
    ui().SpeedButtonExtraire->click();
    EXPECT_TRUE(QFileInfo::exists(QString::fromStdString(dir.File("IMAGE2147483647.BMP"))));
    EXPECT_EQ(ui().EditDebut->text(), "2147483647");
    EXPECT_EQ(window->startNumber(), 2147483647);
}

TEST_F(MainWindowTest, LimitToCropNeedsARectangle) {
    OpenFixture(3, 32, 24);
    for (int attempt = 0; attempt < 2; ++attempt) {
        QTest::mouseClick(ui().CheckBoxCadre, Qt::LeftButton);
        EXPECT_FALSE(ui().CheckBoxCadre->isChecked());
        EXPECT_FALSE(frameSource.CropEnabled());
    }
    ASSERT_EQ(dialogs->messages().size(), 2u);
    EXPECT_EQ(dialogs->messages()[0].text, QString("Définissez un Cadre de Sélection dans l'Image"));
    EXPECT_EQ(dialogs->messages()[0].caption, QString("Cadre non Défini"));

    frameSource.SetCropRect(0, 0, 5, 10);
    QTest::mouseClick(ui().CheckBoxCadre, Qt::LeftButton);
    EXPECT_TRUE(ui().CheckBoxCadre->isChecked());
    EXPECT_TRUE(frameSource.CropEnabled());
    QTest::mouseClick(ui().CheckBoxCadre, Qt::LeftButton);
    EXPECT_FALSE(ui().CheckBoxCadre->isChecked());
    EXPECT_FALSE(frameSource.CropEnabled());

    frameSource.SetCropRect(0, 0, 5, 10);
    QTest::mouseClick(ui().CheckBoxCadre, Qt::LeftButton);
    ui().LabelRepFicImg->setText(QString::fromStdString(dir.File("")));
    ui().SpeedButtonExtraire->click();
    EXPECT_EQ(QFileInfo(QString::fromStdString(dir.File("IMAGE1.BMP"))).size(), 214);
}

// Only a left click ticks the box; whatever button or key the user tries, the box says what
// "Extraire" writes.
TEST_F(MainWindowTest, LimitToCropBoxSaysWhatExtraireWritesAfterEveryClick) {
    OpenFixture(3, 32, 24);
    ui().LabelRepFicImg->setText(QString::fromStdString(dir.File("")));
    frameSource.SetCropRect(0, 0, 5, 10);
    QCheckBox* box = ui().CheckBoxCadre;
    enum class Input { Left, Right, Middle, Space };
    const struct {
        Input input;
        bool ticked;
    } steps[] = {
        {Input::Right, false}, {Input::Middle, false}, {Input::Left, true},  {Input::Right, true},
        {Input::Middle, true}, {Input::Space, true},   {Input::Left, false}, {Input::Space, false},
    };
    int number = 1;
    for (const auto& step : steps) {
        switch (step.input) {
            case Input::Left:
                QTest::mouseClick(box, Qt::LeftButton);
                break;
            case Input::Right:
                QTest::mouseClick(box, Qt::RightButton);
                break;
            case Input::Middle:
                QTest::mouseClick(box, Qt::MiddleButton);
                break;
            case Input::Space:
                Focus(box);
                QTest::keyClick(box, Qt::Key_Space);
                break;
        }
        EXPECT_EQ(box->isChecked(), step.ticked) << "step " << number;
        EXPECT_EQ(frameSource.CropEnabled(), step.ticked) << "step " << number;
        ui().SpeedButtonExtraire->click();
        const QString written = QString::fromStdString(dir.File("IMAGE" + std::to_string(number) + ".BMP"));
        EXPECT_EQ(QFileInfo(written).size(), step.ticked ? 54 + 5 * 32 : 54 + 24 * 32 * 3) << "step " << number;
        ++number;
    }
    EXPECT_TRUE(dialogs->messages().empty());
}

// A crop rectangle drawn on a larger picture reaches outside the video's frames: each command
// that would write or rank cropped frames says so once and writes and ranks nothing.
TEST_F(MainWindowTest, CommandsSayOnceThatTheCropReachesOutsideTheFrames) {
    const struct {
        const char* command;
        std::function<void(MainWindow&)> run;
    } commands[] = {
        {"Extraire", [](MainWindow& w) { FindControl<QAbstractButton>(w, "SpeedButtonExtraire")->click(); }},
        {"Best of...",
         [](MainWindow& w) { w.ListWindow()->findChild<QAbstractButton*>("SpeedButtonBestOf")->click(); }},
        {"Extraire Lot...", [](MainWindow& w) { FindControl<QAbstractButton>(w, "SpeedButtonLot")->click(); }},
    };
    for (const auto& c : commands) {
        OpenFixture(4, 32, 24);
        ui().LabelRepFicImg->setText(QString::fromStdString(dir.File("")));
        window->ShowFrameList();
        window->ListWindow()->MarkButtonPressed(Qt::LeftButton, {});  // marks the rows
        frameSource.SetCropRect(10, 20, 30, 40);
        QTest::mouseClick(ui().CheckBoxCadre, Qt::LeftButton);
        ASSERT_TRUE(frameSource.CropEnabled());
        const qsizetype before = dialogs->messageTexts().size();

        c.run(*window);
        EXPECT_EQ(dialogs->messageTexts().mid(before), QStringList{"Le Cadre dépasse l'image de la vidéo"})
            << c.command;
        EXPECT_TRUE(QDir(QString::fromStdString(dir.File(""))).entryList({"IMAGE*"}).isEmpty()) << c.command;
        for (int row = 0; row < window->ListWindow()->rowCount(); ++row) {
            EXPECT_EQ(window->ListWindow()->table().row(row).tri, 0) << c.command;
        }
        EXPECT_FALSE(navigation.RunFlag()) << c.command;
    }
}

TEST_F(MainWindowTest, ViewImageShowsPicturesOrSaysThereIsNone) {
    OpenFixture(3, 120, 90);
    ui().LabelRepFicImg->setText(QString::fromStdString(dir.File("")));
    ui().SpeedButtonExtraire->click();
    const QString bmp = QString::fromStdString(dir.File("IMAGE1.BMP"));
    dialogs->queueFiles({bmp});
    ui().SpeedButtonVoir->click();
    FrameViewer* viewer = window->PictureViewer();
    EXPECT_EQ(viewer->windowTitle(), "IMAGE1.BMP");
    EXPECT_EQ(viewer->bitmap().image().size(), QSize(120, 90));
    EXPECT_EQ(viewer->bitmap().bitsPerPixel(), 24);
    EXPECT_EQ(viewer->size(), QSize(124, 94));
    EXPECT_EQ(FrameNumberOf(viewer->bitmap().image()), 0);
    ASSERT_FALSE(dialogs->fileRequests().empty());
    EXPECT_EQ(dialogs->fileRequests().back().filter,
              "Images (*.BMP)|*.BMP|Images (*.JPG)|*.JPG|Tous Fichiers (*.*)|*.*");

    const QString renamed = QString::fromStdString(dir.File("notes.jpg"));
    QFile text(renamed);
    ASSERT_TRUE(text.open(QIODevice::WriteOnly));
    text.write("not a picture at all\n");
    text.close();
    dialogs->queueFiles({renamed});
    ui().SpeedButtonVoir->click();
    EXPECT_EQ(viewer->windowTitle(), "Pas d'Image");
    EXPECT_TRUE(viewer->bitmap().image().isNull());
    EXPECT_TRUE(dialogs->errors().isEmpty());

    dialogs->queueFiles({QString::fromStdString(dir.File("missing.bmp"))});
    ui().SpeedButtonVoir->click();
    EXPECT_EQ(dialogs->errors().size(), 1);
}

TEST_F(MainWindowTest, InTheListSequenceExtraireWritesTheRowsFrame) {
    OpenFixture(12, 64, 48);
    ui().LabelRepFicImg->setText(QString::fromStdString(dir.File("")));
    window->ShowFrameList();
    window->ListWindow()->RankRows();  // ranks and sorts by JPEG size
    window->SetSequenceMode(false);
    ASSERT_FALSE(navigation.VideoSequence());
    int row = 0;
    while (row < 12 && window->ListWindow()->FrameAtRow(row) == row) ++row;
    ASSERT_LT(row, 12) << "the ranking left every row in place";
    const int frame = window->ListWindow()->FrameAtRow(row);
    ui().TrackBarVideo->setValue(row);
    EXPECT_EQ(window->VideoViewer()->windowTitle(), QString("Vue Avi: %1 - Ligne: %2").arg(frame).arg(row));
    ui().SpeedButtonExtraire->click();
    QFile file(QString::fromStdString(dir.File("IMAGE1.BMP")));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    ASSERT_GT(bytes.size(), 54);
    const int stride = ((64 * 3 + 3) / 4) * 4;
    EXPECT_EQ(fixture::ReadFrameNumber(reinterpret_cast<const uint8_t*>(bytes.constData()) + 54, 64, 48, stride),
              frame);
}

TEST_F(MainWindowTest, ViewImageDecodesJpegWithTheReadingOptions) {
    OpenFixture(2, 640, 480);
    ui().LabelRepFicImg->setText(QString::fromStdString(dir.File("")));
    ui().RadioGroupTypeExtraction->setItemIndex(1);
    ui().SpeedButtonExtraire->click();
    JpegOptionsDialog options;
    window->setJpegOptionsWindow(&options);
    options.findChild<QComboBox*>("Scale")->setCurrentIndex(2);  // "Quart de Taille"
    dialogs->queueFiles({QString::fromStdString(dir.File("IMAGE1.JPG"))});
    ui().SpeedButtonVoir->click();
    EXPECT_EQ(window->PictureViewer()->bitmap().image().size(), QSize(160, 120));
    EXPECT_EQ(window->PictureViewer()->bitmap().bitsPerPixel(), 24);
    EXPECT_EQ(window->PictureViewer()->windowTitle(), "IMAGE1.JPG");
}

// "Extraire Lot..." prepares and encodes ahead of the files it writes: each file is byte for
// byte what "Extraire" writes for its row's frame, named in table order, and the replace
// question comes in that order too. Refusing to replace a JPEG ends the batch at that row;
// a refused BMP is passed over and its name used by the next row.
TEST_F(MainWindowTest, BatchWritesWhatExtraireWritesInTableOrder) {
    struct Case {
        const char* name;
        naming::OutputType type;
        bool crop;
    };
    const Case cases[] = {
        {"BMP", naming::OutputType::Bmp, false},         {"JPG", naming::OutputType::Jpeg, false},
        {"JPG cropped", naming::OutputType::Jpeg, true}, {"BMP cropped", naming::OutputType::Bmp, true},
        {"PNG cropped", naming::OutputType::Png, true},
    };
    int serial = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        OpenFixture(12, 96, 72, fixture::Codec::Mpeg4BFrames);
        const QString extension = c.type == naming::OutputType::Jpeg  ? ".JPG"
                                  : c.type == naming::OutputType::Png ? ".PNG"
                                                                      : ".BMP";
        // A PNG the user refuses to replace ends the batch, as a JPEG does.
        const bool encoded = c.type != naming::OutputType::Bmp;
        const QString batch = QString::fromStdString(dir.File("batch" + std::to_string(++serial))) + "/";
        const QString reference = QString::fromStdString(dir.File("reference" + std::to_string(serial))) + "/";
        ASSERT_TRUE(QDir().mkpath(batch) && QDir().mkpath(reference));
        ui().LabelRepFicImg->setText(batch);
        ui().EditDebut->setText("1");
        ui().RadioGroupTypeExtraction->setItemIndex(int(c.type));
        if (c.crop) {
            frameSource.SetCropRect(5, 7, 40, 50);
            QTest::mouseClick(ui().CheckBoxCadre, Qt::LeftButton);
            ASSERT_TRUE(frameSource.CropEnabled());
        }
        window->ShowFrameList();
        FrameListWindow* list = window->ListWindow();
        list->RankRows();
        list->MarkButtonPressed(Qt::LeftButton, {});  // "Sél.": the ten best rows
        QFile existing(batch + "IMAGE3" + extension);
        ASSERT_TRUE(existing.open(QIODevice::WriteOnly) && existing.write("kept") == 4);
        existing.close();
        dialogs->clearRecords();
        dialogs->queueAnswer(dialogs::Answer::Cancel);

        ui().SpeedButtonLot->click();

        std::vector<std::pair<QString, int>> expected;  // file, frame
        expected.push_back({"IMAGE1", list->FrameAtRow(0)});
        expected.push_back({"IMAGE2", list->FrameAtRow(1)});
        QStringList messages{"Ecraser : IMAGE3" + extension + " ?"};
        if (c.type == naming::OutputType::Bmp) {
            messages << "Ecraser : IMAGE3" + extension + " ?";
            for (int row = 3; row < 10; ++row) expected.push_back({QString("IMAGE%1").arg(row), list->FrameAtRow(row)});
            // The closing message says where the files went.
            messages << "\" 9 \" Images Extraites\nDans : " + QDir::toNativeSeparators(batch);
        }
        EXPECT_EQ(dialogs->messageTexts(), messages);
        QStringList names = QDir(batch).entryList({"IMAGE*"}, QDir::Files);
        if (encoded) {
            EXPECT_EQ(names, (QStringList{"IMAGE1" + extension, "IMAGE2" + extension, "IMAGE3" + extension}));
            QFile kept(batch + "IMAGE3" + extension);
            ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
            EXPECT_EQ(kept.readAll(), "kept");
        } else {
            EXPECT_EQ(names.size(), 9);
        }
        for (const auto& [name, frame] : expected) {
            const QString file = name + extension;
            bool referenceWritten = false;
            if (c.type == naming::OutputType::Jpeg) {
                referenceWritten = image_writers::SaveFrameJpeg(frameSource, frame, reference + file, {});
            } else if (c.type == naming::OutputType::Png) {
                // "Extraire" writes the same PNG.
                referenceWritten =
                    frameSource.PrepareFrame(frame) && image_writers::WritePngFile(frameSource, reference + file);
            } else {
                referenceWritten = image_writers::SaveFrameBmp(frameSource, frame, reference + file);
            }
            ASSERT_TRUE(referenceWritten) << file.toStdString();
            QFile written(batch + file), made(reference + file);
            ASSERT_TRUE(written.open(QIODevice::ReadOnly) && made.open(QIODevice::ReadOnly)) << file.toStdString();
            EXPECT_EQ(written.readAll(), made.readAll()) << file.toStdString() << " frame " << frame;
        }
        EXPECT_FALSE(navigation.RunFlag());
        if (c.crop) QTest::mouseClick(ui().CheckBoxCadre, Qt::LeftButton);
    }
}
