// SPDX-License-Identifier: GPL-2.0-or-later
// The AVI layer: frames by position whatever the order of access, the stream's own header
// values, dropped frames, and files that are not what they claim.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <random>
#include <vector>

#include "media/avifile.h"
#include "support/fixture_video.h"

namespace {

using fixture::Codec;
using fixture::VideoOptions;

// An open video, in the order the frame source opens it.
struct OpenAvi {
    avifile::FileHandle file;
    avifile::StreamHandle stream;
    avifile::GetFrameHandle decoder;
    dib::BitmapInfoHeader format;
    int32_t length = 0;

    bool Open(const std::string& path) {
        if (avifile::AVIFileOpen(file, path) != avifile::kOk) return false;
        if (avifile::AVIFileGetStream(*file, stream, avifile::kStreamTypeVideo, 0) != avifile::kOk) return false;
        length = avifile::AVIStreamLength(*stream);
        int32_t size = 0;
        avifile::AVIStreamReadFormat(*stream, 0, nullptr, size);
        if (size < int32_t(sizeof format)) return false;
        std::vector<uint8_t> bytes(size_t(size), 0);
        if (avifile::AVIStreamReadFormat(*stream, 0, bytes.data(), size) != avifile::kOk) return false;
        std::memcpy(&format, bytes.data(), sizeof format);
        dib::BitmapInfoHeader wanted{};
        wanted.biSize = sizeof wanted;
        wanted.biWidth = format.biWidth;
        wanted.biHeight = format.biHeight;
        wanted.biPlanes = 1;
        wanted.biBitCount = 24;
        decoder = avifile::AVIStreamGetFrameOpen(*stream, wanted);
        return decoder != nullptr;
    }

    int Width() const { return format.biWidth; }
    int Height() const { return std::abs(format.biHeight); }
    int Stride() const { return int(dib::RowStride(Width(), 24)); }
    size_t ImageBytes() const { return size_t(dib::ImageSize(Width(), Height(), 24)); }

    // The frame's pixel rows, copied; empty when the layer gives no frame.
    std::vector<uint8_t> Pixels(int32_t position) {
        const uint8_t* dib = avifile::AVIStreamGetFrame(*decoder, position);
        if (!dib) return {};
        const uint8_t* bits = dib + sizeof(dib::BitmapInfoHeader);
        return std::vector<uint8_t>(bits, bits + ImageBytes());
    }

    int Number(const std::vector<uint8_t>& pixels) const {
        return fixture::ReadFrameNumber(pixels.data(), Width(), Height(), Stride());
    }
};

class AviFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.IsValid());
        avifile::AVIFileInit();
    }

    std::string Write(const VideoOptions& options, const std::string& name = "clip.avi") {
        const std::string path = dir_.File(name);
        EXPECT_TRUE(fixture::WriteVideo(path, options)) << name;
        return path;
    }

    fixture::TempDir dir_;
};

struct CodecCase {
    Codec codec;
    int width;
    int height;
    int bitCount;  // what the stream's own format reports
};

std::string CaseName(const ::testing::TestParamInfo<CodecCase>& info) {
    return std::string(fixture::CodecName(info.param.codec)) + "_" + std::to_string(info.param.width);
}

class AviCodecTest : public AviFileTest, public ::testing::WithParamInterface<CodecCase> {
protected:
    VideoOptions Options(int frames) const {
        VideoOptions options;
        options.codec = GetParam().codec;
        options.width = GetParam().width;
        options.height = GetParam().height;
        options.frames = frames;
        return options;
    }
};

const CodecCase kCodecs[] = {
    {Codec::Rgb24, 160, 120, 24},       {Codec::Rgb24, 321, 64, 24},        {Codec::Pal8, 160, 120, 8},
    {Codec::Pal8, 321, 64, 8},          {Codec::Mjpeg, 160, 120, 24},       {Codec::Mpeg4BFrames, 160, 120, 24},
    {Codec::Mpeg4BFrames, 321, 96, 24}, {Codec::Mpeg4Packed, 160, 120, 24}, {Codec::Ffv1, 321, 64, 24},
};

