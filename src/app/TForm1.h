#pragma once
// The main window: the program's control panel. It opens and closes the video, moves through
// its frames, names the output files and starts extractions; the frames themselves show in the
// frame viewer.

#include <QMainWindow>
#include <QPointer>
#include <QString>
#include <cstdint>
#include <memory>

class TFormAvi;
class TFormListe;
class TFormOpJpeg;
namespace Ui {
class TForm1;
}

class TForm1 : public QMainWindow {
    Q_OBJECT

public:
    explicit TForm1(QWidget* parent = nullptr);
    ~TForm1() override;

    Ui::TForm1& form() { return *ui_; }
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
    void SpeedButtonFermerClick();
    void EditEnter();
    void EditExit();
    void EditKeyDown(int& key);

    // Navigation and slideshow.
    int32_t ClampPosition(int32_t requested);
    void SetSequenceMode(bool avi);
    void ShowPosition(int32_t position);
    void SetPlayState(int mode);
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

    // Main-window state read by tests and by the other windows.
    int32_t CurrentPosition = 0;
    int32_t RangeStart = 0;
    int32_t RangeEnd = 0;
    int32_t StepSize = 1;
    int32_t FastStepSize = 3;
    bool AviSequence = true;
    bool Paused = false;
    bool SlideshowStarted = false;
    QString AviDirectory;
    QString OutputDir;
    int32_t StartNumber = 1;
    int32_t OutputType = 0;
    bool LastExtractionWrote = false;
    bool KeyPreview = true;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void connectHandlers();
    void createSecondaryWindows();
    void setVideoButtonsEnabled(bool enabled);
    void setTrackBar(int minimum, int maximum, int position);
    // The frame that a position stands for in the active sequence; -1 when there is none.
    int32_t FrameAtPosition(int32_t position) const;
    bool handlePreviewKey(QObject* watched, class QKeyEvent* event);
    void controlFocused(QWidget* control);

    std::unique_ptr<Ui::TForm1> ui_;
    std::unique_ptr<TFormAvi> frameViewer_;
    std::unique_ptr<TFormAvi> pictureViewer_;
    std::unique_ptr<TFormListe> listWindow_;
    TFormOpJpeg* jpegOptionsWindow_ = nullptr;
    QPointer<QWidget> focusedControl_;  // the control of this window that had the focus last
    bool closing_ = false;
};
