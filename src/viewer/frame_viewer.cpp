// SPDX-License-Identifier: GPL-2.0-or-later
#include "viewer/frame_viewer.h"

#include <QAction>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QScreen>
#include <QScrollArea>
#include <QShowEvent>

#include "infowindow/info_window.h"
#include "ui_frame_viewer.h"
#include "viewer/viewer_placement.h"
#include "widgets/controls/image_control.h"
#include "widgets/keys.h"
#include "widgets/slot_guard.h"

FrameViewer::FrameViewer(FrameSource& source, MagnifierZoom& zoom, QWidget* parent)
    : QWidget(parent, Qt::Window), source_(source), ui_(std::make_unique<Ui::FormAvi>()), zoom_(zoom) {
    ui_->setupUi(this);
    move(354, 11);
    image_ = ui_->Image1;
    scrollBox_ = ui_->ScrollBox1;
    // The window is sized to the picture + 4 for any picture, a 1 x 1 one included: the scroll
    // area's own minimum (room for both scroll bars) would leave a grey margin round small ones.
    scrollBox_->setMinimumSize(1, 1);

    using errors::Guarded;
    connect(
        image_, &ImageControl::mouseDown, this,
        Guarded<Qt::MouseButton, Qt::MouseButtons, Qt::KeyboardModifiers, int, int>(
            [this](Qt::MouseButton button, Qt::MouseButtons state, Qt::KeyboardModifiers modifiers, int x, int y) {
                // Ctrl with the right button alone asks for the window's menu instead.
                if (button == Qt::RightButton && !state.testFlag(Qt::LeftButton) && (modifiers & Qt::ControlModifier)) {
                    return;
                }
                ImageMouseDown(button, state, x, y);
            }));
    connect(image_, &ImageControl::mouseMove, this,
            Guarded<Qt::MouseButtons, Qt::KeyboardModifiers, int, int>(
                [this](Qt::MouseButtons state, Qt::KeyboardModifiers, int x, int y) { ImageMouseMove(state, x, y); }));
    connect(image_, &ImageControl::mouseUp, this,
            Guarded<Qt::MouseButton, Qt::MouseButtons, Qt::KeyboardModifiers, int, int>(
                [this](Qt::MouseButton button, Qt::MouseButtons, Qt::KeyboardModifiers, int x, int y) {
                    ImageMouseUp(button, x, y);
                }));
    connect(image_, &ImageControl::doubleClicked, this, Guarded<Qt::MouseButton>([this](Qt::MouseButton button) {
                if (button == Qt::LeftButton) ToggleFullScreen();
            }));
    SetUpControls();
    SetUpActions();
}

// Keys of the window's own, free in the key map; they act before it.
void FrameViewer::SetUpActions() {
    using errors::Guarded;
    menu_ = new QMenu(this);
    fitAction_ = menu_->addAction(QStringLiteral("Ajuster à la fenêtre"));
    fitAction_->setObjectName(QStringLiteral("ActionAjuster"));
    fitAction_->setCheckable(true);
    fitAction_->setShortcut(Qt::Key_F);
    connect(fitAction_, &QAction::toggled, this, Guarded<bool>([this](bool on) { setFitToWindow(on); }));
    QAction* full = menu_->addAction(QStringLiteral("Plein écran"));
    full->setObjectName(QStringLiteral("ActionPleinEcran"));
    full->setShortcut(Qt::Key_F11);
    connect(full, &QAction::triggered, this, Guarded<bool>([this](bool) { ToggleFullScreen(); }));
    QAction* copy = menu_->addAction(QStringLiteral("Copier l'image"));
    copy->setObjectName(QStringLiteral("ActionCopier"));
    copy->setShortcut(QKeySequence::Copy);
    connect(copy, &QAction::triggered, this, Guarded<bool>([this](bool) { CopyPicture(); }));
    // Shortcuts of this window alone; the menu shows them.
    for (QAction* action : menu_->actions()) {
        action->setShortcutContext(Qt::WindowShortcut);
        addAction(action);
    }
}

void FrameViewer::setFitToWindow(bool fit) {
    fit_ = fit;
    if (fitAction_->isChecked() != fit) fitAction_->setChecked(fit);
    const Qt::ScrollBarPolicy bars = fit ? Qt::ScrollBarAlwaysOff : Qt::ScrollBarAsNeeded;
    scrollBox_->setHorizontalScrollBarPolicy(bars);
    scrollBox_->setVerticalScrollBarPolicy(bars);
    Rescale();
}

