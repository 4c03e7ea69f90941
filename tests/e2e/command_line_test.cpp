// SPDX-License-Identifier: GPL-2.0-or-later
// The real program started with a video on its command line, as a file manager starts it.
#include <gtest/gtest.h>
#include <QTemporaryDir>

#include "support/fixture_video.h"
#include "x_session.h"

namespace {

TEST(RealProgramCommandLine, OpensTheVideoNamedOnItsCommandLine) {
    XSession session;
    ASSERT_TRUE(session.start()) << session.error().toStdString();
    QTemporaryDir work;
    ASSERT_TRUE(work.isValid());
    fixture::VideoOptions options;
    options.codec = fixture::Codec::H264;
    options.container = "mp4";
    options.frames = 20;
    ASSERT_TRUE(fixture::WriteVideo(work.filePath("clip.mp4").toStdString(), options));

    // A path relative to the directory the program starts in.
    const QString program = qEnvironmentVariable("ORVEXA_BINARY", QStringLiteral(ORVEXA_BINARY_PATH));
    ASSERT_TRUE(session.launch(program, work.path(), {"clip.mp4"}));
    EXPECT_NE(session.waitForWindow("^Orvexa : préVersion : 0\\.30$"), 0u);
    EXPECT_NE(session.waitForWindow("^Vue Avi: 0 - Ligne: 0$"), 0u) << "the video was not opened";
    session.shot("command-line-open");
    EXPECT_TRUE(session.programRunning());
}

}  // namespace
