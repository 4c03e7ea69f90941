// SPDX-License-Identifier: GPL-2.0-or-later
#include "framelist/frame_thumbnails.h"

#include "framesource/frame_source.h"

namespace framelist {

FrameThumbnails::FrameThumbnails(FrameSource& shared) : shared_(shared) {}

FrameThumbnails::~FrameThumbnails() = default;

void FrameThumbnails::Clear() {
    kept_.clear();
    own_.reset();
    ownTried_ = false;
    video_.clear();
    frame_.setImage(QImage(), imaging::PixelLayout::DeviceDependent);
}

FrameSource* FrameThumbnails::Reader(bool sharedIdle) {
    if (shared_.ReopensCheaply()) {
        if (!ownTried_) {
            // Tried once per video: a reader that cannot open it would cost every tooltip.
            ownTried_ = true;
            own_ = std::make_unique<FrameSource>();
            if (!own_->OpenVideo(shared_.VideoFileName(), {}, FrameSource::PacketChecks::BeforeEachFrame)) own_.reset();
        }
        // Frames found changed by one reader of the shared index are taken by the other (the
        // shared reader's owner is told).
        if (own_ && own_->FrameCount() != shared_.FrameCount()) {
            own_->CheckPacketsUpTo(0);
            if (sharedIdle) shared_.CheckPacketsUpTo(0);
        }
        if (own_ && own_->FrameCount() == shared_.FrameCount()) return own_.get();
    }
    return sharedIdle ? &shared_ : nullptr;
}

QImage FrameThumbnails::Thumbnail(int32_t frame, bool sharedIdle) {
    if (!shared_.VideoOpen() || frame < 0 || frame >= shared_.FrameCount()) return {};
    if (shared_.VideoFileName() != video_) {
        Clear();
        video_ = shared_.VideoFileName();
    }
    for (auto it = kept_.begin(); it != kept_.end(); ++it) {
        if (it->first != frame) continue;
        kept_.splice(kept_.begin(), kept_, it);
        return kept_.front().second;
    }
    FrameSource* reader = Reader(sharedIdle);
    if (!reader || !reader->LoadFrameBitmap(frame, frame_)) return {};
    QImage small = frame_.image().scaled(kWidth, kWidth, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    kept_.emplace_front(frame, small);
    if (kept_.size() > kKept) kept_.pop_back();
    return small;
}

}  // namespace framelist
