// SPDX-License-Identifier: GPL-2.0-or-later
#include "infowindow/info_window.h"

#include <QFont>
#include <QLabel>
#include <QLineEdit>
#include <QResizeEvent>
#include <algorithm>
#include <array>
#include <cstdlib>
#include <limits>

#include "framesource/frame_source.h"
#include "imaging/bitmap.h"
#include "ui_info_window.h"
#include "widgets/controls/image_control.h"
#include "widgets/controls/speed_button.h"
#include "widgets/slot_guard.h"

namespace {

constexpr int kDesignClientWidth = 248;
constexpr int kDesignZoomLabelWidth = 53;
constexpr int32_t kZoomMin = 1;
constexpr int32_t kZoomMax = 64;

// Typed corners may be anywhere in the 32-bit range; the arithmetic on them must not overflow.
int32_t Saturate(int64_t value) {
    return int32_t(
        std::clamp<int64_t>(value, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()));
}

// The edit's number, or the fallback written back into the box when the text is no integer.
int32_t ReadEdit(QLineEdit& edit, int32_t fallback) {
    bool ok = false;
    const int value = edit.text().trimmed().toInt(&ok);
    if (ok) return value;
    edit.setText(QString::number(fallback));
    return fallback;
}

}  // namespace

InfoWindow::InfoWindow(FrameSource& source, MagnifierZoom& zoom, QWidget* owner)
    : QWidget(owner, Qt::Window), source_(source), ui_(std::make_unique<Ui::FormInfoImg>()), zoom_(zoom) {
    ui_->setupUi(this);
    move(114, 87);

    using errors::Guarded;
    connect(ui_->SpeedButtonMinMax, &QToolButton::clicked, this, Guarded<>([this] { ScanMinMaxClicked(); }));
    connect(ui_->SpeedButtonZoomIn, &QToolButton::clicked, this, Guarded<>([this] { ZoomInClicked(); }));
    connect(ui_->SpeedButtonZoomOut, &QToolButton::clicked, this, Guarded<>([this] { ZoomOutClicked(); }));
    connect(ui_->SpeedButtonValider, &QToolButton::clicked, this, Guarded<>([this] { ApplyTypedRectangle(); }));
    SetUpControls();
}

InfoWindow::~InfoWindow() = default;

void InfoWindow::SetUpControls() {
    // The number lines are columns of figures: a fixed-pitch face keeps them aligned.
    for (QLabel* label : {ui_->LabelAVI1, ui_->LabelAVI2, ui_->LabelFenetre, ui_->LabelCadre, ui_->LabelColor}) {
        QFont font = label->font();
        font.setFamilies(
            {QStringLiteral("courier"), QStringLiteral("Liberation Mono"), QStringLiteral("DejaVu Sans Mono")});
        font.setStyleHint(QFont::TypeWriter);
        font.setFixedPitch(true);
        label->setFont(font);
    }
}

void InfoWindow::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    // The zoom caption keeps its distance to both sides of its box.
    QLabel* zoom = ui_->LabelZoom;
    zoom->resize(std::max(0, kDesignZoomLabelWidth + width() - kDesignClientWidth), zoom->height());
}

imaging::Bitmap* InfoWindow::ImageBitmap() const {
    if (attachedImage == nullptr) return nullptr;
    return dynamic_cast<imaging::Bitmap*>(attachedImage->picture().graphic());
}

// In picture pixels, whatever scale the viewer shows the picture at.
int32_t InfoWindow::ClientWidth() const { return attachedImage != nullptr ? attachedImage->clientSize().width() : 0; }
int32_t InfoWindow::ClientHeight() const { return attachedImage != nullptr ? attachedImage->clientSize().height() : 0; }

int32_t InfoWindow::CropWidth() const { return Saturate(std::abs(int64_t(cropX2) - cropX1) + 1); }
int32_t InfoWindow::CropHeight() const { return Saturate(std::abs(int64_t(cropY2) - cropY1) + 1); }

