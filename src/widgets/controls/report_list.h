// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once
// A report-style list: a table over any item model with grid lines, whole-row selection, no
// editing and no sorting of its own; a click on a column header is reported so the owner can
// sort its model however it likes.

#include <QTableView>

class ReportList : public QTableView {
    Q_OBJECT

public:
    explicit ReportList(QWidget* parent = nullptr);

    // The row under a point of the list's rows area (viewport coordinates); -1 below the last
    // row or outside.
    int rowAtPoint(QPoint point) const;

    void setColumnWidths(const QList<int>& widths);

signals:
    void columnClicked(int column);
    // Any mouse button pressed on the rows area, in viewport coordinates.
    void mouseDown(Qt::MouseButton button, Qt::KeyboardModifiers modifiers, int x, int y);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void changeEvent(QEvent* event) override;
};
