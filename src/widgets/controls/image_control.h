// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once
// An image control: paints its picture from the top-left corner, at natural size unless a scale
// is set (a viewer fitting its window), and reports mouse down / move / up in picture pixels
// whatever the scale. Moves arrive without a
// button held too, and a drag that began here keeps reporting outside the control until the
// button is released, so coordinates may be negative or beyond the picture.

#include <QWidget>

#include "imaging/picture.h"

class ImageControl : public QWidget {
    Q_OBJECT

public:
    explicit ImageControl(QWidget* parent = nullptr);

    imaging::Picture& picture() { return picture_; }
    const imaging::Picture& picture() const { return picture_; }

    // The control's size in picture pixels; on screen it takes this size times the scale.
    QSize clientSize() const;
    void setClientSize(QSize size);
    double scale() const { return scale_; }
    void setScale(double scale);

signals:
    // `buttons` is the state after the event: it includes the button just pressed and
    // excludes the one just released.
    void mouseDown(Qt::MouseButton button, Qt::MouseButtons buttons, Qt::KeyboardModifiers modifiers, int x, int y);
    void mouseMove(Qt::MouseButtons buttons, Qt::KeyboardModifiers modifiers, int x, int y);
    void mouseUp(Qt::MouseButton button, Qt::MouseButtons buttons, Qt::KeyboardModifiers modifiers, int x, int y);
    void doubleClicked(Qt::MouseButton button);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    QPoint PixelAt(const QMouseEvent& event) const;

    imaging::Picture picture_;
    QSize clientSize_;  // while scaled
    double scale_ = 1.0;
};