TEST_P(AviCodecTest, HeaderValuesAreTheStreamsOwn) {
    const VideoOptions options = Options(5);
    OpenAvi avi;
    ASSERT_TRUE(avi.Open(Write(options)));
    EXPECT_EQ(avi.length, 5);
    EXPECT_EQ(+avi.format.biWidth, options.width);
    EXPECT_EQ(avi.Height(), options.height);
    EXPECT_EQ(+avi.format.biPlanes, 1);
    EXPECT_EQ(+avi.format.biBitCount, GetParam().bitCount);

    // Whatever the stream's depth, frames come out as 24-bit bottom-up DIBs.
    const uint8_t* dib = avifile::AVIStreamGetFrame(*avi.decoder, 0);
    ASSERT_NE(dib, nullptr);
    dib::BitmapInfoHeader out;
    std::memcpy(&out, dib, sizeof out);
    EXPECT_EQ(+out.biSize, 40u);
    EXPECT_EQ(+out.biWidth, options.width);
    EXPECT_EQ(+out.biHeight, options.height);
    EXPECT_EQ(+out.biBitCount, 24);
    EXPECT_EQ(+out.biCompression, dib::kRgbCompression);
    // Row padding is zero.
    const int used = options.width * 3;
    for (int y = 0; y < options.height; ++y) {
        for (int b = used; b < avi.Stride(); ++b) ASSERT_EQ(dib[40 + y * avi.Stride() + b], 0) << "row " << y;
    }
}

TEST_P(AviCodecTest, RandomOrderGivesTheSequentialPictures) {
    const VideoOptions options = Options(40);
    const std::string path = Write(options);
    std::vector<std::vector<uint8_t>> sequential;
    {
        OpenAvi avi;
        ASSERT_TRUE(avi.Open(path));
        ASSERT_EQ(avi.length, 40);
        for (int i = 0; i < avi.length; ++i) {
            sequential.push_back(avi.Pixels(i));
            ASSERT_FALSE(sequential.back().empty()) << "frame " << i;
            EXPECT_EQ(avi.Number(sequential.back()), i) << "frame " << i;
        }
        EXPECT_TRUE(avi.Pixels(avi.length).empty()) << "one past the end";
        EXPECT_TRUE(avi.Pixels(-1).empty());
    }

    // Backward jumps, jumps into the middle of groups of pictures, repeats, and the last frame,
    // all through one decoder.
    std::vector<int> order = {39, 0, 13, 12, 11, 10, 25, 24, 1, 2, 3, 38, 37, 36, 36, 9, 22, 23, 35};
    std::mt19937 random(7);
    for (int i = 0; i < 40; ++i) order.push_back(int(random() % 40));
    OpenAvi avi;
    ASSERT_TRUE(avi.Open(path));
    for (int n : order) {
        const std::vector<uint8_t> pixels = avi.Pixels(n);
        ASSERT_FALSE(pixels.empty()) << "frame " << n;
        ASSERT_TRUE(pixels == sequential[size_t(n)]) << "frame " << n << " differs from its sequential decode";
    }
}

