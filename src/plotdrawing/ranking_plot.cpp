// SPDX-License-Identifier: GPL-2.0-or-later
#include "plotdrawing/ranking_plot.h"

#include <QFont>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QPainter>
#include <QPainterPath>
#include <algorithm>
#include <climits>
#include <cmath>

#include "base/clock_time.h"

namespace ranking_plot {
namespace {

const QColor kBackground(255, 255, 255);
const QColor kBorder(150, 150, 150);
const QColor kGrid(230, 230, 230);
const QColor kText(40, 40, 40);
const QColor kFill(168, 199, 232);      // below each column's largest length
const QColor kSpread(44, 98, 168);      // from each column's smallest length to its largest
const QColor kUnreadable(200, 40, 40);  // frames that could not be decoded, at the bottom
const QColor kTransition(253, 228, 196);
const QColor kCut(224, 120, 0);
const QColor kMark(22, 150, 60);
const QColor kCurrent(215, 0, 0);

constexpr int kMargin = 6;
constexpr int kTick = 3;
// Marked frames are drawn as dots on their lengths as long as they do not crowd the picture.
constexpr int kMostDots = 300;
constexpr int kMarkWidth = 3;

// The widest length label the axis can show, whatever the lengths.
const QString kWidestLength = QStringLiteral("888,8 k");

QFont PlotFont(QSize size) {
    QFont font = QGuiApplication::font();
    font.setPixelSize(std::clamp(std::min(size.width() / 70, size.height() / 24), 9, 13));
    return font;
}

// The picture's parts, from its size alone, so that clicks map back through the same numbers.
struct Frame {
    QFont font;
    int line = 0;        // a text line's height
    int titleTop = 0;    // the title row
    QRect area;          // the lengths
    QRect band;          // the marked frames, under the lengths
    int numbersTop = 0;  // the frame numbers' row
    int timesTop = -1;   // the times' row; -1: no room for it
    int axisTop = 0;     // the frame axis' name
};

Frame FrameOf(QSize size) {
    Frame frame;
    frame.font = PlotFont(size);
    const QFontMetrics metrics(frame.font);
    frame.line = metrics.height();
    frame.titleTop = kMargin / 2;
    const int left = kMargin + metrics.horizontalAdvance(kWidestLength) + kTick + 3;
    const int right = std::max(2 * kMargin, metrics.horizontalAdvance(QStringLiteral("888 888")) / 2 + 2);
    const int top = frame.titleTop + frame.line + frame.line / 2 + 2;
    const int band = std::max(6, frame.line / 2);
    // Under the area: a gap, the band, a tick, the numbers, the times, the axis name.
    const int underWithoutTimes = 2 + band + kTick + 1 + frame.line + frame.line + kMargin / 2;
    const bool times = size.height() - top - underWithoutTimes - frame.line >= 4 * frame.line;
    const int under = underWithoutTimes + (times ? frame.line : 0);
    frame.area = QRect(left, top, std::max(0, size.width() - left - right), std::max(0, size.height() - top - under));
    frame.band = QRect(left, frame.area.bottom() + 3, frame.area.width(), band);
    frame.numbersTop = frame.band.bottom() + 1 + kTick + 1;
    frame.timesTop = times ? frame.numbersTop + frame.line : -1;
    frame.axisTop = frame.numbersTop + frame.line * (times ? 2 : 1);
    return frame;
}

// 1, 2 or 5 times a power of ten, at least `raw`.
double NiceStep(double raw) {
    if (!(raw > 0)) return 1;
    const double power = std::pow(10.0, std::floor(std::log10(raw)));
    for (const double factor : {1.0, 2.0, 5.0}) {
        if (raw <= factor * power * (1 + 1e-9)) return factor * power;
    }
    return 10 * power;
}

ranking::Value ValueAt(const PlotData& data, int32_t frame) {
    return frame >= 0 && size_t(frame) < data.values.size() ? data.values[size_t(frame)] : ranking::Value{};
}

// A measured frame's value in the units the axis shows; -1 for a frame without one.
double LengthOf(const PlotData& data, int32_t frame) {
    const ranking::Value value = ValueAt(data, frame);
    return value.Measured() ? data.measure.Units(value.steps) : -1;
}

// The lengths' axis: from `low` to `high`, ticks every `step`, labels in bytes, k or M.
struct LengthScale {
    double low = 0;
    double high = 1000;
    double step = 200;
    double unit = 1;
    QString suffix;
    int decimals = 0;

