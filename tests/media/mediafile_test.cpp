// SPDX-License-Identifier: GPL-2.0-or-later
// Videos other than AVI: every position gives the picture that FFmpeg's own sequential decode
// presents at that place, in any order of access, over the containers and their hard cases;
// files that are no video fail quickly.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <fstream>
#include <iterator>
#include <optional>
#include <random>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>

#include "media/dib.h"
#include "media/file_identity.h"
#include "media/index_store.h"
#include "media/mediafile.h"
#include "support/fixture_video.h"

namespace {

using fixture::Codec;
using fixture::VideoOptions;

struct ContainerCase {
    const char* name;
    Codec codec;
    const char* container;
    const char* extension;
    int width;
    int height;
    bool openGop;
    bool variableRate;
    int clockwise;
    int cutAt;
    bool mirrored = false;
};

const ContainerCase kCases[] = {
    {"Mp4BFrames", Codec::H264, "mp4", "mp4", 160, 120, false, false, 0, 0},
    {"Mp4OpenGop", Codec::H264, "mp4", "mp4", 160, 120, true, false, 0, 0},
    {"Mp4EditListCut", Codec::H264, "mp4", "mp4", 160, 120, true, false, 0, 17},
    {"MovEditListCut", Codec::H264, "mov", "mov", 160, 120, false, false, 0, 5},
    {"Mp4VariableRate", Codec::H264, "mp4", "mp4", 160, 120, false, true, 0, 0},
    {"Mp4Turned90", Codec::H264, "mp4", "mp4", 160, 96, false, false, 90, 0},
    {"Mp4Turned270", Codec::H264, "mp4", "mp4", 162, 96, false, false, 270, 0},
    {"Mp4Turned180", Codec::H264, "mp4", "mp4", 160, 96, false, false, 180, 0},
    {"Mkv10Bit", Codec::H264High10, "matroska", "mkv", 160, 120, false, false, 0, 0},
    {"MkvOddWidth", Codec::H264, "matroska", "mkv", 166, 120, true, false, 0, 0},
    {"MpegTs", Codec::H264, "mpegts", "ts", 160, 120, false, false, 0, 0},
    {"WebmVp9", Codec::Vp9, "webm", "webm", 160, 120, false, false, 0, 0},
    {"Mp4Mirrored", Codec::H264, "mp4", "mp4", 160, 96, false, false, 0, 0, true},
    {"Mp4Turned90Mirrored", Codec::H264, "mp4", "mp4", 160, 96, false, false, 90, 0, true},
    // Indexed from the sample tables, without reading the pictures' data.
    {"Mp4Mpeg4FromTables", Codec::Mpeg4BFrames, "mp4", "mp4", 160, 120, false, false, 0, 0},
    {"MovMjpegFromTables", Codec::Mjpeg, "mov", "mov", 160, 120, false, false, 0, 5},
};

void PrintTo(const ContainerCase& c, std::ostream* out) { *out << c.name; }

constexpr int kFrames = 40;

class MediaFileTest : public ::testing::TestWithParam<ContainerCase> {
protected:
    VideoOptions Options() const {
        const ContainerCase& c = GetParam();
        VideoOptions options;
        options.codec = c.codec;
        options.container = c.container;
        options.width = c.width;
        options.height = c.height;
        options.frames = kFrames;
        options.openGop = c.openGop;
        options.variableRate = c.variableRate;
        options.clockwise = c.clockwise;
        options.cutAt = c.cutAt;
        options.mirrored = c.mirrored;
        return options;
    }

    std::string Write() {
        const std::string path = dir_.File(std::string("clip.") + GetParam().extension);
        EXPECT_TRUE(fixture::WriteVideo(path, Options())) << GetParam().name;
        return path;
    }

    static std::vector<uint8_t> Pixels(media::MediaFile& file, int position) {
        const uint8_t* dib = file.Frame(position);
        if (!dib) return {};
        const size_t bytes = size_t(dib::ImageSize(file.Width(), file.Height(), 24));
        return std::vector<uint8_t>(dib + sizeof(dib::BitmapInfoHeader), dib + sizeof(dib::BitmapInfoHeader) + bytes);
    }

