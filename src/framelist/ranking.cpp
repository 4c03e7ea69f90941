// SPDX-License-Identifier: GPL-2.0-or-later
#include "framelist/ranking.h"

#include <algorithm>
#include <cstring>

#include "framelist/encode_pool.h"
#include "framesource/frame_source.h"
#include "framesource/image_writers.h"
#include "imaging/jpeg_image.h"
#include "media/dib.h"

namespace ranking {

// The prepared 24-bit rows are encoded directly: a display bitmap of them would give the same
// JPEG for two conversions more.
Measure MeasureFrame(int32_t frame, gfx::JpegImage& jpeg) {
    if (!FrameSource::PrepareFrame(frame)) return {};
    dib::BitmapInfoHeader header;
    std::memcpy(&header, FrameSource::OutputImage(), sizeof header);
    const int64_t height = header.biHeight < 0 ? -int64_t(header.biHeight) : header.biHeight;
    const int64_t size = int64_t(header.biWidth) * height * 4;
    if (!FrameSource::EncodeDib(FrameSource::OutputImage(), FrameSource::PaletteBytes(), jpeg)) return {size, 0};
    return {size, int64_t(jpeg.data().size())};
}

std::vector<Ranked> RankFrames(const std::vector<int32_t>& frames, gfx::JpegImage& jpeg,
                               const std::function<bool()>& keepGoing, int threads) {
    std::vector<Ranked> ranked;
    ranked.reserve(frames.size());
    EncodePool pool(threads, jpeg, false);
    size_t next = 0;
    bool going = true;
    while (true) {
        while (going && next < frames.size() && !pool.full()) {
            if (keepGoing && !keepGoing()) {
                going = false;
                break;
            }
            FrameSource::PreparedImage image = pool.blank();
            FrameSource::PrepareDecoded(frames[next++], image);
            pool.submit(std::move(image));
        }
        if (!pool.pending()) break;
        EncodePool::Result result = pool.take();
        ranked.push_back({result.image.frame, result.length});
        pool.recycle(std::move(result.image));
    }
    std::stable_sort(ranked.begin(), ranked.end(), [](const Ranked& a, const Ranked& b) {
        return a.length != b.length ? a.length > b.length : a.frame < b.frame;
    });
    return ranked;
}

}  // namespace ranking