    int YOf(double length, const QRect& area) const {
        const double at = (length - low) / (high - low);
        return area.bottom() - int(std::lround(std::clamp(at, 0.0, 1.0) * (area.height() - 1)));
    }
    bool fractions = false;  // values with decimals: labels under 1 keep theirs

    QString Label(double value, const QLocale& locale) const {
        if ((unit == 1 && !(fractions && decimals > 0)) || value == 0)
            return locale.toString(qlonglong(std::llround(value)));
        return locale.toString(value / unit, 'f', decimals) + suffix;
    }
};

LengthScale ScaleOf(const PlotData& data, int areaHeight, int line) {
    double smallest = INFINITY;
    double largest = 0;
    for (int32_t f = 0; size_t(f) < data.values.size(); ++f) {
        const double length = LengthOf(data, f);
        if (length < 0) continue;
        smallest = std::min(smallest, length);
        largest = std::max(largest, length);
    }
    LengthScale scale;
    scale.fractions = data.measure.decimals > 0;
    const int ticks = std::max(2, areaHeight / std::max(1, 3 * line));
    if (largest > 0) {
        // Lengths close together are shown from just under the smallest: their differences are
        // what the ranking is about. Spread-out ones from zero.
        const double spread = largest - smallest;
        double low = smallest > largest / 2 ? smallest - std::max(spread * 0.1, 1.0) : 0.0;
        scale.step = NiceStep(std::max(double(largest) - low, 1.0) / ticks);
        scale.low = std::floor(low / scale.step) * scale.step;
        scale.high = std::ceil(double(largest) / scale.step) * scale.step;
        if (scale.high <= scale.low) scale.high = scale.low + scale.step;
    } else {
        scale.step = NiceStep(scale.high / ticks);
    }
    if (scale.high >= 1e6) {
        scale.unit = 1e6;
        scale.suffix = QStringLiteral(" M");
    } else if (scale.high >= 1e4) {
        scale.unit = 1e3;
        scale.suffix = QStringLiteral(" k");
    }
    if (scale.step < scale.unit) scale.decimals = int(std::ceil(std::log10(scale.unit / scale.step) - 1e-9));
    return scale;
}

// "1:02:03" or "2:03", with tenths or hundredths when the ticks are closer than a second.
QString TimeLabel(double seconds, double total, double step, const QLocale& locale) {
    const int decimals = step < 0.1 ? 2 : step < 1 ? 1 : 0;
    return clock_time::ClockTime(seconds, total >= 3600 ? clock_time::Hours::Shown : clock_time::Hours::Hidden,
                                 decimals, locale.decimalPoint());
}

// What the frames of one column come to.
struct Column {
    double largest = -1;  // -1: none measured
    double smallest = INFINITY;
    bool unreadable = false;
};

std::vector<Column> ColumnsOf(const Layout& layout, const PlotData& data) {
    std::vector<Column> columns(size_t(layout.area.width()));
    for (int c = 0; c < layout.area.width(); ++c) {
        const Layout::Frames frames = layout.FramesAt(layout.area.left() + c);
        Column& column = columns[size_t(c)];
        for (int32_t f = frames.first; f < frames.end; ++f) {
            const double length = LengthOf(data, f);
            if (length >= 0) {
                column.largest = std::max(column.largest, length);
                column.smallest = std::min(column.smallest, length);
            } else if (ValueAt(data, f).state == ranking::Value::State::Unreadable) {
                column.unreadable = true;
            }
        }
    }
    return columns;
}

void DrawTitleRow(QPainter& painter, const Frame& frame, int width, const Captions& captions, bool withCursor) {
    const QFontMetrics metrics(frame.font);
    const int y = frame.titleTop;
    painter.setPen(kText);
    int left = kMargin;
    if (!captions.lengthAxis.isEmpty()) {
        painter.drawText(QRect(left, y, width, frame.line), Qt::AlignLeft | Qt::AlignVCenter, captions.lengthAxis);
        left += metrics.horizontalAdvance(captions.lengthAxis) + 2 * kMargin;
    }
    // The legend: a swatch and a word each, at the right.
    struct Entry {
        const QString& text;
        QColor colour;
        bool line;
    };
    std::vector<Entry> entries;
    if (!captions.cuts.isEmpty()) entries.push_back({captions.cuts, kCut, true});
    if (!captions.marked.isEmpty()) entries.push_back({captions.marked, kMark, false});
    if (!captions.current.isEmpty() && withCursor) entries.push_back({captions.current, kCurrent, true});
    const int swatch = frame.line;
    int legendWidth = 0;
    for (const Entry& entry : entries) legendWidth += swatch + 4 + metrics.horizontalAdvance(entry.text) + 2 * kMargin;
    QFont bold = frame.font;
    bold.setBold(true);
    const int titleWidth = QFontMetrics(bold).horizontalAdvance(captions.title);
    int right = width - kMargin;
    if (left + titleWidth + legendWidth + 2 * kMargin <= right) {
        int x = right - legendWidth + 2 * kMargin;
        for (const Entry& entry : entries) {
            const int middle = y + frame.line / 2;
            if (entry.line) {
                painter.fillRect(x + swatch / 2 - 1, y + 2, 2, frame.line - 4, entry.colour);
            } else {
                painter.fillRect(x + 2, middle - 3, swatch - 4, 6, entry.colour);
            }
            x += swatch + 4;
            painter.setPen(kText);
            painter.drawText(QRect(x, y, width, frame.line), Qt::AlignLeft | Qt::AlignVCenter, entry.text);
            x += metrics.horizontalAdvance(entry.text) + 2 * kMargin;
        }
        right -= legendWidth;
    }
    if (captions.title.isEmpty() || right <= left) return;
    painter.setFont(bold);
    const QString title = QFontMetrics(bold).elidedText(captions.title, Qt::ElideRight, right - left);
    // Centred over the area when there is room, else just after the axis name.
    const int centred = frame.area.center().x() - titleWidth / 2;
    const int x = std::clamp(centred, left, std::max(left, right - titleWidth));
    painter.drawText(QRect(x, y, right - x, frame.line), Qt::AlignLeft | Qt::AlignVCenter, title);
    painter.setFont(frame.font);
}

void DrawLengthAxis(QPainter& painter, const Frame& frame, const LengthScale& scale, const QLocale& locale) {
    const QRect& area = frame.area;
    for (double value = scale.low; value <= scale.high + scale.step / 2; value += scale.step) {
        const int y = scale.YOf(value, area);
        painter.fillRect(area.left(), y, area.width(), 1, kGrid);
        painter.fillRect(area.left() - kTick, y, kTick, 1, kBorder);
        painter.setPen(kText);
        painter.drawText(QRect(0, y - frame.line / 2, area.left() - kTick - 3, frame.line),
                         Qt::AlignRight | Qt::AlignVCenter, scale.Label(value, locale));
    }
}

void DrawFrameAxis(QPainter& painter, const Frame& frame, const Layout& layout, const PlotData& data,
                   const Captions& captions, int width) {
    const QFontMetrics metrics(frame.font);
    const int32_t count = layout.frameCount;
    const double rate = data.frameRate > 0 ? data.frameRate : 0;
    const double total = rate > 0 ? count / rate : 0;
    if (count > 0) {
        const QString widest = captions.locale.toString(count - 1);
        int labelWidth = metrics.horizontalAdvance(widest);
        if (frame.timesTop >= 0 && rate > 0) {
            labelWidth =
                std::max(labelWidth, metrics.horizontalAdvance(TimeLabel(total, total, 0.01, captions.locale)));
        }
        labelWidth += 3 * metrics.averageCharWidth();
        const int labels = std::max(1, layout.area.width() / labelWidth);
        const int64_t step = std::max<int64_t>(1, int64_t(NiceStep(double(count) / labels)));
        int lastRight = INT_MIN;
        for (int64_t tick = 0; tick < count; tick += step) {
            const int x = layout.CentreOfFrame(int32_t(tick));
            painter.fillRect(x, frame.band.bottom() + 1, 1, kTick, kBorder);
            const QString number = captions.locale.toString(qlonglong(tick));
            const QString time =
                rate > 0 ? TimeLabel(double(tick) / rate, total, double(step) / rate, captions.locale) : QString();
            const int half =
                std::max(metrics.horizontalAdvance(number), frame.timesTop >= 0 ? metrics.horizontalAdvance(time) : 0) /
                    2 +
                1;
            const int left = std::clamp(x - half, 0, std::max(0, width - 2 * half));
            if (left <= lastRight + metrics.averageCharWidth()) continue;
            lastRight = left + 2 * half;
            painter.setPen(kText);
            painter.drawText(QRect(left, frame.numbersTop, 2 * half, frame.line), Qt::AlignCenter, number);
            if (frame.timesTop >= 0 && rate > 0) {
                painter.setPen(kBorder.darker(130));
                painter.drawText(QRect(left, frame.timesTop, 2 * half, frame.line), Qt::AlignCenter, time);
            }
        }
    }
    if (!captions.frameAxis.isEmpty()) {
        painter.setPen(kText);
        painter.drawText(QRect(frame.area.left(), frame.axisTop, frame.area.width(), frame.line),
                         Qt::AlignHCenter | Qt::AlignVCenter, captions.frameAxis);
    }
}

// The span of columns a frame covers: at least its own column.
QRect ColumnsOfFrame(const Layout& layout, int32_t frame, int top, int height) {
    const int left = layout.XOfFrame(frame);
    const int right = std::max(left, layout.XOfFrame(frame + 1) - 1);
    return QRect(left, top, right - left + 1, height);
}

void DrawTransitions(QPainter& painter, const Layout& layout, const PlotData& data) {
    for (const scenes::Cut& cut : data.scenes.cuts) {
        const int32_t first = std::clamp(cut.transitionFirst, 0, layout.frameCount);
        const int32_t end = std::clamp(cut.transitionEnd, 0, layout.frameCount);
        if (end <= first) continue;
        const int left = layout.XOfFrame(first);
        const int right = std::max(left, layout.XOfFrame(end) - 1);
        painter.fillRect(left, layout.area.top(), right - left + 1, layout.area.height(), kTransition);
    }
}

void DrawLengths(QPainter& painter, const Layout& layout, const std::vector<Column>& columns,
                 const LengthScale& scale) {
    const QRect& area = layout.area;
    for (size_t c = 0; c < columns.size(); ++c) {
        const Column& column = columns[c];
        const int x = area.left() + int(c);
        if (column.largest >= 0) {
            const int top = scale.YOf(column.largest, area);
            const int bottom = scale.YOf(column.smallest, area);
            painter.fillRect(x, top, 1, area.bottom() - top + 1, kFill);
            painter.fillRect(x, top, 1, std::max(2, bottom - top + 1), kSpread);
        }
        if (column.unreadable) painter.fillRect(x, area.bottom() - 3, 1, 4, kUnreadable);
    }
}

void DrawMarks(QPainter& painter, const Frame& frame, const Layout& layout, const PlotData& data,
               const LengthScale& scale) {
    std::vector<int32_t> shown;
    for (const int32_t f : data.marked) {
        if (f < 0 || f >= layout.frameCount) continue;
        // At least a few columns wide, so that a single frame among thousands shows.
        const QRect columns = ColumnsOfFrame(layout, f, frame.band.top(), frame.band.height());
        painter.fillRect(columns.width() >= kMarkWidth ? columns
                                                       : QRect(columns.center().x() - kMarkWidth / 2, columns.top(),
                                                               kMarkWidth, columns.height()),
                         kMark);
        if (LengthOf(data, f) >= 0) shown.push_back(f);
    }
    if (shown.empty() || shown.size() > size_t(kMostDots)) return;
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(kBackground, 1));
    painter.setBrush(kMark);
    const double radius = std::max(2.5, frame.line / 4.0);
    for (const int32_t f : shown) {
        const QPointF centre(layout.CentreOfFrame(f) + 0.5, scale.YOf(LengthOf(data, f), layout.area) + 0.5);
        painter.drawEllipse(centre, radius, radius);
    }
    painter.restore();
}

void DrawCursor(QPainter& painter, const Frame& frame, const Layout& layout, int32_t current) {
    if (current < 0 || current >= layout.frameCount) return;
    const int x = layout.CentreOfFrame(current);
    painter.fillRect(x, layout.area.top(), 2, frame.band.bottom() - layout.area.top() + 1, kCurrent);
    // A small triangle over the area, pointing down at the line.
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath head;
    const double size = std::max(4.0, frame.line / 3.0);
    const double middle = x + 1.0;
    head.moveTo(middle - size, layout.area.top() - size);
    head.lineTo(middle + size, layout.area.top() - size);
    head.lineTo(middle, layout.area.top() + 1);
    head.closeSubpath();
    painter.fillPath(head, kCurrent);
    painter.restore();
}

}  // namespace

