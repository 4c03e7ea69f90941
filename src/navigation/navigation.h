// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once
// Where the user is in the open video: the position in the active sequence (the video's
// frames, or the rows of the frame list), the range the commands move in, which sequence is
// active, and the flag that keeps the long loops running.

#include <QObject>
#include <cstdint>

#include "framesource/frame_source.h"
#include "framesource/output_names.h"

class MainWindowCommands;

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

    // The main window, which lower windows ask to act; null until it is made.
    void SetMainWindow(MainWindowCommands* commands) { mainWindow_ = commands; }
    MainWindowCommands* MainWindow() const { return mainWindow_; }

signals:
    void positionChanged(int32_t position);
    void rangeChanged(int32_t start, int32_t end);
    void runningChanged(bool running);

private:
    int32_t currentPosition_ = 0;
    int32_t rangeStart_ = 0;
    int32_t rangeEnd_ = 0;
    bool videoSequence_ = true;
    bool runFlag_ = false;
    bool listBuilt_ = false;
    MainWindowCommands* mainWindow_ = nullptr;
};

// What the windows below the main window ask of it: it owns the track bar that shows a
// position, the play state and the single-frame extraction. Set by the main window.
class MainWindowCommands {
public:
    virtual ~MainWindowCommands() = default;
    // Selects a sequence as the sequence button does (with its message when refused).
    virtual void ShowSequence(bool avi) = 0;
    // Moves the track bar, which shows the position when it changes.
    virtual void MoveTo(int32_t position) = 0;
    // Marks the slideshow paused (a running loop is stopped by clearing RunFlag).
    virtual void MarkPaused() = 0;
    // The single-frame "Extraire" on the current position; may throw to end a batch. True when
    // it wrote its file.
    virtual bool ExtractCurrentFrame() = 0;
    // The type "Extraire" writes as the controls stand now.
    virtual naming::OutputType ExtractionType() = 0;
    // "Extraire" of a picture prepared beforehand (and maybe encoded already) instead of the
    // frame at the current position: named, asked about, written and numbered the same way;
    // may throw to end a batch. True when it wrote its file.
    virtual bool ExtractPrepared(const FrameSource::PreparedImage& image) = 0;
    // The program is ending (its main window closed while a loop ran).
    virtual bool ProgramEnding() const = 0;
};
