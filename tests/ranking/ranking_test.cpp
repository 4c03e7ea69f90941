// SPDX-License-Identifier: GPL-2.0-or-later
// Ranking without a window: each frame's JPEG length with the options given, whole or cropped,
// and the ranking order.
#include <gtest/gtest.h>
#include <algorithm>
#include <cmath>
#include <filesystem>
#include <map>
#include <numeric>
#include <set>
#include <stdexcept>
#include <thread>

#include "framesource/frame_source.h"
#include "imaging/bitmap.h"
#include "imaging/jpeg_image.h"
#include "media/dib.h"
#include "ranking/frame_choice.h"
#include "ranking/ranking.h"
#include "ranking/stretches.h"
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
int64_t ReferenceLength(FrameSource& frameSource, int32_t frame, const RankCase& c, const QRect& cut) {
    imaging::Bitmap whole;
    if (!frameSource.LoadFrameBitmap(frame, whole)) return -1;
    imaging::Bitmap picture(c.crop ? whole.image().copy(cut) : whole.image(), imaging::PixelLayout::DeviceDependent);
    imaging::JpegImage jpeg;
    jpeg.setQuality(uint8_t(c.quality));
    jpeg.setGrayscale(c.grayscale);
    jpeg.setProgressiveEncoding(c.progressive);
    jpeg.assign(picture);
    return int64_t(jpeg.data().size());
}

