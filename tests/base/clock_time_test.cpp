// SPDX-License-Identifier: GPL-2.0-or-later
// Clock times at their edges: rounding into the next minute or hour, hours shown or not,
// digits of the second.

#include <gtest/gtest.h>

#include "base/clock_time.h"

using clock_time::ClockTime;
using clock_time::Hours;

TEST(ClockTime, RoundsIntoTheNextMinuteAndHourAndShowsHoursAsAsked) {
    struct {
        double seconds;
        Hours hours;
        int decimals;
        const char* point;
        const char* text;
    } const cases[] = {
        {0, Hours::Hidden, 0, ".", "0:00"},
        {59.5, Hours::FromAnHour, 0, ".", "1:00"},
        {3599.4, Hours::FromAnHour, 0, ".", "59:59"},
        {3599.5, Hours::FromAnHour, 0, ".", "1:00:00"},
        {90061.5, Hours::FromAnHour, 0, ".", "25:01:02"},
        {65, Hours::Shown, 0, ".", "0:01:05"},
        {3723, Hours::Hidden, 0, ".", "62:03"},
        {83.45, Hours::FromAnHour, 2, ",", "1:23,45"},
        {59.996, Hours::FromAnHour, 2, ",", "1:00,00"},
        {3599.996, Hours::FromAnHour, 2, ",", "1:00:00,00"},
        {3599.996, Hours::Hidden, 2, ",", "60:00,00"},
        {12.34, Hours::Hidden, 1, ".", "0:12.3"},
        {0.05, Hours::Shown, 1, ".", "0:00:00.1"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ClockTime(c.seconds, c.hours, c.decimals, QString::fromLatin1(c.point)), QLatin1String(c.text))
            << c.seconds << " " << c.decimals;
    }
}
