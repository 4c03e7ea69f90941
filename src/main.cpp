// SPDX-License-Identifier: GPL-2.0-or-later
// Program start: the command line, the frame source's state, the application, the main window,
// then the JPEG options and the About box; the message loop runs until the main window closes.

#include <QApplication>
#include <QFileInfo>
#include <QTimer>
#include <cstdio>
#include <memory>

#include "app/command_line.h"
#include "app/main_window.h"
#include "framesource/frame_source.h"
#include "options/about_box.h"
#include "options/jpeg_options_dialog.h"
#include "widgets/application.h"
#include "widgets/program_font.h"
#include "widgets/slot_guard.h"

namespace {

QStringList ArgumentsOf(int argc, char** argv) {
    QStringList arguments;
    for (int i = 1; i < argc; ++i) arguments << QString::fromLocal8Bit(argv[i]);
    return arguments;
}

}  // namespace

int main(int argc, char** argv) {
    using command_line::StartRequest;
    const QString programName = QFileInfo(QString::fromLocal8Bit(argv[0])).fileName();
    const QStringList arguments = ArgumentsOf(argc, argv);
    const StartRequest request = command_line::Parse(arguments);
    switch (request.action) {
        case StartRequest::Action::Help:
            std::fputs(command_line::UsageText(programName).toLocal8Bit().constData(), stdout);
            return 0;
        case StartRequest::Action::Version:
            std::fputs(command_line::VersionText().toLocal8Bit().constData(), stdout);
            return 0;
        case StartRequest::Action::BadUsage:
            std::fprintf(stderr, "%s: %s\n%s", programName.toLocal8Bit().constData(),
                         request.error.toLocal8Bit().constData(),
                         command_line::UsageText(programName).toLocal8Bit().constData());
            return 2;
        case StartRequest::Action::Run:
            break;
    }

    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") &&
        qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        const QString command = command_line::ShellCommand(QStringList(QString::fromLocal8Bit(argv[0])) + arguments);
        std::fprintf(stderr,
                     "Orvexa needs a display and none is set (DISPLAY, WAYLAND_DISPLAY); "
                     "run it under a virtual X server: xvfb-run -a %s\n",
                     command.toLocal8Bit().constData());
        return 1;
    }
    OrvexaApplication application(argc, argv);
    ApplyProgramFont(application);
    int result = 0;
    {
        // The program's one video and where the user is in it, handed to the windows.
        FrameSource source;
        Navigation navigation;
        auto mainWindow = std::make_unique<MainWindow>(source, navigation);
        auto jpegOptionsWindow = std::make_unique<JpegOptionsDialog>();
        mainWindow->setJpegOptionsWindow(jpegOptionsWindow.get());
        auto aboutBox = std::make_unique<AboutBox>();
        mainWindow->show();
        if (!request.file.isEmpty()) {
            // Opened once the loop runs, so the window is up while a long video is indexed.
            // The path is made absolute now, from the directory the program was started in.
            const QString path = QFileInfo(request.file).absoluteFilePath();
            QTimer::singleShot(0, mainWindow.get(), [window = mainWindow.get(), path] {
                errors::Guard([&] { window->OpenVideoFile(path); });
            });
        }
        result = application.exec();
    }
    return result;
}
