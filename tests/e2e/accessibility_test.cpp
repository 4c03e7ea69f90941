// SPDX-License-Identifier: GPL-2.0-or-later
// The real program driven over AT-SPI, as a screen reader or another assistive tool drives it:
// a D-Bus session, the accessibility bus it starts, and a Python client (atspi_client.py) that
// finds the controls by role and name and works them through their accessible actions.

#include <gtest/gtest.h>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>

#include "support/fixture_video.h"
#include "x_session.h"

namespace {

QString ProgramPath() { return qEnvironmentVariable("ORVEXA_BINARY", QStringLiteral(ORVEXA_BINARY_PATH)); }

}  // namespace

TEST(AssistiveTools, OpenStepAndTickThroughAtSpiOnly) {
    XSession session;
    ASSERT_TRUE(session.start()) << session.error().toStdString();
    QTemporaryDir work;
    ASSERT_TRUE(work.isValid());
    const QString video = work.filePath("clip.avi");
    fixture::VideoOptions options;
    options.frames = 5;
    ASSERT_TRUE(fixture::WriteVideo(video.toStdString(), options));

    QProcess client;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("DISPLAY", session.display());
    environment.remove("WAYLAND_DISPLAY");
    client.setProcessEnvironment(environment);
    client.setProcessChannelMode(QProcess::MergedChannels);
    // Debian's pyatspi belongs to the system's Python, whatever other one comes first on the path.
    client.start("dbus-run-session", {"--", "/usr/bin/python3", QStringLiteral(ORVEXA_TEST_DIR "/atspi_client.py"),
                                      ProgramPath(), work.path(), video});
    ASSERT_TRUE(client.waitForStarted(10000)) << "dbus-run-session did not start";
    const bool ended = client.waitForFinished(180000);
    const std::string output = client.readAll().toStdString();
    ASSERT_TRUE(ended) << "the client did not end\n" << output;
    EXPECT_EQ(client.exitStatus(), QProcess::NormalExit) << output;
    EXPECT_EQ(client.exitCode(), 0) << output;
}
