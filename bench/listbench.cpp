// Frame list figures: the ranking's speed on a given AVI, and building, ranking, sorting and
// marking a table of 100,000 rows. Prints figures only.
//
//   listbench FILE.avi [ranking]     ("ranking": the first figure only, for profiling)
#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <cstdio>
#include <ctime>
#include <memory>

#include "framelist/TFormListe.h"
#include "framesource/frame_source.h"
#include "navigation/navigation.h"
#include "platform/dialogs.h"
#include "support/fixture_video.h"
#include "support/scripted_dialogs.h"

namespace {

// Without a main window the list window moves nothing; the JPEG options are the dialog's
// defaults (quality 100, colour, baseline).
struct Bench {
    std::unique_ptr<TFormListe> window;

    Bench() {
        window = std::make_unique<TFormListe>();
        window->show();
        QCoreApplication::processEvents();
    }

    bool open(const QString& path) {
        FrameSource::CloseVideo();
        navigation::SetListBuilt(false);
        return FrameSource::OpenVideo(path);
    }
};

double Seconds(const QElapsedTimer& timer) { return double(timer.nsecsElapsed()) / 1e9; }

// Processor time of the process, which a busy machine disturbs less than the wall clock.
double CpuSeconds() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) / 1e9;
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: listbench FILE.avi\n");
        return 2;
    }
    testing_support::ScopedDialogs quiet;
    Bench bench;

    if (!bench.open(QString::fromLocal8Bit(argv[1]))) {
        std::fprintf(stderr, "cannot open %s\n", argv[1]);
        return 1;
    }
    bench.window->Ouvrir1Click();
    QElapsedTimer timer;
    timer.start();
    const double cpuStart = CpuSeconds();
    bench.window->Calculer1Click();
    const double rankSeconds = Seconds(timer);
    const double rankCpu = CpuSeconds() - cpuStart;
    const int frames = bench.window->rowCount();
    std::printf("ranking_frames %d\n", frames);
    std::printf("ranking_seconds %.3f\n", rankSeconds);
    std::printf("ranking_frames_per_second %.1f\n", frames / rankSeconds);
    std::printf("ranking_cpu_seconds %.3f\n", rankCpu);
    std::printf("ranking_frames_per_cpu_second %.1f\n", frames / rankCpu);
    if (argc > 2 && QByteArray(argv[2]) == "ranking") return 0;

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
    bench.window->Ouvrir1Click();
    std::printf("build_100k_rows %d\n", bench.window->rowCount());
    std::printf("build_100k_seconds %.3f\n", Seconds(timer));

    timer.restart();
    bench.window->Calculer1Click();
    std::printf("rank_100k_tiny_frames_seconds %.3f\n", Seconds(timer));

    timer.restart();
    bench.window->ListView1ColumnClick(framelist::kColNum);
    std::printf("sort_100k_by_num_seconds %.3f\n", Seconds(timer));
    timer.restart();
    bench.window->ListView1ColumnClick(framelist::kColTri);
    std::printf("sort_100k_by_tri_seconds %.3f\n", Seconds(timer));
    timer.restart();
    bench.window->ListView1ColumnClick(framelist::kColNom);
    std::printf("sort_100k_by_nom_seconds %.3f\n", Seconds(timer));

    timer.restart();
    bench.window->InvertMarks();
    std::printf("invert_marks_100k_seconds %.3f\n", Seconds(timer));

    timer.restart();
    bench.window->ClearList();
    std::printf("clear_100k_seconds %.3f\n", Seconds(timer));
    FrameSource::CloseVideo();
    return 0;
}
