// A video larger than the screen, as a user on a 1600 x 1000 screen meets it.
#include <gtest/gtest.h>
#include <QTemporaryDir>

#include "support/fixture_video.h"
#include "x_session.h"

namespace {

TEST(RealProgramLargeVideo, ItsViewerKeepsToTheScreenBesideTheMainWindow) {
    const QRect screen(0, 0, 1600, 1000);
    XSession session;
    ASSERT_TRUE(session.start(screen.size())) << session.error().toStdString();
    QTemporaryDir work;
    ASSERT_TRUE(work.isValid());
    fixture::VideoOptions options;
    options.codec = fixture::Codec::H264;
    options.container = "mp4";
    options.width = 1920;
    options.height = 1080;
    options.frames = 3;
    ASSERT_TRUE(fixture::WriteVideo(work.filePath("clip.mp4").toStdString(), options));

    const QString program = qEnvironmentVariable("ORVEXA_BINARY", QStringLiteral(ORVEXA_BINARY_PATH));
    ASSERT_TRUE(session.launch(program, work.path(), {"clip.mp4"}));
    const qulonglong main = session.waitForWindow("^Orvexa : préVersion : 0\\.30$");
    ASSERT_NE(main, 0u);
    const qulonglong viewer = session.waitForWindow("^Vue Avi: 0 - Ligne: 0$", 20000);
    ASSERT_NE(viewer, 0u) << "the video was not opened";
    session.settle(500);
    session.shot("large-video");

    const QRect viewerFrame = session.geometry(viewer);
    EXPECT_TRUE(screen.contains(viewerFrame))
        << viewerFrame.x() << ' ' << viewerFrame.y() << ' ' << viewerFrame.width() << ' ' << viewerFrame.height();
    EXPECT_FALSE(viewerFrame.intersects(session.geometry(main))) << "the viewer covers the main window";
    // All the room beside the main window, the picture scrolling in it at 1:1.
    EXPECT_GE(viewerFrame.width(), 1000);
    EXPECT_EQ(viewerFrame.height(), screen.height());
}

}  // namespace
