// SPDX-License-Identifier: GPL-2.0-or-later
// Files made to hurt a reader: each one opens as the program opens it (a video with its first,
// last and a middle frame, both for extraction and for the screen; a picture as "Voir Image..."
// loads it, a JPEG with each reading option) without a crash, within the time limit and without
// claiming much more memory than the largest picture it may hold. The
// files found by fuzzing are kept in tests/data/hostile; the rest are made here.
#include <gtest/gtest.h>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <functional>
#include <optional>
#include <span>

#include <sys/resource.h>

#include "base/errors.h"
#include "framesource/frame_source.h"
#include "imaging/bitmap.h"
#include "imaging/jpeg_image.h"
#include "imaging/picture_loader.h"
#include "support/fixture_pictures.h"
#include "support/fixture_video.h"

namespace {

// Loading a picture or opening a video never takes more work than this: processor time of the
// program and of the helper programs it started, since a machine shared with other work may
// stretch the time on the clock many times over. Code built with AddressSanitizer runs about
// three times slower.
#if defined(__SANITIZE_ADDRESS__)
constexpr qint64 kTimeLimitMs = 3 * 5000;
#else
constexpr qint64 kTimeLimitMs = 5000;
#endif

struct ReadingOptions {
    const char* name;
    uint8_t scale;
    uint8_t pixelFormat;
    bool grayscale;
    uint8_t performance;
    bool progressiveDisplay;
};
constexpr ReadingOptions kReadingOptions[] = {
    {"defaults", imaging::JpegImage::FullSize, imaging::JpegImage::Format24Bits, false, imaging::JpegImage::BestQuality,
     false},
    {"eighth, 8 bits", imaging::JpegImage::EighthSize, imaging::JpegImage::Format8Bits, false,
     imaging::JpegImage::BestQuality, false},
    {"grey, speed", imaging::JpegImage::HalfSize, imaging::JpegImage::Format24Bits, true, imaging::JpegImage::BestSpeed,
     false},
    {"progressive display", imaging::JpegImage::FullSize, imaging::JpegImage::Format8Bits, false,
     imaging::JpegImage::BestQuality, true},
};

// The size of the picture as the viewer would show it; nothing when there is no picture.
std::optional<QSize> ViewPicture(const QString& path, const ReadingOptions& options) {
    imaging::Picture picture;
    try {
        if (imaging::LoadPictureFile(picture, path) != imaging::LoadResult::Loaded) return std::nullopt;
        if (auto* jpeg = dynamic_cast<imaging::JpegImage*>(picture.graphic())) {
            jpeg->setScale(options.scale);
            jpeg->setPixelFormat(options.pixelFormat);
            jpeg->setGrayscale(options.grayscale);
            jpeg->setPerformance(options.performance);
            jpeg->setProgressiveDisplay(options.progressiveDisplay);
        }
        return imaging::ToViewerImage(*picture.graphic()).size();
    } catch (const errors::Error&) {
        return std::nullopt;  // shown by the error report; the program goes on
    }
}

// Whether the video opened as the window opens it; its first, last and middle frames are
// fetched both ways.
bool ViewVideo(const QString& path) {
    FrameSource frameSource;
    if (!frameSource.OpenVideo(path, {}, FrameSource::PacketChecks::BeforeEachFrame)) return false;
    const int32_t count = frameSource.FrameCount();
    imaging::Bitmap bitmap;
    for (int32_t position : {0, count - 1, count / 2}) {
        frameSource.FetchFrame(position);
        frameSource.LoadFrameBitmap(position, bitmap);
    }
    frameSource.CloseVideo();
    return true;
}

// Processor time in milliseconds of this process and of its children that have ended.
qint64 WorkDone() {
    qint64 total = 0;
    for (int who : {RUSAGE_SELF, RUSAGE_CHILDREN}) {
        rusage usage{};
        getrusage(who, &usage);
        for (const timeval& t : {usage.ru_utime, usage.ru_stime}) total += qint64(t.tv_sec) * 1000 + t.tv_usec / 1000;
    }
    return total;
}

// Megabytes of memory this process has held at most so far.
qint64 PeakMemoryMb() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return qint64(usage.ru_maxrss) / 1024;
}

