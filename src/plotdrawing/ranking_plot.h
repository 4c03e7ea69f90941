// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once
// The ranking as a picture: the measure of every frame along the video, the scene cuts, the
// marked frames and the frame shown. Frames share a pixel column when there are more frames than
// columns, so a drawing costs the same whatever the length of the video, and a ranking still
// running can be drawn as often as it reports. Qt Gui only: the batch command draws it without
// any window (text needs a QGuiApplication, on the offscreen platform if need be).

#include <QImage>
#include <QLocale>
#include <QRect>
#include <QSize>
#include <QString>
#include <cstdint>
#include <vector>

#include "ranking/ranking_result.h"

namespace ranking_plot {

// What the picture shows: a ranking's result, which ranking/ owns.
using PlotData = ranking::RankingResult;

// The words of the picture, in the caller's language; an empty one is left out.
struct Captions {
    QString title;
    QString frameAxis;   // under the frame numbers
    QString lengthAxis;  // above the values
    // The legend's entries.
    QString cuts;
    QString marked;
    QString current;
    QLocale locale = QLocale::c();  // the numbers' separators
};

// Where the frames lie on a picture of a given size. Frame f takes the columns from
// XOfFrame(f) to XOfFrame(f + 1) - 1, none when there are more frames than columns: it then
// shares the column XOfFrame(f) with its neighbours.
struct Layout {
    QRect area;  // the lengths' area: frames along its width, the largest length at its top
    int32_t frameCount = 0;

    int XOfFrame(int32_t frame) const;
    // The middle of the frame's columns.
    int CentreOfFrame(int32_t frame) const;
    // The frames drawn in the column at x, [first, end); empty outside the area or without frames.
    struct Frames {
        int32_t first = 0;
        int32_t end = 0;
    };
    Frames FramesAt(int x) const;
};

// The layout of a picture of `size` (device-independent pixels) showing `frameCount` frames.
Layout LayoutOf(QSize size, int32_t frameCount);

// The frame a click at x stands for: of the frames drawn in its column, the one with the
// largest value (the top of the column), else the middle one; -1 outside the area.
int32_t FrameAtX(const Layout& layout, const PlotData& data, int x);

// Draws the whole picture over `image` (any size; its device pixel ratio is followed).
void Draw(QImage& image, const PlotData& data, const Captions& captions);

}  // namespace ranking_plot