    fixture::TempDir dir_;
};

TEST_P(MediaFileTest, EveryPositionInAnyOrderIsTheSequentiallyDecodedPicture) {
    const ContainerCase& c = GetParam();
    const std::string path = Write();
    const fixture::Decoded reference = fixture::DecodeSequentially(path, {c.clockwise, c.mirrored});
    // An edit list presents fewer pictures than the file stores.
    ASSERT_EQ(int(reference.pictures.size()), kFrames - c.cutAt);

    // Opened as a ranking opens it: an H.264 MP4 or MOV from its tables, its packets looked into
    // as they are read, which reading every position does.
    std::unique_ptr<media::MediaFile> file = media::MediaFile::Open(path, {}, media::PacketChecks::InOrder);
    ASSERT_NE(file, nullptr);
    ASSERT_EQ(file->FrameCount(), kFrames - c.cutAt);
    const bool sideways = c.clockwise == 90 || c.clockwise == 270;
    EXPECT_EQ(file->Width(), sideways ? c.height : c.width);
    EXPECT_EQ(file->Height(), sideways ? c.width : c.height);
    ASSERT_EQ(file->Width(), reference.width);
    const int stride = int(dib::RowStride(file->Width(), 24));

    for (int n = 0; n < file->FrameCount(); ++n) {
        const std::vector<uint8_t> pixels = Pixels(*file, n);
        ASSERT_TRUE(pixels == reference.pictures[size_t(n)]) << "position " << n << " read in order";
        if (c.clockwise == 0 && !c.mirrored) {
            EXPECT_EQ(fixture::ReadFrameNumber(pixels.data(), file->Width(), file->Height(), stride), c.cutAt + n);
        }
    }
    EXPECT_EQ(file->PacketsFound(), media::PacketsState::Whole);
    if (c.mirrored && c.clockwise == 0) {
        // Mirrored left to right: each row holds the stored picture's pixels from the right.
        const std::vector<uint8_t> stored = fixture::DecodeSequentially(path, 0).pictures[0];
        const std::vector<uint8_t> shown = Pixels(*file, 0);
        const int width = file->Width();
        for (int y = 0; y < file->Height(); ++y) {
            for (int x = 0; x < width; ++x) {
                ASSERT_EQ(std::memcmp(&shown[size_t(y * stride + 3 * x)],
                                      &stored[size_t(y * stride + 3 * (width - 1 - x))], 3),
                          0)
                    << x << "," << y;
            }
        }
    }
    EXPECT_EQ(file->Frame(file->FrameCount()), nullptr) << "one past the last";
    EXPECT_EQ(file->Frame(-1), nullptr);

    // Backward jumps, jumps to pictures shown before their key frame, repeats and the ends,
    // through a freshly opened file.
    const int last = file->FrameCount() - 1;
    std::vector<int> order = {last, 0, 13, 12, 11, 10, 1, 2, 25, 24, 23, last - 1, last, 9, 9, 22, 14, 3};
    std::mt19937 random(11);
    for (int i = 0; i < 30; ++i) order.push_back(int(random() % unsigned(last + 1)));
    file = media::MediaFile::Open(path);
    ASSERT_NE(file, nullptr);
    for (int n : order) {
        n = std::min(n, last);
        ASSERT_TRUE(Pixels(*file, n) == reference.pictures[size_t(n)]) << "position " << n << " after a jump";
    }

    // The screen's pixels have the colours of the 24-bit frame.
    std::vector<uint32_t> screen(size_t(file->Width()) * file->Height());
    ASSERT_TRUE(file->FrameDisplay(5, reinterpret_cast<uint8_t*>(screen.data()), int64_t(file->Width()) * 4));
    const std::vector<uint8_t>& rows = reference.pictures[5];
    for (int y = 0; y < file->Height(); ++y) {
        const uint8_t* row = rows.data() + (file->Height() - 1 - y) * stride;
        for (int x = 0; x < file->Width(); ++x) {
            const uint32_t expected =
                0xFF000000u | uint32_t(row[3 * x + 2]) << 16 | uint32_t(row[3 * x + 1]) << 8 | row[3 * x];
            ASSERT_EQ(screen[size_t(y) * file->Width() + x], expected) << x << "," << y;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Containers, MediaFileTest, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<ContainerCase>& info) {
                             return std::string(info.param.name);
                         });

class MediaFileBadTest : public ::testing::Test {
protected:
    fixture::TempDir dir_;
};

// A stream cut short gives the pictures it holds, exactly; one cut before its first picture
// and files that are no video are refused, fast.
TEST_F(MediaFileBadTest, CutFilesGiveWhatTheyHoldAndOthersAreRefusedFast) {
    VideoOptions options;
    options.codec = Codec::H264;
    options.container = "mpegts";
    options.frames = kFrames;
    const std::string whole = dir_.File("whole.ts");
    ASSERT_TRUE(fixture::WriteVideo(whole, options));
    std::ifstream in(whole, std::ios::binary);
    const std::vector<char> bytes(std::istreambuf_iterator<char>(in), {});
    const std::string cut = dir_.File("cut.ts");
    std::ofstream(cut, std::ios::binary).write(bytes.data(), std::streamsize(bytes.size() * 6 / 10));

    const fixture::Decoded reference = fixture::DecodeSequentially(cut, 0);
    ASSERT_GT(reference.pictures.size(), 5u);
    ASSERT_LT(reference.pictures.size(), size_t(kFrames));
    std::unique_ptr<media::MediaFile> file = media::MediaFile::Open(cut);
    ASSERT_NE(file, nullptr);
    ASSERT_EQ(file->FrameCount(), int(reference.pictures.size()));
    for (int n = file->FrameCount() - 1; n >= 0; n -= 3) {
        const uint8_t* dib = file->Frame(n);
        ASSERT_NE(dib, nullptr) << n;
        ASSERT_EQ(std::memcmp(dib + 40, reference.pictures[size_t(n)].data(), reference.pictures[size_t(n)].size()), 0)
            << n;
    }

    VideoOptions audio;
    audio.video = false;
    audio.container = "matroska";
    const std::string audioOnly = dir_.File("audio.mka");
    ASSERT_TRUE(fixture::WriteVideo(audioOnly, audio));
    const std::string head = dir_.File("head.mp4");
    VideoOptions mp4 = options;
    mp4.container = "mp4";
    ASSERT_TRUE(fixture::WriteVideo(whole + ".mp4", mp4));
    {
        std::ifstream mp4In(whole + ".mp4", std::ios::binary);
        const std::vector<char> mp4Bytes(std::istreambuf_iterator<char>(mp4In), {});
        std::ofstream(head, std::ios::binary).write(mp4Bytes.data(), std::streamsize(mp4Bytes.size() / 2));
    }
    const std::string valid = dir_.File("valid.avi");
    ASSERT_TRUE(fixture::WriteVideo(valid, VideoOptions{}));
    std::vector<std::string> refused = {audioOnly, head, dir_.File("missing.mp4")};
    for (fixture::BadFile kind : {fixture::BadFile::Garbage, fixture::BadFile::Text, fixture::BadFile::Png}) {
        refused.push_back(dir_.File(fixture::BadFileName(kind)));
        ASSERT_TRUE(fixture::WriteBadFile(refused.back(), kind, valid));
    }
    for (const std::string& path : refused) {
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(media::MediaFile::Open(path), nullptr) << path;
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2)) << path;
    }
}

