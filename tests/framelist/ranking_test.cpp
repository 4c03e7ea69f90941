// Ranking without a window: each frame's JPEG length with the options given, whole or cropped,
// and the ranking order.
#include <gtest/gtest.h>
#include <QWidget>

#include "framelist/ranking.h"
#include "framesource/frame_source.h"
#include "platform/bitmap.h"
#include "platform/jpeg_image.h"
#include "support/fixture_video.h"

namespace {

struct RankCase {
    const char* name;
    bool crop;
    int quality;
    bool grayscale;
    bool progressive;
};

// The length of a frame's JPEG made another way: the whole frame as a picture, cut with Qt.
int64_t ReferenceLength(int32_t frame, const RankCase& c, const QRect& cut) {
    gfx::Bitmap whole;
    if (!FrameSource::LoadFrameBitmap(frame, whole)) return -1;
    gfx::Bitmap picture(c.crop ? whole.image().copy(cut) : whole.image(), gfx::PixelLayout::DeviceDependent);
    gfx::JpegImage jpeg;
    jpeg.setQuality(uint8_t(c.quality));
    jpeg.setGrayscale(c.grayscale);
    jpeg.setProgressiveEncoding(c.progressive);
    jpeg.assign(picture);
    return int64_t(jpeg.data().size());
}

TEST(Ranking, LengthsAreTheFramesJpegSizesInRankingOrder) {
    fixture::TempDir dir;
    fixture::VideoOptions options;
    options.codec = fixture::Codec::Mpeg4BFrames;
    options.width = 96;
    options.height = 72;
    options.frames = 14;
    const std::string path = dir.File("clip.avi");
    ASSERT_TRUE(fixture::WriteVideo(path, options));
    ASSERT_TRUE(FrameSource::OpenVideo(QString::fromStdString(path)));
    const QRect cut(10, 6, 41, 33);  // left, top, width, height
    ASSERT_TRUE(FrameSource::SetCropRect(cut.top(), cut.left(), cut.height(), cut.width()));

    const RankCase cases[] = {
        {"whole", false, 75, false, false},
        {"cropped", true, 75, false, false},
        {"grey, quality 30", true, 30, true, false},
        {"progressive, quality 95", false, 95, false, true},
    };
    std::vector<int32_t> frames;
    for (int32_t n = options.frames - 1; n >= 0; --n) frames.push_back(n);
    for (const RankCase& c : cases) {
        FrameSource::SetCropEnabled(c.crop);
        gfx::JpegImage jpeg;
        jpeg.setQuality(uint8_t(c.quality));
        jpeg.setGrayscale(c.grayscale);
        jpeg.setProgressiveEncoding(c.progressive);
        const std::vector<ranking::Ranked> ranked = ranking::RankFrames(frames, jpeg);
        ASSERT_EQ(ranked.size(), frames.size()) << c.name;
        for (size_t i = 0; i < ranked.size(); ++i) {
            EXPECT_EQ(ranked[i].length, ReferenceLength(ranked[i].frame, c, cut))
                << c.name << " frame " << ranked[i].frame;
            if (i == 0) continue;
            const ranking::Ranked& before = ranked[i - 1];
            EXPECT_TRUE(before.length > ranked[i].length ||
                        (before.length == ranked[i].length && before.frame < ranked[i].frame))
                << c.name << " at " << i;
        }
    }

    // A stop keeps the frames measured so far; a frame that cannot be had measures nothing.
    FrameSource::SetCropEnabled(false);
    gfx::JpegImage jpeg;
    int asked = 0;
    const auto partial = ranking::RankFrames({3, 99, 5, 7}, jpeg, [&] { return ++asked <= 3; });
    ASSERT_EQ(partial.size(), 3u);
    EXPECT_EQ(partial.back().frame, 99);
    EXPECT_EQ(partial.back().length, 0);
    FrameSource::CloseVideo();
}

}  // namespace
