// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once
// The main window: the program's control panel. It opens and closes the video, moves through
// its frames, names the output files and starts extractions; the frames themselves show in the
// frame viewer.

#include <QMainWindow>
#include <QPointer>
#include <QString>
#include <cstdint>
#include <memory>

#include "framesource/frame_source.h"
#include "framesource/jpeg_options.h"
#include "framesource/output_names.h"
#include "infowindow/magnifier_zoom.h"
#include "navigation/navigation.h"

class TFormAvi;
class TFormListe;
class TFormOpJpeg;
namespace Ui {
class TForm1;
}

class TForm1 : public QMainWindow {
    Q_OBJECT

public:
    // The video and the navigation are the program's, handed to every window that needs them.
    TForm1(FrameSource& source, Navigation& navigation, QWidget* parent = nullptr);
    ~TForm1() override;

    TFormAvi* FrameViewer() const { return frameViewer_.get(); }
    TFormAvi* PictureViewer() const { return pictureViewer_.get(); }
    TFormListe* ListWindow() const { return listWindow_.get(); }
    // The JPEG options window is created after the main window; it is handed over then.
    void setJpegOptionsWindow(TFormOpJpeg* window);

    // Start-up and the window commands.
    void FormCreate();
    void FormClose();
    void SpeedButtonVisuClick();
    void SpeedButtonListeClick();
    void InfoImage1Click();
    void Jpeg1Click();
    void Quitter1Click();

    // Opening and closing a video, and the edit fields' keyboard switch.
    void SpeedButtonOuvrirAviClick();
    // Opens a file named on the command line as "Ouvrir..." opens the chosen one; a relative
    // path is taken from the current directory.
    void OpenVideoFile(const QString& path);
    void SpeedButtonFermerClick();
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
    void Debut();
    void ArriereRapide();
    void Arriere();
    void Pause();
    void SpeedButtonGotoClick();
    void Demarrer();
    void Avant();
    void AvantRapide();
    void Fin();
    void TrackBarVideoChange();
    void TrackBarVideoEnter();
    void CheckBoxBoucleMouseDown();
    void SpeedButtonSequenceClick();
    void FormKeyDown(int& key);

    // Output naming.
    QString BuildImageName();
    void RenommeChange();
    void EditDebutChange();
    // Character filters: true lets the typed character reach the box unchanged.
    bool EditDebutKeyPress(QChar key);
    bool EditFormatKeyPress(QChar key);
    void LabelNomImgClick();
    void SpeedButtonParcourirExtractionClick();

    // Extraction.
    void SpeedButtonExtraireClick();
    void SpeedButtonLotClick();
    void SpeedButtonVoirClick();
    // Returns false when the click must be abandoned (the box must not toggle).
    bool CheckBoxCadreMouseDown();
    // The box was ticked or unticked.
    void CheckBoxCadreChange(bool checked);

    // State shown by the window, read by tests.
    bool isPaused() const { return Paused; }
    bool slideshowStarted() const { return SlideshowStarted; }
    const QString& outputDir() const { return OutputDir; }
    int32_t startNumber() const { return StartNumber; }
    naming::OutputType outputType() const { return OutputType; }

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
    std::unique_ptr<TFormAvi> frameViewer_;
    std::unique_ptr<TFormAvi> pictureViewer_;
    std::unique_ptr<TFormListe> listWindow_;
    TFormOpJpeg* jpegOptionsWindow_ = nullptr;
    QPointer<QWidget> focusedControl_;  // the control of this window that had the focus last
    bool closing_ = false;
    int openSerial_ = 0;  // counts opens and closes, so that an open overtaken while indexing gives way

    int32_t StepSize = 1;
    int32_t FastStepSize = 3;
    bool Paused = false;
    bool SlideshowStarted = false;
    QString AviDirectory;
    QString OutputDir;
    int32_t StartNumber = 1;
    naming::OutputType OutputType = naming::OutputType::Bmp;
    bool KeyPreview = true;
};
