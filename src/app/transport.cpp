// SPDX-License-Identifier: GPL-2.0-or-later
// Moving through the positions of the active sequence, the slideshow and the key map.

#include <QApplication>
#include <QCoreApplication>
#include <QWidget>

#include "app/main_window.h"
#include "base/dialogs.h"
#include "framelist/frame_list_window.h"
#include "framesource/frame_source.h"
#include "infowindow/info_window.h"
#include "navigation/navigation.h"
#include "navigation/playback_clock.h"
#include "ui_main_window.h"
#include "viewer/frame_viewer.h"
#include "widgets/keys.h"

int32_t MainWindow::ClampPosition(int32_t requested) {
    return navigation_.ClampPosition(requested, ui_->CheckBoxBoucle->isChecked());
}

void MainWindow::SetSequenceMode(bool avi) {
    const bool granted = navigation_.SelectSequence(avi);
    ui_->SpeedButtonSequence->setText(navigation_.VideoSequence() ? "Séquence AVI" : "Séquence Liste");
    if (!granted) {
        dialogs::current().messageBox("Créez une Liste avant de Changer cet Elément", "Séquence Liste",
                                      dialogs::Buttons::Ok);
    }
    if (source_.VideoOpen()) ShowPosition(navigation_.CurrentPosition());
}

int32_t MainWindow::FrameAtPosition(int32_t position) const {
    return navigation_.VideoSequence() ? position : listWindow_->FrameAtRow(position);
}

void MainWindow::ShowPosition(int32_t position) {
    QWidget* working = QApplication::activeWindow();
    frameViewer_->show();
    frameViewer_->raise();
    // A row or a point of the plot shows its frame without burying the window it was chosen in.
    if (working != nullptr && (working == listWindow_.get() || working->parentWidget() == listWindow_.get())) {
        working->raise();
    }
    if (paused_) {
        ui_->LabelEtat->setText("Lecture Arrêtée");
        ui_->SpeedButtonPause->setDown(true);
    }
    navigation_.SetCurrentPosition(position);
    ui_->SpeedButtonExtraire->setEnabled(true);
    const int32_t frame = FrameAtPosition(position);
    // A list position without a row shows nothing and leaves the viewer as it was.
    if (!navigation_.VideoSequence() && frame < 0) return;
    const bool shown = source_.LoadFrameBitmap(frame, frameViewer_->bitmap());
    // The outline goes back on the fresh frame only while it is meant to be seen.
    if (source_.CropDefined()) frameViewer_->infoForm()->DrawCropOutline(frameViewer_->infoForm()->outlineDrawn);
    ui_->SpeedButtonGoto->setText(QString::number(frame));
    // A frame that cannot be decoded leaves the picture before it: the title says so.
    frameViewer_->setWindowTitle("Vue Avi: " + ui_->SpeedButtonGoto->text() + " - Ligne: " + QString::number(position) +
                                 (shown ? QString() : QStringLiteral(" - Image Illisible")));
}

void MainWindow::SetPlayState(PlayCommand command) {
    navigation_.SetRunFlag(false);
    switch (command) {
        case PlayCommand::Play:
            paused_ = false;
            break;
        case PlayCommand::Stop:
            paused_ = true;
            break;
        case PlayCommand::Toggle:
            paused_ = !paused_;
            break;
    }
    if (!slideshowStarted_) {
        ui_->LabelEtat->setText("Lecture Arrêtée");
    } else {
        ui_->LabelEtat->setText(paused_ ? "Pause Lecture" : "Lecture en Cours");
    }
}

void MainWindow::GoToFirst() {
    SetPlayState(PlayCommand::Stop);
    ui_->TrackBarVideo->setValue(ClampPosition(navigation_.RangeStart()));
}

void MainWindow::StepBackFast() {
    SetPlayState(PlayCommand::Stop);
    ui_->TrackBarVideo->setValue(ClampPosition(navigation_.CurrentPosition() - fastStepSize_));
}

void MainWindow::StepBack() {
    SetPlayState(PlayCommand::Stop);
    ui_->TrackBarVideo->setValue(ClampPosition(navigation_.CurrentPosition() - stepSize_));
}

void MainWindow::Pause() { SetPlayState(PlayCommand::Toggle); }