TEST_F(MediaFileBadTest, IndexingCanBeCancelled) {
    VideoOptions options;
    options.codec = Codec::Mjpeg;
    options.container = "matroska";
    options.frames = 400;
    const std::string path = dir_.File("long.mkv");
    ASSERT_TRUE(fixture::WriteVideo(path, options));
    int told = 0;
    const auto cancel = [&](int percent) {
        EXPECT_GE(percent, 0);
        EXPECT_LE(percent, 100);
        ++told;
        return false;
    };
    EXPECT_EQ(media::MediaFile::Open(path, cancel), nullptr);
    EXPECT_EQ(told, 1);
    int lastPercent = -1;
    EXPECT_NE(media::MediaFile::Open(path, [&](int percent) { return (lastPercent = percent) >= 0; }), nullptr);
    EXPECT_GE(lastPercent, 0);
}

namespace recordings {

using Bytes = std::vector<char>;

Bytes Read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

void Write(const std::string& path, const Bytes& bytes) {
    std::ofstream(path, std::ios::binary).write(bytes.data(), std::streamsize(bytes.size()));
}

constexpr size_t kTsPacket = 188;

Bytes Joined(const Bytes& b) {
    Bytes twice = b;
    twice.insert(twice.end(), b.begin(), b.end());
    return twice;
}

Bytes FromAThird(const Bytes& b) {
    return Bytes(b.begin() + std::ptrdiff_t(b.size() / 3 / kTsPacket * kTsPacket), b.end());
}

// Every `every`-th transport packet written twice (copies = 2) or left out (copies = 0).
Bytes EveryNthPacket(const Bytes& b, size_t every, int copies) {
    Bytes out;
    for (size_t at = 0, n = 0; at + kTsPacket <= b.size(); at += kTsPacket, ++n) {
        const int times = n % every == every - 1 ? copies : 1;
        for (int i = 0; i < times; ++i)
            out.insert(out.end(), b.begin() + std::ptrdiff_t(at), b.begin() + std::ptrdiff_t(at + kTsPacket));
    }
    return out;
}

uint32_t Big32(const Bytes& b, size_t at) {
    return uint32_t(uint8_t(b[at])) << 24 | uint32_t(uint8_t(b[at + 1])) << 16 | uint32_t(uint8_t(b[at + 2])) << 8 |
           uint8_t(b[at + 3]);
}

void PutBig32(Bytes& b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + size_t(i)] = char(v >> (24 - 8 * i));
}