// Every option of the encoder, on the video of each reader, with the window's thread alone and
// with workers: the same lengths as an encode of the frame made another way, in ranking order.
// Workers convert the decoded frames themselves, turned ones too (the turned picture is
// measured). Each open video is an object of its own: two videos open in one process and
// ranked on two threads at once give the lengths each gives alone.
TEST(Ranking, LengthsAreTheFramesJpegSizesInRankingOrderWithAnyThreadCount) {
    fixture::TempDir dir;
    FrameSource frameSource;
    const RankCase cases[] = {
        {"whole", false, 75, false, false},
        {"cropped", true, 75, false, false},
        {"grey, quality 30", true, 30, true, false},
        {"progressive, quality 95", false, 95, false, true},
        {"grey, progressive, cropped, quality 100", true, 100, true, true},
    };
    const QRect cut(10, 6, 41, 33);                                  // left, top, width, height
    std::map<std::string, std::vector<ranking::Ranked>> wholeAlone;  // by file, of the first case
    for (const fixture::ReaderVideo& video : fixture::kReaderVideos) {
        const fixture::VideoOptions options = fixture::OptionsOf(video, 96, 72, 14);
        const std::string path = dir.File(video.fileName);
        ASSERT_TRUE(fixture::WriteVideo(path, options)) << video.name;
        ASSERT_TRUE(frameSource.OpenVideo(QString::fromStdString(path))) << video.name;
        ASSERT_TRUE(frameSource.SetCropRect(cut.top(), cut.left(), cut.height(), cut.width()));

        std::vector<int32_t> frames;
        for (int32_t n = options.frames - 1; n >= 0; --n) frames.push_back(n);
        // Sharpness too is the same whatever the workers and the path.
        {
            std::vector<int32_t> inOrder(frames.rbegin(), frames.rend());
            const auto alone = ranking::RankFrames(frameSource, frames, {}, {}, 1, {}, ranking::Sharpness());
            ASSERT_EQ(alone.size(), frames.size()) << video.name;
            for (auto [threads, list] : {std::pair{5, &frames}, {2, &inOrder}, {5, &inOrder}}) {
                const auto parallel =
                    ranking::RankFrames(frameSource, *list, {}, {}, threads, {}, ranking::Sharpness());
                ASSERT_EQ(parallel.size(), alone.size()) << video.name << ", " << threads;
                for (size_t i = 0; i < alone.size(); ++i) {
                    EXPECT_EQ(parallel[i].frame, alone[i].frame) << threads;
                    EXPECT_EQ(parallel[i].value, alone[i].value) << threads;
                    EXPECT_TRUE(alone[i].value.Measured());
                }
            }
        }
        for (const RankCase& c : cases) {
            frameSource.SetCropEnabled(c.crop);
            jpeg_options::JpegOptions jpeg;
            jpeg.quality = uint8_t(c.quality);
            jpeg.grayscale = c.grayscale;
            jpeg.progressiveEncoding = c.progressive;
            const std::vector<ranking::Ranked> alone = ranking::RankFrames(frameSource, frames, jpeg, {}, 1);
            ASSERT_EQ(alone.size(), frames.size()) << video.name << ", " << c.name;
            if (&c == cases) wholeAlone[path] = alone;
            for (size_t i = 0; i < alone.size(); ++i) {
                EXPECT_EQ(alone[i].value, ranking::Value::Of(ReferenceLength(frameSource, alone[i].frame, c, cut)))
                    << video.name << ", " << c.name << ", frame " << alone[i].frame;
                if (i == 0) continue;
                const ranking::Ranked& before = alone[i - 1];
                EXPECT_TRUE(before.value.steps > alone[i].value.steps ||
                            (before.value.steps == alone[i].value.steps && before.frame < alone[i].frame))
                    << video.name << ", " << c.name << " at " << i;
            }
            // Frames in reverse go through one decoding thread; the whole video in order is read
            // in stretches by workers of their own (one stretch per worker here).
            std::vector<int32_t> inOrder(frames.rbegin(), frames.rend());
            for (auto [threads, list] :
                 {std::pair{0, &frames}, {2, &frames}, {5, &frames}, {2, &inOrder}, {5, &inOrder}}) {
                const std::vector<ranking::Ranked> parallel =
                    ranking::RankFrames(frameSource, *list, jpeg, {}, threads);
                ASSERT_EQ(parallel.size(), alone.size()) << video.name << ", " << c.name << ", " << threads;
                for (size_t i = 0; i < alone.size(); ++i) {
                    EXPECT_EQ(parallel[i].frame, alone[i].frame) << video.name << ", " << c.name << ", " << threads;
                    EXPECT_EQ(parallel[i].value, alone[i].value) << video.name << ", " << c.name << ", " << threads;
                }
            }
        }
    }

    // A stop keeps the frames measured so far, with workers too; a frame that cannot be had
    // measures nothing.
    frameSource.SetCropEnabled(false);
    for (int threads : {1, 0}) {
        const jpeg_options::JpegOptions jpeg;
        int asked = 0;
        const auto partial = ranking::RankFrames(
            frameSource, {3, 99, 5, 7}, jpeg, [&] { return ++asked <= 3; }, threads);
        ASSERT_EQ(partial.size(), 3u) << threads;
        EXPECT_EQ(partial.back().frame, 99) << threads;
        EXPECT_EQ(partial.back().value, ranking::Value::Unreadable()) << threads;
    }
    frameSource.CloseVideo();

    // An AVI and an MP4 at once, each in a frame source of its own on a thread of its own.
    std::map<std::string, std::vector<ranking::Ranked>> together;
    for (const std::string& path : {dir.File("mpeg4.avi"), dir.File("mp4.avi")}) together[path];
    std::vector<std::thread> threads;
    for (auto& [path, ranked] : together) {
        threads.emplace_back([&path = path, &ranked = ranked, &cases] {
            std::vector<int32_t> frames(14);
            std::iota(frames.begin(), frames.end(), 0);
            jpeg_options::JpegOptions jpeg;
            jpeg.quality = uint8_t(cases[0].quality);
            FrameSource source;
            if (source.OpenVideo(QString::fromStdString(path)))
                ranked = ranking::RankFrames(source, frames, jpeg, {}, 2);
        });
    }
    for (std::thread& thread : threads) thread.join();
    for (const auto& [path, ranked] : together) {
        const std::vector<ranking::Ranked>& alone = wholeAlone.at(path);
        ASSERT_EQ(ranked.size(), alone.size()) << path;
        for (size_t i = 0; i < alone.size(); ++i) {
            EXPECT_EQ(ranked[i].frame, alone[i].frame) << path << " " << i;
            EXPECT_EQ(ranked[i].value, alone[i].value) << path << " " << i;
        }
    }
}

