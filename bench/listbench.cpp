// SPDX-License-Identifier: GPL-2.0-or-later
// Frame list figures: the ranking's speed on a given video, and building, ranking, sorting and
// marking a table of 100,000 rows. Prints figures only.
//
//   listbench FILE [ranking] [--threads N] [--tri-out OUT]
//     ranking      the ranking's figures only
//     --threads N  encoding threads (default: one per core; 1 encodes on the window's thread)
//     --tri-out    writes one line "FRAME BYTES" per row, in ranking order, after the ranking
//     --crop L,T,W,H  ranks the rectangle only, as "Limiter au Cadre" does
//     --model      measures what a frame and a stretch cost on one core, and prints the rate
//                  the workers should reach on 2, 4, 16 and 64 cores
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <ctime>
#include <memory>

#include "base/dialogs.h"
#include "framelist/frame_list_window.h"
#include "framesource/frame_source.h"
#include "navigation/navigation.h"
#include "ranking/encode_pool.h"
#include "ranking_model.h"
#include "support/fixture_video.h"
#include "support/scripted_dialogs.h"

namespace {

// Without a main window the list window moves nothing; the JPEG options are the dialog's
// defaults (quality 100, colour, baseline).
struct Bench {
    FrameSource source;
    Navigation navigation;
    std::unique_ptr<FrameListWindow> window;

    Bench() {
        window = std::make_unique<FrameListWindow>(source, navigation);
        window->show();
        QCoreApplication::processEvents();
    }

    bool open(const QString& path) {
        source.CloseVideo();
        navigation.SetListBuilt(false);
        return source.OpenVideo(path);
    }
};

double Seconds(const QElapsedTimer& timer) { return double(timer.nsecsElapsed()) / 1e9; }

// Processor time of the process, which a busy machine disturbs less than the wall clock.
double CpuSeconds() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) / 1e9;
}

struct Arguments {
    QString file;
    bool rankingOnly = false;
    int threads = 0;
    QString triOut;
    QList<int> crop;  // left, top, width, height
    bool model = false;
};

bool Parse(const QStringList& args, Arguments& out) {
    for (qsizetype i = 1; i < args.size(); ++i) {
        const QString& arg = args[i];
        if (arg == "ranking") {
            out.rankingOnly = true;
        } else if (arg == "--threads" && i + 1 < args.size()) {
            bool ok = false;
            out.threads = args[++i].toInt(&ok);
            if (!ok || out.threads < 1) return false;
        } else if (arg == "--model") {
            out.model = true;
        } else if (arg == "--tri-out" && i + 1 < args.size()) {
            out.triOut = args[++i];
        } else if (arg == "--crop" && i + 1 < args.size()) {
            for (const QString& part : args[++i].split(',')) out.crop.append(part.toInt());
            if (out.crop.size() != 4) return false;
        } else if (out.file.isEmpty() && !arg.startsWith("--")) {
            out.file = arg;
        } else {
            return false;
        }
    }
    return !out.file.isEmpty();
}

