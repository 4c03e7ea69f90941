// The real program started with a video on its command line, as a file manager starts it, and
// started where there is no display.
#include <gtest/gtest.h>
#include <QTemporaryDir>

#include "support/fixture_video.h"
#include "support/run_program.h"
#include "x_session.h"

namespace {

QString ProgramPath() { return qEnvironmentVariable("ORVEXA_BINARY", QStringLiteral(ORVEXA_BINARY_PATH)); }

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
    ASSERT_TRUE(session.launch(ProgramPath(), work.path(), {"clip.mp4"}));
    EXPECT_NE(session.waitForWindow("^Orvexa : préVersion : 0\\.30$"), 0u);
    EXPECT_NE(session.waitForWindow("^Vue Avi: 0 - Ligne: 0$"), 0u) << "the video was not opened";
    session.shot("command-line-open");
    EXPECT_TRUE(session.programRunning());
}

// Without a display the program suggests the command that runs it under a virtual X server,
// with the arguments it was given, ready to paste into a shell.
TEST(RealProgramCommandLine, WithoutADisplaySuggestsTheSameCommandUnderXvfbRun) {
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