void InfoWindow::ShowPixelInfo(int32_t X, int32_t Y) {
    ui_->LabelPosImage->setText(QString::asprintf("X=%4d Y=%4d", X, Y));
    const imaging::Bitmap* bitmap = ImageBitmap();
    const uint32_t colour = bitmap != nullptr ? bitmap->pixel(X, Y) : imaging::kInvalidColour;
    ui_->LabelColor->setText(QString::asprintf("R=%3d  V=%3d  B=%3d", int(colour & 0xFF), int((colour >> 8) & 0xFF),
                                               int((colour >> 16) & 0xFF)));
}

void InfoWindow::ShowWindowInfo(int32_t width, int32_t height, int32_t bits) {
    ui_->LabelFenetre->setText(QString::asprintf("W=%4d H=%4d Bits=%2d", width, height, bits));
}

void InfoWindow::ShowVideoInfo(int32_t width, int32_t height, int32_t bits, int32_t planes, int32_t frames) {
    ui_->LabelAVI1->setText(QString::asprintf("W=%4d H=%4d Vues=%4d", width, height, frames));
    ui_->LabelAVI2->setText(QString::asprintf("Bits=%2d Plans=%1d", bits, planes));
}

void InfoWindow::DrawCropOutline(bool draw) {
    if (!draw) return;
    imaging::Bitmap* bitmap = ImageBitmap();
    if (bitmap == nullptr) return;
    const std::array<QPoint, 5> outline{QPoint(cropX1, cropY1), QPoint(cropX1, cropY2), QPoint(cropX2, cropY2),
                                        QPoint(cropX2, cropY1), QPoint(cropX1, cropY1)};
    bitmap->drawNotXorPolyline(outline);
}

void InfoWindow::ShowCropEdits() {
    ui_->EditX->setText(QString::number(cropX1));
    ui_->EditY->setText(QString::number(cropY1));
    ui_->EditW->setText(QString::number(CropWidth()));
    ui_->EditH->setText(QString::number(CropHeight()));
}

void InfoWindow::ShowCropLabel() {
    ui_->LabelCadre->setText(QString::asprintf("X=%4d Y=%4d L=%4d H=%4d", cropX1, cropY1, CropWidth(), CropHeight()));
}

void InfoWindow::SetCropCorners(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2) {
    cropX1 = X1;
    cropY1 = Y1;
    cropX2 = X2;
    cropY2 = Y2;
}

void InfoWindow::BeginCropDrag(int32_t X, int32_t Y) {
    DrawCropOutline(outlineDrawn);
    outlineDrawn = true;
    SetCropCorners(X, Y, X, Y);
    DrawCropOutline(true);
    ShowCropEdits();
}

void InfoWindow::ExtendCropDrag(int32_t X, int32_t Y) {
    DrawCropOutline(true);
    cropX2 = X;
    cropY2 = Y;
    ShowCropEdits();
    DrawCropOutline(true);
}

void InfoWindow::FinishCropDrag() {
    NormalizeCropRect(cropX1, cropY1, cropX2, cropY2, cropX2 != cropX1 || cropY2 != cropY1);
    ShowCropEdits();
    ShowCropLabel();
    source_.SetCropRect(cropY1, cropX1, CropHeight(), CropWidth());
}

void InfoWindow::NormalizeCropRect(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, bool outlineOnPicture) {
    const int64_t cw = ClientWidth();
    const int64_t ch = ClientHeight();
    int64_t w = int64_t(X2) - X1 + 1;
    int64_t h = int64_t(Y2) - Y1 + 1;
    int64_t x = X1 < 0 ? 0 : (X1 >= cw ? cw - 1 : X1);
    int64_t y = Y1 < 0 ? 0 : (Y1 >= ch ? ch - 1 : Y1);
    if (x + w >= cw) w = cw - x;
    if (y + h >= ch) h = ch - y;
    if (x + w - 1 < 0) w = 1 - x;
    if (y + h - 1 < 0) h = 1 - y;

    // The dragged line is still on the picture under the stored corners. It is replaced by the
    // outline of the rectangle kept, which differs from it where the drag went past an edge:
    // otherwise the next erase would invert pixels that were never drawn.
    DrawCropOutline(outlineOnPicture);
    if (w == 1 || h == 1) {
        SetCropCorners(0, 0, int32_t(cw - 1), int32_t(ch - 1));
        outlineDrawn = false;
        return;
    }
    cropX1 = int32_t(w >= 1 ? x : x + w - 1);
    cropX2 = int32_t(w >= 1 ? x + w - 1 : x);
    cropY1 = int32_t(h >= 1 ? y : y + h - 1);
    cropY2 = int32_t(h >= 1 ? y + h - 1 : y);
    outlineDrawn = !(w == cw && h == ch);
    DrawCropOutline(outlineOnPicture && outlineDrawn);
}

