// SPDX-License-Identifier: GPL-2.0-or-later
#include "navigation/navigation.h"

void Navigation::SetRunFlag(bool running) {
    if (running == runFlag_) return;
    runFlag_ = running;
    emit runningChanged(running);
}

void Navigation::SetCurrentPosition(int32_t position) {
    if (position == currentPosition_) return;
    currentPosition_ = position;
    emit positionChanged(position);
}

void Navigation::SetRange(int32_t start, int32_t end) {
    if (start == rangeStart_ && end == rangeEnd_) return;
    rangeStart_ = start;
    rangeEnd_ = end;
    emit rangeChanged(start, end);
}

void Navigation::SetRangeEnd(int32_t end) { SetRange(rangeStart_, end); }

int32_t Navigation::ClampPosition(int32_t requested, bool loop) {
    int32_t position = requested;
    // Both tests look at the requested value; wrapping jumps to the opposite end.
    if (requested < rangeStart_) position = loop ? rangeEnd_ : rangeStart_;
    if (requested > rangeEnd_) position = loop ? rangeStart_ : rangeEnd_;
    SetCurrentPosition(position);
    return position;
}

bool Navigation::SelectSequence(bool video) {
    const bool was = videoSequence_;
    videoSequence_ = video || !listBuilt_;
    if (videoSequence_ != was) emit sequenceChanged(videoSequence_);
    return video || !videoSequence_;
}

void Navigation::Reset() {
    SetRunFlag(false);
    listBuilt_ = false;
    programEnding_ = false;
    if (!videoSequence_) {
        videoSequence_ = true;
        emit sequenceChanged(true);
    }
    SetRange(0, 0);
    SetCurrentPosition(0);
}
