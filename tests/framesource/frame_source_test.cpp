// SPDX-License-Identifier: GPL-2.0-or-later
// The frame source: opening and closing, the derived values, fetching, the crop rectangle and
// the output image.

#include <gtest/gtest.h>
#include <cstring>

#include "framesource/frame_source.h"
#include "imaging/bitmap.h"
#include "support/fixture_video.h"

namespace {

// The rows of the output image last prepared, bottom-up, each a 24-bit row of RowStride bytes.
const uint8_t* OutputRows(const FrameSource& source) {
    return source.OutputImage() + sizeof(dib::BitmapInfoHeader) + source.PaletteBytes();
}
int RowStride(int width) { return int(dib::RowStride(width, 24)); }

class FrameSourceTest : public ::testing::Test {
protected:
    void TearDown() override { frameSource.CloseVideo(); }

    std::string Write(int width, int height, int frames, fixture::Codec codec = fixture::Codec::Rgb24) {
        fixture::VideoOptions options;
        options.codec = codec;
        options.width = width;
        options.height = height;
        options.frames = frames;
        const std::string path = dir.File("v" + std::to_string(width) + "x" + std::to_string(height) + ".avi");
        EXPECT_TRUE(fixture::WriteVideo(path, options));
        return path;
    }

    bool Open(const std::string& path) { return frameSource.OpenVideo(QString::fromStdString(path)); }

    fixture::TempDir dir;
    FrameSource frameSource;
};

}  // namespace

TEST_F(FrameSourceTest, DerivedValuesFollowTheFrameSize) {
    struct {
        int width, height, imageSize;
    } const cases[] = {{320, 240, 230400}, {321, 240, 231360}, {33, 7, 700}};
    for (const auto& c : cases) {
        ASSERT_TRUE(Open(Write(c.width, c.height, 3)));
        EXPECT_EQ(frameSource.FrameWidth(), c.width);
        EXPECT_EQ(std::abs(frameSource.FrameHeight()), c.height);
        EXPECT_EQ(frameSource.PaletteBytes(), 0);
        ASSERT_TRUE(frameSource.PrepareFrame(0));
        EXPECT_EQ(frameSource.OutputImageSize(), c.imageSize);
        const dib::BitmapFileHeader& header = frameSource.OutputFileHeader();
        EXPECT_EQ(+header.bfType, 0x4D42);
        // Packed fields are read by value: a reference to one would be misaligned.
        EXPECT_EQ(uint32_t{header.bfSize}, uint32_t(54 + c.imageSize));
        EXPECT_EQ(uint32_t{header.bfOffBits}, 54u);
        dib::BitmapInfoHeader info;
        std::memcpy(&info, frameSource.OutputImage(), sizeof info);
        EXPECT_EQ(+info.biBitCount, 24);
        EXPECT_EQ(+info.biWidth, c.width);
        EXPECT_EQ(frameSource.FrameCount(), 3);
    }
}

TEST_F(FrameSourceTest, EightBitStreamReportsItsOwnDepthButDecodesTo24Bits) {
    ASSERT_TRUE(Open(Write(64, 48, 4, fixture::Codec::Pal8)));
    EXPECT_EQ(frameSource.FrameBitCount(), 8);
    EXPECT_EQ(frameSource.FramePlanes(), 1);
    ASSERT_TRUE(frameSource.PrepareFrame(2));
    dib::BitmapInfoHeader decoded;
    std::memcpy(&decoded, frameSource.OutputImage(), sizeof decoded);
    EXPECT_EQ(+decoded.biBitCount, 24);
    EXPECT_EQ(fixture::ReadFrameNumber(OutputRows(frameSource), 64, 48, RowStride(64)), 2);
}

