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
    ProgramIcon = ui_->ProgramIcon;
    Auteur = ui_->Auteur;
    Comments1 = ui_->Comments1;
    Version = ui_->Version;
    Comments2 = ui_->Comments2;
    Copyright = ui_->Copyright;
    SpeedButton1 = ui_->SpeedButton1;
    // The picture fills the box behind the texts and must not take their clicks.
    ProgramIcon->setAttribute(Qt::WA_TransparentForMouseEvents);
    connect(SpeedButton1, &QAbstractButton::clicked, this, errors::Guarded<>([this] { SpeedButton1Click(); }));
    SetUpControls();
}

AboutBox::~AboutBox() = default;

void AboutBox::SetUpControls() {
    Version->setText(identity::kVersion);
    Comments1->setText(identity::kDescription);
    Comments2->setText(identity::kEdition);
    Auteur->setText(identity::kAuthorLine);
    Copyright->setText(identity::kCopyrightLine);
    // Single-line labels fit their text; the wrapping ones keep their width and grow down.
    for (QLabel* label : {Auteur, Version, Copyright}) label->adjustSize();
    for (QLabel* label : {Comments1, Comments2}) {
        label->resize(label->width(), label->heightForWidth(label->width()));
    }
}

void AboutBox::SpeedButton1Click() { hide(); }

void AboutBox::showEvent(QShowEvent* event) {
    if (QScreen* screen = this->screen()) {
        QRect area = QRect(QPoint(0, 0), size());
        area.moveCenter(screen->geometry().center());
        move(area.topLeft());
    }
    QWidget::showEvent(event);
}
