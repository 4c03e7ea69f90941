// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once
// An image control: paints its picture at natural size from the top-left corner, never
// stretched, and reports mouse down / move / up in picture pixels. Moves arrive without a
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

signals:
    // `buttons` is the state after the event: it includes the button just pressed and
    // excludes the one just released.
    void mouseDown(Qt::MouseButton button, Qt::MouseButtons buttons, Qt::KeyboardModifiers modifiers, int x, int y);
    void mouseMove(Qt::MouseButtons buttons, Qt::KeyboardModifiers modifiers, int x, int y);
    void mouseUp(Qt::MouseButton button, Qt::MouseButtons buttons, Qt::KeyboardModifiers modifiers, int x, int y);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    imaging::Picture picture_;
};
