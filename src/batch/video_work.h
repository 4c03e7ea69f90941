// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once
// One video's share of a command: open it as "Ouvrir..." does, limit its frames to the crop
// rectangle, then rank every frame as "Best of..." does, or write the chosen frames as
// "Extraire Lot..." does after "Sél.", under the program's names.

#include <QString>
#include <cstdint>
#include <vector>

#include "batch/settings.h"
#include "framelist/ranking.h"

namespace batch {

// What the video's work tells the command that runs it, here or in a worker process.
class VideoHost {
public:
    virtual ~VideoHost() = default;
    // extract: the count of names the video uses, known once it is open.
    virtual void ReserveNames(int64_t names) = 0;
    // extract: the number of its first name; waits for the videos before it to reserve theirs.
    // Negative when the command is ending.
    virtual int64_t FirstNumber() = 0;
    virtual void Progress(int64_t done, int64_t total) = 0;
    // rank: the frames, largest encoding first.
    virtual void Ranked(const std::vector<ranking::Ranked>& ranked) = 0;
    // A failure, with the file's name and the reason.
    virtual void Failure(const QString& message) = 0;
};

enum class VideoStatus {
    Done,
    Failed,       // the video could not be read, or a file not written; reported
    StopCommand,  // a file was in the way: the whole command stops
    Stopped,      // a stop signal came
};

VideoStatus RunVideo(const Settings& settings, const QString& video, VideoHost& host);

}  // namespace batch
