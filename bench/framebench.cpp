// SPDX-License-Identifier: GPL-2.0-or-later
// Frame fetch speed through the frame source, for every kind of video it opens: the time the
// open takes (for videos other than AVI, their indexing), the sequential rate over the whole
// file and the cost of random jumps. With --dump N OUT.bmp (repeatable) it writes frames as BMP files
// instead, fetched in the order given. With --versus-ffmpeg [EVERY] it sets the open against
// FFmpeg's demux of the stream, `orvexa-batch extract --percent 100` against FFmpeg's decode (on a
// first open, no index saved, and again on the index saved), and the extraction of every EVERY-th frame (default 1)
// against FFmpeg writing them as JPEG files;
// `--batch PROGRAM` runs another orvexa-batch than the one beside it (a build to compare with).
// With --exact it checks every position, in order and then in a random order, against the
// pictures of FFmpeg's own decode of the whole file, and prints the open's time; the video is
// opened as the window opens it (an H.264 MP4 from its tables, the packets that can move a frame
// looked into before it: damage found changes the count during the pass, which says where).
#include <sys/resource.h>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "framesource/frame_source.h"
#include "support/fixture_video.h"

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point since) { return std::chrono::duration<double>(Clock::now() - since).count(); }

bool WriteBmp(const FrameSource& source, const std::string& path) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    const dib::BitmapFileHeader& header = source.FrameFileHeader();
    out.write(reinterpret_cast<const char*>(&header), sizeof header);
    out.write(reinterpret_cast<const char*>(source.DecodedFrame()),
              std::streamsize(sizeof(dib::BitmapInfoHeader) + size_t(source.FrameImageSize())));
    return bool(out);
}

int Usage() {
    std::fprintf(stderr,
                 "usage: framebench FILE [--dump N OUT.bmp]... | framebench FILE --versus-ffmpeg [EVERY] [--batch "
                 "PROGRAM] | framebench FILE --exact\n");
    return 2;
}

