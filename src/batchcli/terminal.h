// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once
// Standard error of the batch command: its messages, and a progress line (video, frames done
// of total, frames per second, time left) redrawn in place while standard error is a terminal.
// The line fits the terminal's width, so clearing it leaves nothing behind.

#include <QByteArray>
#include <QElapsedTimer>
#include <QString>
#include <cstddef>
#include <cstdint>
#include <map>
#include <mutex>

namespace batch {

// One per command: whatever reports to the user does it through the command's terminal, so
// that a message clears the progress line it would otherwise break.
class Terminal {
public:
    // Shows progress from now on, when standard error is a terminal.
    void EnableProgress();
    // One message line, "orvexa-batch: TEXT"; a progress line in the way is cleared first.
    // Names in the text come out as the bytes they stand for (naming::PathText).
    void Message(const QString& text);
    // Text for standard output; a progress line in the way is cleared first and drawn again
    // after. The first write that fails is said once; nothing more is written after it.
    void Output(const QByteArray& text);
    // Whether standard output lost anything.
    bool OutputFailed();
    // Flushes and closes standard output: the command's exit status, 1 when the output was not
    // all written (said once).
    int CloseOutput(int status);

    // Progress of the video at `index` (the command line's order); redrawn at most ten times a
    // second.
    void Progress(size_t index, const QString& video, int64_t done, int64_t total);
    // The video is no longer worked on.
    void Finished(size_t index);
    // Clears the line for good.
    void EndProgress();

    // One video's progress.
    struct Running {
        QString name;
        int64_t done = 0;
        int64_t total = 0;
        QElapsedTimer clock;
    };

private:
    void ClearLine();
    void Draw();
    void OutputError(int error);

    std::mutex lock_;  // a ranking may report from several threads
    bool enabled_ = false;
    bool lineShown_ = false;
    bool outputFailed_ = false;
    bool outputClosed_ = false;
    std::map<size_t, Running> running_;
    QElapsedTimer sinceRedraw_;
};

}  // namespace batch
