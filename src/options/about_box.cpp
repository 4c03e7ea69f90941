// SPDX-License-Identifier: GPL-2.0-or-later
#include "options/about_box.h"

#include <QLabel>
#include <QScreen>

#include "options/identity.h"
#include "ui_about_box.h"
#include "widgets/controls/speed_button.h"
#include "widgets/slot_guard.h"

AboutBox::AboutBox(QWidget* parent)
    : QWidget(parent, Qt::Dialog | Qt::FramelessWindowHint), ui_(std::make_unique<Ui::AboutBox>()) {
    ui_->setupUi(this);
    setFixedSize(293, 232);
    // The picture fills the box behind the texts and must not take their clicks.
    ui_->ProgramIcon->setAttribute(Qt::WA_TransparentForMouseEvents);
    connect(ui_->SpeedButton1, &QAbstractButton::clicked, this, errors::Guarded<>([this] { OkClicked(); }));
    SetUpControls();
}

AboutBox::~AboutBox() = default;

void AboutBox::SetUpControls() {
    ui_->Version->setText(identity::kVersion);
    ui_->Comments1->setText(identity::kDescription);
    ui_->Comments2->setText(identity::kEdition);
    ui_->Auteur->setText(identity::kAuthorLine);
    ui_->Copyright->setText(identity::kCopyrightLine);
    // Single-line labels fit their text; the wrapping ones keep their width and grow down.
    for (QLabel* label : {ui_->Auteur, ui_->Version, ui_->Copyright}) label->adjustSize();
    for (QLabel* label : {ui_->Comments1, ui_->Comments2}) {
        label->resize(label->width(), label->heightForWidth(label->width()));
    }
}

void AboutBox::OkClicked() { hide(); }

void AboutBox::showEvent(QShowEvent* event) {
    if (QScreen* screen = this->screen()) {
        QRect area = QRect(QPoint(0, 0), size());
        area.moveCenter(screen->geometry().center());
        move(area.topLeft());
    }
    QWidget::showEvent(event);
}