TEST_P(AviCodecTest, DroppedFramesRepeatThePreviousPicture) {
    VideoOptions options = Options(30);
    options.droppedAt = {5, 14, 15, 27};
    OpenAvi avi;
    ASSERT_TRUE(avi.Open(Write(options)));
    ASSERT_EQ(avi.length, fixture::FileLength(options));
    std::vector<std::vector<uint8_t>> sequential;
    for (int i = 0; i < avi.length; ++i) {
        sequential.push_back(avi.Pixels(i));
        ASSERT_FALSE(sequential.back().empty()) << "position " << i;
        EXPECT_EQ(avi.Number(sequential.back()), fixture::ExpectedNumber(options, i)) << "position " << i;
    }
    EXPECT_TRUE(sequential[5] == sequential[4]);
    EXPECT_TRUE(sequential[15] == sequential[13]);
    // Key positions name chunks, the dropped ones counted. Where B-frames show before a key
    // picture (from the GOP before), the key position is the key picture's own (every 12th
    // encoded), so that a stretch begun there decodes nothing earlier.
    const std::vector<int32_t> keys = avifile::AVIStreamKeyPositions(*avi.decoder);
    ASSERT_FALSE(keys.empty());
    EXPECT_EQ(keys.front(), 0);
    for (int32_t key : keys) {
        ASSERT_LT(key, avi.length);
        EXPECT_EQ(std::count(options.droppedAt.begin(), options.droppedAt.end(), key), 0) << "key position " << key;
        if (GetParam().codec == Codec::Mpeg4BFrames)
            EXPECT_EQ(avi.Number(sequential[size_t(key)]) % 12, 0) << "key position " << key;
    }
    if (GetParam().codec == Codec::Mpeg4BFrames) EXPECT_EQ(keys.size(), 3u);
    for (int n : {33, 15, 6, 5, 14, 0, 27, 16, 4}) {
        const std::vector<uint8_t> pixels = avi.Pixels(n);
        ASSERT_TRUE(pixels == sequential[size_t(n)]) << "position " << n;
    }
}

INSTANTIATE_TEST_SUITE_P(Codecs, AviCodecTest, ::testing::ValuesIn(kCodecs), CaseName);

TEST_F(AviFileTest, VideoIsFoundBehindAnAudioStream) {
    VideoOptions options;
    options.codec = Codec::Mpeg4BFrames;
    options.frames = 24;
    options.audioFirst = true;
    OpenAvi avi;
    ASSERT_TRUE(avi.Open(Write(options)));
    avifile::StreamInfo info;
    ASSERT_EQ(avifile::AVIStreamInfo(*avi.stream, info), avifile::kOk);
    EXPECT_EQ(info.type, avifile::kStreamTypeVideo);
    EXPECT_EQ(avi.length, 24);
    for (int n : {0, 23, 7, 8, 1, 15}) {
        const std::vector<uint8_t> pixels = avi.Pixels(n);
        ASSERT_FALSE(pixels.empty()) << "frame " << n;
        EXPECT_EQ(avi.Number(pixels), n);
    }
}

// Encoders that pack B-frames leave a chunk empty for their delay; a player shows the first
// picture twice there and every later picture one place late. The packed marker is in the
// first frame only, so a first jump past it must not depend on it.
TEST_F(AviFileTest, PackedStreamShowsEachPictureInItsChunkAfterAFirstJump) {
    VideoOptions options;
    options.codec = Codec::Mpeg4Packed;
    options.frames = 40;
    options.droppedAt = {1};
    const std::string path = Write(options);
    for (int first : {30, 13, 12, 2, 40}) {
        OpenAvi avi;
        ASSERT_TRUE(avi.Open(path));
        ASSERT_EQ(avi.length, 41);
        for (int n : {first, first - 1, std::min(first + 1, 40), 0, 1, 25}) {
            const std::vector<uint8_t> pixels = avi.Pixels(n);
            ASSERT_FALSE(pixels.empty()) << "position " << n << " after " << first;
            EXPECT_EQ(avi.Number(pixels), fixture::ExpectedNumber(options, n))
                << "position " << n << " after " << first;
        }
    }
}

// A stream whose header starts its chunk count elsewhere than 0 still begins at position 0.
TEST_F(AviFileTest, StreamStartDoesNotShiftPositions) {
    for (Codec codec : {Codec::Rgb24, Codec::Mpeg4BFrames, Codec::Mpeg4Packed}) {
        VideoOptions options;
        options.codec = codec;
        options.frames = 30;
        options.droppedAt = {7};
        options.streamStart = 5;
        const std::string path = Write(options, std::string(fixture::CodecName(codec)) + ".avi");
        OpenAvi avi;
        ASSERT_TRUE(avi.Open(path));
        ASSERT_EQ(avi.length, 31);
        std::vector<std::vector<uint8_t>> sequential;
        for (int i = 0; i < avi.length; ++i) {
            sequential.push_back(avi.Pixels(i));
            ASSERT_FALSE(sequential.back().empty()) << fixture::CodecName(codec) << " position " << i;
            EXPECT_EQ(avi.Number(sequential.back()), fixture::ExpectedNumber(options, i))
                << fixture::CodecName(codec) << " position " << i;
        }
        EXPECT_TRUE(avi.Pixels(avi.length).empty());
        OpenAvi jumps;
        ASSERT_TRUE(jumps.Open(path));
        for (int n : {20, 0, 30, 7, 8, 13, 12, 1}) {
            ASSERT_TRUE(jumps.Pixels(n) == sequential[size_t(n)]) << fixture::CodecName(codec) << " position " << n;
        }
    }
}

