// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once
// The clock of a slideshow played at the video's own pace: each frame is due at a time counted
// from the moment playback started, and the wait for it runs the program's events without
// using the processor.

#include <QElapsedTimer>

class Navigation;

class PlaybackClock {
public:
    explicit PlaybackClock(const Navigation& navigation) : navigation_(navigation) { started_.start(); }
    // Runs events until `seconds` after the start, or until RunFlag is cleared; returns at once
    // when that time has passed already (a slow decode then shows frames as they come).
    void WaitUntil(double seconds) const;
    double Elapsed() const { return double(started_.nsecsElapsed()) / 1e9; }

private:
    const Navigation& navigation_;
    QElapsedTimer started_;
};
