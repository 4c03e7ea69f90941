// SPDX-License-Identifier: GPL-2.0-or-later
// The real program started with a video on its command line, as a file manager starts it (one
// larger than the screen among them), and started where there is no display.
#include <gtest/gtest.h>
#include <QTemporaryDir>

#include "support/fixture_video.h"
#include "support/run_program.h"
#include "x_session.h"

namespace {

QString ProgramPath() { return qEnvironmentVariable("ORVEXA_BINARY", QStringLiteral(ORVEXA_BINARY_PATH)); }

class VideoOnCommandLine : public ::testing::Test {
protected:
    // Starts the program on a screen of the given size with an H.264 MP4 of `frames` pictures named
    // on its command line, as a path relative to the directory it starts in.
    void Launch(QSize screen, QSize picture, int frames) {
        ASSERT_TRUE(session.start(screen)) << session.error().toStdString();
        ASSERT_TRUE(work.isValid());
        fixture::VideoOptions options;
        options.codec = fixture::Codec::H264;
        options.container = "mp4";
        options.width = picture.width();
        options.height = picture.height();
        options.frames = frames;
        ASSERT_TRUE(fixture::WriteVideo(work.filePath("clip.mp4").toStdString(), options));
        ASSERT_TRUE(session.launch(ProgramPath(), work.path(), {"clip.mp4"}));
        mainWindow = session.waitForWindow("^Orvexa : préVersion : 0\\.30$");
        ASSERT_NE(mainWindow, 0u);
        viewer = session.waitForWindow("^Vue Avi: 0 - Ligne: 0$", 20000);
        ASSERT_NE(viewer, 0u) << "the video was not opened";
    }

    XSession session;
    QTemporaryDir work;
    qulonglong mainWindow = 0;
    qulonglong viewer = 0;
};

// The video named on the command line opens (Launch waits for its viewer). A 1080p video on a
// 1600 x 1000 screen: its viewer takes the room beside the main window and no more than the
// screen, the picture scrolling in it at 1:1.
TEST_F(VideoOnCommandLine, OpensALargeVideoWhoseViewerKeepsToTheScreenBesideTheMainWindow) {
    const QRect screen(0, 0, 1600, 1000);
    Launch(screen.size(), QSize(1920, 1080), 3);
    session.settle(500);
    session.shot("large-video");
    EXPECT_TRUE(session.programRunning());
    const QRect frame = session.geometry(viewer);
    EXPECT_TRUE(screen.contains(frame)) << frame.x() << ' ' << frame.y() << ' ' << frame.width() << ' '
                                        << frame.height();
    EXPECT_FALSE(frame.intersects(session.geometry(mainWindow))) << "the viewer covers the main window";
    EXPECT_GE(frame.width(), 1000);
    EXPECT_EQ(frame.height(), screen.height());
}

// Without a display the program suggests the command that runs it under a virtual X server,
// with the arguments it was given, ready to paste into a shell.
TEST(RealProgramWithoutDisplay, SuggestsTheSameCommandUnderXvfbRun) {
    const QStringList arguments = {"-style", "fusion", "ma vidéo d'été $HOME (2).mp4"};
    const testing_support::ProgramRun run = testing_support::RunWithoutDisplay(ProgramPath(), arguments);
    EXPECT_EQ(run.exitCode, 1);
    const QString prefix = "xvfb-run -a ";
    const qsizetype at = run.err.indexOf(prefix);
    ASSERT_GE(at, 0) << run.err.toStdString();
    const QString suggested = run.err.mid(at + prefix.size()).section('\n', 0, 0);
    // The shell reads the suggestion back into the very words the program was started with.
    const testing_support::ProgramRun words =
        testing_support::RunWithoutDisplay("sh", {"-c", "printf '%s\\n' " + suggested});
    ASSERT_EQ(words.exitCode, 0) << suggested.toStdString();
    EXPECT_EQ(words.out, (QStringList(ProgramPath()) + arguments).join('\n') + '\n') << suggested.toStdString();
}

}  // namespace