int Layout::XOfFrame(int32_t frame) const {
    if (frameCount <= 0) return area.left();
    return area.left() + int(int64_t(std::clamp(frame, 0, frameCount)) * area.width() / frameCount);
}

int Layout::CentreOfFrame(int32_t frame) const {
    const int left = XOfFrame(frame);
    return (left + std::max(left, XOfFrame(frame + 1) - 1)) / 2;
}

Layout::Frames Layout::FramesAt(int x) const {
    const int64_t width = area.width();
    if (frameCount <= 0 || width <= 0 || x < area.left() || x > area.right()) return {};
    // The last frame that starts at or before a column: the largest f with f * width < (c + 1) * count.
    const auto lastStartingBy = [&](int64_t column) { return int32_t(((column + 1) * frameCount - 1) / width); };
    const int64_t column = x - area.left();
    const int32_t last = lastStartingBy(column);
    const int32_t first = column == 0 ? 0 : std::min(lastStartingBy(column - 1) + 1, last);
    return {first, last + 1};
}

Layout LayoutOf(QSize size, int32_t frameCount) { return Layout{FrameOf(size).area, std::max(frameCount, 0)}; }

int32_t FrameAtX(const Layout& layout, const PlotData& data, int x) {
    const Layout::Frames frames = layout.FramesAt(x);
    if (frames.end <= frames.first) return -1;
    int32_t best = -1;
    double bestLength = -1;
    for (int32_t f = frames.first; f < frames.end; ++f) {
        const double length = LengthOf(data, f);
        if (length > bestLength) {
            best = f;
            bestLength = length;
        }
    }
    return best >= 0 ? best : frames.first + (frames.end - frames.first - 1) / 2;
}

