// SPDX-License-Identifier: GPL-2.0-or-later
// orvexa-batch: the ranking and batch extraction of the list window for scripts, with no
// window and no display. Options and messages are in English, as command-line tools' are.

#include <QCoreApplication>
#include <QGuiApplication>
#include <cerrno>
#include <cstdio>
#include <memory>

#include "batchcli/output_checks.h"

#include "batch/interrupt.h"
#include "batch/runner.h"
#include "batchcli/settings.h"
#include "framesource/naming.h"
#include "imaging/jpeg_image.h"

namespace {

// Prints the text on standard output and closes it: 0, or 1 with a line on standard error.
int PrintAll(const QByteArray& text) {
    errno = 0;
    bool written = std::fputs(text.constData(), stdout) >= 0 && std::fflush(stdout) == 0;
    int error = errno;
    if (std::fclose(stdout) != 0 && written) {
        written = false;
        error = errno;
    }
    if (written) return 0;
    std::fprintf(stderr, "orvexa-batch: standard output: cannot write: %s\n",
                 batch::WriteFailureReason(error).toUtf8().constData());
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    QStringList arguments;
    // Without loss: a name that is not UTF-8 stays the bytes it was.
    for (int i = 1; i < argc; ++i) arguments << naming::PathText(QByteArray(argv[i]));
    const batch::ParseResult parsed = batch::ParseArguments(arguments);
    switch (parsed.outcome) {
        case batch::ParseResult::Outcome::Help:
            return PrintAll(batch::HelpText().toLocal8Bit());
        case batch::ParseResult::Outcome::Version:
            return PrintAll(QByteArray("orvexa-batch ") + ORVEXA_VERSION + '\n');
        case batch::ParseResult::Outcome::BadUsage:
            std::fprintf(stderr, "orvexa-batch: %s\nTry 'orvexa-batch --help'.\n",
                         naming::PathBytes(parsed.error).constData());
            return 2;
        case batch::ParseResult::Outcome::Run:
            break;
    }
    const batch::Settings& settings = parsed.settings;
    // No windows: the core application needs no display. A plot's text needs the fonts of a
    // GUI application, which draws off screen.
    std::unique_ptr<QCoreApplication> application;
    if (settings.plot.isEmpty()) {
        application = std::make_unique<QCoreApplication>(argc, argv);
    } else {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        application = std::make_unique<QGuiApplication>(argc, argv);
    }
    batch::InstallStopSignals();
    return batch::RunCommand(settings);
}