void FrameViewer::Rescale() {
    const QSize picture = image_->clientSize();
    double scale = 1.0;
    if (fit_ && !picture.isEmpty()) {
        const QSize room = scrollBox_->viewport()->size();
        scale = std::min(double(room.width()) / picture.width(), double(room.height()) / picture.height());
        if (!(scale > 0)) scale = 1.0;
    }
    image_->setScale(scale);
}

void FrameViewer::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    if (fit_) Rescale();
}

void FrameViewer::ToggleFullScreen() {
    if (isFullScreen()) {
        showNormal();
    } else {
        showFullScreen();
    }
}

void FrameViewer::CopyPicture() {
    const QImage shown = copySource_ ? copySource_() : QImage();
    if (!shown.isNull()) QGuiApplication::clipboard()->setImage(shown);
}

// A right click on the picture shows or hides the information window, as designed; the menu
// comes on the space round the picture, with Ctrl held, or from the keyboard's menu key.
void FrameViewer::contextMenuEvent(QContextMenuEvent* event) {
    const bool overPicture = image_->rect().contains(image_->mapFromGlobal(event->globalPos()));
    if (event->reason() == QContextMenuEvent::Mouse && overPicture && !(event->modifiers() & Qt::ControlModifier)) {
        event->ignore();
        return;
    }
    menu_->popup(event->globalPos());
    event->accept();
}

// The information window is a child window, so Qt frees it with the viewer.
FrameViewer::~FrameViewer() = default;

void FrameViewer::SetUpControls() {
    infoWindow_ = new InfoWindow(source_, zoom_, this);
    infoWindow_->AttachImage(image_, 0, 0, frameGeometry().width(), frameGeometry().height());
}

imaging::Picture& FrameViewer::picture() { return image_->picture(); }
imaging::Bitmap& FrameViewer::bitmap() { return image_->picture().bitmap(); }

void FrameViewer::setImageClientSize(int width, int height) {
    image_->setClientSize(QSize(width, height));
    if (fit_) Rescale();
}
void FrameViewer::setClientSize(int width, int height) { resize(width, height); }

void FrameViewer::FitToPicture(QSize picture, const QWidget& keepClear) {
    setImageClientSize(picture.width(), picture.height());
    const QRect avoid = keepClear.frameGeometry();
    const QScreen* screen = QGuiApplication::screenAt(avoid.center());
    if (screen == nullptr) screen = this->screen();
    // The window manager's frame round this window; until it has been shown, the same as round
    // the other one.
    QSize frameMargins = frameGeometry().size() - size();
    if (frameMargins.isNull()) frameMargins = avoid.size() - keepClear.size();
    const QRect frame =
        viewer::PlaceViewer(picture + QSize(4, 4) + frameMargins, frameGeometry(), avoid, screen->availableGeometry());
    move(frame.topLeft());
    setClientSize(frame.width() - frameMargins.width(), frame.height() - frameMargins.height());
}

void FrameViewer::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    // Only the change from hidden to shown, not a window coming back from the task bar.
    if (!event->spontaneous()) errors::Guard([this] { Shown(); });
}

void FrameViewer::Shown() { emit shown(); }

void FrameViewer::keyPressEvent(QKeyEvent* event) {
    int key = keys::VirtualKeyCode(*event);
    if (keyDown_ && key != 0) errors::Guard([&] { keyDown_(key); });
    if (key == 0) {
        event->accept();
        return;
    }
    QWidget::keyPressEvent(event);
}

void FrameViewer::ImageMouseDown(Qt::MouseButton, Qt::MouseButtons state, int X, int Y) {
    if (state.testFlag(Qt::LeftButton)) {
        infoWindow_->BeginCropDrag(X, Y);
        image_->setCursor(Qt::SizeAllCursor);
        return;
    }
    if (infoWindow_->isVisible()) {
        infoWindow_->hide();
    } else {
        infoWindow_->ShowForImage(image_);
    }
}

void FrameViewer::ImageMouseMove(Qt::MouseButtons state, int X, int Y) {
    if (!state.testFlag(Qt::LeftButton)) {
        infoWindow_->ShowPixelInfo(X, Y);
        return;
    }
    infoWindow_->ExtendCropDrag(X, Y);
}

void FrameViewer::ImageMouseUp(Qt::MouseButton button, int, int) {
    if (button == Qt::LeftButton) infoWindow_->FinishCropDrag();
    image_->unsetCursor();
}
