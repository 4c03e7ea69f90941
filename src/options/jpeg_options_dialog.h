// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once
// The JPEG options dialog. It keeps no copy of the options: Options reads the controls each time
// it is asked, so a change counts from the next JPEG encoded or decoded.

#include <QWidget>
#include <cstdint>
#include <memory>

#include "framesource/jpeg_options.h"

namespace imaging {
class Graphic;
class Picture;
}  // namespace imaging
namespace Ui {
class FormOpJpeg;
}

class JpegOptionsDialog : public QWidget {
    Q_OBJECT

public:
    explicit JpegOptionsDialog(QWidget* parent = nullptr);
    ~JpegOptionsDialog() override;

    // Copies the settings into the graphic when it is a JPEG image, and enables the reading
    // options only for a JPEG image. A quality that is not a whole number raises
    // "'TEXT' n'est pas une valeur entière correcte" and leaves the graphic as it was.
    void ApplyJpegOptions(imaging::Graphic* picture);
    // The options as the controls stand; raises the same error for a bad quality.
    jpeg_options::JpegOptions Options() const;
    // The viewer picture that "Appliquer" acts on; null for none.
    void setTarget(imaging::Picture* picture) { target_ = picture; }
    imaging::Picture* target() const { return target_; }

    void SetUpControls();
    void ApplyClicked();
    void OkClicked();

    // The quality that a text of the quality edit stands for, limited to 1..100.
    static uint8_t QualityFromText(const QString& text);

private:
    std::unique_ptr<Ui::FormOpJpeg> ui_;
    imaging::Picture* target_ = nullptr;
};
