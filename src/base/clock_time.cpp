// SPDX-License-Identifier: GPL-2.0-or-later
#include "base/clock_time.h"

#include <cmath>
#include <cstdint>

namespace clock_time {

QString ClockTime(double seconds, Hours hours, int decimals, const QString& point) {
    int64_t scale = 1;
    for (int i = 0; i < decimals; ++i) scale *= 10;
    const int64_t units = std::llround(seconds * double(scale));
    const int64_t whole = units / scale;
    const bool withHours = hours == Hours::Shown || (hours == Hours::FromAnHour && whole >= 3600);
    QString text = withHours ? QStringLiteral("%1:%2:%3")
                                   .arg(whole / 3600)
                                   .arg(whole / 60 % 60, 2, 10, QLatin1Char('0'))
                                   .arg(whole % 60, 2, 10, QLatin1Char('0'))
                             : QStringLiteral("%1:%2").arg(whole / 60).arg(whole % 60, 2, 10, QLatin1Char('0'));
    if (decimals > 0) text += point + QStringLiteral("%1").arg(units % scale, decimals, 10, QLatin1Char('0'));
    return text;
}

}  // namespace clock_time