// The two ways of running frames, one decoding thread and the stretch workers, over every
// setting and hook: the same pictures and measures, the same effect of a stop; a stretch
// worker that cannot read the video again ends the run once, reporting no frame it did not try.
TEST(Ranking, BothPathsHonourEverySettingAndAVideoGoneOrReplacedEndsTheRun) {
    fixture::TempDir dir;
    fixture::VideoOptions options;
    options.codec = fixture::Codec::Mpeg4BFrames;
    options.width = 96;
    options.height = 72;
    options.frames = 40;
    const std::string path = dir.File("clip.avi");
    ASSERT_TRUE(fixture::WriteVideo(path, options));
    options.frames = 41;  // another video, as a file written over the name would be
    ASSERT_TRUE(fixture::WriteVideo(dir.File("other.avi"), options));
    constexpr int32_t count = 40;
    std::vector<int32_t> frames(static_cast<size_t>(count));
    std::iota(frames.begin(), frames.end(), 0);

    enum class File { Kept, Removed, Replaced, CopiedOver };
    struct Case {
        const char* name;
        bool encode;
        bool keepPictures;
        bool finishAfterStop;
        int stopAfter;  // results before keepGoing says no; 0: never
        File file;
        bool keepEncodings = false;
    };
    const Case cases[] = {
        {"measured only", true, false, false, 0, File::Kept},
        {"measured, the encodings kept (JPEG files)", true, false, false, 0, File::Kept, true},
        {"encoded and kept", true, true, false, 0, File::Kept},
        {"prepared and kept (BMP files)", false, true, true, 0, File::Kept},
        {"prepared, not kept", false, false, false, 0, File::Kept},
        {"stopped, nothing after the stop", true, false, false, 5, File::Kept},
        {"stopped, finished after the stop", true, true, true, 5, File::Kept},
        {"file removed after the open", true, false, true, 0, File::Removed},
        {"another video written over the name", true, false, true, 0, File::Replaced},
        {"a copy of the same video over the name", true, false, true, 0, File::CopiedOver},
    };
    struct Outcome {
        int64_t size = 0, length = 0;
        std::vector<uint8_t> dib, jpeg;
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::filesystem::copy_file(path, dir.File("ranked.avi"), std::filesystem::copy_options::overwrite_existing);
        FrameSource source;
        ASSERT_TRUE(source.OpenVideo(QString::fromStdString(dir.File("ranked.avi"))));
        if (c.file == File::Removed) std::filesystem::remove(dir.File("ranked.avi"));
        if (c.file == File::Replaced || c.file == File::CopiedOver) {
            const std::string from = dir.File(c.file == File::Replaced ? "other.avi" : "clip.avi");
            std::filesystem::copy_file(from, dir.File("new.avi"), std::filesystem::copy_options::overwrite_existing);
            std::filesystem::rename(dir.File("new.avi"), dir.File("ranked.avi"));
        }
        ranking::RunSettings settings;
        settings.threads = 2;
        settings.encode = c.encode;
        settings.keepPictures = c.keepPictures;
        settings.keepEncodings = c.keepEncodings;
        settings.finishAfterStop = c.finishAfterStop;
        std::map<int32_t, Outcome> byPath[2];
        for (int stretches : {0, 1}) {
            SCOPED_TRACE(stretches ? "stretch workers" : "one decoding thread");
            std::map<int32_t, Outcome>& got = byPath[stretches];
            int reported = 0;
            int afterStop = 0;
            bool stopped = false;
            ranking::RunHooks hooks;
            if (c.stopAfter > 0) hooks.keepGoing = [&] { return !(stopped = stopped || reported >= c.stopAfter); };
            hooks.onResult = [&](ranking::FrameResult& r) {
                EXPECT_EQ(r.frame, frames[r.index]);
                EXPECT_TRUE(got.emplace(r.frame, Outcome{r.size, r.length, r.image.dib, r.image.jpeg}).second);
                ++reported;
                if (stopped) ++afterStop;
            };
            bool failed = false;
            try {
                if (stretches) {
                    ranking::RunStretches(source, 0, count, settings, hooks);
                } else {
                    ranking::RunFrames(source, frames, settings, hooks);
                }
            } catch (const ranking::ReopenFailure& failure) {
                failed = true;
                EXPECT_TRUE(stretches);
                EXPECT_EQ(failure.reason(), c.file == File::Removed ? ranking::ReopenFailure::Reason::CannotOpen
                                                                    : ranking::ReopenFailure::Reason::Replaced);
            }
            // The caller's reader holds the file it opened; the workers open the name again.
            const bool fails = stretches && (c.file == File::Removed || c.file == File::Replaced);
            EXPECT_EQ(failed, fails);
            if (fails) {
                EXPECT_EQ(reported, 0);  // no frame was tried, none is unreadable
                continue;
            }
            if (c.stopAfter > 0) {
                EXPECT_GE(reported, c.stopAfter);
                EXPECT_LT(reported, count);
                if (!c.finishAfterStop) {
                    EXPECT_EQ(afterStop, 0);
                }
            } else {
                EXPECT_EQ(reported, count);
            }
            for (const auto& [frame, outcome] : got) {
                EXPECT_GT(outcome.size, 0) << frame;
                EXPECT_EQ(outcome.length > 0, c.encode) << frame;
                if (c.keepPictures) {
                    EXPECT_EQ(outcome.dib.size(), sizeof(dib::BitmapInfoHeader) + size_t(96 * 3 * 72)) << frame;
                }
                if (c.keepPictures || c.keepEncodings) {
                    EXPECT_EQ(outcome.jpeg.size(), c.encode ? size_t(outcome.length) : 0u) << frame;
                }
            }
        }
        // What both paths measured, they measured alike.
        for (const auto& [frame, outcome] : byPath[1]) {
            const auto other = byPath[0].find(frame);
            if (other == byPath[0].end()) continue;
            EXPECT_EQ(outcome.size, other->second.size) << frame;
            EXPECT_EQ(outcome.length, other->second.length) << frame;
            if (c.keepPictures) EXPECT_TRUE(outcome.dib == other->second.dib) << frame;
            EXPECT_TRUE(outcome.jpeg == other->second.jpeg) << frame;
        }
    }

    // A hook before each decode on the calling thread: RunRanking takes the single reader,
    // which calls it in order before each result; the stretch workers refuse it.
    FrameSource source;
    ASSERT_TRUE(source.OpenVideo(QString::fromStdString(path)));
    ranking::RunSettings settings;
    settings.threads = 2;
    std::vector<size_t> before, results;
    ranking::RunHooks hooks;
    hooks.beforeFrame = [&](size_t index) { before.push_back(index); };
    hooks.onResult = [&](ranking::FrameResult& r) {
        EXPECT_LT(r.index, before.size());
        results.push_back(r.index);
    };
    ranking::RunRanking(source, frames, settings, hooks);
    std::vector<size_t> all(frames.size());
    std::iota(all.begin(), all.end(), 0);
    EXPECT_EQ(before, all);
    EXPECT_EQ(results, all);
    EXPECT_THROW(ranking::RunStretches(source, 0, count, settings, hooks), std::invalid_argument);
}

