// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once
// The information window of one viewer: video, window, pointer and colour data, the viewer's
// crop rectangle (stored, clamped, outlined, typed and applied), the colour scan and the
// display-only zoom.

#include <QWidget>
#include <cstdint>
#include <memory>

#include "infowindow/magnifier_zoom.h"

class FrameSource;
class ImageControl;
namespace imaging {
class Bitmap;
}
namespace Ui {
class FormInfoImg;
}

class InfoWindow : public QWidget {
    Q_OBJECT

public:
    // Made as a separate top-level window owned by its viewer, so that it dies with it.
    // The crop rectangle drawn is handed to `source`; the zoom is shared with the other
    // information windows and outlives them.
    InfoWindow(FrameSource& source, MagnifierZoom& zoom, QWidget* owner = nullptr);
    ~InfoWindow() override;

    // The image control whose picture is described and drawn on.
    ImageControl* attachedImage = nullptr;
    // The rectangle's outline is on the picture.
    bool outlineDrawn = false;
    // First corner (anchor while dragging, then left/top) and opposite corner (inclusive).
    int32_t cropX1 = 0;
    int32_t cropY1 = 0;
    int32_t cropX2 = 0;
    int32_t cropY2 = 0;

    void ShowPixelInfo(int32_t X, int32_t Y);
    void ShowWindowInfo(int32_t width, int32_t height, int32_t bits);
    void ShowVideoInfo(int32_t width, int32_t height, int32_t bits, int32_t planes, int32_t frames);
    void DrawCropOutline(bool draw);
    void ShowCropEdits();
    void ShowCropLabel();
    void SetCropCorners(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2);
    void NormalizeCropRect(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, bool outlineOnPicture);
    void ShowForImage(ImageControl* image);
    // A crop drag on the picture: it begins where the button went down, follows the pointer,
    // and on release becomes the rectangle, kept inside the picture and handed to the frame
    // source. The outline is drawn all along.
    void BeginCropDrag(int32_t X, int32_t Y);
    void ExtendCropDrag(int32_t X, int32_t Y);
    void FinishCropDrag();
    void AttachImage(ImageControl* image, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2);
    void UpdateZoomControls();

    // Width and height of the rectangle as the window reports them.
    int32_t CropWidth() const;
    int32_t CropHeight() const;

    // Handlers.
    void SetUpControls();
    void ZoomInClicked();
    void ZoomOutClicked();
    void ApplyTypedRectangle();
    void ScanMinMaxClicked();

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    // The bitmap of the attached picture, or none when it holds another kind of graphic.
    imaging::Bitmap* ImageBitmap() const;
    int32_t ClientWidth() const;
    int32_t ClientHeight() const;

    FrameSource& source_;
    std::unique_ptr<Ui::FormInfoImg> ui_;
    MagnifierZoom& zoom_;
};
