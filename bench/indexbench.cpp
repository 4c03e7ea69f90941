// SPDX-License-Identifier: GPL-2.0-or-later
// What opening a video reads, and what ranking it reads: the bytes this process reads
// (/proc/self/io: rchar, every byte read through a system call, and read_bytes, those that came
// from the storage rather than the page cache) and the time up to the first frame, at a first
// open (the index is built and saved), with its packets left to be looked into as they are read
// (as `rank` opens), with those that can move the frame looked into before it (as the window and
// `extract --frames` open) and with all looked into first (as the other uses do), at a second one as a
// new process makes it (the saved index is read: the size of the file read is told apart) and at
// a third while the second is open (the index is shared, as each ranking worker finds it); then
// the bytes read by a first ranking (no index saved yet, as `rank` runs it) and by a ranking of
// the indexed video, each with one worker and with two.
//
//   indexbench FILE [--frames N] [--index-dir DIR] [--no-ranking]
//     --frames N     rank only the first N frames (default: all)
//     --index-dir    where the index is saved (default: a new temporary folder, removed after)
#include <sys/resource.h>

#include <QCoreApplication>
#include <QString>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "framesource/frame_source.h"
#include "media/file_identity.h"
#include "media/index_store.h"
#include "ranking/ranking.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Io {
    int64_t rchar = 0;
    int64_t readBytes = 0;
};

Io ReadIo() {
    Io io;
    std::ifstream in("/proc/self/io");
    std::string key;
    int64_t value = 0;
    while (in >> key >> value) {
        if (key == "rchar:") io.rchar = value;
        if (key == "read_bytes:") io.readBytes = value;
    }
    return io;
}

double Mb(int64_t bytes) { return double(bytes) / 1e6; }

// The processor time of every thread of this process, in seconds: on a loaded machine the
// time an open would take on a quiet one is nearer to it than the time it took.
double CpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](const timeval& t) { return double(t.tv_sec) + double(t.tv_usec) / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// The bytes of the saved indexes of the file (its index and, for AVI, its chunk scan): the
// files of the folder named by its size and time.
int64_t SavedIndexBytes(const std::string& path) {
    const auto identity = media::IdentityOfPath(path);
    if (!identity) return 0;
    const std::string named = "-" + std::to_string(identity->size) + "-" + std::to_string(identity->modifiedNs) + "-";
    int64_t bytes = 0;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(media::index_store::Directory(), error)) {
        if (entry.path().filename().string().find(named) != std::string::npos) bytes += int64_t(entry.file_size(error));
    }
    return bytes;
}

// Opens the video into `source` and shows its first frame; false when either fails.
bool FirstFrame(FrameSource& source, const QString& file, const char* what,
                FrameSource::PacketChecks checks = FrameSource::PacketChecks::AtOpen) {
    const Io before = ReadIo();
    const double cpuBefore = CpuSeconds();
    const Clock::time_point start = Clock::now();
    if (!source.OpenVideo(file, {}, checks) || !source.FetchFrame(0)) return false;
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    const double cpu = CpuSeconds() - cpuBefore;
    const Io after = ReadIo();
    std::printf(
        "%s: first frame in %.3f s (%.3f s of processor), read %.2f MB (rchar), %.2f MB from storage (read_bytes), "
        "%d frames\n",
        what, seconds, cpu, Mb(after.rchar - before.rchar), Mb(after.readBytes - before.readBytes),
        source.FrameCount());
    return true;
}

bool Rank(const QString& file, int threads, int32_t frames, int64_t fileBytes) {
    const Io before = ReadIo();
    const Clock::time_point start = Clock::now();
    FrameSource source;
    if (!source.OpenVideo(file)) return false;
    const int32_t count = frames > 0 ? std::min(frames, source.FrameCount()) : source.FrameCount();
    std::vector<int32_t> list(static_cast<size_t>(count));
    for (int32_t i = 0; i < count; ++i) list[size_t(i)] = i;
    ranking::RunSettings settings;
    settings.threads = threads;
    int64_t measured = 0;
    ranking::RunHooks hooks;
    hooks.onResult = [&](ranking::FrameResult& result) { measured += result.length > 0; };
    const int workers = ranking::StretchWorkers(source, threads, count);
    ranking::RunFrames(source, list, settings, hooks);
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    const Io after = ReadIo();
    std::printf(
        "ranking, %d thread(s) (%d reader(s)): %d frames (%lld measured) in %.2f s, %.1f f/s, read %.1f MB "
        "(%.3f times the file), %.1f MB from storage\n",
        threads, workers, count, static_cast<long long>(measured), seconds, count / seconds,
        Mb(after.rchar - before.rchar), double(after.rchar - before.rchar) / double(fileBytes),
        Mb(after.readBytes - before.readBytes));
    return true;
}

