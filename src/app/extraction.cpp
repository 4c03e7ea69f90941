// SPDX-License-Identifier: GPL-2.0-or-later
// Writing the frame shown, the batch of marked rows, viewing a picture file, and the switch
// that limits output images to the crop rectangle.

#include <QFileInfo>
#include <QImage>
#include <QPainter>
#include <QSignalBlocker>
#include <limits>

#include "app/main_window.h"
#include "base/dialogs.h"
#include "framelist/frame_list_window.h"
#include "framesource/crop_check.h"
#include "framesource/frame_source.h"
#include "framesource/jpeg_options.h"
#include "framesource/output_types.h"
#include "imaging/bitmap.h"
#include "imaging/picture_loader.h"
#include "infowindow/info_window.h"
#include "navigation/navigation.h"
#include "options/jpeg_options_dialog.h"
#include "ui_main_window.h"
#include "viewer/frame_viewer.h"
#include "widgets/controls/image_control.h"

namespace {
const QString kPictureFilter = QStringLiteral("Images (*.BMP)|*.BMP|Images (*.JPG)|*.JPG|Tous Fichiers (*.*)|*.*");
}  // namespace

void MainWindow::ExtractShownFrame() {
    if (!source_.VideoOpen()) return;
    // Said once: a batch that runs this command ends with it.
    crop_check::RequireCropInsideFrames(source_);
    ExtractImage();
}

bool MainWindow::ExtractImage() {
    const naming::OutputNaming naming = Naming();
    const QString path = naming.PathOf(naming.start);
    const int32_t frame = FrameAtPosition(navigation_.CurrentPosition());
    if (frame < 0) return false;
    if (!source_.PrepareFrame(frame)) {
        // A frame the video cannot give is said so, not passed over in silence.
        dialogs::current().messageBox(QStringLiteral("L'Image %1 ne peut pas être Décodée").arg(frame),
                                      QStringLiteral("Image Illisible"), dialogs::Buttons::Ok);
        return false;
    }
    const output_types::OutputType& type = output_types::Of(naming.type);
    const bool written =
        type.writeFrame(source_, path, type.takesOptions ? JpegOptions() : jpeg_options::JpegOptions{}, nullptr);
    if (written && naming.numbering != naming::Numbering::None) SetStartNumber(naming::NumberAfter(naming.start));
    return written;
}

void MainWindow::ExtractMarkedRowsClicked() { listWindow_->ExtractMarkedRows(); }

void MainWindow::ViewPictureFile() {
    navigation_.SetRunFlag(false);
    dialogs::OpenFileRequest request;
    request.directory = outputDir_;
    request.filter = kPictureFilter;
    request.multiSelect = false;
    const QStringList chosen = dialogs::current().openFiles(request);
    if (chosen.isEmpty()) return;

    const QString path = chosen.first();
    imaging::Picture& picture = pictureViewer_->picture();
    const imaging::LoadResult result = imaging::LoadPictureFile(picture, path);
    if (result == imaging::LoadResult::Loaded) {
        pictureViewer_->setWindowTitle(QFileInfo(path).fileName());
        // The reading options (scale among them) decide the picture's size, so they apply first
        // and the viewer is sized to the picture they give.
        if (jpegOptionsWindow_) jpegOptionsWindow_->ApplyJpegOptions(picture.graphic());
        QImage converted = imaging::ToViewerImage(*picture.graphic());
        pictureViewer_->FitToPicture(converted.size(), *this);
        picture.setGraphic(std::make_unique<imaging::Bitmap>(std::move(converted), imaging::PixelLayout::Bits24));
    } else {
        pictureViewer_->setWindowTitle("Pas d'Image");
    }
    pictureViewer_->show();
    pictureViewer_->raise();
    pictureViewer_->infoForm()->AttachImage(pictureViewer_->image(), 0, 0, 0, 0);
}

bool MainWindow::CropBoxPressed() {
    if (!source_.CropDefined()) {
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
void MainWindow::CropBoxChanged(bool checked) {
    if (checked && !source_.CropDefined()) {
        const QSignalBlocker quiet(ui_->CheckBoxCadre);
        ui_->CheckBoxCadre->setChecked(false);
        checked = false;
    }
    source_.SetCropEnabled(checked);
}