// A table of an MP4's sample table found by its name: the offset of its first entry and their count.
size_t TableEntries(const Bytes& b, const std::string& name, uint32_t& count) {
    const auto found = std::search(b.begin(), b.end(), name.begin(), name.end());
    if (found == b.end()) return 0;
    const auto at = size_t(found - b.begin());
    count = Big32(b, at + 8);
    return at + 12;
}

// Two pictures given the same presentation time: a sample's composition offset set so that it
// is shown when the next one is (one sample duration further).
Bytes SharedPresentationTime(const Bytes& b) {
    Bytes out = b;
    uint32_t count = 0, durations = 0;
    const size_t offsets = TableEntries(out, "ctts", count);
    const size_t times = TableEntries(out, "stts", durations);
    if (!offsets || !times) return {};
    const uint32_t duration = Big32(out, times + 4);
    for (uint32_t k = 3; k + 1 < count; ++k) {
        const size_t at = offsets + 8 * k;
        if (Big32(out, at) == 1 && Big32(out, at + 8) == 1 && Big32(out, at + 4) != Big32(out, at + 12) + duration) {
            PutBig32(out, at + 4, Big32(out, at + 12) + duration);
            return out;
        }
    }
    return {};
}

// Every presentation time one tick after the decode time, which hides the B-frames' order.
Bytes PresentedOneTickAfterDecoded(const Bytes& b) {
    Bytes out = b;
    uint32_t count = 0;
    const size_t offsets = TableEntries(out, "ctts", count);
    if (!offsets) return {};
    for (uint32_t k = 0; k < count; ++k) PutBig32(out, offsets + 8 * k + 4, 1);
    return out;
}

// The second sync sample moved onto a picture that refers to earlier ones: a "key" that a decode
// cannot start from, as a key picture whose parameter sets were sent before it.
Bytes SyncSampleThatIsNone(const Bytes& b) {
    Bytes out = b;
    uint32_t count = 0;
    const size_t samples = TableEntries(out, "stss", count);
    if (!samples || count < 3) return {};
    PutBig32(out, samples + 4, Big32(out, samples + 4) + 5);
    return out;
}

