// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once
// A video named on the command line, opened in the frame source by its path's own bytes
// (naming::PathText), and the reason one cannot be opened.

#include <QString>
#include <functional>

#include "framesource/frame_source.h"

namespace batch {

struct Settings;

// A video open in a frame source while this lives.
class VideoFile {
public:
    // Opens the video as "Ouvrir..." does; a stop signal cancels the opening. `told` hears how
    // far the indexing has come, in percent. `checks`: see FrameSource::OpenVideo.
    VideoFile(FrameSource& source, const QString& video, const std::function<void(int)>& told = {},
              FrameSource::PacketChecks checks = FrameSource::PacketChecks::AtOpen);
    ~VideoFile();
    VideoFile(const VideoFile&) = delete;
    VideoFile& operator=(const VideoFile&) = delete;

    bool IsOpen() const { return open_; }

private:
    void Close();

    FrameSource& source_;
    bool open_ = false;
    // The descriptor through which a path that is not UTF-8 is open; -1 when none is.
    int heldFile_ = -1;
};

// How the command's opens look into a video's packets (the `checks` of VideoFile): as a ranking
// of the whole video reads them, in order; as a segment's ranking reads them, its task then
// answering for its stretch's; for listed frames, those that can move them before they are
// chosen (SettleListedFrames); at open for the rest (a saved ranking's count, the index), which
// rely on the whole count.
FrameSource::PacketChecks PacketChecksFor(const Settings& settings);
// Before listed frames are chosen: the packets that can change the last of them (every packet
// when it lies past the last frame) are looked into, so that the count and the frames are those
// of the video indexed from its data. False when they could not be read.
bool SettleListedFrames(FrameSource& source, const Settings& settings);
// Whether the command's opens need not read a video's packets first (the `checkPackets` of
// VideoFile): it reads every frame of each video once, in a ranking that looks into its packets
// as it reads them (ranking::RankVideo), before it relies on any position; or it ranks one
// segment, whose packets it looks into after (merge joins it only with segments ranked on the
// same index).
bool OpensFromTables(const Settings& settings);

// Why the video could not be opened: "VIDEO: no such file", "is a directory", ...
QString OpenFailure(const QString& video);

}  // namespace batch
