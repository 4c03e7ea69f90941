// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once
// A viewer window: one picture at natural size in a scrolling area, or scaled to fit the window
// ("Ajuster à la fenêtre", key F); F11 or a double click shows it full screen, Ctrl+C copies it. A left drag on the
// picture draws the crop rectangle (kept by the viewer's information window and handed to the frame source on release);
// a right or middle click shows or hides the information window.

#include <QImage>
#include <QWidget>
#include <functional>
#include <memory>

class FrameSource;
class ImageControl;
class QScrollArea;
class InfoWindow;
struct MagnifierZoom;
namespace imaging {
class Picture;
class Bitmap;
}  // namespace imaging
namespace Ui {
class FormAvi;
}

class FrameViewer : public QWidget {
    Q_OBJECT

public:
    // A top-level window; with no parent it lives until the program deletes it.
    // Its information window draws the crop rectangle of `source`'s video and shows `zoom`,
    // which outlives the viewer.
    FrameViewer(FrameSource& source, MagnifierZoom& zoom, QWidget* parent = nullptr);
    ~FrameViewer() override;

    // The controls the main window works with.
    ImageControl* image() const { return image_; }
    QScrollArea* scrollBox() const { return scrollBox_; }
    // The viewer's own information window, created and destroyed with it.
    InfoWindow* infoForm() const { return infoWindow_; }

    imaging::Picture& picture();
    // The bitmap of image_'s picture (made empty when the picture holds another graphic).
    imaging::Bitmap& bitmap();

    // For a picture of W x H: setImageClientSize(W, H) and setClientSize(W + 4, H + 4).
    void setImageClientSize(int width, int height);
    void setClientSize(int width, int height);
    // Sizes the window for a picture shown at 1:1, as above, but never beyond the available area
    // of the screen that `keepClear` (the main window) is on, and places it clear of that window
    // where there is room (viewer::PlaceViewer).
    void FitToPicture(QSize picture, const QWidget& keepClear);

    // Shown whole, scaled to the window's size (any scale); off: one picture pixel per screen pixel.
    void setFitToWindow(bool fit);
    bool fitToWindow() const { return fit_; }
    void ToggleFullScreen();
    // What Ctrl+C puts on the clipboard: the picture shown, as it would be written.
    void setCopySource(std::function<QImage()> source) { copySource_ = std::move(source); }
    void CopyPicture();

    // The main window's key-down handler: it gets the virtual-key code and sets it to 0 when
    // it has used the key.
    using KeyDownHandler = std::function<void(int& virtualKey)>;
    void setKeyDownHandler(KeyDownHandler handler) { keyDown_ = std::move(handler); }

    // Handlers.
    void SetUpControls();
    void Shown();
    void ImageMouseDown(Qt::MouseButton button, Qt::MouseButtons state, int X, int Y);
    void ImageMouseMove(Qt::MouseButtons state, int X, int Y);
    void ImageMouseUp(Qt::MouseButton button, int X, int Y);

signals:
    // The window was shown: the picture that JPEG options apply to is this viewer's now.
    void shown();

protected:
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    void SetUpActions();
    // The scale that fits the picture in the scrolling area, or 1.
    void Rescale();

    bool fit_ = false;
    std::function<QImage()> copySource_;
    class QMenu* menu_ = nullptr;
    class QAction* fitAction_ = nullptr;
    FrameSource& source_;
    std::unique_ptr<Ui::FormAvi> ui_;
    ImageControl* image_ = nullptr;
    QScrollArea* scrollBox_ = nullptr;
    InfoWindow* infoWindow_ = nullptr;
    MagnifierZoom& zoom_;
    KeyDownHandler keyDown_;
};
