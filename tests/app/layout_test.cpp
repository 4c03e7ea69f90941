// SPDX-License-Identifier: GPL-2.0-or-later
// The main window's captions fit their controls at the design geometry.

#include <QAbstractButton>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QRadioButton>
#include <QStyle>
#include <QToolButton>

#include "main_window_fixture.h"

namespace {

// Room a button needs beside its text: a check or radio indicator, or a glyph, plus margins.
int IndicatorRoom(const QAbstractButton& button) {
    const QStyle* style = button.style();
    if (qobject_cast<const QCheckBox*>(&button)) {
        return style->pixelMetric(QStyle::PM_IndicatorWidth) + style->pixelMetric(QStyle::PM_CheckBoxLabelSpacing);
    }
    if (qobject_cast<const QRadioButton*>(&button)) {
        return style->pixelMetric(QStyle::PM_ExclusiveIndicatorWidth) +
               style->pixelMetric(QStyle::PM_RadioButtonLabelSpacing);
    }
    const int glyph = button.icon().isNull() ? 0 : button.iconSize().width() + 2;
    return glyph + 4;
}

}  // namespace

TEST_F(MainWindowTest, EveryCaptionFitsItsControl) {
    // Labels that show a directory may be cut by the window edge, as any long path.
    const QStringList pathLabels = {"LabelRepFicAvi", "LabelRepFicImg"};
    int checked = 0;
    for (QWidget* control : window->findChildren<QWidget*>()) {
        if (!control->isVisibleTo(window.get())) continue;
        const QString name = control->objectName();
        if (auto* label = qobject_cast<QLabel*>(control)) {
            if (pathLabels.contains(name) || label->text().isEmpty()) continue;
            EXPECT_LE(label->sizeHint().width(), label->width()) << name.toStdString();
            EXPECT_LE(label->sizeHint().height(), label->height() + 2) << name.toStdString();
            ++checked;
        } else if (auto* button = qobject_cast<QAbstractButton*>(control)) {
            if (button->text().isEmpty()) continue;
            const int needed = button->fontMetrics().horizontalAdvance(button->text()) + IndicatorRoom(*button);
            EXPECT_LE(needed, button->width()) << name.toStdString() << " '" << button->text().toStdString() << "'";
            ++checked;
        } else if (auto* group = qobject_cast<QGroupBox*>(control)) {
            EXPECT_LE(group->fontMetrics().horizontalAdvance(group->title()), group->width()) << name.toStdString();
            ++checked;
        }
    }
    EXPECT_GE(checked, 25);
    // The frame number shown beside its glyph, up to five digits.
    ui().SpeedButtonGoto->setText("99999");
    EXPECT_LE(ui().SpeedButtonGoto->fontMetrics().horizontalAdvance("99999") + IndicatorRoom(*ui().SpeedButtonGoto),
              ui().SpeedButtonGoto->width());
}
