// SPDX-License-Identifier: GPL-2.0-or-later
// Opening a video into the frame viewer and closing it again.

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QScrollArea>
#include <algorithm>
#include <cstdlib>

#include "app/main_window.h"
#include "base/dialogs.h"
#include "framelist/frame_list_window.h"
#include "framesource/frame_source.h"
#include "imaging/bitmap.h"
#include "infowindow/info_window.h"
#include "navigation/navigation.h"
#include "ui_main_window.h"
#include "viewer/frame_viewer.h"

namespace {
const QString kVideoFilter = QStringLiteral(
    "Vidéos (*.avi *.mp4 *.m4v *.mov *.mkv *.webm *.ts *.m2ts *.mts *.mpg *.mpeg *.vob)|"
    "*.avi;*.mp4;*.m4v;*.mov;*.mkv;*.webm;*.ts;*.m2ts;*.mts;*.mpg;*.mpeg;*.vob|"
    "Animations AVI (*.AVI)|*.AVI|Tous Fichiers (*.*)|*.*");
}

// Indexing a long video shows its progress in the caption and stops at the pause command
// (which clears RunFlag), as the other long loops do; the window stays responsive meanwhile.
MainWindow::OpenOutcome MainWindow::OpenWithProgress(const QString& path) {
    const QString caption = windowTitle();
    const int serial = openSerial_;
    bool stopped = false;
    navigation_.SetRunFlag(true);
    // An MP4 is read from its tables, each frame's packets looked into as it is shown.
    const bool opened = source_.OpenVideo(
        path,
        [&](int percent) {
            setWindowTitle(caption + QStringLiteral(" - Indexation %1 % (Pause pour annuler)").arg(percent));
            QCoreApplication::processEvents();
            stopped = !navigation_.RunFlag() || serial != openSerial_;
            return !stopped;
        },
        FrameSource::PacketChecks::BeforeEachFrame);
    if (serial == openSerial_) {
        setWindowTitle(caption);
        navigation_.SetRunFlag(false);
    }
    if (opened) return OpenOutcome::Opened;
    return stopped ? OpenOutcome::Cancelled : OpenOutcome::Failed;
}

void MainWindow::ChooseAndOpenVideo() {
    CloseVideoClicked();
    const int serial = ++openSerial_;

    dialogs::OpenFileRequest request;
    request.directory = videoDirectory_;
    request.filter = kVideoFilter;
    request.multiSelect = false;
    const QStringList chosen = dialogs::current().openFiles(request);
    OpenChosenFile(chosen.isEmpty() ? QString() : chosen.first(), serial);
}

void MainWindow::OpenVideoFile(const QString& path) {
    CloseVideoClicked();
    const int serial = ++openSerial_;
    OpenChosenFile(QFileInfo(path).absoluteFilePath(), serial);
}

void MainWindow::OpenChosenFile(const QString& path, int serial) {
    OpenOutcome outcome = OpenOutcome::NothingChosen;
    if (!path.isEmpty()) {
        const QFileInfo file(path);
        // Shown before the open, so the chosen file stays visible even when it cannot be opened.
        QString directory = file.absolutePath();
        if (!directory.endsWith('/')) directory += '/';
        ui_->LabelRepFicAvi->setText(directory);
        ui_->EditNomFicAvi->setText(file.fileName());
        outcome = OpenWithProgress(path);
        // Another open or a close came while this file was indexed: the window is theirs.
        if (serial != openSerial_) return;
    }

    if (outcome == OpenOutcome::Opened) {
        videoDirectory_ = QFileInfo(path).absolutePath();
        RememberVideoFolder(path);
        const int32_t last = source_.FrameCount() - 1;
        ui_->LabelMax->setText(QString::number(last));
        setTrackBar(0, last, 0);
        TrackBarMoved();
        // A stream stored top-down reports a negative height; its pictures are as high as its
        // magnitude.
        frameViewer_->FitToPicture(QSize(source_.FrameWidth(), std::abs(source_.FrameHeight())), *this);
        frameViewer_->infoForm()->AttachImage(frameViewer_->image(), 0, 0, 0, 0);
        source_.SetCropEnabled(source_.CropDefined());
        ui_->CheckBoxCadre->setChecked(source_.CropEnabled());
        navigation_.SetRange(0, last);
    } else if (outcome == OpenOutcome::Failed) {
        ui_->LabelMax->setText("Erreur");
        ui_->TrackBarVideo->setMaximum(0);
        ui_->TrackBarVideo->setValue(0);
        TrackBarMoved();
    } else if (outcome == OpenOutcome::Cancelled) {
        // Nothing was opened and nothing is wrong: no empty viewer is brought up.
        ui_->LabelMax->setText("Ouverture Annulée");
        frameViewer_->hide();
    }
    setVideoButtonsEnabled(outcome == OpenOutcome::Opened);
    navigation_.SetListBuilt(false);
    SetSequenceMode(true);
}

void MainWindow::TakeChangedFrames() {
    if (!source_.VideoOpen()) return;
    // The frame shown stays, within the new count; loops over the old frames stop.
    const int32_t shown = FrameAtPosition(navigation_.CurrentPosition());
    navigation_.SetRunFlag(false);
    listWindow_->ClearList();
    navigation_.SetListBuilt(false);
    const int32_t last = source_.FrameCount() - 1;
    const int32_t position = std::clamp(shown, 0, last);
    ui_->LabelMax->setText(QString::number(last));
    navigation_.SetRange(0, last);
    navigation_.SetCurrentPosition(position);
    SetSequenceMode(true);
    setTrackBar(0, last, position);
}

void MainWindow::CloseVideoClicked() {
    ++openSerial_;  // an open still indexing is abandoned
    navigation_.SetRunFlag(false);
    source_.CloseVideo();
    frameViewer_->bitmap().clear();
    frameViewer_->scrollBox()->update();
    source_.SetCropEnabled(false);
    ui_->CheckBoxCadre->setChecked(false);
    ui_->EditNomFicAvi->clear();
    ui_->LabelMax->setText("0");
    setTrackBar(0, 0, 0);
    setVideoButtonsEnabled(false);
    navigation_.SetListBuilt(false);
    SetSequenceMode(true);
    listWindow_->ClearList();
}
