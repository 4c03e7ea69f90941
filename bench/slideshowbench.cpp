// SPDX-License-Identifier: GPL-2.0-or-later
// Slideshow speed: frames shown per second by the main window's slideshow on a video, on the
// offscreen platform, next to the frame source's own sequential fetch rate on the same file;
// then the same slideshow at the video's pace ("Cadence de la Vidéo"): its length and the
// program's processor time while it plays.

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QSlider>
#include <chrono>
#include <cstdio>
#include <ctime>

#include "app/main_window.h"
#include "framesource/frame_source.h"
#include "imaging/bitmap.h"
#include "support/find_control.h"
#include "support/scripted_dialogs.h"
#include "widgets/program_font.h"

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point since) { return std::chrono::duration<double>(Clock::now() - since).count(); }

double CpuSeconds() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) / 1e9;
}

// Frames decoded and made into display bitmaps per second, without showing them.
double DisplayBitmapRate(const QString& path) {
    FrameSource source;
    if (!source.OpenVideo(path)) return 0;
    imaging::Bitmap bitmap;
    const int count = source.FrameCount();
    const auto start = Clock::now();
    int made = 0;
    for (int i = 0; i < count; ++i) made += source.LoadFrameBitmap(i, bitmap) ? 1 : 0;
    const double rate = made / Seconds(start);
    source.CloseVideo();
    return rate;
}

double SequentialFetchRate(const QString& path) {
    FrameSource source;
    if (!source.OpenVideo(path)) return 0;
    const int count = source.FrameCount();
    const auto start = Clock::now();
    int fetched = 0;
    for (int i = 0; i < count; ++i) fetched += source.FetchFrame(i) ? 1 : 0;
    const double rate = fetched / Seconds(start);
    source.CloseVideo();
    return rate;
}

}  // namespace

int main(int argc, char** argv) {
    // The offscreen platform warns at every window raise; the figures are what matters here.
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& message) {
        if (type >= QtCriticalMsg) std::fprintf(stderr, "%s\n", qPrintable(message));
    });
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ApplyProgramFont(app);
    if (argc != 2) {
        std::fprintf(stderr, "usage: slideshowbench FILE.avi\n");
        return 2;
    }
    const QString path = QString::fromLocal8Bit(argv[1]);
    const double fetchRate = SequentialFetchRate(path);
    const double bitmapRate = DisplayBitmapRate(path);

    testing_support::ScopedDialogs dialogs;
    FrameSource source;
    Navigation navigation;
    MainWindow window(source, navigation);
    window.show();
    // The window is active before the slideshow starts, as it is for a user clicking in it:
    // its first activation enters the track bar, which pauses.
    QApplication::setActiveWindow(&window);
    QApplication::processEvents();
    dialogs->queueFiles({path});
    FindControl<QAbstractButton>(window, "SpeedButtonOuvrirAvi")->click();
    if (!source.VideoOpen()) {
        std::fprintf(stderr, "cannot open %s\n", argv[1]);
        return 1;
    }
    int shown = 0;
    QObject::connect(FindControl<QSlider>(window, "TrackBarVideo"), &QSlider::valueChanged, [&](int) { ++shown; });
    QAction* pace = window.findChild<QAction*>("CadenceVideo1");
    pace->setChecked(false);
    const auto start = Clock::now();
    FindControl<QAbstractButton>(window, "SpeedButtonDemarrer")->click();
    const double seconds = Seconds(start);
    const int unpaced = shown;

    pace->setChecked(true);
    FindControl<QAbstractButton>(window, "SpeedButtonDeb")->click();
    shown = 1;  // the first frame is on the bar already
    const auto pacedStart = Clock::now();
    const double cpuStart = CpuSeconds();
    FindControl<QAbstractButton>(window, "SpeedButtonDemarrer")->click();
    const double pacedSeconds = Seconds(pacedStart);
    const double pacedCpu = CpuSeconds() - cpuStart;
    const int pacedShown = shown;
    shown = unpaced;

    std::printf("slideshow: %.0f frames/s (%d frames in %.2f s)\n", shown / seconds, shown, seconds);
    std::printf("sequential fetch: %.0f frames/s\n", fetchRate);
    std::printf("display bitmaps: %.0f frames/s\n", bitmapRate);
    std::printf("slideshow / fetch: %.0f %%\n", fetchRate > 0 ? 100.0 * (shown / seconds) / fetchRate : 0.0);
    std::printf("at the video's pace: %d frames in %.3f s (the video lasts %.3f s)\n", pacedShown, pacedSeconds,
                source.FrameCount() * source.FrameDuration());
    std::printf("at the video's pace: processor %.3f s, %.1f %% of one core\n", pacedCpu,
                100.0 * pacedCpu / pacedSeconds);
    window.close();
    return 0;
}
