// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once
// The JPEG options dialog. It keeps no copy of the options: ApplyJpegOptions reads the controls
// each time it runs, so a change counts from the next JPEG encoded or decoded.

#include <QWidget>
#include <cstdint>
#include <memory>

namespace gfx {
class Graphic;
}
namespace Ui {
class FormOpJpeg;
}

class TFormOpJpeg : public QWidget {
    Q_OBJECT

public:
    explicit TFormOpJpeg(QWidget* parent = nullptr);
    ~TFormOpJpeg() override;

    // Copies the settings into the graphic when it is a JPEG image, and enables the reading
    // options only for a JPEG image. A quality that is not a whole number raises
    // "'TEXT' n'est pas une valeur entière correcte" and leaves the graphic as it was.
    void ApplyJpegOptions(gfx::Graphic* picture);

    void FormCreate();
    void SpeedButtonAppliquerClick();
    void BitBtnOkClick();

    // The quality that a text of the quality edit stands for, limited to 1..100.
    static uint8_t QualityFromText(const QString& text);

private:
    std::unique_ptr<Ui::FormOpJpeg> ui_;
};
