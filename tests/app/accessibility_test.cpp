// SPDX-License-Identifier: GPL-2.0-or-later
// What assistive tools see of the program's windows: a French name on every control, and
// presses and toggles that do what a left click does.
#include <QAbstractItemView>
#include <QAccessible>
#include <QCheckBox>
#include <QComboBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QScrollBar>

#include "framelist/frame_list_window.h"
#include "infowindow/info_window.h"
#include "main_window_fixture.h"
#include "options/about_box.h"
#include "options/jpeg_options_dialog.h"
#include "widgets/controls/image_control.h"
#include "widgets/controls/speed_button.h"
#include "widgets/controls/up_down.h"

namespace {

QAccessibleInterface* Accessible(QWidget* widget) { return QAccessible::queryAccessibleInterface(widget); }

// The controls a user works, with the text field of an editable list but not its drop-down, and
// without the list's header.
bool IsControl(QWidget* widget) {
    for (QWidget* up = widget->parentWidget(); up; up = up->parentWidget()) {
        if (qobject_cast<QComboBox*>(up) && !qobject_cast<QLineEdit*>(widget)) return false;
    }
    if (qobject_cast<QHeaderView*>(widget) || qobject_cast<QScrollBar*>(widget)) return false;
    return qobject_cast<QAbstractButton*>(widget) || qobject_cast<QLineEdit*>(widget) ||
           qobject_cast<QComboBox*>(widget) || qobject_cast<QAbstractSlider*>(widget) ||
           qobject_cast<QAbstractItemView*>(widget) || qobject_cast<UpDown*>(widget) ||
           qobject_cast<ImageControl*>(widget);
}

// Runs an accessible action as an assistive tool does, then lets the program handle it.
void Act(QWidget* widget, const QString& action) {
    QAccessibleActionInterface* actions = Accessible(widget)->actionInterface();
    ASSERT_NE(actions, nullptr) << widget->objectName().toStdString();
    ASSERT_TRUE(actions->actionNames().contains(action)) << widget->objectName().toStdString();
    actions->doAction(action);
    QTest::qWait(50);
}

}  // namespace

TEST_F(MainWindowTest, EveryControlOfEveryWindowHasAName) {
    JpegOptionsDialog options;
    AboutBox about;
    const QList<QWidget*> windows = {window.get(),
                                     window->VideoViewer(),
                                     window->PictureViewer(),
                                     window->VideoViewer()->infoForm(),
                                     window->ListWindow(),
                                     &options,
                                     &about};
    for (QWidget* shown : windows) {
        for (QWidget* widget : shown->findChildren<QWidget*>()) {
            if (!IsControl(widget) || widget->window() != shown || !widget->isVisibleTo(shown)) continue;
            EXPECT_FALSE(Accessible(widget)->text(QAccessible::Name).isEmpty())
                << shown->objectName().toStdString() << " " << widget->objectName().toStdString() << " "
                << widget->metaObject()->className();
        }
        for (SpeedButton* button : shown->findChildren<SpeedButton*>()) {
            EXPECT_EQ(Accessible(button)->role(), QAccessible::PushButton) << button->objectName().toStdString();
        }
    }
    const struct {
        QWidget* control;
        QString name;
    } names[] = {
        {ui().SpeedButtonDeb, "Premier"},
        {ui().SpeedButtonAr3, "Reculer de 3"},
        {ui().SpeedButtonGoto, "Atteindre.."},
        {ui().SpeedButtonAv3, "Avancer de 3"},
        {ui().SpeedButtonOuvrirAvi, "Ouvrir..."},
        {ui().TrackBarVideo, "Position dans la vidéo"},
        {ui().EditNomFicAvi, "Nom du fichier vidéo"},
        {ui().EditNomFicImg, "Nom des images"},
        {ui().EditDebut, "Numéroter à Partir de :"},
        {ui().EditFormat, "Format :"},
        {ui().UpDowndebut, "Numéroter à Partir de :"},
        {ui().UpDowndebut->upButton(), "Augmenter"},
        {options.findChild<QLineEdit*>("CompressionQuality"), "Qualité de Compression:"},
        {window->VideoViewer()->infoForm()->findChild<QLineEdit*>("EditW"), "W:"},
        {options.findChild<QComboBox*>("Scale")->lineEdit(), "Échelle"},
    };
    for (const auto& n : names) {
        EXPECT_EQ(Accessible(n.control)->text(QAccessible::Name), n.name) << n.control->objectName().toStdString();
    }
    // The frame number that "Atteindre.." shows is told too.
    EXPECT_EQ(Accessible(ui().SpeedButtonGoto)->text(QAccessible::Description), "0");
}

TEST_F(MainWindowTest, AccessiblePressesAndTogglesAreLeftClicks) {
    OpenFixture(5, 32, 24);
    Act(ui().SpeedButtonAv, QAccessibleActionInterface::pressAction());
    EXPECT_EQ(navigation.CurrentPosition(), 1);
    EXPECT_TRUE(Accessible(ui().SpeedButtonPause)->state().checked) << "the latched button shows as checked";

    // The crop check of the box's left press runs for a toggle too.
    Act(ui().CheckBoxCadre, QAccessibleActionInterface::toggleAction());
    EXPECT_EQ(dialogs->messageTexts(), QStringList{"Définissez un Cadre de Sélection dans l'Image"});
    EXPECT_FALSE(ui().CheckBoxCadre->isChecked());
    EXPECT_FALSE(frameSource.CropEnabled());
    frameSource.SetCropRect(0, 0, 5, 10);
    Act(ui().CheckBoxCadre, QAccessibleActionInterface::toggleAction());
    EXPECT_TRUE(ui().CheckBoxCadre->isChecked());
    EXPECT_TRUE(frameSource.CropEnabled());

    // "Sél." works on its press, which a press action makes too.
    window->ShowFrameList();
    Act(window->ListWindow()->findChild<SpeedButton*>("SpeedButton1"), QAccessibleActionInterface::pressAction());
    EXPECT_TRUE(window->ListWindow()->table().row(0).marked());
}
