// SPDX-License-Identifier: GPL-2.0-or-later
#include "widgets/program_font.h"

#include <QApplication>
#include <QFont>

void ApplyProgramFont(QApplication& application) {
    QFont font(QStringLiteral("Liberation Sans"));
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(11);
    application.setFont(font);
}
