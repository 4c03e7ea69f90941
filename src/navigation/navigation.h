// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once
// Where the user is in the open video: the position in the active sequence (the video's
// frames, or the rows of the frame list), the range the commands move in, which sequence is
// active, and the flag that keeps the long loops running.

#include <QObject>
#include <cstdint>

// Where the user is in the open video, shared by the windows that are handed it. Plain values
// changed only through these functions; a change of position, range or running state is
// signalled, so a window that shows one of them can follow it.
class Navigation : public QObject {
    Q_OBJECT

public:
    explicit Navigation(QObject* parent = nullptr) : QObject(parent) {}

    int32_t CurrentPosition() const { return currentPosition_; }
    int32_t RangeStart() const { return rangeStart_; }
    int32_t RangeEnd() const { return rangeEnd_; }
    // True while positions are frames of the video; false while they are rows of the frame list.
    bool VideoSequence() const { return videoSequence_; }
    // Keeps the long loops (slideshow, list build, ranking, marking, batch) running; a command
    // that must stop them clears it.
    bool RunFlag() const { return runFlag_; }
    // The frame list holds the rows of the open video.
    bool ListBuilt() const { return listBuilt_; }

    void SetRunFlag(bool running);
    void SetListBuilt(bool built) { listBuilt_ = built; }
    void SetCurrentPosition(int32_t position);
    void SetRange(int32_t start, int32_t end);
    void SetRangeEnd(int32_t end);

    // The position that a request comes to: the range's nearer end, or with `loop` the opposite
    // end, for a request outside the range. It becomes the current position.
    int32_t ClampPosition(int32_t requested, bool loop);

    // Selects the video's sequence, or the list's once the list is built. Returns false when the
    // list's was asked for without a list (the video's stays selected).
    bool SelectSequence(bool video);

    // Back to the values of a program just started.
    void Reset();

    // The program is ending (its main window closed while a loop ran): loops end without their
    // closing messages.
    bool ProgramEnding() const { return programEnding_; }
    void SetProgramEnding() { programEnding_ = true; }

signals:
    void positionChanged(int32_t position);
    void rangeChanged(int32_t start, int32_t end);
    void runningChanged(bool running);
    // The positions stand for the other sequence's from now on.
    void sequenceChanged(bool video);

private:
    int32_t currentPosition_ = 0;
    int32_t rangeStart_ = 0;
    int32_t rangeEnd_ = 0;
    bool videoSequence_ = true;
    bool runFlag_ = false;
    bool listBuilt_ = false;
    bool programEnding_ = false;
};
