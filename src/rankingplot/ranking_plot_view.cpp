// SPDX-License-Identifier: GPL-2.0-or-later
#include "rankingplot/ranking_plot_view.h"

#include <QMouseEvent>
#include <QPainter>

RankingPlotView::RankingPlotView(QWidget* parent) : QWidget(parent) {
    setMouseTracking(true);
    setCursor(Qt::CrossCursor);
    // The whole widget is painted from the picture.
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void RankingPlotView::SetData(const ranking_plot::PlotData* data, ranking_plot::Captions captions) {
    data_ = data;
    captions_ = std::move(captions);
    Invalidate();
}

void RankingPlotView::Invalidate() {
    stale_ = true;
    update();
}

int32_t RankingPlotView::FrameAt(QPoint point) const {
    if (!data_) return -1;
    const ranking_plot::Layout layout = ranking_plot::LayoutOf(size(), data_->frameCount);
    return ranking_plot::FrameAtX(layout, *data_, point.x());
}

void RankingPlotView::paintEvent(QPaintEvent*) {
    const qreal ratio = devicePixelRatioF();
    const QSize pixels = (QSizeF(size()) * ratio).toSize();
    if (stale_ || picture_.size() != pixels) {
        if (picture_.size() != pixels) picture_ = QImage(pixels, QImage::Format_RGB32);
        picture_.setDevicePixelRatio(ratio);
        if (data_) {
            ranking_plot::Draw(picture_, *data_, captions_);
        } else {
            picture_.fill(Qt::white);
        }
        stale_ = false;
    }
    QPainter(this).drawImage(QPoint(0, 0), picture_);
}

void RankingPlotView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    stale_ = true;
}

void RankingPlotView::mouseMoveEvent(QMouseEvent* event) {
    emit frameHovered(FrameAt(event->position().toPoint()));
    QWidget::mouseMoveEvent(event);
}

void RankingPlotView::mousePressEvent(QMouseEvent* event) {
    const int32_t frame = FrameAt(event->position().toPoint());
    if (event->button() == Qt::LeftButton && frame >= 0) {
        emit frameClicked(frame);
        return;
    }
    QWidget::mousePressEvent(event);
}

void RankingPlotView::leaveEvent(QEvent* event) {
    emit frameHovered(-1);
    QWidget::leaveEvent(event);
}
