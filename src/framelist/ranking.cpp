#include "framelist/ranking.h"

#include <algorithm>
#include <cstring>

#include "framesource/frame_source.h"
#include "platform/dib.h"
#include "platform/jpeg_image.h"

namespace ranking {

// The prepared 24-bit rows are encoded directly: a display bitmap of them would give the same
// JPEG for two conversions more.
Measure MeasureFrame(int32_t frame, gfx::JpegImage& jpeg) {
    if (!FrameSource::PrepareFrame(frame)) return {};
    dib::BitmapInfoHeader header;
    std::memcpy(&header, FrameSource::OutputImage(), sizeof header);
    const int64_t height = header.biHeight < 0 ? -int64_t(header.biHeight) : header.biHeight;
    jpeg.encodeBgr(header.biWidth, header.biHeight, FrameSource::OutputBits(),
                   ptrdiff_t(dib::RowStride(header.biWidth, 24)));
    return {int64_t(header.biWidth) * height * 4, int64_t(jpeg.data().size())};
}

std::vector<Ranked> RankFrames(const std::vector<int32_t>& frames, gfx::JpegImage& jpeg,
                               const std::function<bool()>& keepGoing) {
    std::vector<Ranked> ranked;
    ranked.reserve(frames.size());
    for (int32_t frame : frames) {
        if (keepGoing && !keepGoing()) break;
        ranked.push_back({frame, MeasureFrame(frame, jpeg).length});
    }
    std::stable_sort(ranked.begin(), ranked.end(), [](const Ranked& a, const Ranked& b) {
        return a.length != b.length ? a.length > b.length : a.frame < b.frame;
    });
    return ranked;
}

}  // namespace ranking
