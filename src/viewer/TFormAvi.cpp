// SPDX-License-Identifier: GPL-2.0-or-later
#include "viewer/TFormAvi.h"

#include <QGuiApplication>
#include <QKeyEvent>
#include <QScreen>
#include <QScrollArea>
#include <QShowEvent>

#include "infowindow/TFormInfoImg.h"
#include "ui_TFormAvi.h"
#include "viewer/viewer_placement.h"
#include "widgets/controls/image_control.h"
#include "widgets/keys.h"
#include "widgets/slot_guard.h"

TFormAvi::TFormAvi(FrameSource& source, MagnifierZoom& zoom, QWidget* parent)
    : QWidget(parent, Qt::Window), source_(source), ui_(std::make_unique<Ui::FormAvi>()), zoom_(zoom) {
    ui_->setupUi(this);
    move(354, 11);
    Image1 = ui_->Image1;
    ScrollBox1 = ui_->ScrollBox1;
    // The window is sized to the picture + 4 for any picture, a 1 x 1 one included: the scroll
    // area's own minimum (room for both scroll bars) would leave a grey margin round small ones.
    ScrollBox1->setMinimumSize(1, 1);

    using errors::Guarded;
    connect(Image1, &ImageControl::mouseDown, this,
            Guarded<Qt::MouseButton, Qt::MouseButtons, Qt::KeyboardModifiers, int, int>(
                [this](Qt::MouseButton button, Qt::MouseButtons state, Qt::KeyboardModifiers, int x, int y) {
                    ImageMouseDown(button, state, x, y);
                }));
    connect(Image1, &ImageControl::mouseMove, this,
            Guarded<Qt::MouseButtons, Qt::KeyboardModifiers, int, int>(
                [this](Qt::MouseButtons state, Qt::KeyboardModifiers, int x, int y) { ImageMouseMove(state, x, y); }));
    connect(Image1, &ImageControl::mouseUp, this,
            Guarded<Qt::MouseButton, Qt::MouseButtons, Qt::KeyboardModifiers, int, int>(
                [this](Qt::MouseButton button, Qt::MouseButtons, Qt::KeyboardModifiers, int x, int y) {
                    ImageMouseUp(button, x, y);
                }));
    FormCreate();
}

// The information window is a child window, so Qt frees it with the viewer.
TFormAvi::~TFormAvi() = default;

void TFormAvi::FormCreate() {
    InfoForm = new TFormInfoImg(source_, zoom_, this);
    InfoForm->AttachImage(Image1, 0, 0, frameGeometry().width(), frameGeometry().height());
}

gfx::Picture& TFormAvi::picture() { return Image1->picture(); }
gfx::Bitmap& TFormAvi::bitmap() { return Image1->picture().bitmap(); }

void TFormAvi::setImageClientSize(int width, int height) { Image1->resize(width, height); }
void TFormAvi::setClientSize(int width, int height) { resize(width, height); }

void TFormAvi::FitToPicture(QSize picture, const QWidget& keepClear) {
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

void TFormAvi::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    // Only the change from hidden to shown, not a window coming back from the task bar.
    if (!event->spontaneous()) errors::Guard([this] { FormShow(); });
}

void TFormAvi::FormShow() { emit shown(); }

void TFormAvi::keyPressEvent(QKeyEvent* event) {
    int key = keys::VirtualKeyCode(*event);
    if (keyDown_ && key != 0) errors::Guard([&] { keyDown_(key); });
    if (key == 0) {
        event->accept();
        return;
    }
    QWidget::keyPressEvent(event);
}

void TFormAvi::ImageMouseDown(Qt::MouseButton, Qt::MouseButtons state, int X, int Y) {
    if (state.testFlag(Qt::LeftButton)) {
        InfoForm->BeginCropDrag(X, Y);
        Image1->setCursor(Qt::SizeAllCursor);
        return;
    }
    if (InfoForm->isVisible()) {
        InfoForm->hide();
    } else {
        InfoForm->ShowForImage(Image1);
    }
}

void TFormAvi::ImageMouseMove(Qt::MouseButtons state, int X, int Y) {
    if (!state.testFlag(Qt::LeftButton)) {
        InfoForm->ShowPixelInfo(X, Y);
        return;
    }
    InfoForm->ExtendCropDrag(X, Y);
}

void TFormAvi::ImageMouseUp(Qt::MouseButton button, int, int) {
    if (button == Qt::LeftButton) InfoForm->FinishCropDrag();
    Image1->unsetCursor();
}