TEST_F(FrameSourceTest, FetchOutsideTheStreamOrWithoutVideoFails) {
    EXPECT_FALSE(frameSource.FetchFrame(0));
    imaging::Bitmap bitmap;
    EXPECT_FALSE(frameSource.LoadFrameBitmap(0, bitmap));
    EXPECT_TRUE(bitmap.image().isNull());
    ASSERT_TRUE(Open(Write(32, 24, 5)));
    EXPECT_TRUE(frameSource.FetchFrame(4));
    EXPECT_FALSE(frameSource.FetchFrame(5));
    EXPECT_FALSE(frameSource.FetchFrame(-1));
    EXPECT_TRUE(frameSource.LoadFrameBitmap(4, bitmap));
    EXPECT_EQ(bitmap.image().size(), QSize(32, 24));
    EXPECT_EQ(bitmap.bitsPerPixel(), 0) << "display bitmaps are device-dependent";
}

TEST_F(FrameSourceTest, CloseTwiceAndBadFilesLeaveTheSourceClosed) {
    const std::string valid = Write(32, 24, 5);
    ASSERT_TRUE(Open(valid));
    frameSource.SetCropRect(0, 0, 4, 4);
    EXPECT_TRUE(frameSource.CloseVideo());
    EXPECT_FALSE(frameSource.CloseVideo());
    EXPECT_FALSE(frameSource.VideoOpen());
    EXPECT_FALSE(frameSource.CropDefined());
    EXPECT_EQ(frameSource.VideoFileName(), "Video.Avi");

    for (fixture::BadFile kind :
         {fixture::BadFile::Text, fixture::BadFile::Png, fixture::BadFile::NoVideo, fixture::BadFile::AbsurdSize}) {
        ASSERT_TRUE(Open(valid));
        frameSource.SetCropRect(0, 0, 4, 4);
        const std::string bad = dir.File(std::string("bad-") + fixture::BadFileName(kind));
        ASSERT_TRUE(fixture::WriteBadFile(bad, kind, valid));
        // A failing open still closes the previous video and forgets its rectangle.
        EXPECT_FALSE(Open(bad)) << fixture::BadFileName(kind);
        EXPECT_FALSE(frameSource.VideoOpen());
        EXPECT_FALSE(frameSource.CropDefined());
        EXPECT_FALSE(frameSource.FetchFrame(0));
    }
    EXPECT_TRUE(Open(valid));
}