// Stretches hold every frame once, in order, and start at a key frame where one lies within
// reach of the even split (half a share, or as asked).
TEST(Stretches, CoverEveryFrameOnceAndStartAtNearKeys) {
    struct Case {
        const char* name;
        std::vector<int32_t> keys;
        int32_t frames;
        int parts;
        std::vector<int32_t> firsts;
        double reach = 0.5;
    };
    const Case cases[] = {
        {"no key frames but the first", {0}, 100, 4, {0, 25, 50, 75}},
        {"keys every 12 frames", {0, 12, 24, 36, 48, 60, 72, 84, 96}, 100, 4, {0, 24, 48, 72}},
        {"a key too far is not taken", {0, 90}, 100, 2, {0, 50}},
        {"a key a whole share away, in reach", {0, 90}, 100, 2, {0, 90}, 1.0},
        {"one part", {0, 10}, 37, 1, {0}},
        {"fewer frames than parts", {0}, 2, 4, {0, 0, 1, 1}},
        {"no frames", {}, 0, 3, {0, 0, 0}},
    };
    for (const Case& c : cases) {
        const std::vector<ranking::Stretch> stretches = ranking::SplitAtKeys(c.keys, c.frames, c.parts, c.reach);
        ASSERT_EQ(stretches.size(), size_t(c.parts)) << c.name;
        int32_t next = 0;
        for (size_t i = 0; i < stretches.size(); ++i) {
            EXPECT_EQ(stretches[i].first, c.firsts[i]) << c.name << " " << i;
            EXPECT_EQ(stretches[i].first, next) << c.name << " " << i;
            EXPECT_GE(stretches[i].end, stretches[i].first) << c.name << " " << i;
            next = stretches[i].end;
        }
        EXPECT_EQ(next, c.frames) << c.name;
    }
}

}  // namespace

