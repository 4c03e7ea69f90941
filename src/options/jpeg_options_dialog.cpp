// SPDX-License-Identifier: GPL-2.0-or-later
#include "options/jpeg_options_dialog.h"

#include <QComboBox>
#include <QLineEdit>
#include <QStyle>
#include <algorithm>

#include "base/errors.h"
#include "framesource/jpeg_options.h"
#include "imaging/jpeg_image.h"
#include "imaging/picture.h"
#include "ui_jpeg_options_dialog.h"
#include "widgets/slot_guard.h"

JpegOptionsDialog::JpegOptionsDialog(QWidget* parent)
    : QWidget(parent, Qt::Window), ui_(std::make_unique<Ui::FormOpJpeg>()) {
    ui_->setupUi(this);
    // The form's place on screen; the .ui keeps only its client size, which is the design's outer
    // size of 295 x 373 less the frame (4-pixel borders and the caption), as for the other windows.
    move(407, 40);
    ui_->UpDown1->setBuddy(ui_->CompressionQuality);
    // On Linux Qt names an editable list by its value; its text field carries the list's name.
    for (QComboBox* list : {ui_->PixelFormat, ui_->Scale, ui_->Performance}) {
        list->lineEdit()->setAccessibleName(list->accessibleName());
    }
    ui_->BitBtnOk->setIcon(style()->standardIcon(QStyle::SP_DialogOkButton));
    connect(ui_->SpeedButtonAppliquer, &QToolButton::clicked, this,
            errors::Guarded<bool>([this](bool) { ApplyClicked(); }));
    connect(ui_->BitBtnOk, &QPushButton::clicked, this, errors::Guarded<bool>([this](bool) { OkClicked(); }));
    // OK is the default button: Enter in the quality box closes the dialog as it would.
    connect(ui_->CompressionQuality, &QLineEdit::returnPressed, this, errors::Guarded([this] { OkClicked(); }));
    SetUpControls();
}

JpegOptionsDialog::~JpegOptionsDialog() = default;

void JpegOptionsDialog::SetUpControls() {
    ui_->UpDown1->setPosition(100);
    ui_->GrayScale->setChecked(false);
    ui_->ProgressiveEncoding->setChecked(false);
    ui_->ProgressiveDisplay->setChecked(false);
    ui_->PixelFormat->setCurrentIndex(0);
    ui_->Scale->setCurrentIndex(0);
    ui_->Performance->setCurrentIndex(0);
}

uint8_t JpegOptionsDialog::QualityFromText(const QString& text) {
    bool ok = false;
    const int value = text.trimmed().toInt(&ok);
    if (!ok) throw errors::Error(QString("'%1' n'est pas une valeur entière correcte").arg(text));
    // Out-of-range qualities are limited rather than wrapped, so 300 means best, not 44.
    return uint8_t(std::clamp(value, 1, 100));
}

void JpegOptionsDialog::ApplyJpegOptions(imaging::Graphic* picture) {
    auto* jpeg = dynamic_cast<imaging::JpegImage*>(picture);
    // Read first, so that a bad text leaves the image's options untouched.
    if (jpeg) Options().ApplyTo(jpeg);
    const bool isJpeg = jpeg != nullptr;
    ui_->Scale->setEnabled(isJpeg);
    ui_->PixelFormat->setEnabled(isJpeg);
    ui_->Performance->setEnabled(isJpeg);
    ui_->ProgressiveDisplay->setEnabled(isJpeg && jpeg->progressiveEncoding());
}

jpeg_options::JpegOptions JpegOptionsDialog::Options() const {
    jpeg_options::JpegOptions options;
    options.quality = QualityFromText(ui_->CompressionQuality->text());
    options.grayscale = ui_->GrayScale->isChecked();
    options.progressiveEncoding = ui_->ProgressiveEncoding->isChecked();
    // No item selected (a typed text) reaches the image as 255.
    options.pixelFormat = uint8_t(ui_->PixelFormat->currentIndex());
    options.scale = uint8_t(ui_->Scale->currentIndex());
    options.performance = uint8_t(ui_->Performance->currentIndex());
    options.progressiveDisplay = ui_->ProgressiveDisplay->isChecked();
    return options;
}

void JpegOptionsDialog::ApplyClicked() {
    // The picture's current graphic, never one it held when the dialog was shown.
    if (target_) ApplyJpegOptions(target_->graphic());
}

void JpegOptionsDialog::OkClicked() { hide(); }