// The output image, its headers and the bitmap made of it: the crop rectangle's own pixels
// when cropping is on with a rectangle, else the whole frame; a new rectangle takes effect at
// the next frame prepared, and the viewer always gets the whole frame.
TEST_F(FrameSourceTest, OutputImageIsTheRectanglesPixelsOrTheWholeFrame) {
    ASSERT_TRUE(Open(Write(321, 240, 3)));
    const int frameRows = 240, stride = RowStride(321);
    ASSERT_TRUE(frameSource.PrepareFrame(1));
    const std::vector<uint8_t> whole(OutputRows(frameSource), OutputRows(frameSource) + frameRows * stride);
    struct {
        const char* name;
        bool enabled;
        int top, left, height, width;
        bool defined;
    } const cases[] = {
        {"cropping on, no rectangle yet", true, 0, 0, 0, 0, false},
        {"top left", true, 0, 0, 5, 10, true},
        {"one pixel", true, 10, 20, 1, 1, true},
        {"a rectangle, cropping off", false, 1, 1, 4, 4, true},
        {"bottom right corner", true, 230, 311, 10, 10, true},
        {"odd width", true, 17, 3, 9, 7, true},
        {"whole frame", true, 0, 0, 240, 321, true},
        {"rectangle removed", true, 0, 0, 0, 0, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_TRUE(frameSource.SetCropRect(c.top, c.left, c.height, c.width));
        frameSource.SetCropEnabled(c.enabled);
        EXPECT_EQ(frameSource.CropDefined(), c.defined);
        const bool cropped = c.enabled && c.defined;
        const int top = cropped ? c.top : 0, left = cropped ? c.left : 0;
        const int height = cropped ? c.height : frameRows, width = cropped ? c.width : 321;
        ASSERT_TRUE(frameSource.PrepareFrame(1));
        const int imageSize = RowStride(width) * height;
        EXPECT_EQ(frameSource.OutputImageSize(), imageSize);
        EXPECT_EQ(uint32_t{frameSource.OutputFileHeader().bfSize}, uint32_t(54 + imageSize));
        EXPECT_EQ(uint32_t{frameSource.OutputFileHeader().bfOffBits}, 54u);
        dib::BitmapInfoHeader header;
        std::memcpy(&header, frameSource.OutputImage(), sizeof header);
        EXPECT_EQ(+header.biWidth, width);
        EXPECT_EQ(+header.biHeight, height);
        EXPECT_EQ(+header.biBitCount, 24);
        EXPECT_EQ(+header.biPlanes, 1);
        const uint8_t* output = OutputRows(frameSource);
        for (int row = 0; row < height; ++row) {
            const uint8_t* source = whole.data() + (frameRows - 1 - top - row) * stride + 3 * left;
            const uint8_t* copied = output + (height - 1 - row) * RowStride(width);
            ASSERT_EQ(std::memcmp(source, copied, size_t(3 * width)), 0) << "row " << row;
        }
        imaging::Bitmap bitmap;
        ASSERT_TRUE(frameSource.LoadOutputBitmap(1, bitmap));
        EXPECT_EQ(bitmap.image().size(), QSize(width, height));
        ASSERT_TRUE(frameSource.LoadFrameBitmap(1, bitmap));
        EXPECT_EQ(bitmap.image().size(), QSize(321, frameRows));
    }
}

TEST_F(FrameSourceTest, RectanglesOutsideTheFrameAreNeverReadFrom) {
    // Set before any video: accepted, and forgotten by the open.
    EXPECT_TRUE(frameSource.SetCropRect(0, 0, 100, 100));
    ASSERT_TRUE(Open(Write(64, 48, 2)));
    EXPECT_FALSE(frameSource.CropDefined());
    frameSource.SetCropEnabled(true);
    struct {
        const char* name;
        int top, left, height, width;
    } const cases[] = {
        {"larger than the frame", 0, 0, 480, 640}, {"past the right edge", 0, 60, 4, 5},
        {"past the bottom edge", 45, 0, 4, 4},     {"negative corner", -1, 0, 4, 4},
        {"negative size", 2, 2, -2, -2},           {"huge", 0, 0, 2000000000, 2000000000},
    };
    for (const auto& c : cases) {
        frameSource.SetCropRect(c.top, c.left, c.height, c.width);
        EXPECT_FALSE(frameSource.PrepareFrame(0)) << c.name;
        imaging::Bitmap bitmap;
        EXPECT_FALSE(frameSource.LoadOutputBitmap(0, bitmap)) << c.name;
        EXPECT_TRUE(bitmap.image().isNull());
    }
}

TEST_F(FrameSourceTest, DisplayBitmapsHoldTheColoursOfTheDecodedFrames) {
    const fixture::Codec codecs[] = {fixture::Codec::Rgb24,        fixture::Codec::Pal8, fixture::Codec::Mjpeg,
                                     fixture::Codec::Mpeg4BFrames, fixture::Codec::Ffv1, fixture::Codec::Mpeg4Packed};
    for (fixture::Codec codec : codecs) {
        fixture::VideoOptions options;
        options.codec = codec;
        options.width = 321;
        options.height = 47;
        options.frames = 14;
        const std::string path = dir.File(std::string("colours-") + fixture::CodecName(codec) + ".avi");
        ASSERT_TRUE(fixture::WriteVideo(path, options));
        ASSERT_TRUE(Open(path)) << fixture::CodecName(codec);
        const int height = std::abs(frameSource.FrameHeight());
        for (int position : {5, 0, 13, 12, 3, 4, 9, 1}) {
            imaging::Bitmap bitmap;
            ASSERT_TRUE(frameSource.LoadFrameBitmap(position, bitmap));
            ASSERT_TRUE(frameSource.PrepareFrame(position));
            const QImage& shown = bitmap.image();
            ASSERT_EQ(shown.size(), QSize(321, height));
            for (int y = 0; y < height; ++y) {
                const uint8_t* row = OutputRows(frameSource) + (height - 1 - y) * RowStride(321);
                const auto* pixels = reinterpret_cast<const QRgb*>(shown.constScanLine(y));
                for (int x = 0; x < 321; ++x) {
                    ASSERT_EQ(pixels[x], qRgb(row[3 * x + 2], row[3 * x + 1], row[3 * x]))
                        << fixture::CodecName(codec) << " position " << position << " at " << x << "," << y;
                }
            }
        }
    }
}

TEST_F(FrameSourceTest, AFrameThatCannotBeHadLeavesTheBitmapAsItWas) {
    const std::string valid = Write(64, 48, 20);
    const std::string cut = dir.File("cut.avi");
    ASSERT_TRUE(fixture::WriteBadFile(cut, fixture::BadFile::Truncated, valid));
    ASSERT_TRUE(Open(cut));
    const int last = frameSource.FrameCount() - 1;
    imaging::Bitmap empty;
    ASSERT_FALSE(frameSource.LoadFrameBitmap(last, empty)) << "the last frame lies past the cut";
    EXPECT_TRUE(empty.image().isNull());

    imaging::Bitmap shown;
    ASSERT_TRUE(frameSource.LoadFrameBitmap(0, shown));
    const QImage before = shown.image().copy();
    EXPECT_FALSE(frameSource.LoadFrameBitmap(last, shown));
    EXPECT_EQ(shown.image(), before);
    EXPECT_FALSE(frameSource.LoadOutputBitmap(last, shown));
    EXPECT_EQ(shown.image(), before);
}

// Each reader's video: other containers than AVI recognised by their content, whatever their
// name, give upright 24-bit frames like AVI files do, each at its presentation time (the AVI
// stream's rate or each picture's own time); and what the ranking and the batch take from the
// frame source, a prepared copy, is byte for byte the output image a writer would write, whole
// or cropped.
TEST_F(FrameSourceTest, EveryReaderGivesUprightFramesAtTheirTimesAndPreparedCopiesOfThem) {
    constexpr int kCount = 30;
    for (const fixture::ReaderVideo& c : fixture::kReaderVideos) {
        SCOPED_TRACE(c.name);
        const std::string path = dir.File(c.fileName);
        ASSERT_TRUE(fixture::WriteVideo(path, fixture::OptionsOf(c, 66, 50, kCount)));
        ASSERT_TRUE(Open(path));
        ASSERT_EQ(frameSource.FrameCount(), kCount);
        // Rows padded to 4 bytes, turned or not.
        const int width = c.clockwise ? 50 : 66, height = c.clockwise ? 66 : 50;
        EXPECT_EQ(frameSource.FrameWidth(), width);
        // An AVI's height keeps the sign of its stream's format.
        const bool avi = std::string(c.container) == "avi";
        EXPECT_EQ(avi ? std::abs(frameSource.FrameHeight()) : frameSource.FrameHeight(), height);
        EXPECT_EQ(frameSource.FrameBitCount(), 24);
        EXPECT_EQ(frameSource.FramePlanes(), 1);
        for (int n = 0; n < kCount; ++n) {
            const double late = c.variableRate && n % 7 == 3 ? 0.013 : 0;
            EXPECT_NEAR(frameSource.FrameTime(n), n / 25.0 + late, 1e-9) << n;
        }
        EXPECT_NEAR(frameSource.FrameDuration(), 1 / 25.0, 1e-9);
        for (int position : {17, 3, 29, 4}) {
            ASSERT_TRUE(frameSource.PrepareFrame(position)) << position;
            EXPECT_EQ(frameSource.OutputImageSize(), RowStride(width) * height);
            if (c.clockwise == 0) {
                EXPECT_EQ(fixture::ReadFrameNumber(OutputRows(frameSource), width, height, RowStride(width)), position);
            }
            imaging::Bitmap bitmap;
            ASSERT_TRUE(frameSource.LoadFrameBitmap(position, bitmap));
            EXPECT_EQ(bitmap.image().size(), QSize(width, height));
        }
        EXPECT_FALSE(frameSource.FetchFrame(kCount));

        ASSERT_TRUE(frameSource.SetCropRect(4, 6, 21, 17));
        for (bool crop : {false, true}) {
            frameSource.SetCropEnabled(crop);
            FrameSource::PreparedImage image;
            for (int n : {9, 2, 29}) {
                ASSERT_TRUE(frameSource.PrepareImage(n, image)) << n;
                ASSERT_TRUE(frameSource.PrepareFrame(n));
                const uint8_t* output = frameSource.OutputImage();
                const size_t bytes = sizeof(dib::BitmapInfoHeader) + size_t(frameSource.OutputImageSize());
                EXPECT_EQ(frameSource.OutputImageSize(), crop ? RowStride(17) * 21 : RowStride(width) * height);
                EXPECT_EQ(image.frame, n);
                ASSERT_EQ(image.dib.size(), bytes) << crop << " " << n;
                EXPECT_EQ(std::memcmp(image.dib.data(), output, bytes), 0) << crop << " " << n;
                EXPECT_EQ(std::memcmp(&image.fileHeader, &frameSource.OutputFileHeader(), sizeof image.fileHeader), 0);
            }
        }
        EXPECT_FALSE(frameSource.PrepareImage(kCount, *std::make_unique<FrameSource::PreparedImage>()));
        EXPECT_TRUE(frameSource.CloseVideo());
    }
}

// An H.264 MP4 read from its tables, each frame's packets looked into before it is read (as the
// window reads it): damage past those of the frames read changes none of them; a frame past it
// finds it, and the frames are then those FFmpeg presents, told to the handler, the frame asked
// for not read. A second reader of the old index takes the new one without reading again.
TEST_F(FrameSourceTest, AnMp4ReadFromItsTablesTakesFFmpegsFramesOnceItsDamageIsReached) {
    const std::string path = dir.File("damaged.mp4");
    ASSERT_TRUE(fixture::WriteDamagedMp4(path, 96));
    const fixture::Decoded reference = fixture::DecodeSequentially(path, 0);
    const int count = int(reference.pictures.size());
    ASSERT_LT(count, 96);
    const auto shows = [&](FrameSource& source, int n) {
        return std::memcmp(OutputRows(source), reference.pictures[size_t(n)].data(),
                           reference.pictures[size_t(n)].size()) == 0;
    };

    int told = 0;
    frameSource.SetFramesChangedHandler([&] { ++told; });
    using Checks = FrameSource::PacketChecks;
    ASSERT_TRUE(frameSource.OpenVideo(QString::fromStdString(path), {}, Checks::BeforeEachFrame));
    EXPECT_EQ(frameSource.FrameCount(), 96);  // the tables'
    FrameSource other;
    ASSERT_TRUE(other.OpenVideo(QString::fromStdString(path), {}, Checks::BeforeEachFrame));
    for (int n : {0, 3}) {
        ASSERT_TRUE(frameSource.PrepareFrame(n));
        EXPECT_TRUE(shows(frameSource, n)) << n;
    }
    EXPECT_EQ(told, 0);
    EXPECT_FALSE(frameSource.FetchFrame(95));
    EXPECT_EQ(told, 1);
    ASSERT_EQ(frameSource.FrameCount(), count);
    for (int n : {count - 1, 0, count / 2}) {
        ASSERT_TRUE(frameSource.PrepareFrame(n));
        EXPECT_TRUE(shows(frameSource, n)) << n;
    }
    EXPECT_FALSE(other.FetchFrame(1));
    ASSERT_EQ(other.FrameCount(), count);
    ASSERT_TRUE(other.PrepareFrame(count - 1));
    EXPECT_TRUE(shows(other, count - 1));
    EXPECT_EQ(told, 1);
    frameSource.SetFramesChangedHandler({});
}