// 4 KB of noise a third of the way into the file.
Bytes Damaged(const Bytes& b) {
    Bytes out = b;
    std::mt19937 random(3);
    for (size_t i = 0; i < 4096 && b.size() / 3 + i < out.size(); ++i) out[b.size() / 3 + i] = char(random());
    return out;
}

}  // namespace recordings

using recordings::Bytes;

struct RecordingCase {
    const char* name;
    Codec codec;
    const char* container;
    const char* extension;
    Bytes (*edit)(const Bytes&);
    // The file's times give the order of its pictures (joined recordings' piece by piece): it
    // opens without a decode of the whole stream.
    bool ordersByTimes;
    // A recording of this codec joined after the edited one: the decoder starts again at the join.
    std::optional<Codec> thenJoined = std::nullopt;
};

Bytes Unchanged(const Bytes& b) { return b; }

const RecordingCase kRecordings[] = {
    {"DvdTitlesJoined", Codec::Mpeg2, "vob", "mpg", recordings::Joined, true},
    {"BroadcastJoined", Codec::Mpeg2, "mpegts", "ts", recordings::Joined, true},
    {"CameraTsJoined", Codec::H264, "mpegts", "ts", recordings::Joined, true},
    {"CameraTsJoinedTo10Bit", Codec::H264, "mpegts", "ts", Unchanged, true, Codec::H264High10},
    {"BroadcastWithoutBFrames", Codec::Mpeg2Plain, "mpegts", "ts", Unchanged, true},
    {"BroadcastWithoutBFramesJoined", Codec::Mpeg2Plain, "mpegts", "ts", recordings::Joined, true},
    {"BroadcastCutInsideAGop", Codec::Mpeg2, "mpegts", "ts", recordings::FromAThird, true},
    {"TsPacketsRepeated", Codec::H264, "mpegts", "ts",
     [](const Bytes& b) { return recordings::EveryNthPacket(b, 20, 2); }, false},
    {"TsPacketsLost", Codec::Mpeg2, "mpegts", "ts", [](const Bytes& b) { return recordings::EveryNthPacket(b, 53, 0); },
     false},
    {"Mp4TwoPicturesOneTime", Codec::H264, "mp4", "mp4", recordings::SharedPresentationTime, false},
    {"Mp4TimesHideReordering", Codec::H264, "mp4", "mp4", recordings::PresentedOneTickAfterDecoded, false},
    {"Mp4Damaged", Codec::H264, "mp4", "mp4", recordings::Damaged, false},
    {"Mp4SyncSampleThatIsNone", Codec::H264, "mp4", "mp4", recordings::SyncSampleThatIsNone, true},
};

void PrintTo(const RecordingCase& c, std::ostream* out) { *out << c.name; }

class RecordingTest : public ::testing::TestWithParam<RecordingCase> {
protected:
    fixture::TempDir dir_;
};