// Videos of shots joined by hard cuts, dissolves, fades through black and wipes, and continuous
// shots (one with a flash and a light change): one scene per shot, the same with one worker and with several, and the
// best frame of each scene lies inside its shot, away from the transitions.
TEST(Scenes, OneSceneEachShotWhateverTheWorkers) {
    struct Case {
        const char* name;
        fixture::Codec codec;
        const char* container;
        int shots;
        int shotLength;
        int transitionFrames;
        bool throughBlack;
        bool wipe = false;
        int flashAt = 0;
        int lightAt = 0;
    };
    const Case cases[] = {
        {"hard cuts, MPEG-4 AVI", fixture::Codec::Mpeg4BFrames, "avi", 4, 40, 0, false},
        {"dissolves, H.264 MP4", fixture::Codec::H264, "mp4", 3, 60, 20, false},
        {"fades through black, H.264 MP4", fixture::Codec::H264, "mp4", 3, 60, 24, true},
        {"one continuous shot, H.264 MP4", fixture::Codec::H264, "mp4", 1, 150, 0, false},
        {"wipes, H.264 MP4", fixture::Codec::H264, "mp4", 3, 60, 16, false, true},
        // A flash is no cut, nor is the light going down.
        {"a flash and the light halved, H.264 MP4", fixture::Codec::H264, "mp4", 1, 150, 0, false, false, 40, 90},
    };
    fixture::TempDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fixture::VideoOptions options;
        options.codec = c.codec;
        options.container = c.container;
        options.frames = c.shots * c.shotLength;
        options.shotLength = c.shotLength;
        options.transitionFrames = c.transitionFrames;
        options.throughBlack = c.throughBlack;
        options.wipe = c.wipe;
        options.flashAt = c.flashAt;
        options.lightAt = c.lightAt;
        const std::string path = dir.File(std::string(c.name).substr(0, 4) + '.' + c.container);
        ASSERT_TRUE(fixture::WriteVideo(path, options));
        FrameSource source;
        ASSERT_TRUE(source.OpenVideo(QString::fromStdString(path)));
        std::vector<int32_t> frames(size_t(source.FrameCount()));
        std::iota(frames.begin(), frames.end(), 0);
        const double rate = 1.0 / source.FrameDuration();

        const std::vector<ranking::Ranked> alone = ranking::RankFrames(source, frames, {}, {}, 1);
        const scenes::SceneList list = ranking::ScenesOf(alone, 0, source.FrameCount(), rate);
        for (int workers : {2, 5}) {
            const auto ranked = ranking::RankFrames(source, frames, {}, {}, workers);
            EXPECT_EQ(ranking::ScenesOf(ranked, 0, source.FrameCount(), rate).cuts, list.cuts) << workers;
        }
        ASSERT_EQ(list.Count(), c.shots);
        const int half = c.transitionFrames / 2;
        for (size_t i = 0; i < list.cuts.size(); ++i) {
            const int boundary = int(i + 1) * c.shotLength;
            EXPECT_NEAR(list.cuts[i].frame, boundary, half + 2) << "cut " << i;
        }

        std::vector<frame_choice::Candidate> candidates;
        for (const ranking::Ranked& r : alone) candidates.push_back({r.frame, r.value, 0});
        const std::vector<frame_choice::Candidate> best = frame_choice::BestOfEachScene(candidates, list);
        ASSERT_EQ(int(best.size()), c.shots);
        std::set<int> shots;
        for (const frame_choice::Candidate& chosen : best) {
            const int into = chosen.frame % c.shotLength;
            EXPECT_TRUE(into >= half && into < c.shotLength - half) << chosen.frame;
            shots.insert(chosen.frame / c.shotLength);
        }
        EXPECT_EQ(int(shots.size()), c.shots);
    }
}