// A video takes memory in proportion to what it holds (an index entry for each of millions of
// chunks), never to a size it only names: past that share, more than the largest block the
// libraries grant at once (512 MB) is a fault.
constexpr qint64 kMemoryLimitMb = 600;
constexpr qint64 kMemoryPerFileByte = 8;

qint64 Timed(const std::function<void()>& work) {
    const qint64 before = WorkDone();
    work();
    return WorkDone() - before;
}

bool IsVideo(const QString& path) {
    static const QStringList kVideoSuffixes = {"avi", "mp4", "mov", "mkv", "webm", "ts", "mpg"};
    return kVideoSuffixes.contains(QFileInfo(path).suffix().toLower());
}

// Opens the file the way its extension calls for; true when it gave a picture or a video.
bool OpenEachWay(const QString& path) {
    const std::string name = QFileInfo(path).fileName().toStdString();
    if (IsVideo(path)) {
        bool opened = false;
        const qint64 memoryBefore = PeakMemoryMb();
        EXPECT_LT(Timed([&] { opened = ViewVideo(path); }), kTimeLimitMs) << name;
        const qint64 share = kMemoryPerFileByte * QFileInfo(path).size() / (1 << 20);
        EXPECT_LT(PeakMemoryMb() - memoryBefore, kMemoryLimitMb + share) << name;
        return opened;
    }
    // The reading options matter to JPEG pictures only.
    const QString suffix = QFileInfo(path).suffix().toLower();
    const bool jpeg = suffix == "jpg" || suffix == "jpeg";
    bool shown = false;
    for (const ReadingOptions& options : std::span(kReadingOptions).first(jpeg ? std::size(kReadingOptions) : 1)) {
        std::optional<QSize> size;
        EXPECT_LT(Timed([&] { size = ViewPicture(path, options); }), kTimeLimitMs) << name << ", " << options.name;
        shown = shown || size.has_value();
    }
    return shown;
}

class HostileFiles : public ::testing::Test {
protected:
    QString Write(const QString& name, const QByteArray& bytes) {
        QFile file(dir_.filePath(name));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
        return file.fileName();
    }

    QTemporaryDir dir_;
};

}  // namespace

TEST_F(HostileFiles, MadeOnesAreRefusedOrReadInTime) {
    fixture::VideoOptions options;
    options.codec = fixture::Codec::Mjpeg;
    options.frames = 3;
    const std::string valid = dir_.filePath("valid.avi").toStdString();
    ASSERT_TRUE(fixture::WriteVideo(valid, options));
    const auto badAvi = [&](fixture::BadFile kind) {
        const std::string path = dir_.filePath(QString(fixture::BadFileName(kind)) + ".avi").toStdString();
        EXPECT_TRUE(fixture::WriteBadFile(path, kind, valid));
        return QString::fromStdString(path);
    };

    struct {
        QString path;
        bool opens;
    } const cases[] = {
        // The lists go deeper than any call stack; the video before them still plays.
        {badAvi(fixture::BadFile::NestedLists), true},
        // Millions of undecodable frames: indexed at the open, never decoded on to the end.
        {badAvi(fixture::BadFile::ManyChunks), true},
        // 16384 x 8192 pixels claimed by a file whose frames are a few kilobytes.
        {badAvi(fixture::BadFile::HugeRle), false},
        // 16384 x 16384 pixels: over the JPEG limit.
        {Write("huge.jpg", fixture::MakeJpegClaiming(16384, 16384)), false},
        {Write("at-the-limit.jpg", fixture::MakeJpegClaiming(8192, 8192)), true},
        {Write("every-scan.jpg", fixture::MakeJpegOfEveryScan(64, 48)), false},
        // 2000 rectangles of 8191 x 8191 pixels: drawing them outlasts the helper's time.
        {Write("shapes.emf", fixture::MakeEmf(8191, 8191, 2000)), false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(OpenEachWay(c.path), c.opens) << c.path.toStdString();
    }
}

TEST_F(HostileFiles, FoundByFuzzingAreReadInTime) {
    const QDir data(ORVEXA_HOSTILE_DATA_DIR);
    const QStringList files = data.entryList(QDir::Files, QDir::Name);
    ASSERT_FALSE(files.isEmpty()) << data.path().toStdString();
    for (const QString& name : files) OpenEachWay(data.filePath(name));
}
