// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once
// A speed button: never takes the focus, may carry a glyph beside its caption, and may belong to
// an exclusive group: buttons of one parent sharing a group index above 0 stay down once
// clicked and release each other.

#include <QPixmap>
#include <QToolButton>

class SpeedButton : public QToolButton {
    Q_OBJECT
    Q_PROPERTY(int groupIndex READ groupIndex WRITE setGroupIndex)
    Q_PROPERTY(bool down READ isDown WRITE setDown)
    Q_PROPERTY(QString hint READ hint WRITE setHint)

public:
    explicit SpeedButton(QWidget* parent = nullptr);

    int groupIndex() const { return groupIndex_; }
    void setGroupIndex(int index);

    // Down: the latched state of a grouped button, the pressed state of any other.
    bool isDown() const;
    void setDown(bool down);

    QString hint() const { return toolTip(); }
    void setHint(const QString& hint) { setToolTip(hint); }

    // A strip of `count` equal images side by side: the first is the normal look, the second
    // (when present) the disabled look.
    void setGlyph(const QPixmap& strip, int count = 1);
    QPixmap glyph() const { return glyph_; }

    void setFlat(bool flat) { setAutoRaise(flat); }

signals:
    // Mouse events for handlers that look at the button or Shift, with any mouse button.
    void mouseDown(Qt::MouseButton button, Qt::KeyboardModifiers modifiers, int x, int y);
    void mouseMove(Qt::MouseButtons buttons, Qt::KeyboardModifiers modifiers, int x, int y);
    void mouseUp(Qt::MouseButton button, Qt::KeyboardModifiers modifiers, int x, int y);

protected:
    void nextCheckState() override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void releaseOthers();
    void updateStyle();

    int groupIndex_ = 0;
    QPixmap glyph_;
};
