// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once
// The main window's controls, menus and commands, found by their design names as a user of
// the window would point at them.

#include <QAction>
#include <QCheckBox>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QSlider>

#include "support/find_control.h"
#include "widgets/controls/radio_group.h"
#include "widgets/controls/speed_button.h"
#include "widgets/controls/up_down.h"

struct MainControls {
    explicit MainControls(QWidget& window)
        : Panel1(FindControl<QFrame>(window, "Panel1")),
          SpeedButtonOuvrirAvi(FindControl<SpeedButton>(window, "SpeedButtonOuvrirAvi")),
          SpeedButtonVisu(FindControl<SpeedButton>(window, "SpeedButtonVisu")),
          SpeedButtonListe(FindControl<SpeedButton>(window, "SpeedButtonListe")),
          SpeedButtonFermer(FindControl<SpeedButton>(window, "SpeedButtonFermer")),
          LabelRepFicAvi(FindControl<QLabel>(window, "LabelRepFicAvi")),
          EditNomFicAvi(FindControl<QLineEdit>(window, "EditNomFicAvi")),
          CheckBoxBoucle(FindControl<QCheckBox>(window, "CheckBoxBoucle")),
          Panelcommande(FindControl<QFrame>(window, "Panelcommande")),
          SpeedButtonDeb(FindControl<SpeedButton>(window, "SpeedButtonDeb")),
          SpeedButtonAr3(FindControl<SpeedButton>(window, "SpeedButtonAr3")),
          SpeedButtonAr(FindControl<SpeedButton>(window, "SpeedButtonAr")),
          SpeedButtonPause(FindControl<SpeedButton>(window, "SpeedButtonPause")),
          SpeedButtonGoto(FindControl<SpeedButton>(window, "SpeedButtonGoto")),
          SpeedButtonDemarrer(FindControl<SpeedButton>(window, "SpeedButtonDemarrer")),
          SpeedButtonAv(FindControl<SpeedButton>(window, "SpeedButtonAv")),
          SpeedButtonAv3(FindControl<SpeedButton>(window, "SpeedButtonAv3")),
          SpeedButtonFin(FindControl<SpeedButton>(window, "SpeedButtonFin")),
          LabelMin(FindControl<QLabel>(window, "LabelMin")),
          LabelMax(FindControl<QLabel>(window, "LabelMax")),
          TrackBarVideo(FindControl<QSlider>(window, "TrackBarVideo")),
          LabelEtat(FindControl<QLabel>(window, "LabelEtat")),
          SpeedButtonSequence(FindControl<SpeedButton>(window, "SpeedButtonSequence")),
          SpeedButtonParcourirExtraction(FindControl<SpeedButton>(window, "SpeedButtonParcourirExtraction")),
          LabelRepFicImg(FindControl<QLabel>(window, "LabelRepFicImg")),
          EditNomFicImg(FindControl<QLineEdit>(window, "EditNomFicImg")),
          RadioGroupPlansExtraction(FindControl<RadioGroup>(window, "RadioGroupPlansExtraction")),
          RadioGroupNum(FindControl<RadioGroup>(window, "RadioGroupNum")),
          RadioGroupTypeExtraction(FindControl<RadioGroup>(window, "RadioGroupTypeExtraction")),
          LabelNum(FindControl<QLabel>(window, "LabelNum")),
          EditDebut(FindControl<QLineEdit>(window, "EditDebut")),
          UpDowndebut(FindControl<UpDown>(window, "UpDowndebut")),
          LabelFormat(FindControl<QLabel>(window, "LabelFormat")),
          EditFormat(FindControl<QLineEdit>(window, "EditFormat")),
          CheckBoxCadre(FindControl<QCheckBox>(window, "CheckBoxCadre")),
          SpeedButtonExtraire(FindControl<SpeedButton>(window, "SpeedButtonExtraire")),
          LabelNomImg(FindControl<QLabel>(window, "LabelNomImg")),
          SpeedButtonVoir(FindControl<SpeedButton>(window, "SpeedButtonVoir")),
          SpeedButtonLot(FindControl<SpeedButton>(window, "SpeedButtonLot")),
          MainMenu1(FindControl<QMenuBar>(window, "MainMenu1")),
          Fichier1(FindControl<QMenu>(window, "Fichier1")),
          Voir1(FindControl<QMenu>(window, "Voir1")),
          Options1(FindControl<QMenu>(window, "Options1")),
          Ouvrir1(FindControl<QAction>(window, "Ouvrir1")),
          Fermer1(FindControl<QAction>(window, "Fermer1")),
          Quitter1(FindControl<QAction>(window, "Quitter1")),
          Visu1(FindControl<QAction>(window, "Visu1")),
          Liste1(FindControl<QAction>(window, "Liste1")),
          InfoImage1(FindControl<QAction>(window, "InfoImage1")),
          Jpeg1(FindControl<QAction>(window, "Jpeg1")) {}

    QFrame* Panel1;
    SpeedButton* SpeedButtonOuvrirAvi;
    SpeedButton* SpeedButtonVisu;
    SpeedButton* SpeedButtonListe;
    SpeedButton* SpeedButtonFermer;
    QLabel* LabelRepFicAvi;
    QLineEdit* EditNomFicAvi;
    QCheckBox* CheckBoxBoucle;
    QFrame* Panelcommande;
    SpeedButton* SpeedButtonDeb;
    SpeedButton* SpeedButtonAr3;
    SpeedButton* SpeedButtonAr;
    SpeedButton* SpeedButtonPause;
    SpeedButton* SpeedButtonGoto;
    SpeedButton* SpeedButtonDemarrer;
    SpeedButton* SpeedButtonAv;
    SpeedButton* SpeedButtonAv3;
    SpeedButton* SpeedButtonFin;
    QLabel* LabelMin;
    QLabel* LabelMax;
    QSlider* TrackBarVideo;
    QLabel* LabelEtat;
    SpeedButton* SpeedButtonSequence;
    SpeedButton* SpeedButtonParcourirExtraction;
    QLabel* LabelRepFicImg;
    QLineEdit* EditNomFicImg;
    RadioGroup* RadioGroupPlansExtraction;
    RadioGroup* RadioGroupNum;
    RadioGroup* RadioGroupTypeExtraction;
    QLabel* LabelNum;
    QLineEdit* EditDebut;
    UpDown* UpDowndebut;
    QLabel* LabelFormat;
    QLineEdit* EditFormat;
    QCheckBox* CheckBoxCadre;
    SpeedButton* SpeedButtonExtraire;
    QLabel* LabelNomImg;
    SpeedButton* SpeedButtonVoir;
    SpeedButton* SpeedButtonLot;
    QMenuBar* MainMenu1;
    QMenu* Fichier1;
    QMenu* Voir1;
    QMenu* Options1;
    QAction* Ouvrir1;
    QAction* Fermer1;
    QAction* Quitter1;
    QAction* Visu1;
    QAction* Liste1;
    QAction* InfoImage1;
    QAction* Jpeg1;
};