namespace {

// A picture as its signature would show it: greys over a wide world seen from `offset` cells
// across, in a light (`gain`, `lift`, clipped), and colours of its own that light leaves alone.
scenes::Signature Seen(int world, double offset, double gain = 1.0, double lift = 0.0) {
    scenes::Signature s{};
    for (int y = 0; y < scenes::kGreyCells; ++y) {
        for (int x = 0; x < scenes::kGreyCells; ++x) {
            const double u = x + offset;
            const double grey =
                128 + 55 * std::sin(0.7 * u + 1.3 * world + 0.4 * y) + 35 * std::cos(0.9 * y - 0.5 * u + 2.1 * world);
            s[size_t(y * scenes::kGreyCells + x)] = uint8_t(std::clamp(gain * grey + lift, 0.0, 255.0));
        }
    }
    for (size_t i = size_t(scenes::kGreyCells) * scenes::kGreyCells; i < s.size(); ++i)
        s[i] = uint8_t(128 + 20 * std::sin(0.8 * double(i) + world));
    return s;
}

// Cells of `to` over `from`: those where `inside(x, y)` holds.
template <typename Inside>
scenes::Signature Over(const scenes::Signature& from, const scenes::Signature& to, Inside inside) {
    scenes::Signature s = from;
    for (int y = 0; y < scenes::kGreyCells; ++y) {
        for (int x = 0; x < scenes::kGreyCells; ++x) {
            if (inside(x, y)) s[size_t(y * scenes::kGreyCells + x)] = to[size_t(y * scenes::kGreyCells + x)];
        }
    }
    return s;
}

}  // namespace

