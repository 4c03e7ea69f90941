// SPDX-License-Identifier: GPL-2.0-or-later
// The program's command line: what it asks for, and a video named on it opened as "Ouvrir..."
// opens the chosen one.
#include <gtest/gtest.h>
#include <QDir>

#include "app/command_line.h"
#include "main_window_fixture.h"

namespace {

using Action = command_line::StartRequest::Action;

TEST(CommandLine, ReadsAFileHelpVersionAndRefusesTheRest) {
    struct Case {
        QStringList arguments;
        Action action;
        QString file;
    };
    const Case cases[] = {
        {{}, Action::Run, ""},
        {{"clip.mp4"}, Action::Run, "clip.mp4"},
        {{"--", "-odd name.avi"}, Action::Run, "-odd name.avi"},
        {{"-platform", "offscreen", "clip.avi"}, Action::Run, "clip.avi"},  // Qt's own options pass
        {{"clip.avi", "--help"}, Action::Help, ""},
        {{"-h"}, Action::Help, ""},
        {{"--version"}, Action::Version, ""},
        {{"--frobnicate"}, Action::BadUsage, ""},
        {{"-x", "clip.avi"}, Action::BadUsage, ""},
        {{"one.avi", "two.avi"}, Action::BadUsage, ""},
        {{"-platform"}, Action::BadUsage, ""},
    };
    for (const Case& c : cases) {
        const command_line::StartRequest request = command_line::Parse(c.arguments);
        EXPECT_EQ(request.action, c.action) << c.arguments.join(' ').toStdString();
        EXPECT_EQ(request.file, c.file) << c.arguments.join(' ').toStdString();
        EXPECT_EQ(request.error.isEmpty(), c.action != Action::BadUsage) << c.arguments.join(' ').toStdString();
    }
    EXPECT_EQ(command_line::VersionText(), "Orvexa 0.30\n");
}

TEST_F(MainWindowTest, AFileFromTheCommandLineOpensAsOuvrirDoes) {
    fixture::VideoOptions options;
    options.frames = 12;
    ASSERT_TRUE(fixture::WriteVideo(dir.File("clip.avi"), options));
    const QString previous = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(QString::fromStdString(dir.File(""))));
    window->OpenVideoFile("clip.avi");  // relative to the current directory
    QDir::setCurrent(previous);

    ASSERT_TRUE(frameSource.VideoOpen());
    EXPECT_EQ(QFileInfo(frameSource.VideoFileName()).absoluteFilePath(),
              QFileInfo(QString::fromStdString(dir.File("clip.avi"))).absoluteFilePath());
    EXPECT_EQ(ui().LabelRepFicAvi->text(),
              QFileInfo(QString::fromStdString(dir.File("clip.avi"))).absolutePath() + '/');
    EXPECT_EQ(ui().EditNomFicAvi->text(), "clip.avi");
    EXPECT_EQ(ui().LabelMax->text(), "11");
    EXPECT_EQ(window->VideoViewer()->windowTitle(), "Vue Avi: 0 - Ligne: 0");
    EXPECT_EQ(ShownFrameNumber(), 0);
    EXPECT_TRUE(ui().SpeedButtonListe->isEnabled());

    // A file that cannot be opened: "Erreur", no message, and the window goes on.
    window->OpenVideoFile(QString::fromStdString(dir.File("missing.avi")));
    EXPECT_FALSE(frameSource.VideoOpen());
    EXPECT_EQ(ui().LabelMax->text(), "Erreur");
    EXPECT_EQ(ui().EditNomFicAvi->text(), "missing.avi");
    EXPECT_FALSE(ui().SpeedButtonListe->isEnabled());
    EXPECT_EQ(dialogs->shownCount(), 0);
    EXPECT_TRUE(window->isVisible());
}

}  // namespace
