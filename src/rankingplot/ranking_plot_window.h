// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once
// The ranking's window: the "Tri" of every frame along the video as a picture, with the scene
// cuts, the marked frames and the frame shown, drawn again as the ranking goes (at most every
// few tenths of a second). A click asks for the frame; the pointer's frame is described under
// the picture. The window follows the last ranking it is given and reads the video's side (frame
// count, rate, the frame shown) from its owner.

#include <QElapsedTimer>
#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <cstdint>
#include <functional>
#include <memory>

#include "plotdrawing/ranking_plot.h"
#include "ranking/last_ranking.h"

namespace Ui {
class FormGraphique;
}

class RankingPlotWindow : public QWidget {
    Q_OBJECT

public:
    explicit RankingPlotWindow(QWidget* parent = nullptr);
    ~RankingPlotWindow() override;

    // Fills the video's side of the data in when the picture is to be drawn again.
    void setDataSource(std::function<void(ranking_plot::PlotData&)> source) { source_ = std::move(source); }
    // The ranking shown, with its marks: drawn again soon whenever it changes.
    void setRanking(const ranking::LastRanking* ranking);
    // The main window's key map, as the list window has it: every key-down goes there first.
    void setKeyDownHandler(std::function<void(int& virtualKey)> handler) { keyDownHandler_ = std::move(handler); }

    // The data changed: read and drawn again soon, never more often than every kRedrawMs; while
    // the window is hidden, when it is shown.
    void Refresh();
    // Reads the data and draws now.
    void RefreshNow();
    const ranking_plot::PlotData& data() const { return data_; }
    // What the line under the picture says about a frame.
    QString Description(int32_t frame) const;

    static constexpr int kRedrawMs = 150;

signals:
    // The frame was clicked: it is to be shown as a row click shows it.
    void frameWanted(int32_t frame);

protected:
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void ShowPointed(int32_t frame);
    QString Summary() const;
    // The line under the picture, cut short to the window's width.
    void ShowInfo();

    std::unique_ptr<Ui::FormGraphique> ui_;
    std::function<void(ranking_plot::PlotData&)> source_;
    QPointer<const ranking::LastRanking> ranking_;
    std::function<void(int&)> keyDownHandler_;
    ranking_plot::PlotData data_;
    QTimer redraw_;
    QElapsedTimer sinceDraw_;
    int32_t pointed_ = -1;
    QString info_;
};