// The cuts found from signatures alone, in the cases that mislead: each true transition gives one
// cut inside it, and its frames, faint ends included, lie in the cut's transition; camera moves,
// flashes and light changes give none.
TEST(Scenes, CutsFromSignatures) {
    struct Transition {
        int first, end;  // its frames; first == end for a hard cut
    };
    struct Case {
        const char* name;
        std::vector<scenes::Signature> frames;
        std::vector<Transition> truth;
    };
    std::vector<Case> cases;
    const scenes::Signature black = Seen(0, 0, 0.0);
    {
        Case c{"a hard cut between two shots that drift", {}, {{60, 60}}};
        for (int f = 0; f < 120; ++f) c.frames.push_back(Seen(f < 60 ? 1 : 2, 0.01 * f));
        cases.push_back(c);
    }
    {
        // Each column switches as the edge passes it, the last one only in the wipe's last frames.
        Case c{"a wipe from the left between still shots", {}, {{52, 66}}};
        for (int f = 0; f < 120; ++f) {
            const double edge = std::clamp((f - 50) / 16.0, 0.0, 1.0) * scenes::kGreyCells;
            c.frames.push_back(Over(Seen(3, 0), Seen(4, 0), [&](int x, int) { return x + 1 <= edge; }));
        }
        cases.push_back(c);
    }
    {
        Case c{"a box closing into black, then opening on the next shot", {}, {{52, 75}}};
        for (int f = 0; f < 130; ++f) {
            const int closed = std::clamp(f - 50, 0, 5), open = std::clamp(f - 70, 0, 5);
            if (f < 60) {
                c.frames.push_back(Over(Seen(5, 0), black, [&](int x, int y) {
                    return std::min({x, y, 7 - x, 7 - y}) < closed - 1;
                }));
            } else {
                c.frames.push_back(Over(black, Seen(6, 0), [&](int x, int y) {
                    return std::max(std::abs(2 * x - 7), std::abs(2 * y - 7)) < 2 * open - 1;
                }));
            }
        }
        cases.push_back(c);
    }
    {
        // Dark and of little contrast, then darker still with its darkest greys clipped at black.
        Case c{"a light switched off and on again over a dim picture", {}, {}};
        for (int f = 0; f < 150; ++f)
            c.frames.push_back(f >= 50 && f < 100 ? Seen(7, 0, 0.06, 15) : Seen(7, 0, 0.08, 40));
        cases.push_back(c);
    }
    {
        Case c{"a flash fading out over three frames", {}, {}};
        for (int f = 0; f < 100; ++f)
            c.frames.push_back(Seen(8, 0.01 * f, 1.0, f >= 40 && f < 43 ? 150 - 50 * (f - 40) : 0));
        cases.push_back(c);
    }
    {
        // A picture twice as wide as the frame, panned across it and back again and again.
        Case c{"a camera panning to and fro", {}, {}};
        for (int f = 0; f < 200; ++f) c.frames.push_back(Seen(9, 8.0 * std::abs(std::fmod(f / 25.0, 2.0) - 1.0)));
        cases.push_back(c);
    }
    {
        // Greys of no pattern, far apart from cell to cell: each step of the slide is large.
        Case c{"a detailed picture sliding out as the next slides in", {}, {{61, 72}}};
        const auto grey = [](int world, int x, int y) {
            uint32_t h = uint32_t(world * 7919 + x * 104729 + y * 1299709 + 17);
            h ^= h >> 7;
            h *= 2654435761u;
            h ^= h >> 13;
            return 30.0 + h % 196;
        };
        for (int f = 0; f < 150; ++f) {
            const double shift = scenes::kGreyCells * std::clamp((f - 60) / 12.0, 0.0, 1.0);
            scenes::Signature s{};
            s.fill(128);
            for (int y = 0; y < scenes::kGreyCells; ++y) {
                for (int x = 0; x < scenes::kGreyCells; ++x) {
                    // Both pictures side by side, seen from `shift` cells across.
                    const auto at = [&](int u) {
                        return u < scenes::kGreyCells ? grey(1, u, y) : grey(2, u - scenes::kGreyCells, y);
                    };
                    const int u = int(x + shift);
                    const double t = x + shift - u;
                    s[size_t(y * scenes::kGreyCells + x)] = uint8_t(t > 0 ? at(u) * (1 - t) + at(u + 1) * t : at(u));
                }
            }
            c.frames.push_back(s);
        }
        cases.push_back(c);
    }
    {
        // The jump and the fade from white are seen as two stretches with no shot between.
        Case c{"a cut into white that fades into the next shot", {}, {{40, 52}}};
        const auto picture = [](int world) {
            scenes::Signature s{};
            s.fill(128);
            for (size_t i = 0; i < size_t(scenes::kGreyCells) * scenes::kGreyCells; ++i)
                s[i] = uint8_t(30 + (uint32_t(world * 7919 + int(i) * 104729) * 2654435761u >> 16) % 196);
            return s;
        };
        scenes::Signature white{};
        white.fill(128);
        std::fill_n(white.begin(), size_t(scenes::kGreyCells) * scenes::kGreyCells, uint8_t(255));
        const auto mix = [](const scenes::Signature& a, const scenes::Signature& b, double t) {
            scenes::Signature s{};
            for (size_t i = 0; i < s.size(); ++i) s[i] = uint8_t(std::lround(a[i] + t * (b[i] - a[i])));
            return s;
        };
        for (int f = 0; f < 110; ++f) {
            c.frames.push_back(f < 42 ? mix(picture(3), white, std::clamp((f - 39) * 0.45, 0.0, 1.0))
                                      : mix(white, picture(4), std::min((f - 42) / 10.0, 1.0)));
        }
        cases.push_back(c);
    }
    {
        // Two pictures shown for every three frames: every third step is nothing.
        Case c{"a pan speeding up and slowing down, each second picture shown twice", {}, {}};
        for (int f = 0; f < 200; ++f) {
            double offset = 0;
            for (int k = 0; k < f * 2 / 3; ++k) offset += k >= 60 && k < 80 ? 0.6 : 0.05;
            c.frames.push_back(Seen(20, offset));
        }
        cases.push_back(c);
    }
    {
        // Dim, flat pictures with a grain of a level: each step of the dissolve is no larger
        // than the grain's, yet it goes far further than the shots drift.
        Case c{"a dim dissolve between grainy shots held still", {}, {{101, 125}}};
        const scenes::Signature from = Seen(23, 0, 0.1, 30), to = Seen(24, 0, 0.1, 30);
        for (int f = 0; f < 250; ++f) {
            const double t = std::clamp((f - 100) / 25.0, 0.0, 1.0);
            scenes::Signature s{};
            for (size_t i = 0; i < s.size(); ++i) {
                const int grain = int((uint32_t(f * 7919 + int(i) * 104729 + 17) * 2654435761u) >> 16) % 3 - 1;
                s[i] = uint8_t(std::lround(from[i] + t * (to[i] - from[i])) + grain);
            }
            c.frames.push_back(s);
        }
        cases.push_back(c);
    }
    {
        // The edge crosses the picture fast at first, then ever slower: its last columns change
        // by little from one frame to the next, yet are the wipe's.
        Case c{"a wipe slowing to its end between detailed pictures", {}, {{52, 70}}};
        const auto grey = [](int world, int x, int y) {
            uint32_t h = uint32_t(world * 7919 + x * 104729 + y * 1299709 + 17);
            h ^= h >> 7;
            h *= 2654435761u;
            h ^= h >> 13;
            return uint8_t(30 + h % 196);
        };
        for (int f = 0; f < 140; ++f) {
            const double t = std::clamp((f - 50) / 20.0, 0.0, 1.0);
            const double edge = (1 - (1 - t) * (1 - t)) * scenes::kGreyCells;
            scenes::Signature s{};
            s.fill(128);
            for (int y = 0; y < scenes::kGreyCells; ++y) {
                for (int x = 0; x < scenes::kGreyCells; ++x)
                    s[size_t(y * scenes::kGreyCells + x)] = grey(x + 1 <= edge ? 2 : 1, x, y);
            }
            c.frames.push_back(s);
        }
        cases.push_back(c);
    }
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const scenes::SceneList list = scenes::FindScenes(c.frames, std::vector<bool>(c.frames.size(), true), 25.0);
        ASSERT_EQ(list.cuts.size(), c.truth.size());
        for (size_t i = 0; i < c.truth.size(); ++i) {
            const Transition& t = c.truth[i];
            EXPECT_GE(list.cuts[i].frame, t.first) << i;
            EXPECT_LE(list.cuts[i].frame, std::max(t.first, t.end - 1)) << i;
            for (int f = t.first; f < t.end; ++f) EXPECT_TRUE(list.InTransition(f)) << f;
            if (t.first == t.end) EXPECT_EQ(list.cuts[i].transitionFirst, list.cuts[i].transitionEnd);
        }
    }
}

