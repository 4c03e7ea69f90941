// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once
// What a ranking measures of each frame, as a value every layer takes: its names, its unit,
// which way is better, and how a frame's prepared picture is measured. A frame's measure is a
// whole number of the measure's steps (a byte; a hundredth), so that it prints, reads back and
// compares the same wherever and by whichever worker it was measured.

#include <QByteArray>
#include <QString>
#include <cstddef>
#include <cstdint>
#include <span>

namespace ranking {

// One frame's value under a measure, or why it has none.
struct Value {
    enum class State : uint8_t { NotMeasured, Unreadable, Measured };
    State state = State::NotMeasured;
    int64_t steps = 0;  // when measured

    static Value Of(int64_t steps) { return {State::Measured, steps}; }
    static Value Unreadable() { return {State::Unreadable, 0}; }
    bool Measured() const { return state == State::Measured; }
    bool operator==(const Value&) const = default;
};

// A picture's 24-bit rows, blue-green-red, top row first.
struct Rows {
    int width = 0;
    int height = 0;
    const uint8_t* data = nullptr;
    ptrdiff_t stride = 0;
};

struct Measure {
    const char* name;  // on the command line and in files: "jpeg", "sharpness"
    const char* unit;  // in JSON
    // A frame's field in rank's JSON, and the manifest's column.
    const char* jsonField;
    const char* manifestField;
    const char* englishTitle;  // rank --plot's title and axis
    const char* englishAxis;
    const char* frenchName;   // the window's: "Mesure : NAME"
    const char* frenchTitle;  // the window's plot
    const char* frenchAxis;
    bool largerIsBetter;
    int decimals;  // a step is 10^-decimals of the unit: 0 for whole units
    // Measured from the picture's JPEG encoding with the ranking's options (its byte length);
    // else from its rows alone, and no encoding is made for it.
    bool encodes;
    int64_t (*ofRows)(const Rows& rows);

    bool operator==(const Measure& other) const { return QByteArray(name) == other.name; }

    // The value as printed: whole steps, or with exactly `decimals` decimals ("12.50").
    QByteArray Text(int64_t steps) const;
    // The same in the window's language, as its table shows numbers: a decimal comma, no
    // groups of thousands.
    QString FrenchText(int64_t steps) const;
    // The value in the measure's unit.
    double Units(int64_t steps) const;
    // Reads Text back, exactly as it prints; false for anything else.
    bool FromText(const QByteArray& text, int64_t& steps) const;
    // The steps of a number read from JSON.
    int64_t StepsOf(double number) const;
    // Whether frame `a` with value `x` ranks before `b` with `y`: the better value first,
    // equal values by frame number, frames without a value last.
    bool RanksBefore(const Value& x, int32_t a, const Value& y, int32_t b) const;
};

// The byte length of the frame's JPEG encoding: what "Best of..." has always ranked by.
const Measure& JpegLength();
// The variance of the Laplacian of the frame's grey picture: low where it is blurred.
const Measure& Sharpness();
// Every measure, the default first.
std::span<const Measure* const> AllMeasures();
// The measure of that name, or null.
const Measure* MeasureNamed(const QString& name);

// Sharpness of 24-bit rows, in hundredths (the measure's steps): grey = BT.601 luma, Laplacian = 4 x centre minus its
// four neighbours over the inner pixels, its variance computed in whole numbers (the same on
// every machine and thread); 0 for a picture without inner pixels.
int64_t SharpnessOf(const Rows& rows);

}  // namespace ranking
