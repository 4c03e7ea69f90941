// Moving through the positions of the active sequence, the slideshow and the key map.

#include <QApplication>
#include <QCoreApplication>
#include <QWidget>

#include "app/TForm1.h"
#include "framelist/TFormListe.h"
#include "framesource/frame_source.h"
#include "framesource/program_values.h"
#include "infowindow/TFormInfoImg.h"
#include "platform/dialogs.h"
#include "platform/keys.h"
#include "ui_TForm1.h"
#include "viewer/TFormAvi.h"

int32_t TForm1::ClampPosition(int32_t requested) {
    CurrentPosition = requested;
    // Both tests look at the requested value; wrapping jumps to the opposite end.
    if (ui_->CheckBoxBoucle->isChecked()) {
        if (requested < RangeStart) CurrentPosition = RangeEnd;
        if (requested > RangeEnd) CurrentPosition = RangeStart;
    } else {
        if (requested < RangeStart) CurrentPosition = RangeStart;
        if (requested > RangeEnd) CurrentPosition = RangeEnd;
    }
    return CurrentPosition;
}

void TForm1::SetSequenceMode(bool avi) {
    AviSequence = avi || !program::ListBuilt;
    ui_->SpeedButtonSequence->setText(AviSequence ? "Séquence AVI" : "Séquence Liste");
    if (!avi && AviSequence) {
        dialogs::current().messageBox("Créez une Liste avant de Changer cet Elément", "Séquence Liste",
                                      dialogs::Buttons::Ok);
    }
    if (FrameSource::VideoOpen()) ShowPosition(CurrentPosition);
}

int32_t TForm1::FrameAtPosition(int32_t position) const {
    return AviSequence ? position : listWindow_->ListFrameAt(position);
}

void TForm1::ShowPosition(int32_t position) {
    frameViewer_->show();
    frameViewer_->raise();
    if (Paused) {
        ui_->LabelEtat->setText("Lecture Arrêtée");
        ui_->SpeedButtonPause->setDown(true);
    }
    CurrentPosition = position;
    ui_->SpeedButtonExtraire->setEnabled(true);
    const int32_t frame = FrameAtPosition(CurrentPosition);
    // A list position without a row shows nothing and leaves the viewer as it was.
    if (!AviSequence && frame < 0) return;
    FrameSource::LoadFrameBitmap(frame, frameViewer_->bitmap());
    // The outline goes back on the fresh frame only while it is meant to be seen.
    if (FrameSource::CropDefined()) frameViewer_->InfoForm->DrawCropOutline(frameViewer_->InfoForm->OutlineDrawn);
    ui_->SpeedButtonGoto->setText(QString::number(frame));
    frameViewer_->setWindowTitle("Vue Avi: " + ui_->SpeedButtonGoto->text() + " - Ligne: " +
                                 QString::number(CurrentPosition));
}

void TForm1::SetPlayState(int mode) {
    program::RunFlag = false;
    if (mode == 0) {
        Paused = false;
    } else if (mode == 1) {
        Paused = true;
    } else {
        Paused = !Paused;
    }
    if (!SlideshowStarted) {
        ui_->LabelEtat->setText("Lecture Arrêtée");
    } else {
        ui_->LabelEtat->setText(Paused ? "Pause Lecture" : "Lecture en Cours");
    }
}

void TForm1::Debut() {
    SetPlayState(1);
    ui_->TrackBarVideo->setValue(ClampPosition(RangeStart));
}

void TForm1::ArriereRapide() {
    SetPlayState(1);
    ui_->TrackBarVideo->setValue(ClampPosition(CurrentPosition - FastStepSize));
}

void TForm1::Arriere() {
    SetPlayState(1);
    ui_->TrackBarVideo->setValue(ClampPosition(CurrentPosition - StepSize));
}

void TForm1::Pause() { SetPlayState(2); }

void TForm1::SpeedButtonGotoClick() { SetPlayState(1); }

void TForm1::Avant() {
    SetPlayState(1);
    ui_->TrackBarVideo->setValue(ClampPosition(CurrentPosition + StepSize));
}

void TForm1::AvantRapide() {
    SetPlayState(1);
    ui_->TrackBarVideo->setValue(ClampPosition(CurrentPosition + FastStepSize));
}

void TForm1::Fin() {
    SetPlayState(1);
    ui_->TrackBarVideo->setValue(ClampPosition(RangeEnd));
}

void TForm1::Demarrer() {
    if (!FrameSource::VideoOpen()) return;
    ui_->SpeedButtonDemarrer->setDown(true);
    if (ui_->CheckBoxBoucle->isChecked() && CurrentPosition >= RangeEnd) CurrentPosition = RangeStart;
    ShowPosition(CurrentPosition);
    SlideshowStarted = true;
    SetPlayState(0);
    int32_t position = CurrentPosition;
    program::RunFlag = true;
    while (program::RunFlag && position <= RangeEnd) {
        ui_->TrackBarVideo->setValue(position);
        QCoreApplication::processEvents();
        if (ui_->CheckBoxBoucle->isChecked()) {
            position = ClampPosition(position + 1);
        } else {
            ++position;
        }
    }
    SetPlayState(1);
}

void TForm1::TrackBarVideoChange() { ShowPosition(ui_->TrackBarVideo->value()); }

void TForm1::TrackBarVideoEnter() { SetPlayState(1); }

void TForm1::CheckBoxBoucleMouseDown() { program::RunFlag = false; }

void TForm1::SpeedButtonSequenceClick() {
    Pause();
    SetSequenceMode(!AviSequence);
}

void TForm1::FormKeyDown(int& key) {
    if (FrameSource::VideoOpen()) {
        if (key == keys::kPrior || key == 'X') {
            ArriereRapide();
        } else if (key == keys::kLeft || key == keys::kUp || key == 'V') {
            Arriere();
        } else if (key == keys::kRight || key == keys::kDown || key == 'N') {
            Avant();
        } else if (key == keys::kNext || key == keys::kSemicolon) {
            AvantRapide();
        } else if (key == keys::kHome) {
            Debut();
        } else if (key == keys::kEnd) {
            Fin();
        } else if (key == keys::kEscape) {
            for (QWidget* window : QApplication::topLevelWidgets()) {
                if (window->isVisible()) window->showMinimized();
            }
        } else if (key == keys::kSpace) {
            if (!SlideshowStarted) {
                program::RunFlag = false;
            } else if (Paused) {
                Demarrer();
            } else {
                Pause();
            }
        } else if (key >= keys::kDigit0 && key <= keys::kDigit0 + 9) {
            listWindow_->SetRowQuality(key - keys::kDigit0);
        } else if (key >= keys::kNumpad0 && key <= keys::kNumpad0 + 9) {
            listWindow_->SetRowQuality(key - keys::kNumpad0);
        }
    }
    key = 0;
}
