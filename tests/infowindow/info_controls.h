// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once
// The information window's controls, found by their design names as a user of the window
// would point at them.

#include <QLabel>
#include <QLineEdit>
#include <QWidget>

#include "support/find_control.h"
#include "widgets/controls/speed_button.h"

struct InfoControls {
    explicit InfoControls(QWidget& form)
        : LabelAVI1(FindControl<QLabel>(form, "LabelAVI1")),
          LabelAVI2(FindControl<QLabel>(form, "LabelAVI2")),
          LabelFenetre(FindControl<QLabel>(form, "LabelFenetre")),
          LabelZoom(FindControl<QLabel>(form, "LabelZoom")),
          LabelCadre(FindControl<QLabel>(form, "LabelCadre")),
          LabelPosImage(FindControl<QLabel>(form, "LabelPosImage")),
          LabelColor(FindControl<QLabel>(form, "LabelColor")),
          Labelmin(FindControl<QLabel>(form, "Labelmin")),
          LabelMAX(FindControl<QLabel>(form, "LabelMAX")),
          EditX(FindControl<QLineEdit>(form, "EditX")),
          EditY(FindControl<QLineEdit>(form, "EditY")),
          EditW(FindControl<QLineEdit>(form, "EditW")),
          EditH(FindControl<QLineEdit>(form, "EditH")),
          SpeedButtonZoomIn(FindControl<SpeedButton>(form, "SpeedButtonZoomIn")),
          SpeedButtonZoomOut(FindControl<SpeedButton>(form, "SpeedButtonZoomOut")),
          SpeedButton3(FindControl<SpeedButton>(form, "SpeedButton3")),
          SpeedButtonValider(FindControl<SpeedButton>(form, "SpeedButtonValider")),
          SpeedButtonMinMax(FindControl<SpeedButton>(form, "SpeedButtonMinMax")) {}

    QLabel *LabelAVI1, *LabelAVI2, *LabelFenetre, *LabelZoom, *LabelCadre, *LabelPosImage, *LabelColor, *Labelmin,
        *LabelMAX;
    QLineEdit *EditX, *EditY, *EditW, *EditH;
    SpeedButton *SpeedButtonZoomIn, *SpeedButtonZoomOut, *SpeedButton3, *SpeedButtonValider, *SpeedButtonMinMax;
};