void Draw(QImage& image, const PlotData& data, const Captions& captions) {
    if (image.isNull()) return;
    const QSize size = image.deviceIndependentSize().toSize();
    const Frame frame = FrameOf(size);
    const Layout layout{frame.area, std::max(data.frameCount, 0)};
    QPainter painter(&image);
    painter.fillRect(QRect(QPoint(0, 0), size), kBackground);
    painter.setFont(frame.font);
    const bool withCursor = data.currentFrame >= 0 && data.currentFrame < layout.frameCount;
    DrawTitleRow(painter, frame, size.width(), captions, withCursor);
    if (frame.area.width() < 2 || frame.area.height() < 2) return;

    const LengthScale scale = ScaleOf(data, frame.area.height(), frame.line);
    DrawTransitions(painter, layout, data);
    DrawLengthAxis(painter, frame, scale, captions.locale);
    DrawLengths(painter, layout, ColumnsOf(layout, data), scale);
    for (const scenes::Cut& cut : data.scenes.cuts) {
        if (cut.frame <= 0 || cut.frame >= layout.frameCount) continue;
        painter.fillRect(layout.XOfFrame(cut.frame), frame.area.top(), 1, frame.area.height(), kCut);
    }
    painter.setPen(kBorder);
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(frame.area.adjusted(-1, -1, 0, 0));
    painter.fillRect(frame.band, kGrid.lighter(104));
    DrawMarks(painter, frame, layout, data, scale);
    DrawFrameAxis(painter, frame, layout, data, captions, size.width());
    DrawCursor(painter, frame, layout, data.currentFrame);
}

}  // namespace ranking_plot
