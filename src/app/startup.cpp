// SPDX-License-Identifier: GPL-2.0-or-later
// Start-up and end of the main window, the commands that only show other windows, and the
// keyboard preview that sends navigation keys to the key map before the focused control.

#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QRadioButton>
#include <QScreen>
#include <QStyle>
#include <algorithm>

#include "app/main_window.h"
#include "framelist/frame_list_window.h"
#include "framesource/frame_source.h"
#include "framesource/jpeg_options.h"
#include "framesource/output_types.h"
#include "imaging/jpeg_image.h"
#include "infowindow/info_window.h"
#include "navigation/navigation.h"
#include "options/identity.h"
#include "options/jpeg_options_dialog.h"
#include "ui_main_window.h"
#include "viewer/frame_viewer.h"
#include "viewer/viewer_placement.h"
#include "widgets/controls/glyphs.h"
#include "widgets/controls/radio_group.h"
#include "widgets/keys.h"
#include "widgets/slot_guard.h"
#include "widgets/window_memory.h"

namespace {

const QString kListKey = QStringLiteral("list");

void SetTransportGlyphs(Ui::TForm1& ui) {
    ui.SpeedButtonDeb->setGlyph(glyphs::first(), 2);
    ui.SpeedButtonAr3->setGlyph(glyphs::fastBackward(), 2);
    ui.SpeedButtonAr->setGlyph(glyphs::previous(), 2);
    ui.SpeedButtonPause->setGlyph(glyphs::pause());
    ui.SpeedButtonGoto->setGlyph(glyphs::gotoFrame(), 2);
    ui.SpeedButtonDemarrer->setGlyph(glyphs::play());
    ui.SpeedButtonAv->setGlyph(glyphs::next(), 2);
    ui.SpeedButtonAv3->setGlyph(glyphs::fastForward(), 2);
    ui.SpeedButtonFin->setGlyph(glyphs::last(), 2);
}

// The type group offers every output type, three to a column at least as wide as the designed
// one and as its widest item, and BMP.
void SetUpTypeGroup(RadioGroup& group) {
    constexpr int kPerColumn = 3;
    constexpr int kFrame = 10;  // the group's border, beside its columns
    const std::span<const output_types::OutputType> types = output_types::All();
    QStringList labels;
    for (const output_types::OutputType& type : types) labels << QString::fromUtf8(type.label);
    const int columns = int((labels.size() + kPerColumn - 1) / kPerColumn);
    const QStyle* style = group.style();
    const int indicator =
        style->pixelMetric(QStyle::PM_ExclusiveIndicatorWidth) + style->pixelMetric(QStyle::PM_RadioButtonLabelSpacing);
    int column = group.width() - kFrame;
    for (const QString& label : labels)
        column = std::max(column, group.fontMetrics().horizontalAdvance(label) + indicator);
    group.resize(kFrame + columns * column, group.height());
    group.setColumns(columns);
    group.setItems(labels);
    for (int i = 0; i < group.count(); ++i) group.button(i)->setToolTip(QString::fromUtf8(types[size_t(i)].tip));
    group.setItemIndex(int(naming::OutputType::Bmp));
}

}  // namespace

MainWindow::MainWindow(FrameSource& source, Navigation& navigation, QWidget* parent)
    : QMainWindow(parent), source_(source), navigation_(navigation), ui_(std::make_unique<Ui::TForm1>()) {
    ui_->setupUi(this);
    move(53, 107);  // forms keep only their size; the design places the window here
    ui_->UpDowndebut->setBuddy(ui_->EditDebut);
    SetTransportGlyphs(*ui_);
    connectHandlers();
    SetUpControls();
    // Told from inside a reading, taken once it returns.
    source_.SetFramesChangedHandler([this] {
        QMetaObject::invokeMethod(this, errors::Guarded([this] { TakeChangedFrames(); }), Qt::QueuedConnection);
    });
}

MainWindow::~MainWindow() { source_.SetFramesChangedHandler({}); }

void MainWindow::createSecondaryWindows() {
    const auto keyDown = [this](int& key) { errors::Guard([&] { KeyDown(key); }); };
    frameViewer_ = std::make_unique<FrameViewer>(source_, magnifierZoom_);
    frameViewer_->setKeyDownHandler(keyDown);
    pictureViewer_ = std::make_unique<FrameViewer>(source_, magnifierZoom_);
    pictureViewer_->setKeyDownHandler(keyDown);

    listWindow_ = std::make_unique<FrameListWindow>(source_, navigation_);
    listWindow_->setJpegOptionsSource([this] { return JpegOptions(); });
    listWindow_->setOutputNamingSource([this] { return Naming(); });
    connect(listWindow_.get(), &FrameListWindow::listSequenceWanted, this, [this] { SetSequenceMode(false); });
    connect(listWindow_.get(), &FrameListWindow::rowWanted, this, &MainWindow::MoveTo);
    connect(listWindow_.get(), &FrameListWindow::slideshowPaused, this, [this] { paused_ = true; });
    connect(listWindow_.get(), &FrameListWindow::nextNumberChanged, this, &MainWindow::SetStartNumber);
    listWindow_->setKeyDownHandler(keyDown);
}