// A first ranking as `rank` makes it, with no index of the video in this process or saved in
// `indexDir`: opened without its packets looked into, ranked once while they are.
bool FirstRanking(const QString& file, int threads, int64_t fileBytes, const std::string& indexDir) {
    media::index_store::ForgetKept();
    media::index_store::SetDirectory(indexDir);
    const Io before = ReadIo();
    const Clock::time_point start = Clock::now();
    FrameSource source;
    if (!source.OpenVideo(file, {}, FrameSource::PacketChecks::AsRead)) return false;
    const int32_t firstCount = source.FrameCount();
    const int workers = ranking::StretchWorkers(source, threads, firstCount);
    int rankings = 1;
    const std::vector<ranking::Ranked> ranked =
        ranking::RankVideo(source, jpeg_options::JpegOptions{}, {}, threads, {}, [&] { ++rankings; });
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    const Io after = ReadIo();
    std::printf(
        "first ranking, %d thread(s) (%d reader(s)): %d frames in %.2f s, %d pass(es), read %.1f MB (%.3f times the "
        "file), %.1f MB from storage; packets %s\n",
        threads, workers, source.FrameCount(), seconds, rankings, Mb(after.rchar - before.rchar),
        double(after.rchar - before.rchar) / double(fileBytes), Mb(after.readBytes - before.readBytes),
        source.PacketsFound() == media::PacketsState::Whole ? "checked" : "not checked");
    return int64_t(ranked.size()) == source.FrameCount();
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: indexbench FILE [--frames N] [--index-dir DIR] [--no-ranking]\n");
        return 2;
    }
    const QString file = QString::fromLocal8Bit(argv[1]);
    int32_t frames = 0;
    std::string indexDir;
    bool ranking = true;
    for (int i = 2; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--frames" && i + 1 < argc) {
            frames = std::atoi(argv[++i]);
        } else if (arg == "--index-dir" && i + 1 < argc) {
            indexDir = argv[++i];
        } else if (arg == "--no-ranking") {
            ranking = false;
        } else {
            std::fprintf(stderr, "unknown argument %s\n", argv[i]);
            return 2;
        }
    }
    std::error_code error;
    const int64_t fileBytes = int64_t(std::filesystem::file_size(argv[1], error));
    if (error) {
        std::fprintf(stderr, "cannot read %s\n", argv[1]);
        return 1;
    }
    std::string made;
    if (indexDir.empty()) {
        std::string pattern = (std::filesystem::temp_directory_path() / "indexbench-XXXXXX").string();
        if (!mkdtemp(pattern.data())) return 1;
        made = indexDir = pattern;
    }
    media::index_store::SetDirectory(indexDir);
    std::printf("file: %s, %.1f MB\n", argv[1], Mb(fileBytes));
    int status = 0;
    {
        FrameSource source;
        if (!FirstFrame(source, file, "first open, packets looked into as read", FrameSource::PacketChecks::AsRead))
            status = 1;
    }
    media::index_store::ForgetKept();
    media::index_store::SetDirectory(indexDir + "/before-frame");
    if (status == 0) {
        FrameSource source;
        if (!FirstFrame(source, file, "first open, packets that move the frame looked into before it",
                        FrameSource::PacketChecks::BeforeEachFrame)) {
            status = 1;
        }
    }
    media::index_store::ForgetKept();
    media::index_store::SetDirectory(indexDir + "/checked");
    if (status == 0) {
        FrameSource source;
        if (!FirstFrame(source, file, "first open, packets looked into first")) status = 1;
    }
    // As a new process: only the saved index is left.
    media::index_store::ForgetKept();
    if (status == 0) {
        std::printf("saved index: %.3f MB\n", Mb(SavedIndexBytes(argv[1])));
        FrameSource second;
        FrameSource third;
        if (!FirstFrame(second, file, "second open") || !FirstFrame(third, file, "third open, index shared")) {
            status = 1;
        }
    }
    if (status == 0 && ranking) {
        for (int threads : {1, 2}) {
            if (!FirstRanking(file, threads, fileBytes, indexDir + "/first-" + std::to_string(threads))) status = 1;
        }
        media::index_store::SetDirectory(indexDir + "/checked");
        for (int threads : {1, 2}) {
            if (!Rank(file, threads, frames, fileBytes)) status = 1;
        }
    }
    if (!made.empty()) std::filesystem::remove_all(made, error);
    if (status != 0) std::fprintf(stderr, "cannot read %s\n", argv[1]);
    return status;
}