bool WriteTri(const QString& path, const FrameListWindow& window) {
    QFile out(path);
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate)) return false;
    for (int row = 0; row < window.rowCount(); ++row) {
        const framelist::FrameRow& r = window.table().row(row);
        out.write(QByteArray::number(r.num) + ' ' + QByteArray::number(qlonglong(r.tri)) + '\n');
    }
    return out.flush();
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    Arguments args;
    if (!Parse(QCoreApplication::arguments(), args)) {
        std::fprintf(stderr,
                     "usage: listbench FILE [ranking] [--threads N] [--tri-out FILE] [--crop L,T,W,H] [--model]\n");
        return 2;
    }
    testing_support::ScopedDialogs quiet;
    if (args.model) {
        RankingCosts costs;
        if (!MeasureRankingCosts(args.file, costs)) {
            std::fprintf(stderr, "cannot read %s\n", qPrintable(args.file));
            return 1;
        }
        std::printf("model_frames %d\n", costs.frames);
        std::printf("model_decode_ms_per_frame %.3f\n", costs.decodeSeconds * 1e3);
        std::printf("model_convert_ms_per_frame %.3f\n", costs.convertSeconds * 1e3);
        std::printf("model_encode_ms_per_frame %.3f\n", costs.encodeSeconds * 1e3);
        std::printf("model_stretch_start_ms %.3f\n", costs.stretchStartSeconds * 1e3);
        std::printf("model_first_open_ms %.3f\n", costs.openSeconds * 1e3);
        std::printf("model_first_open_bytes %lld\n", static_cast<long long>(costs.openBytes));
        std::printf("model_open_ms_per_worker %.3f\n", costs.reopenSeconds * 1e3);
        std::printf("model_open_bytes_per_worker %lld\n", static_cast<long long>(costs.reopenBytes));
        for (int cores : {1, 2, 4, 16, 64}) {
            std::printf("model_predicted_frames_per_second_%d_cores %.1f\n", cores, PredictedRate(costs, cores));
        }
        const int threads = args.threads > 0 ? args.threads : ranking::AllCores();
        std::printf("model_predicted_cpu_seconds_%d_cores %.3f\n", threads, PredictedProcessorSeconds(costs, threads));
    }
    Bench bench;
    bench.window->setWorkerThreads(args.threads);

    if (!bench.open(args.file)) {
        std::fprintf(stderr, "cannot open %s\n", qPrintable(args.file));
        return 1;
    }
    if (!args.crop.isEmpty()) {
        bench.source.SetCropRect(args.crop[1], args.crop[0], args.crop[3], args.crop[2]);
        bench.source.SetCropEnabled(true);
    }
    bench.window->BuildTable();
    // How long the window leaves an event waiting during the ranking: a timer due every 5 ms
    // notes the longest gap between two of its calls, over the whole ranking and once its first
    // half second (opening the decoder and the converter at the first frame) is over.
    QElapsedTimer timer;
    QTimer tick;
    QElapsedTimer sinceTick;
    qint64 longestGap = 0;
    qint64 longestGapAfterStart = 0;
    QObject::connect(&tick, &QTimer::timeout, [&] {
        const qint64 gap = sinceTick.restart();
        longestGap = std::max(longestGap, gap);
        if (timer.elapsed() - gap > 500) longestGapAfterStart = std::max(longestGapAfterStart, gap);
    });
    tick.start(5);
    sinceTick.start();
    timer.start();
    const double cpuStart = CpuSeconds();
    bench.window->RankRows();
    const double rankSeconds = Seconds(timer);
    tick.stop();
    const double rankCpu = CpuSeconds() - cpuStart;
    const int frames = bench.window->rowCount();
    std::printf("ranking_threads %d\n", args.threads > 0 ? args.threads : ranking::AllCores());
    std::printf("ranking_frames %d\n", frames);
    std::printf("ranking_seconds %.3f\n", rankSeconds);
    std::printf("ranking_frames_per_second %.1f\n", frames / rankSeconds);
    std::printf("ranking_cpu_seconds %.3f\n", rankCpu);
    std::printf("ranking_frames_per_cpu_second %.1f\n", frames / rankCpu);
    std::printf("ranking_longest_event_wait_ms %lld\n", static_cast<long long>(longestGap));
    std::printf("ranking_longest_event_wait_after_start_ms %lld\n", static_cast<long long>(longestGapAfterStart));
    if (!args.triOut.isEmpty() && !WriteTri(args.triOut, *bench.window)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(args.triOut));
        return 1;
    }
    if (args.rankingOnly) return 0;

    // A long video of tiny frames, so that the table's own costs dominate.
    QTemporaryDir dir;
    fixture::VideoOptions options;
    options.codec = fixture::Codec::Mjpeg;
    options.width = 16;
    options.height = 16;
    options.frames = 100000;
    const std::string longVideo = dir.filePath("long.avi").toStdString();
    if (!fixture::WriteVideo(longVideo, options) || !bench.open(QString::fromStdString(longVideo))) {
        std::fprintf(stderr, "cannot write the long video\n");
        return 1;
    }

    timer.restart();
    bench.window->BuildTable();
    std::printf("build_100k_rows %d\n", bench.window->rowCount());
    std::printf("build_100k_seconds %.3f\n", Seconds(timer));

    timer.restart();
    bench.window->RankRows();
    std::printf("rank_100k_tiny_frames_seconds %.3f\n", Seconds(timer));

    timer.restart();
    bench.window->SortByColumn(framelist::kColNum);
    std::printf("sort_100k_by_num_seconds %.3f\n", Seconds(timer));
    timer.restart();
    bench.window->SortByColumn(framelist::kColTri);
    std::printf("sort_100k_by_tri_seconds %.3f\n", Seconds(timer));
    timer.restart();
    bench.window->SortByColumn(framelist::kColNom);
    std::printf("sort_100k_by_nom_seconds %.3f\n", Seconds(timer));

    timer.restart();
    bench.window->InvertMarks();
    std::printf("invert_marks_100k_seconds %.3f\n", Seconds(timer));

    timer.restart();
    bench.window->ClearList();
    std::printf("clear_100k_seconds %.3f\n", Seconds(timer));
    bench.source.CloseVideo();
    return 0;
}