void MainWindow::GoToTypedFrame() { SetPlayState(PlayCommand::Stop); }

void MainWindow::StepForward() {
    SetPlayState(PlayCommand::Stop);
    ui_->TrackBarVideo->setValue(ClampPosition(navigation_.CurrentPosition() + stepSize_));
}

void MainWindow::StepForwardFast() {
    SetPlayState(PlayCommand::Stop);
    ui_->TrackBarVideo->setValue(ClampPosition(navigation_.CurrentPosition() + fastStepSize_));
}

void MainWindow::GoToLast() {
    SetPlayState(PlayCommand::Stop);
    ui_->TrackBarVideo->setValue(ClampPosition(navigation_.RangeEnd()));
}

// At the video's pace ("Cadence de la Vidéo") each position waits for its frame's time,
// counted from the start of playback; frames never get skipped, so behind time they follow as
// fast as they come.
void MainWindow::Play() {
    if (!source_.VideoOpen()) return;
    ui_->SpeedButtonDemarrer->setDown(true);
    if (ui_->CheckBoxBoucle->isChecked() && navigation_.CurrentPosition() >= navigation_.RangeEnd()) {
        navigation_.SetCurrentPosition(navigation_.RangeStart());
    }
    ShowPosition(navigation_.CurrentPosition());
    slideshowStarted_ = true;
    SetPlayState(PlayCommand::Play);
    int32_t position = navigation_.CurrentPosition();
    navigation_.SetRunFlag(true);
    const PlaybackClock clock(navigation_);
    double due = 0;
    int32_t previous = -1;  // the position shown last
    while (navigation_.RunFlag() && position <= navigation_.RangeEnd()) {
        if (ui_->CadenceVideo1->isChecked()) {
            if (previous >= 0) due += TimeBetween(previous, position);
            clock.WaitUntil(due);
            if (!navigation_.RunFlag()) break;
        }
        ui_->TrackBarVideo->setValue(position);
        QCoreApplication::processEvents();
        previous = position;
        if (ui_->CheckBoxBoucle->isChecked()) {
            position = ClampPosition(position + 1);
        } else {
            ++position;
        }
    }
    // The last frame stays for its own time before the slideshow ends by itself.
    if (ui_->CadenceVideo1->isChecked() && previous >= 0) clock.WaitUntil(due + source_.FrameDuration());
    SetPlayState(PlayCommand::Stop);
}

double MainWindow::TimeBetween(int32_t from, int32_t to) const {
    // The next frame of the video comes at its own time; a list's next row, or a jump back to
    // the range's start, comes one frame's time later.
    if (navigation_.VideoSequence() && to == from + 1) return source_.FrameTime(to) - source_.FrameTime(from);
    return source_.FrameDuration();
}

void MainWindow::TrackBarMoved() { ShowPosition(ui_->TrackBarVideo->value()); }

void MainWindow::TrackBarEntered() { SetPlayState(PlayCommand::Stop); }

void MainWindow::LoopBoxPressed() { navigation_.SetRunFlag(false); }

void MainWindow::SwitchSequence() {
    Pause();
    SetSequenceMode(!navigation_.VideoSequence());
}

void MainWindow::KeyDown(int& key) {
    if (source_.VideoOpen()) {
        if (key == keys::kPrior || key == 'X') {
            StepBackFast();
        } else if (key == keys::kLeft || key == keys::kUp || key == 'V') {
            StepBack();
        } else if (key == keys::kRight || key == keys::kDown || key == 'N') {
            StepForward();
        } else if (key == keys::kNext || key == keys::kSemicolon) {
            StepForwardFast();
        } else if (key == keys::kHome) {
            GoToFirst();
        } else if (key == keys::kEnd) {
            GoToLast();
        } else if (key == keys::kEscape) {
            for (QWidget* window : QApplication::topLevelWidgets()) {
                if (window->isVisible()) window->showMinimized();
            }
        } else if (key == keys::kSpace) {
            if (!slideshowStarted_) {
                navigation_.SetRunFlag(false);
            } else if (paused_) {
                Play();
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

void MainWindow::MoveTo(int32_t position) { ui_->TrackBarVideo->setValue(position); }
