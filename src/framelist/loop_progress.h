// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once
// How far a long loop over the frame list has come, as the list window shows it: rows done of
// the total, rows per second and the time left, in French.

#include <QElapsedTimer>
#include <QString>

namespace framelist {

// "Classement : 120 / 1000 images - 85 images/s - reste 11 s"; without a rate yet (nothing
// done, no time gone) the rate and the time left are left out.
QString ProgressText(const QString& what, int done, int total, double seconds);

class LoopProgress {
public:
    LoopProgress(QString what, int total);
    // True when the text is worth showing again: the first time, then every few tenths of a
    // second, so that showing it costs nothing next to the work.
    bool due();
    QString text(int done) const;

private:
    QString what_;
    int total_;
    QElapsedTimer started_;
    qint64 shownAt_ = -1;
};

}  // namespace framelist