// Joined, cut, edited and damaged recordings present the pictures that a decode of the whole
// file presents, each position the same picture in any order of access.
TEST_P(RecordingTest, EveryPositionIsThePictureOfADecodeFromTheStart) {
    const RecordingCase& c = GetParam();
    VideoOptions options;
    options.codec = c.codec;
    options.container = c.container;
    options.frames = 60;
    const std::string whole = dir_.File(std::string("whole.") + c.extension);
    ASSERT_TRUE(fixture::WriteVideo(whole, options));
    recordings::Bytes edited = c.edit(recordings::Read(whole));
    if (c.thenJoined) {
        options.codec = *c.thenJoined;
        const std::string then = dir_.File(std::string("then.") + c.extension);
        ASSERT_TRUE(fixture::WriteVideo(then, options));
        const recordings::Bytes second = recordings::Read(then);
        edited.insert(edited.end(), second.begin(), second.end());
    }
    ASSERT_FALSE(edited.empty()) << "the edit found nothing to change";
    const std::string path = dir_.File(std::string("edited.") + c.extension);
    recordings::Write(path, edited);

    const fixture::Decoded reference = fixture::DecodeSequentially(path, 0);
    ASSERT_GT(reference.pictures.size(), 10u);
    std::unique_ptr<media::MediaFile> file = media::MediaFile::Open(path);
    ASSERT_NE(file, nullptr);
    ASSERT_EQ(file->FrameCount(), int(reference.pictures.size()));
    EXPECT_EQ(file->OrderedByTimes(), c.ordersByTimes);
    std::vector<int> order(size_t(file->FrameCount()));
    for (size_t i = 0; i < order.size(); ++i) order[i] = int(i);
    std::shuffle(order.begin(), order.end(), std::mt19937(7));
    double lastTime = -1;
    for (int n : order) {
        const uint8_t* dib = file->Frame(n);
        ASSERT_NE(dib, nullptr) << n;
        ASSERT_EQ(std::memcmp(dib + sizeof(dib::BitmapInfoHeader), reference.pictures[size_t(n)].data(),
                              reference.pictures[size_t(n)].size()),
                  0)
            << "position " << n;
    }
    for (int n = 0; n < file->FrameCount(); ++n) {
        EXPECT_GT(file->FrameTime(n), lastTime) << n;
        lastTime = file->FrameTime(n);
    }
}

INSTANTIATE_TEST_SUITE_P(Recordings, RecordingTest, ::testing::ValuesIn(kRecordings),
                         [](const ::testing::TestParamInfo<RecordingCase>& info) {
                             return std::string(info.param.name);
                         });