void InfoWindow::ShowForImage(ImageControl* image) {
    attachedImage = image;
    ShowCropEdits();
    ShowCropLabel();
    show();
}

void InfoWindow::AttachImage(ImageControl* image, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2) {
    UpdateZoomControls();
    attachedImage = image;
    outlineDrawn = false;
    ShowVideoInfo(source_.FrameWidth(), source_.FrameHeight(), source_.FrameBitCount(), source_.FramePlanes(),
                  source_.FrameCount());
    const imaging::Bitmap* bitmap = ImageBitmap();
    ShowWindowInfo(ClientWidth(), ClientHeight(), bitmap != nullptr ? bitmap->bitsPerPixel() : 0);
    // A fresh picture carries no outline.
    NormalizeCropRect(X1, Y1, X2, Y2, false);
    ShowCropEdits();
    ShowCropLabel();
}

void InfoWindow::UpdateZoomControls() {
    int32_t& zoom = zoom_.level;
    if (zoom >= kZoomMax) {
        zoom = kZoomMax;
        ui_->SpeedButtonZoomIn->setEnabled(false);
        ui_->SpeedButtonZoomOut->setEnabled(true);
    }
    if (zoom <= kZoomMin) {
        zoom = kZoomMin;
        ui_->SpeedButtonZoomIn->setEnabled(true);
        ui_->SpeedButtonZoomOut->setEnabled(false);
    }
    if (zoom > kZoomMin && zoom < kZoomMax) {
        ui_->SpeedButtonZoomIn->setEnabled(true);
        ui_->SpeedButtonZoomOut->setEnabled(true);
    }
    ui_->LabelZoom->setText(zoom >= 16 ? QStringLiteral("* %1").arg(zoom / 16) : QStringLiteral("/ %1").arg(16 / zoom));
}

void InfoWindow::ZoomInClicked() {
    // Kept within 1..64 before doubling, so the shared value never overflows.
    zoom_.level = std::min(zoom_.level, kZoomMax) * 2;
    UpdateZoomControls();
}

void InfoWindow::ZoomOutClicked() {
    zoom_.level /= 2;
    UpdateZoomControls();
}

void InfoWindow::ApplyTypedRectangle() {
    const int32_t X = ReadEdit(*ui_->EditX, cropX1);
    const int32_t Y = ReadEdit(*ui_->EditY, cropY1);
    const int32_t W = ReadEdit(*ui_->EditW, CropWidth());
    const int32_t H = ReadEdit(*ui_->EditH, CropHeight());
    DrawCropOutline(outlineDrawn);
    NormalizeCropRect(X, Y, Saturate(int64_t(X) + W - 1), Saturate(int64_t(Y) + H - 1), false);
    DrawCropOutline(outlineDrawn);
    ShowCropLabel();
    ShowCropEdits();
    source_.SetCropRect(cropY1, cropX1, CropHeight(), CropWidth());
}

void InfoWindow::ScanMinMaxClicked() {
    int32_t low = std::numeric_limits<int32_t>::max();
    int32_t high = -std::numeric_limits<int32_t>::max();
    if (const imaging::Bitmap* bitmap = ImageBitmap()) {
        for (int y = 0; y < bitmap->height(); ++y) {
            for (int x = 0; x < bitmap->width(); ++x) {
                const auto value = int32_t(bitmap->pixel(x, y));
                low = std::min(low, value);
                high = std::max(high, value);
            }
        }
    }
    ui_->Labelmin->setText(QString::asprintf("min = %08X", uint32_t(low)));
    ui_->LabelMAX->setText(QString::asprintf("MAX = %08X", uint32_t(high)));
}