TEST_F(AviFileTest, TruncatedFileKeepsItsLengthAndFailsPastTheDamage) {
    VideoOptions options;
    options.codec = Codec::Rgb24;
    options.frames = 20;
    const std::string valid = Write(options);
    const std::string cut = dir_.File("cut.avi");
    ASSERT_TRUE(fixture::WriteBadFile(cut, fixture::BadFile::Truncated, valid));
    OpenAvi avi;
    ASSERT_TRUE(avi.Open(cut));
    EXPECT_EQ(avi.length, 20);
    // 60 % of the file holds about 11 whole frames; the one cut in two is refused.
    EXPECT_EQ(avi.Number(avi.Pixels(3)), 3);
    EXPECT_TRUE(avi.Pixels(19).empty());
    EXPECT_TRUE(avi.Pixels(12).empty());
    EXPECT_EQ(avi.Number(avi.Pixels(0)), 0);
}

class AviBadFileTest : public AviFileTest, public ::testing::WithParamInterface<fixture::BadFile> {};

TEST_P(AviBadFileTest, FailsAndAValidOpenStillWorks) {
    VideoOptions options;
    options.codec = Codec::Mjpeg;
    options.frames = 3;
    const std::string valid = Write(options);
    const std::string bad = dir_.File("bad.avi");
    ASSERT_TRUE(fixture::WriteBadFile(bad, GetParam(), valid));

    OpenAvi broken;
    bool gotFrame = false;
    if (broken.Open(bad)) {
        // Truncated within the first frame: the file opens but no frame comes.
        for (int i = 0; i < broken.length && i < 3; ++i) gotFrame = gotFrame || !broken.Pixels(i).empty();
    }
    EXPECT_FALSE(gotFrame);

    OpenAvi avi;
    ASSERT_TRUE(avi.Open(valid));
    EXPECT_EQ(avi.Number(avi.Pixels(2)), 2);
}

INSTANTIATE_TEST_SUITE_P(Files, AviBadFileTest,
                         ::testing::Values(fixture::BadFile::Garbage, fixture::BadFile::RiffGarbage,
                                           fixture::BadFile::Text, fixture::BadFile::Png, fixture::BadFile::Mp4,
                                           fixture::BadFile::AbsurdSize, fixture::BadFile::AbsurdLength,
                                           fixture::BadFile::NoVideo, fixture::BadFile::HugeRle),
                         [](const ::testing::TestParamInfo<fixture::BadFile>& info) {
                             return std::string(fixture::BadFileName(info.param));
                         });

TEST_F(AviFileTest, AbsurdHeadersAreRefusedWhenTheStreamIsTaken) {
    VideoOptions options;
    options.frames = 3;
    const std::string valid = Write(options);
    for (auto kind : {fixture::BadFile::AbsurdSize, fixture::BadFile::AbsurdLength}) {
        const std::string bad = dir_.File(std::string(fixture::BadFileName(kind)) + ".avi");
        ASSERT_TRUE(fixture::WriteBadFile(bad, kind, valid));
        avifile::FileHandle file;
        avifile::StreamHandle stream;
        if (avifile::AVIFileOpen(file, bad) != avifile::kOk) continue;
        EXPECT_NE(avifile::AVIFileGetStream(*file, stream, avifile::kStreamTypeVideo, 0), avifile::kOk)
            << fixture::BadFileName(kind);
        EXPECT_EQ(stream, nullptr);
    }
}

}  // namespace
