// SPDX-License-Identifier: GPL-2.0-or-later
// Writing the frame shown, the batch of marked rows, viewing a picture file, and the switch
// that limits output images to the crop rectangle.

#include <QFileInfo>
#include <QImage>
#include <QPainter>
#include <QSignalBlocker>
#include <limits>

#include "app/TForm1.h"
#include "base/dialogs.h"
#include "framelist/TFormListe.h"
#include "framesource/crop_check.h"
#include "framesource/frame_source.h"
#include "framesource/image_writers.h"
#include "framesource/jpeg_options.h"
#include "imaging/bitmap.h"
#include "imaging/picture_loader.h"
#include "infowindow/TFormInfoImg.h"
#include "navigation/navigation.h"
#include "options/TFormOpJpeg.h"
#include "ui_TForm1.h"
#include "viewer/TFormAvi.h"
#include "widgets/controls/image_control.h"

namespace {
const QString kPictureFilter = QStringLiteral("Images (*.BMP)|*.BMP|Images (*.JPG)|*.JPG|Tous Fichiers (*.*)|*.*");
}  // namespace

void TForm1::SpeedButtonExtraireClick() {
    LastExtractionWrote = false;
    if (!FrameSource::VideoOpen()) return;
    // Said once: a batch that runs this command ends with it.
    FrameSource::RequireCropInsideFrames();
    LastExtractionWrote = ExtractImage(nullptr);
}

bool TForm1::ExtractImage(const FrameSource::PreparedImage* prepared) {
    const QString name = BuildImageName();
    const QString path = OutputDir + name;
    bool written = false;
    if (prepared) {
        written = OutputType == naming::OutputType::Jpeg ? FrameSource::WritePreparedJpeg(*prepared, path)
                                                         : FrameSource::WritePreparedBmp(*prepared, path);
    } else {
        const int32_t frame = FrameAtPosition(navigation::CurrentPosition());
        if (frame < 0) return false;
        if (!FrameSource::PrepareFrame(frame)) {
            // A frame the video cannot give is said so, not passed over in silence.
            dialogs::current().messageBox(QStringLiteral("L'Image %1 ne peut pas être Décodée").arg(frame),
                                          QStringLiteral("Image Illisible"), dialogs::Buttons::Ok);
            return false;
        }
        written = OutputType == naming::OutputType::Jpeg ? FrameSource::SaveFrameJpeg(frame, path)
                                                         : FrameSource::SaveFrameBmp(frame, path);
    }
    if (written && naming::Numbering(ui_->RadioGroupNum->itemIndex()) != naming::Numbering::None) {
        // The number stops at the largest value rather than wrapping to a negative one.
        if (StartNumber < std::numeric_limits<int32_t>::max()) ++StartNumber;
        ui_->EditDebut->setText(QString::number(StartNumber));
    }
    return written;
}

bool TForm1::ExtractCurrentFrame() {
    SpeedButtonExtraireClick();
    return LastExtractionWrote;
}

naming::OutputType TForm1::ExtractionType() { return naming::OutputType(ui_->RadioGroupTypeExtraction->itemIndex()); }

bool TForm1::ExtractPrepared(const FrameSource::PreparedImage& image) {
    LastExtractionWrote = false;
    if (!FrameSource::VideoOpen()) return false;
    LastExtractionWrote = ExtractImage(&image);
    return LastExtractionWrote;
}

void TForm1::SpeedButtonLotClick() { listWindow_->SpeedButtonExtraireClick(); }

void TForm1::SpeedButtonVoirClick() {
    navigation::SetRunFlag(false);
    dialogs::OpenFileRequest request;
    request.directory = OutputDir;
    request.filter = kPictureFilter;
    request.multiSelect = false;
    const QStringList chosen = dialogs::current().openFiles(request);
    if (chosen.isEmpty()) return;

    const QString path = chosen.first();
    gfx::Picture& picture = pictureViewer_->picture();
    const gfx::LoadResult result = gfx::LoadPictureFile(picture, path);
    if (result == gfx::LoadResult::Loaded) {
        pictureViewer_->setWindowTitle(QFileInfo(path).fileName());
        // The reading options (scale among them) decide the picture's size, so they apply first
        // and the viewer is sized to the picture they give.
        jpegoptions::ApplyTo(picture.graphic());
        QImage converted = gfx::ToViewerImage(*picture.graphic());
        pictureViewer_->FitToPicture(converted.size(), *this);
        picture.setGraphic(std::make_unique<gfx::Bitmap>(std::move(converted), gfx::PixelLayout::Bits24));
    } else {
        pictureViewer_->setWindowTitle("Pas d'Image");
    }
    pictureViewer_->show();
    pictureViewer_->raise();
    pictureViewer_->infoForm()->AttachImage(pictureViewer_->image(), 0, 0, 0, 0);
}

bool TForm1::CheckBoxCadreMouseDown() {
    if (!FrameSource::CropDefined()) {
        dialogs::current().messageBox("Définissez un Cadre de Sélection dans l'Image", "Cadre non Défini",
                                      dialogs::Buttons::Ok);
        ui_->CheckBoxCadre->setChecked(false);
        return false;
    }
    return true;
}

// CropEnabled follows the box whatever changed it (a click, Space, an assistive tool), so the two
// always agree; a press dragged off the box changes neither. Without a rectangle the box stays
// unticked.
void TForm1::CheckBoxCadreChange(bool checked) {
    if (checked && !FrameSource::CropDefined()) {
        const QSignalBlocker quiet(ui_->CheckBoxCadre);
        ui_->CheckBoxCadre->setChecked(false);
        checked = false;
    }
    FrameSource::SetCropEnabled(checked);
}
