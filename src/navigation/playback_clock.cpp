// SPDX-License-Identifier: GPL-2.0-or-later
#include "navigation/playback_clock.h"

#include <QCoreApplication>
#include <QTimer>
#include <cmath>

#include "navigation/navigation.h"

void PlaybackClock::WaitUntil(double seconds) const {
    // A precise timer wakes the wait; any event the user makes ends it early and it waits again.
    QTimer wake;
    wake.setSingleShot(true);
    wake.setTimerType(Qt::PreciseTimer);
    while (navigation_.RunFlag()) {
        const double left = seconds - Elapsed();
        if (left <= 0) return;
        wake.start(int(std::ceil(left * 1000)));
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
}
