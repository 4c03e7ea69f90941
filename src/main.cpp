// Program start: the frame source's state, the application, the main window, then the JPEG
// options and the About box; the message loop runs until the main window closes.

#include <QApplication>
#include <cstdio>
#include <memory>

#include "app/TForm1.h"
#include "framesource/frame_source.h"
#include "options/TAboutBox.h"
#include "options/TFormOpJpeg.h"
#include "platform/application.h"
#include "platform/program_font.h"

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") &&
        qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        std::fprintf(stderr,
                     "Orvexa needs a display and none is set (DISPLAY, WAYLAND_DISPLAY); "
                     "run it under a virtual X server: xvfb-run -a %s\n",
                     argv[0]);
        return 1;
    }
    FrameSource::ResetVideoState();

    OrvexaApplication application(argc, argv);
    ApplyProgramFont(application);
    int result = 0;
    {
        auto mainWindow = std::make_unique<TForm1>();
        auto jpegOptionsWindow = std::make_unique<TFormOpJpeg>();
        mainWindow->setJpegOptionsWindow(jpegOptionsWindow.get());
        auto aboutBox = std::make_unique<TAboutBox>();
        mainWindow->show();
        result = application.exec();
        FrameSource::ModuleEnd();
    }
    return result;
}
