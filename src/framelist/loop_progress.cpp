// SPDX-License-Identifier: GPL-2.0-or-later
#include "framelist/loop_progress.h"

#include <cmath>
#include <utility>

namespace framelist {
namespace {

constexpr qint64 kShowEveryMs = 250;

QString Duration(double seconds) {
    const auto whole = qint64(std::ceil(seconds));
    if (whole < 60) return QStringLiteral("%1 s").arg(whole);
    if (whole < 3600) return QStringLiteral("%1 min %2 s").arg(whole / 60).arg(whole % 60, 2, 10, QLatin1Char('0'));
    return QStringLiteral("%1 h %2 min").arg(whole / 3600).arg(whole / 60 % 60, 2, 10, QLatin1Char('0'));
}

}  // namespace

QString ProgressText(const QString& what, int done, int total, double seconds) {
    QString text = QStringLiteral("%1 : %2 / %3 images").arg(what).arg(done).arg(total);
    if (done <= 0 || seconds <= 0) return text;
    const double rate = done / seconds;
    text += QStringLiteral(" - %1 images/s").arg(qint64(std::lround(rate)));
    if (total > done) text += QStringLiteral(" - reste ") + Duration((total - done) / rate);
    return text;
}

LoopProgress::LoopProgress(QString what, int total) : what_(std::move(what)), total_(total) { started_.start(); }

bool LoopProgress::due() {
    const qint64 now = started_.elapsed();
    if (shownAt_ >= 0 && now - shownAt_ < kShowEveryMs) return false;
    shownAt_ = now;
    return true;
}

QString LoopProgress::text(int done) const {
    return ProgressText(what_, done, total_, double(started_.nsecsElapsed()) / 1e9);
}

}  // namespace framelist
