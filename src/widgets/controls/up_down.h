// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once
// An up-down spinner bound to a line edit: each click moves its position by one within
// [minimum, maximum] (no wrap-around unless asked) and writes the position into the edit's
// text; typing a number into the edit moves the position to it.

#include <QLineEdit>
#include <QPointer>
#include <QWidget>

class QToolButton;

class UpDown : public QWidget {
    Q_OBJECT
    Q_PROPERTY(int minimum READ minimum WRITE setMinimum)
    Q_PROPERTY(int maximum READ maximum WRITE setMaximum)
    Q_PROPERTY(int position READ position WRITE setPosition)
    Q_PROPERTY(bool wrap READ wrap WRITE setWrap)

public:
    explicit UpDown(QWidget* parent = nullptr);

    int minimum() const { return minimum_; }
    int maximum() const { return maximum_; }
    void setMinimum(int minimum);
    void setMaximum(int maximum);
    void setRange(int minimum, int maximum);

    int position() const { return position_; }
    // Moves the position (clamped to the range) and writes it into the buddy.
    void setPosition(int position);

    bool wrap() const { return wrap_; }
    void setWrap(bool wrap) { wrap_ = wrap; }

    QLineEdit* buddy() const { return buddy_; }
    void setBuddy(QLineEdit* buddy);

    QToolButton* upButton() const { return up_; }
    QToolButton* downButton() const { return down_; }

    // What one click of the up (+1) or down (-1) arrow does.
    void step(int direction);

signals:
    // After a click moved the position.
    void clicked(bool up);
    void positionChanged(int position);

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void readBuddy(const QString& text);
    void writeBuddy();

    int minimum_ = 0;
    int maximum_ = 100;
    int position_ = 0;
    bool wrap_ = false;
    QPointer<QLineEdit> buddy_;
    QToolButton* up_ = nullptr;
    QToolButton* down_ = nullptr;
};