void MainWindow::setJpegOptionsWindow(JpegOptionsDialog* window) {
    jpegOptionsWindow_ = window;
    window_memory::Remember(*window, QStringLiteral("jpegOptions"));
    // "Appliquer" acts on the picture of the viewer shown last.
    for (FrameViewer* viewer : {frameViewer_.get(), pictureViewer_.get()}) {
        connect(viewer, &FrameViewer::shown, window, [window, viewer] { window->setTarget(&viewer->picture()); });
    }
}

jpeg_options::JpegOptions MainWindow::JpegOptions() const {
    return jpegOptionsWindow_ ? jpegOptionsWindow_->Options() : jpeg_options::JpegOptions{};
}

void MainWindow::SetUpControls() {
    setWindowTitle(identity::kProductName + " : " + identity::kVersion);
    navigation_.SetRange(0, 0);
    navigation_.SetCurrentPosition(0);
    stepSize_ = 1;
    fastStepSize_ = 3;
    Pause();
    ui_->SpeedButtonPause->setDown(true);
    SetSequenceMode(true);
    keyPreview_ = true;
    createSecondaryWindows();

    const QString startDirectory = QDir::currentPath();
    ui_->EditNomFicAvi->setText("*.AVI");
    ui_->LabelRepFicAvi->setText(startDirectory);
    ui_->EditNomFicImg->setText("IMAGE");
    ui_->LabelRepFicImg->setText(startDirectory);

    ui_->SpeedButtonVisu->setEnabled(false);
    ui_->SpeedButtonListe->setEnabled(false);
    navigation_.SetListBuilt(false);
    ui_->SpeedButtonExtraire->setEnabled(false);
    ui_->SpeedButtonLot->setEnabled(false);
    ui_->SpeedButtonVoir->setEnabled(false);
    SetUpTypeGroup(*ui_->RadioGroupTypeExtraction);
    NamingChanged();

    setTrackBar(0, 0, 0);
    ui_->TrackBarVideo->setSingleStep(1);
    ui_->TrackBarVideo->setPageStep(fastStepSize_);
    source_.SetCropEnabled(false);
    ui_->CheckBoxCadre->setChecked(false);
    SetUpSession();
    // The window opens on the track bar, so that the navigation keys work at once rather than
    // typing into the first text field.
    ui_->TrackBarVideo->setFocus();
}

void MainWindow::CloseWindows() {
    // A running loop only looks at the flag: clearing it lets the program finish.
    navigation_.SetRunFlag(false);
    listWindow_->ClearList();
    source_.CloseVideo();
}

void MainWindow::closeEvent(QCloseEvent* event) {
    if (!closing_) {
        closing_ = true;
        // Where the windows were, for the next run; the hidden ones keep where they were last shown.
        window_memory::Save(*this, QStringLiteral("main"));
        navigation_.SetProgramEnding();
        errors::Guard([this] { CloseWindows(); });
        for (QWidget* window : {static_cast<QWidget*>(frameViewer_.get()), static_cast<QWidget*>(pictureViewer_.get()),
                                static_cast<QWidget*>(listWindow_.get())}) {
            window->close();
        }
        QApplication::closeAllWindows();
        QCoreApplication::quit();
    }
    event->accept();
}

void MainWindow::ShowFrameViewer() {
    frameViewer_->show();
    frameViewer_->raise();
    frameViewer_->activateWindow();
}

void MainWindow::ShowFrameList() {
    if (!listWindow_->isVisible() && frameViewer_->isVisible() && !window_memory::Saved(kListKey)) {
        // The first time, beside the viewer where the screen has room, so that a row clicked and
        // its frame are both in sight; afterwards where the user left it.
        const QScreen* screen = frameViewer_->screen();
        const QSize margins = frameViewer_->frameGeometry().size() - frameViewer_->size();
        const QRect frame(listWindow_->pos(), listWindow_->size() + margins);
        const QRect placed =
            viewer::PlaceViewer(frame.size(), frame, frameViewer_->frameGeometry(), screen->availableGeometry());
        // Never smaller than it is: its panel's controls keep their places. Without room beside
        // the viewer it overlaps it a little, and a row click keeps it above.
        listWindow_->move(
            window_memory::Within(QRect(placed.topLeft(), frame.size()), screen->availableGeometry()).topLeft());
    }
    window_memory::KeepOnScreen(*listWindow_);
    listWindow_->show();
    listWindow_->raise();
    listWindow_->BuildTable();
}