// The processor time of the programs run so far.
double ChildrenSeconds() {
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    const auto seconds = [](const timeval& t) { return double(t.tv_sec) + double(t.tv_usec) / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// The wall time a program takes, or a negative time when it fails; its processor time is printed
// too, since other work on the machine stretches the wall time of niced workers most.
double Run(const QString& program, const QStringList& arguments) {
    const double processor = ChildrenSeconds();
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.setStandardOutputFile(QProcess::nullDevice());
    QElapsedTimer timer;
    timer.start();
    process.start(program, arguments);
    if (!process.waitForFinished(-1) || process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        std::fprintf(stderr, "%s failed\n", qPrintable(program));
        return -1;
    }
    const double wall = double(timer.nsecsElapsed()) / 1e9;
    std::printf("  %s %s: %.3f s, processor %.3f s\n", qPrintable(QFileInfo(program).fileName()),
                qPrintable(arguments.value(0) == "-v" ? arguments.mid(6, 2).join(' ') : arguments.value(0)), wall,
                ChildrenSeconds() - processor);
    return wall;
}

int VersusFfmpeg(const QString& file, int every, QString batch) {
    if (batch.isEmpty()) batch = QCoreApplication::applicationDirPath() + QStringLiteral("/orvexa-batch");
    QTemporaryDir ours;
    QTemporaryDir theirs;
    if (!ours.isValid() || !theirs.isValid()) return 1;
    const QStringList input{QStringLiteral("-v"),   QStringLiteral("error"), QStringLiteral("-i"), file,
                            QStringLiteral("-map"), QStringLiteral("0:v:0")};
    const double demux = Run(QStringLiteral("ffmpeg"), input + QStringList{"-c", "copy", "-f", "null", "-"});
    FrameSource source;
    const Clock::time_point opening = Clock::now();
    if (!source.OpenVideo(file)) return 1;
    const double open = Seconds(opening);
    const int count = source.FrameCount();
    source.CloseVideo();
    std::printf("open: %.3f s, FFmpeg's demux (-c copy): %.3f s, %.2fx (%d frames)\n", open, demux,
                demux > 0 ? open / demux : 0.0, count);

    const double decode = Run(QStringLiteral("ffmpeg"), input + QStringList{"-f", "null", "-"});
    // A folder of its own for the indexes: the first extraction finds none saved.
    QTemporaryDir indexes;
    if (!indexes.isValid()) return 1;
    const QStringList best{"extract", file,        "--percent", "100",         "--format",    "jpg",
                           "--out",   ours.path(), "--quiet",   "--overwrite", "--index-dir", indexes.path()};
    const double first = Run(batch, best);
    const double saved = Run(batch, best);
    std::printf(
        "extract --percent 100: first open %.3f s, on the saved index %.3f s, FFmpeg's decode: %.3f s, bound 1.5 x "
        "decode + 2 s: %.3f s\n",
        first, saved, decode, 1.5 * decode + 2);

    QStringList frames;
    int chosen = 0;
    for (int n = 0; n < count; n += every, ++chosen) frames << QString::number(n);
    const double extract = Run(batch, {"extract", file, "--frames", frames.join(','), "--format", "jpg", "--out",
                                       ours.path(), "--quiet", "--overwrite"});
    const double written =
        Run(QStringLiteral("ffmpeg"),
            input + QStringList{"-vf", QStringLiteral("select=not(mod(n\\,%1))").arg(every), "-fps_mode", "passthrough",
                                "-q:v", "2", theirs.path() + QStringLiteral("/%06d.jpg")});
    std::printf("extract of %d frames (every %d): %.3f s, FFmpeg writing them: %.3f s, %.2fx\n", chosen, every, extract,
                written, written > 0 ? extract / written : 0.0);
    return demux < 0 || decode < 0 || first < 0 || saved < 0 || extract < 0 || written < 0 ? 1 : 0;
}

uint64_t Fnv(const uint8_t* bytes, size_t size) {
    uint64_t hash = 14695981039346656037ull;
    for (size_t i = 0; i < size; ++i) hash = (hash ^ bytes[i]) * 1099511628211ull;
    return hash;
}

// Every position against the picture FFmpeg's sequential decode presents there.
int Exact(const QString& file) {
    std::vector<uint64_t> reference;
    int width = 0;
    int height = 0;
    if (!fixture::DecodeEach(file.toStdString(), {}, width, height, [&](std::vector<uint8_t>&& rows) {
            reference.push_back(Fnv(rows.data(), rows.size()));
        })) {
        std::fprintf(stderr, "FFmpeg cannot decode %s\n", qPrintable(file));
        return 1;
    }
    FrameSource source;
    const Clock::time_point opening = Clock::now();
    if (!source.OpenVideo(file, {}, FrameSource::PacketChecks::BeforeEachFrame)) {
        std::fprintf(stderr, "cannot open %s\n", qPrintable(file));
        return 1;
    }
    std::printf("open: %.3f s, %d frames; FFmpeg presents %zu\n", Seconds(opening), source.FrameCount(),
                reference.size());
    int wrong = 0;
    int checked = 0;
    const auto check = [&](int n) {
        const int before = source.FrameCount();
        bool fetched = source.FetchFrame(n);
        if (!fetched && source.FrameCount() != before) {
            std::printf("frames changed at position %d: %d -> %d\n", n, before, source.FrameCount());
            fetched = n < source.FrameCount() && source.FetchFrame(n);
        }
        const bool same = fetched && size_t(n) < reference.size() &&
                          Fnv(source.DecodedFrame() + sizeof(dib::BitmapInfoHeader), size_t(source.FrameImageSize())) ==
                              reference[size_t(n)];
        if (!same && ++wrong <= 10) std::printf("position %d differs\n", n);
        ++checked;
    };
    for (int n = 0; n < source.FrameCount(); ++n) check(n);
    std::vector<int> shuffled(static_cast<size_t>(source.FrameCount()));
    for (size_t i = 0; i < shuffled.size(); ++i) shuffled[i] = int(i);
    std::shuffle(shuffled.begin(), shuffled.end(), std::mt19937(7));
    shuffled.resize(std::min<size_t>(shuffled.size(), 300));
    for (const int n : shuffled) check(n);
    const int frames = source.FrameCount();
    source.CloseVideo();
    const bool exact = wrong == 0 && size_t(frames) == reference.size();
    std::printf("%s: %d of %d positions differ\n", exact ? "exact" : "NOT EXACT", wrong, checked);
    return exact ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc < 2) return Usage();
    if (argc >= 3 && std::string(argv[2]) == "--versus-ffmpeg") {
        int every = 1;
        QString batch;
        for (int i = 3; i < argc; ++i) {
            if (std::string(argv[i]) == "--batch" && i + 1 < argc) {
                batch = QString::fromLocal8Bit(argv[++i]);
            } else {
                every = std::max(1, std::atoi(argv[i]));
            }
        }
        return VersusFfmpeg(QString::fromLocal8Bit(argv[1]), every, batch);
    }
    if (argc == 3 && std::string(argv[2]) == "--exact") return Exact(QString::fromLocal8Bit(argv[1]));
    std::vector<std::pair<int, std::string>> dumps;
    for (int i = 2; i < argc; ++i) {
        if (std::string(argv[i]) != "--dump" || i + 2 >= argc) return Usage();
        dumps.emplace_back(std::atoi(argv[i + 1]), argv[i + 2]);
        i += 2;
    }

    FrameSource source;
    const Clock::time_point opening = Clock::now();
    if (!source.OpenVideo(QString::fromLocal8Bit(argv[1]))) {
        std::fprintf(stderr, "cannot open %s\n", argv[1]);
        return 1;
    }
    const double openTime = Seconds(opening);
    const int count = source.FrameCount();
    std::printf("open (index): %.3f s, %d frames, %dx%d\n", openTime, count, source.FrameWidth(),
                std::abs(source.FrameHeight()));

    if (!dumps.empty()) {
        int status = 0;
        for (const auto& [position, path] : dumps) {
            if (!source.FetchFrame(position) || !WriteBmp(source, path)) status = 1;
        }
        source.CloseVideo();
        return status;
    }

    const Clock::time_point start = Clock::now();
    int fetched = 0;
    for (int i = 0; i < count; ++i) fetched += source.FetchFrame(i) ? 1 : 0;
    const double sequential = Seconds(start);
    std::printf("sequential: %.1f frames/s (%d of %d frames)\n", sequential > 0 ? fetched / sequential : 0.0, fetched,
                count);

    if (count > 0) {
        std::mt19937 random(2024);
        double total = 0;
        double worst = 0;
        constexpr int kJumps = 200;
        for (int i = 0; i < kJumps; ++i) {
            const int position = int(random() % unsigned(count));
            const Clock::time_point jump = Clock::now();
            source.FetchFrame(position);
            const double took = Seconds(jump);
            total += took;
            worst = std::max(worst, took);
        }
        // In frames of sequential decoding, to compare with the file's distance between key frames.
        const double perFrame = fetched > 0 ? sequential / fetched : 0.0;
        std::printf("random: mean %.2f ms, worst %.2f ms over %d jumps (worst = %.0f frames of sequential decoding)\n",
                    1000 * total / kJumps, 1000 * worst, kJumps, perFrame > 0 ? worst / perFrame : 0.0);
    }
    source.CloseVideo();
    return 0;
}