// Sharpness falls each time a picture is blurred, is 0 on a flat picture and on one without
// inner pixels, and is the same on the picture read bottom-up; values print and read back exactly.
TEST(Measure, SharpnessFallsWithBlurAndValuesReadBackExactly) {
    const int w = 48, h = 32;
    std::vector<uint8_t> grey(size_t(w) * h);
    uint32_t seed = 7;
    for (uint8_t& g : grey) g = uint8_t((seed = seed * 1664525u + 1013904223u) >> 24);
    const auto sharpness = [&](const std::vector<uint8_t>& picture, int width, int height, bool bottomUp = false) {
        std::vector<uint8_t> bgr;
        for (const uint8_t g : picture) bgr.insert(bgr.end(), {g, g, g});
        const ptrdiff_t stride = 3 * width;
        return ranking::SharpnessOf(
            {width, height, bgr.data() + (bottomUp ? (height - 1) * stride : 0), bottomUp ? -stride : stride});
    };
    int64_t before = sharpness(grey, w, h);
    EXPECT_GT(before, 0);
    EXPECT_EQ(sharpness(grey, w, h, true), before);
    for (int pass = 1; pass <= 3; ++pass) {
        std::vector<uint8_t> blurred = grey;
        for (int y = 1; y + 1 < h; ++y) {
            for (int x = 1; x + 1 < w; ++x) {
                int sum = 0;
                for (int dy = -1; dy <= 1; ++dy)
                    for (int dx = -1; dx <= 1; ++dx) sum += grey[size_t(y + dy) * w + x + dx];
                blurred[size_t(y) * w + x] = uint8_t(sum / 9);
            }
        }
        grey = blurred;
        const int64_t now = sharpness(grey, w, h);
        EXPECT_LT(now, before) << pass;
        before = now;
    }
    EXPECT_EQ(sharpness(std::vector<uint8_t>(size_t(w) * h, 128), w, h), 0);
    EXPECT_EQ(sharpness({0, 255, 255, 0}, 2, 2), 0);

    const ranking::Measure& s = ranking::Sharpness();
    for (const auto& [steps, text] : {std::pair<int64_t, const char*>{12345, "123.45"}, {5, "0.05"}, {0, "0.00"}}) {
        EXPECT_EQ(s.Text(steps), text);
        int64_t back = -1;
        EXPECT_TRUE(s.FromText(text, back) && back == steps) << text;
    }
    int64_t ignored = 0;
    for (const char* bad : {"1.5", "01.00", "1e3", "-", "", "1.000", ".50", "-1.00"})
        EXPECT_FALSE(s.FromText(bad, ignored)) << bad;
    EXPECT_EQ(ranking::JpegLength().Text(2535), "2535");
    EXPECT_EQ(ranking::MeasureNamed("sharpness"), &s);
    EXPECT_EQ(ranking::MeasureNamed("blur"), nullptr);
}
