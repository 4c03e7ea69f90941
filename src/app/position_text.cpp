// SPDX-License-Identifier: GPL-2.0-or-later
#include "app/position_text.h"

#include <QRegularExpression>
#include <cmath>

namespace position_text {

namespace {

// A number of seconds, with a decimal point or a decimal comma; negative when it is none.
double Seconds(QString text) {
    static const QRegularExpression shape(QStringLiteral("^\\d+([.,]\\d*)?$"));
    if (!shape.match(text).hasMatch()) return -1;
    text.replace(QLatin1Char(','), QLatin1Char('.'));
    bool ok = false;
    const double value = text.toDouble(&ok);
    return ok && std::isfinite(value) ? value : -1;
}

// A whole count of minutes or hours.
int64_t Whole(const QString& text) {
    static const QRegularExpression shape(QStringLiteral("^\\d{1,9}$"));
    return shape.match(text).hasMatch() ? text.toLongLong() : -1;
}

}  // namespace

Target Parse(const QString& typed) {
    QString text = typed.trimmed();
    Target target;
    if (text.isEmpty()) return target;
    static const QRegularExpression frameShape(QStringLiteral("^\\d{1,10}$"));
    if (frameShape.match(text).hasMatch()) {
        target.kind = Target::Kind::Frame;
        target.frame = text.toLongLong();
        return target;
    }
    if (text.endsWith(QLatin1Char('s'), Qt::CaseInsensitive)) {
        const double seconds = Seconds(text.chopped(1).trimmed());
        if (seconds < 0) return target;
        target.kind = Target::Kind::Time;
        target.seconds = seconds;
        return target;
    }
    // [[h:]m:]s
    const QStringList parts = text.split(QLatin1Char(':'));
    if (parts.size() < 2 || parts.size() > 3) return target;
    const double seconds = Seconds(parts.last());
    if (seconds < 0 || seconds >= 60) return target;
    double total = seconds;
    int64_t unit = 60;
    for (qsizetype i = parts.size() - 2; i >= 0; --i, unit *= 60) {
        const int64_t count = Whole(parts[i]);
        if (count < 0 || (i > 0 && count >= 60)) return target;
        total += double(count) * double(unit);
    }
    target.kind = Target::Kind::Time;
    target.seconds = total;
    return target;
}

}  // namespace position_text
