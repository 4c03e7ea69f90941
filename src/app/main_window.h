// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once
// The main window: the program's control panel. It opens and closes the video, moves through
// its frames, names the output files and starts extractions; the frames themselves show in the
// frame viewer.

#include <QImage>
#include <QMainWindow>
#include <QPointer>
#include <QString>
#include <cstdint>
#include <memory>

#include "framesource/frame_source.h"
#include "framesource/jpeg_options.h"
#include "framesource/naming.h"
#include "infowindow/magnifier_zoom.h"
#include "navigation/navigation.h"

class FrameViewer;
class FrameListWindow;
class JpegOptionsDialog;
namespace Ui {
class TForm1;
}

class MainWindow : public QMainWindow {
    Q_OBJECT

public:
    // The video and the navigation are the program's, handed to every window that needs them.
    MainWindow(FrameSource& source, Navigation& navigation, QWidget* parent = nullptr);
    ~MainWindow() override;

    FrameViewer* VideoViewer() const { return frameViewer_.get(); }
    FrameViewer* PictureViewer() const { return pictureViewer_.get(); }
    FrameListWindow* ListWindow() const { return listWindow_.get(); }
    // The JPEG options window is created after the main window; it is handed over then.
    void setJpegOptionsWindow(JpegOptionsDialog* window);

    // Start-up and the window commands.
    void SetUpControls();
    void CloseWindows();
    void ShowFrameViewer();
    void ShowFrameList();
    void ShowImageInfo();
    void ShowJpegOptions();
    void Quit();

    // Opening and closing a video, and the edit fields' keyboard switch.
    void ChooseAndOpenVideo();
    // Opens a file named on the command line as "Ouvrir..." opens the chosen one; a relative
    // path is taken from the current directory.
    void OpenVideoFile(const QString& path);
    void CloseVideoClicked();
    void EditEnter();
    void EditExit();
    void EditKeyDown(int& key);

    // Navigation and slideshow.
    int32_t ClampPosition(int32_t requested);
    void SetSequenceMode(bool avi);
    void ShowPosition(int32_t position);
    // What a command does to the slideshow's play state; every one stops a running loop first.
    enum class PlayCommand { Play, Stop, Toggle };
    void SetPlayState(PlayCommand command);
    void GoToFirst();
    void StepBackFast();
    void StepBack();
    void Pause();
    void GoToTypedFrame();
    void Play();
    void StepForward();
    void StepForwardFast();
    void GoToLast();
    void TrackBarMoved();
    void TrackBarEntered();
    void LoopBoxPressed();
    void SwitchSequence();
    void KeyDown(int& key);

    // "Aller à l'image..." (Ctrl+G): a frame number or a time in the video, shown as the track
    // bar shows a position.
    void GoToPosition();
    // The frame shown at `seconds` into the video: the last one that starts by then.
    int32_t FrameAtTime(double seconds) const;

    // What the program remembers between runs and takes from the desktop: the recent files,
    // the folders, the windows' places, files dropped on the main window or the viewer.
    void FillRecentFiles();
    // The frame or picture a viewer shows, as it would be written (cropped when "Limiter au
    // Cadre" is on), for the clipboard.
    QImage ShownPicture(bool videoViewer);

    // Output naming.
    QString BuildImageName();
    void NamingChanged();
    void StartNumberEdited();
    // Character filters: true lets the typed character reach the box unchanged.
    bool FilterStartNumberKey(QChar key);
    bool FilterWidthKey(QChar key);
    void RefreshImageName();
    void ChooseOutputFolder();

    // Extraction.
    void ExtractShownFrame();
    void ExtractMarkedRowsClicked();
    void ViewPictureFile();
    // Returns false when the click must be abandoned (the box must not toggle).
    bool CropBoxPressed();
    // The box was ticked or unticked.
    void CropBoxChanged(bool checked);

    // State shown by the window, read by tests.
    bool isPaused() const { return paused_; }
    bool slideshowStarted() const { return slideshowStarted_; }
    const QString& outputDir() const { return outputDir_; }
    int32_t startNumber() const { return startNumber_; }
    naming::OutputType outputType() const { return outputType_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    // Moves the track bar, which shows the position when it changes.
    void MoveTo(int32_t position);
    // Names, writes and numbers the frame at the current position.
    bool ExtractImage();
    // The naming controls as they stand: where and how the next file is named.
    naming::OutputNaming Naming();
    // The start number the next file takes, shown in its box.
    void SetStartNumber(int32_t number);

    void connectHandlers();
    // The frames of the open video changed under a reading (its packets, read from its tables
    // first, were found damaged): the window takes the new count as after an open.
    void TakeChangedFrames();
    // Restores the folders and the windows' places, and wires the recent files and the drops.
    void SetUpSession();
    void RememberVideoFolder(const QString& path);
    void RememberOutputFolder();
    void createSecondaryWindows();
    void setVideoButtonsEnabled(bool enabled);
    void setTrackBar(int minimum, int maximum, int position);
    // The frame that a position stands for in the active sequence; -1 when there is none.
    int32_t FrameAtPosition(int32_t position) const;
    // Seconds between showing two positions of a slideshow at the video's pace.
    double TimeBetween(int32_t from, int32_t to) const;
    bool handlePreviewKey(QObject* watched, class QKeyEvent* event);
    void controlFocused(QWidget* control);
    // What became of a file chosen to open: a cancelled indexing is the user's choice, no error.
    enum class OpenOutcome { NothingChosen, Opened, Failed, Cancelled };
    // Opens the video into the frame source, showing the indexing's progress in the caption.
    OpenOutcome OpenWithProgress(const QString& path);
    // What "Ouvrir..." does once a file is chosen (none: the dialog was cancelled).
    void OpenChosenFile(const QString& path, int serial);

    // The JPEG options as the options window holds them now; the defaults without it.
    jpeg_options::JpegOptions JpegOptions() const;

    FrameSource& source_;
    Navigation& navigation_;
    std::unique_ptr<Ui::TForm1> ui_;
    MagnifierZoom magnifierZoom_;  // both viewers' information windows show this one
    std::unique_ptr<FrameViewer> frameViewer_;
    std::unique_ptr<FrameViewer> pictureViewer_;
    std::unique_ptr<FrameListWindow> listWindow_;
    JpegOptionsDialog* jpegOptionsWindow_ = nullptr;
    QPointer<QWidget> focusedControl_;  // the control of this window that had the focus last
    bool closing_ = false;
    int openSerial_ = 0;  // counts opens and closes, so that an open overtaken while indexing gives way

    int32_t stepSize_ = 1;
    int32_t fastStepSize_ = 3;
    bool paused_ = false;
    bool slideshowStarted_ = false;
    QString videoDirectory_;
    QString outputDir_;
    int32_t startNumber_ = 1;
    naming::OutputType outputType_ = naming::OutputType::Bmp;
    bool keyPreview_ = true;
};