void MainWindow::ShowImageInfo() { frameViewer_->infoForm()->ShowForImage(frameViewer_->image()); }

void MainWindow::ShowJpegOptions() {
    if (jpegOptionsWindow_) {
        jpegOptionsWindow_->setTarget(&frameViewer_->picture());
        jpegOptionsWindow_->show();
        jpegOptionsWindow_->raise();
    }
}

void MainWindow::Quit() { close(); }

void MainWindow::EditEnter() { keyPreview_ = false; }

void MainWindow::EditExit() { keyPreview_ = true; }

void MainWindow::EditKeyDown(int& key) {
    if (key == keys::kReturn) ui_->TrackBarVideo->setFocus();
}

void MainWindow::setVideoButtonsEnabled(bool enabled) {
    for (QWidget* button : {static_cast<QWidget*>(ui_->SpeedButtonVisu), static_cast<QWidget*>(ui_->SpeedButtonListe),
                            static_cast<QWidget*>(ui_->SpeedButtonExtraire), static_cast<QWidget*>(ui_->SpeedButtonLot),
                            static_cast<QWidget*>(ui_->SpeedButtonVoir)}) {
        button->setEnabled(enabled);
    }
}

void MainWindow::setTrackBar(int minimum, int maximum, int position) {
    // Ticks only at the two ends.
    ui_->TrackBarVideo->setTickInterval(std::max(1, maximum - minimum));
    ui_->TrackBarVideo->setMinimum(minimum);
    ui_->TrackBarVideo->setMaximum(maximum);
    ui_->TrackBarVideo->setValue(position);
}

// Keys typed in the main window reach the key map first while the preview is on. The key map
// consumes every key-down; a typed character still reaches an edit box, as a character.
bool MainWindow::handlePreviewKey(QObject* watched, QKeyEvent* event) {
    // Focus moves and menu keys belong to the window, not to the key map.
    if (event->key() == Qt::Key_Tab || event->key() == Qt::Key_Backtab || event->key() == Qt::Key_Alt ||
        (event->modifiers() & Qt::AltModifier)) {
        return false;
    }
    const bool inEditDebut = watched == ui_->EditDebut;
    const bool inEditFormat = watched == ui_->EditFormat;
    if (!keyPreview_) {
        if (watched == ui_->EditNomFicAvi || watched == ui_->EditNomFicImg) {
            int key = keys::VirtualKeyCode(*event);
            errors::Guard([&] { EditKeyDown(key); });
            return key == keys::kReturn && ui_->TrackBarVideo->hasFocus();
        }
        // Delete comes with a character code in X11 but types nothing: it stays the box's own key.
        if (inEditFormat && !event->text().isEmpty() && event->key() != Qt::Key_Delete) {
            bool passes = false;
            errors::Guard([&] { passes = FilterWidthKey(event->text().at(0)); });
            return !passes;
        }
        return false;
    }
    int key = keys::VirtualKeyCode(*event);
    errors::Guard([&] { KeyDown(key); });
    if (inEditDebut && !event->text().isEmpty()) {
        return !FilterStartNumberKey(event->text().at(0));
    }
    if (qobject_cast<QLineEdit*>(watched) && !event->text().isEmpty() && event->text().at(0).isPrint()) {
        return false;
    }
    return true;
}

// A control is entered and the one before it left when the focus moves from one to the other
// inside this window; the window losing and regaining the focus leaves and enters nothing.
void MainWindow::controlFocused(QWidget* control) {
    if (control == focusedControl_) return;
    QWidget* left = focusedControl_;
    focusedControl_ = control;
    if (left == ui_->EditNomFicAvi || left == ui_->EditNomFicImg || left == ui_->EditFormat) {
        EditExit();
    } else if (left == ui_->EditDebut) {
        errors::Guard([this] { NamingChanged(); });
    }
    if (control == ui_->EditNomFicAvi || control == ui_->EditNomFicImg || control == ui_->EditFormat) {
        EditEnter();
    } else if (control == ui_->TrackBarVideo) {
        errors::Guard([this] { TrackBarEntered(); });
    }
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
    auto* widget = qobject_cast<QWidget*>(watched);
    if (!widget || widget->window() != this) return QMainWindow::eventFilter(watched, event);
    switch (event->type()) {
        case QEvent::KeyPress:
            return handlePreviewKey(watched, static_cast<QKeyEvent*>(event));
        case QEvent::FocusIn:
            // The window becoming active hands the focus back without entering a control, even
            // when it lands on another one than the window left (a control given the focus
            // while the window was away; the first activation, which may come late).
            if (static_cast<QFocusEvent*>(event)->reason() != Qt::ActiveWindowFocusReason) controlFocused(widget);
            break;
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonDblClick:
            if (watched == ui_->CheckBoxBoucle) {
                errors::Guard([this] { LoopBoxPressed(); });
            } else if (watched == ui_->CheckBoxCadre && static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
                // Only the left button ticks a check box; the others leave box and crop alone.
                bool goOn = false;
                errors::Guard([&] { goOn = CropBoxPressed(); });
                return !goOn;
            }
            break;
        case QEvent::MouseButtonRelease:
            if (watched == ui_->LabelNomImg) errors::Guard([this] { RefreshImageName(); });
            break;
        default:
            break;
    }
    return QMainWindow::eventFilter(watched, event);
}

