// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once
// Small pictures of frames, for the list's row tooltips. The program's frame source is the
// viewer's and the loops': a picture is read through a reader of its own when the video reopens
// without a decode, else through the shared one only while no loop reads it. The last few are
// kept, so that going back and forth over rows decodes nothing again.

#include <QImage>
#include <QString>
#include <cstdint>
#include <list>
#include <memory>
#include <utility>

#include "imaging/bitmap.h"

class FrameSource;

namespace framelist {

class FrameThumbnails {
public:
    static constexpr int kWidth = 160;
    static constexpr size_t kKept = 48;

    explicit FrameThumbnails(FrameSource& shared);
    ~FrameThumbnails();

    // The frame's picture, at most kWidth wide and high; null when it cannot be had now.
    // `sharedIdle`: no loop is reading the shared source, which may then be used.
    QImage Thumbnail(int32_t frame, bool sharedIdle);
    // Forgets the pictures and closes the own reader (the video changed or closed).
    void Clear();

private:
    // The reader to decode with now; nullptr when none may be used.
    FrameSource* Reader(bool sharedIdle);

    FrameSource& shared_;
    std::unique_ptr<FrameSource> own_;
    bool ownTried_ = false;
    QString video_;                               // the video the pictures and the own reader are of
    std::list<std::pair<int32_t, QImage>> kept_;  // most recently asked first
    imaging::Bitmap frame_;
};

}  // namespace framelist