// A saved index is taken only when it is whole, unaltered and the file's own: whatever was
// done to the saved file, or to the video, every position gives the picture of a fresh open.
TEST(SavedIndexTest, OnlyAnIntactIndexOfTheSameFileIsTaken) {
    fixture::TempDir dir;
    media::index_store::SetDirectory(dir.File("index"));
    struct Video {
        const char* name;
        Codec codec;
        const char* container;
        recordings::Bytes (*edit)(const recordings::Bytes&);
    };
    const Video videos[] = {
        {"clean.mp4", Codec::H264, "mp4", nullptr},
        {"tables.mp4", Codec::Mpeg4BFrames, "mp4", nullptr},
        {"joined.ts", Codec::H264, "mpegts", recordings::Joined},
        {"damaged.mp4", Codec::H264, "mp4", recordings::Damaged},
        // Its first packets' decode times depend on how far the demuxer probed.
        {"clean.mkv", Codec::H264, "matroska", nullptr},
    };
    // The saved index, another video's saved index, the video, the other video.
    using Tamper = void (*)(const std::string& index, const std::string& other, const std::string& video,
                            const std::string& otherVideo);
    const std::pair<const char*, Tamper> tampers[] = {
        {"untouched", [](const std::string&, const std::string&, const std::string&, const std::string&) {}},
        {"cut short",
         [](const std::string& index, const std::string&, const std::string&, const std::string&) {
             auto b = recordings::Read(index);
             b.resize(b.size() * 2 / 3);
             recordings::Write(index, b);
         }},
        {"a bit flipped in the header",
         [](const std::string& index, const std::string&, const std::string&, const std::string&) {
             auto b = recordings::Read(index);
             b[20] = char(b[20] ^ 4);
             recordings::Write(index, b);
         }},
        {"a bit flipped in the packets",
         [](const std::string& index, const std::string&, const std::string&, const std::string&) {
             auto b = recordings::Read(index);
             b[b.size() / 2] = char(b[b.size() / 2] ^ 1);
             recordings::Write(index, b);
         }},
        {"another video's index put in its place",
         [](const std::string& index, const std::string& other, const std::string&, const std::string&) {
             recordings::Write(index, recordings::Read(other));
         }},
        {"another video's index, whole and signed, but made elsewhere",
         [](const std::string& index, const std::string&, const std::string& video, const std::string& otherVideo) {
             // The next video of the table (of the same codec and size for some), saved for this
             // one in another folder, with that folder's key.
             using media::index_store::Kind;
             const auto identity = media::IdentityOfPath(video);
             const auto otherIdentity = media::IdentityOfPath(otherVideo);
             ASSERT_TRUE(identity && otherIdentity);
             const auto other = media::index_store::Load(Kind::Packets, *otherIdentity, 0);
             ASSERT_TRUE(other);
             const std::string here = media::index_store::Directory();
             media::index_store::SetDirectory(here + "-elsewhere");
             ASSERT_TRUE(media::index_store::Save(Kind::Packets, *identity, 0, *other));
             recordings::Write(index, recordings::Read(media::index_store::PathOf(Kind::Packets, *identity, 0)));
             media::index_store::SetDirectory(here);
         }},
        {"the video replaced by another of the same size and time",
         [](const std::string&, const std::string& other, const std::string& video, const std::string&) {
             struct stat before {};
             ASSERT_EQ(stat(video.c_str(), &before), 0);
             auto b = recordings::Read(video);
             auto replacement = recordings::Read(other);
             replacement.resize(b.size(), '\0');
             recordings::Write(video, replacement);
             const timespec times[2] = {before.st_atim, before.st_mtim};
             ASSERT_EQ(utimensat(AT_FDCWD, video.c_str(), times, 0), 0);
         }},
    };
    std::vector<std::string> paths;
    for (const Video& v : videos) {
        VideoOptions options;
        options.codec = v.codec;
        options.container = v.container;
        options.frames = 48;
        const std::string path = dir.File(v.name);
        ASSERT_TRUE(fixture::WriteVideo(path, options)) << v.name;
        if (v.edit) recordings::Write(path, v.edit(recordings::Read(path)));
        paths.push_back(path);
    }
    for (size_t i = 0; i < paths.size(); ++i) {
        for (const auto& [what, tamper] : tampers) {
            SCOPED_TRACE(std::string(videos[i].name) + ", " + what);
            const std::string path = dir.File(std::string("copy-") + videos[i].name);
            recordings::Write(path, recordings::Read(paths[i]));
            const std::string otherVideo = paths[(i + 1) % paths.size()];
            {
                // The fresh open saves the indexes of both.
                ASSERT_NE(media::MediaFile::Open(otherVideo), nullptr);
                ASSERT_NE(media::MediaFile::Open(path), nullptr);
            }
            media::index_store::ForgetKept();
            const auto identity = media::IdentityOfPath(path);
            const auto otherIdentity = media::IdentityOfPath(otherVideo);
            ASSERT_TRUE(identity && otherIdentity);
            const std::string index = media::index_store::PathOf(media::index_store::Kind::Packets, *identity, 0);
            ASSERT_TRUE(media::index_store::HasSaved(*identity));
            tamper(index, media::index_store::PathOf(media::index_store::Kind::Packets, *otherIdentity, 0), path,
                   otherVideo);
            const fixture::Decoded reference = fixture::DecodeSequentially(path, 0);
            std::unique_ptr<media::MediaFile> file = media::MediaFile::Open(path);
            // A replacement cut to the size may hold no video at all, for a fresh open too.
            ASSERT_EQ(file == nullptr, reference.pictures.empty());
            if (!file) continue;
            ASSERT_EQ(file->FrameCount(), int(reference.pictures.size()));
            for (int n = file->FrameCount() - 1; n >= 0; n -= 5) {
                const uint8_t* dib = file->Frame(n);
                ASSERT_NE(dib, nullptr) << n;
                ASSERT_EQ(std::memcmp(dib + sizeof(dib::BitmapInfoHeader), reference.pictures[size_t(n)].data(),
                                      reference.pictures[size_t(n)].size()),
                          0)
                    << "position " << n;
            }
            file.reset();
            media::index_store::ForgetKept();
        }
    }
    media::index_store::SetDirectory({});
}

}  // namespace
