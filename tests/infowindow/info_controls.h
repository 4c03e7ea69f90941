#pragma once
// The information window's controls, found by their design names as a user of the window
// would point at them.

#include <QLabel>
#include <QLineEdit>
#include <QWidget>

#include "platform/controls/speed_button.h"

struct InfoControls {
    explicit InfoControls(QWidget& form)
        : LabelAVI1(find<QLabel>(form, "LabelAVI1")),
          LabelAVI2(find<QLabel>(form, "LabelAVI2")),
          LabelFenetre(find<QLabel>(form, "LabelFenetre")),
          LabelZoom(find<QLabel>(form, "LabelZoom")),
          LabelCadre(find<QLabel>(form, "LabelCadre")),
          LabelPosImage(find<QLabel>(form, "LabelPosImage")),
          LabelColor(find<QLabel>(form, "LabelColor")),
          Labelmin(find<QLabel>(form, "Labelmin")),
          LabelMAX(find<QLabel>(form, "LabelMAX")),
          EditX(find<QLineEdit>(form, "EditX")),
          EditY(find<QLineEdit>(form, "EditY")),
          EditW(find<QLineEdit>(form, "EditW")),
          EditH(find<QLineEdit>(form, "EditH")),
          SpeedButtonZoomIn(find<SpeedButton>(form, "SpeedButtonZoomIn")),
          SpeedButtonZoomOut(find<SpeedButton>(form, "SpeedButtonZoomOut")),
          SpeedButton3(find<SpeedButton>(form, "SpeedButton3")),
          SpeedButtonValider(find<SpeedButton>(form, "SpeedButtonValider")),
          SpeedButtonMinMax(find<SpeedButton>(form, "SpeedButtonMinMax")) {}

    template <typename T>
    static T* find(QWidget& form, const char* name) {
        T* child = form.findChild<T*>(QString::fromLatin1(name));
        if (child == nullptr) qFatal("no control %s", name);
        return child;
    }

    QLabel *LabelAVI1, *LabelAVI2, *LabelFenetre, *LabelZoom, *LabelCadre, *LabelPosImage, *LabelColor, *Labelmin,
        *LabelMAX;
    QLineEdit *EditX, *EditY, *EditW, *EditH;
    SpeedButton *SpeedButtonZoomIn, *SpeedButtonZoomOut, *SpeedButton3, *SpeedButtonValider, *SpeedButtonMinMax;
};
