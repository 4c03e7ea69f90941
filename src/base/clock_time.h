// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once
// A time as a clock shows it: "1:02:03" or "2:03", the plot's captions, the plot window's
// position and the batch command's time left all alike.

#include <QString>

namespace clock_time {

enum class Hours {
    Hidden,      // "M:SS", minutes running past 59
    FromAnHour,  // "H:MM:SS" once the rounded time reaches an hour, "M:SS" before
    Shown,       // always "H:MM:SS"
};

// `seconds` (not negative) rounded to `decimals` digits, which follow `point` when there are any.
QString ClockTime(double seconds, Hours hours, int decimals = 0, const QString& point = QStringLiteral("."));

}  // namespace clock_time
