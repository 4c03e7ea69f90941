// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once
// Shows the ranking's picture at the widget's size, drawn again when the data changes or the
// widget is resized, and tells which frame the pointer is on or was clicked.

#include <QImage>
#include <QWidget>
#include <cstdint>

#include "plotdrawing/ranking_plot.h"

class RankingPlotView : public QWidget {
    Q_OBJECT

public:
    explicit RankingPlotView(QWidget* parent = nullptr);

    // What is drawn: kept by the caller, read at each drawing.
    void SetData(const ranking_plot::PlotData* data, ranking_plot::Captions captions);
    // The data changed: the picture is drawn again at the next paint.
    void Invalidate();
    // The frame a point of the widget stands for; -1 outside the frames.
    int32_t FrameAt(QPoint point) const;
    // The picture as last drawn, at the widget's size.
    const QImage& picture() const { return picture_; }

signals:
    // -1: the pointer is on no frame.
    void frameHovered(int32_t frame);
    void frameClicked(int32_t frame);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    const ranking_plot::PlotData* data_ = nullptr;
    ranking_plot::Captions captions_;
    QImage picture_;
    bool stale_ = true;
};
