// SPDX-License-Identifier: GPL-2.0-or-later
// The ranking's picture: pixel columns and frames map both ways, whatever the number of frames
// against the width, and what is drawn lies where the mapping says.
#include <gtest/gtest.h>

#include <QImage>
#include <algorithm>

#include "plotdrawing/ranking_plot.h"

namespace {

using ranking_plot::Layout;
using ranking_plot::PlotData;

struct Case {
    const char* name;
    int32_t frames;
    QSize size;
    int32_t cut;  // -1: none
    // Frames left unmeasured, [first, end).
    int32_t blankFirst;
    int32_t blankEnd;
    int32_t marked;  // also the frame shown; -1: none
};

const Case kCases[] = {
    {"no frames", 0, {600, 200}, -1, 0, 0, -1},
    {"one frame", 1, {600, 200}, -1, 0, 0, 0},
    {"fewer frames than columns", 150, {420, 200}, 50, 100, 150, 20},
    {"about as many frames as columns", 1001, {1000, 300}, 500, 700, 900, 300},
    {"a hundred thousand frames", 100000, {1000, 300}, 25000, 60000, 80000, 10000},
    {"a picture too small for the area", 500, {30, 20}, 100, 200, 300, 50},
};

QImage Drawn(const PlotData& data, QSize size) {
    QImage image(size, QImage::Format_RGB32);
    ranking_plot::Draw(image, data, ranking_plot::Captions{"Title", "Frame", "Bytes", "cut", "marked", "shown"});
    return image;
}

// The columns of the area at which two pictures differ.
std::vector<int> ColumnsThatDiffer(const QImage& a, const QImage& b, int top, int bottom) {
    std::vector<int> columns;
    for (int x = 0; x < a.width(); ++x) {
        for (int y = top; y <= bottom; ++y) {
            if (a.pixel(x, y) != b.pixel(x, y)) {
                columns.push_back(x);
                break;
            }
        }
    }
    return columns;
}

TEST(RankingPlotTest, ColumnsAndFramesMapBothWaysAndTheDrawingFollows) {
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        PlotData data;
        data.frameCount = c.frames;
        data.values.resize(size_t(c.frames));
        for (int32_t f = 0; f < c.frames; ++f) data.values[size_t(f)] = ranking::Value::Of(20000 + (f * 7919) % 10007);
        // The extremes stay measured, so the scale is the same whichever frames are left blank.
        if (c.frames > 2) {
            data.values.front() = ranking::Value::Of(15000);
            data.values.back() = ranking::Value::Of(40000);
        }
        for (int32_t f = c.blankFirst; f < c.blankEnd; ++f) data.values[size_t(f)] = ranking::Value{};
        const Layout layout = ranking_plot::LayoutOf(c.size, c.frames);

        // Every frame lies in the columns its x says, in order, each once; outside, none.
        int32_t next = 0;
        for (int x = layout.area.left() - 3; x <= layout.area.right() + 3; ++x) {
            const Layout::Frames frames = layout.FramesAt(x);
            const int32_t chosen = ranking_plot::FrameAtX(layout, data, x);
            if (x < layout.area.left() || x > layout.area.right() || c.frames == 0) {
                EXPECT_EQ(frames.end, frames.first) << x;
                EXPECT_EQ(chosen, -1) << x;
                continue;
            }
            ASSERT_LT(frames.first, frames.end) << x;
            EXPECT_TRUE(frames.first == next || frames.first == next - 1) << x;  // a frame may span columns
            next = frames.end;
            for (int32_t f = frames.first; f < frames.end; ++f) {
                EXPECT_LE(layout.XOfFrame(f), x);
                EXPECT_TRUE(x < layout.XOfFrame(f + 1) || layout.XOfFrame(f + 1) == x) << f;
            }
            ASSERT_GE(chosen, frames.first);
            ASSERT_LT(chosen, frames.end);
            for (int32_t f = frames.first; f < frames.end; ++f)
                EXPECT_LE(data.values[size_t(f)].steps, data.values[size_t(chosen)].steps);
        }
        if (layout.area.width() > 0) {
            EXPECT_EQ(next, c.frames);
        }

        const QImage plain = Drawn(data, c.size);
        ASSERT_EQ(plain.size(), c.size);
        if (layout.area.width() < 2 || c.frames < 2) continue;
        const QRgb background = plain.pixel(0, c.size.height() - 1);

        // A cut is a line at its frame's x, and nowhere else.
        if (c.cut >= 0) {
            PlotData cut = data;
            cut.scenes.cuts.push_back({c.cut, c.cut, c.cut});
            EXPECT_EQ(ColumnsThatDiffer(plain, Drawn(cut, c.size), layout.area.top(), layout.area.bottom()),
                      std::vector<int>{layout.XOfFrame(c.cut)});
        }
        // Columns of frames not measured stay blank (the grid aside); measured ones are filled.
        for (int x = layout.area.left(); x <= layout.area.right(); ++x) {
            const Layout::Frames frames = layout.FramesAt(x);
            const bool blank = frames.first >= c.blankFirst && frames.end <= c.blankEnd;
            int empty = 0;
            for (int y = layout.area.top(); y <= layout.area.bottom(); ++y) empty += plain.pixel(x, y) == background;
            if (blank) {
                EXPECT_GT(empty, layout.area.height() * 8 / 10) << x;
            } else {
                EXPECT_NE(plain.pixel(x, layout.area.bottom() - 1), background) << x;
            }
        }
        // A marked frame shows under the area at its x, the frame shown as a line across it.
        if (c.marked >= 0) {
            PlotData marked = data;
            marked.marked = {c.marked};
            const std::vector<int> band =
                ColumnsThatDiffer(plain, Drawn(marked, c.size), layout.area.bottom() + 1, c.size.height() - 1);
            EXPECT_TRUE(std::find(band.begin(), band.end(), layout.CentreOfFrame(c.marked)) != band.end());
            PlotData shown = data;
            shown.currentFrame = c.marked;
            const QImage cursor = Drawn(shown, c.size);
            for (int y = layout.area.top() + 1; y < layout.area.bottom(); ++y) {
                ASSERT_NE(cursor.pixel(layout.CentreOfFrame(c.marked), y),
                          plain.pixel(layout.CentreOfFrame(c.marked), y))
                    << y;
            }
        }
    }
}

}  // namespace