void MainWindow::connectHandlers() {
    using errors::Guarded;
    const auto onClick = [this](QAbstractButton* button, void (MainWindow::*handler)()) {
        connect(button, &QAbstractButton::clicked, this, Guarded([this, handler] { (this->*handler)(); }));
    };
    const auto onAction = [this](QAction* action, void (MainWindow::*handler)()) {
        connect(action, &QAction::triggered, this, Guarded([this, handler] { (this->*handler)(); }));
    };
    onClick(ui_->SpeedButtonOuvrirAvi, &MainWindow::ChooseAndOpenVideo);
    onClick(ui_->SpeedButtonVisu, &MainWindow::ShowFrameViewer);
    onClick(ui_->SpeedButtonListe, &MainWindow::ShowFrameList);
    onClick(ui_->SpeedButtonFermer, &MainWindow::CloseVideoClicked);
    onClick(ui_->SpeedButtonDeb, &MainWindow::GoToFirst);
    onClick(ui_->SpeedButtonAr3, &MainWindow::StepBackFast);
    onClick(ui_->SpeedButtonAr, &MainWindow::StepBack);
    onClick(ui_->SpeedButtonPause, &MainWindow::Pause);
    onClick(ui_->SpeedButtonGoto, &MainWindow::GoToTypedFrame);
    onClick(ui_->SpeedButtonDemarrer, &MainWindow::Play);
    onClick(ui_->SpeedButtonAv, &MainWindow::StepForward);
    onClick(ui_->SpeedButtonAv3, &MainWindow::StepForwardFast);
    onClick(ui_->SpeedButtonFin, &MainWindow::GoToLast);
    onClick(ui_->SpeedButtonSequence, &MainWindow::SwitchSequence);
    onClick(ui_->SpeedButtonParcourirExtraction, &MainWindow::ChooseOutputFolder);
    onClick(ui_->SpeedButtonExtraire, &MainWindow::ExtractShownFrame);
    onClick(ui_->SpeedButtonVoir, &MainWindow::ViewPictureFile);
    onClick(ui_->SpeedButtonLot, &MainWindow::ExtractMarkedRowsClicked);

    onAction(ui_->Ouvrir1, &MainWindow::ChooseAndOpenVideo);
    onAction(ui_->Fermer1, &MainWindow::CloseVideoClicked);
    onAction(ui_->Quitter1, &MainWindow::Quit);
    onAction(ui_->Visu1, &MainWindow::ShowFrameViewer);
    onAction(ui_->Liste1, &MainWindow::ShowFrameList);
    onAction(ui_->InfoImage1, &MainWindow::ShowImageInfo);
    onAction(ui_->Jpeg1, &MainWindow::ShowJpegOptions);
    onAction(ui_->AllerA1, &MainWindow::GoToPosition);
    connect(ui_->Graphique1, &QAction::triggered, this, Guarded<bool>([this](bool) {
                ShowFrameList();
                listWindow_->ShowRankingPlot();
            }));
    connect(ui_->MeilleureParScene1, &QAction::triggered, this,
            Guarded<bool>([this](bool) { listWindow_->MarkBestOfEachScene(); }));

    connect(ui_->CheckBoxCadre, &QCheckBox::toggled, this,
            Guarded<bool>([this](bool checked) { CropBoxChanged(checked); }));
    connect(ui_->TrackBarVideo, &QSlider::valueChanged, this, Guarded<int>([this](int) { TrackBarMoved(); }));
    connect(ui_->EditNomFicImg, &QLineEdit::textChanged, this,
            Guarded<const QString&>([this](const QString&) { NamingChanged(); }));
    connect(ui_->EditFormat, &QLineEdit::textChanged, this,
            Guarded<const QString&>([this](const QString&) { NamingChanged(); }));
    connect(ui_->EditDebut, &QLineEdit::textChanged, this,
            Guarded<const QString&>([this](const QString&) { StartNumberEdited(); }));
    for (RadioGroup* group : {ui_->RadioGroupNum, ui_->RadioGroupTypeExtraction, ui_->RadioGroupPlansExtraction}) {
        connect(group, &RadioGroup::clicked, this, Guarded<int>([this](int) { NamingChanged(); }));
    }
    qApp->installEventFilter(this);
}
