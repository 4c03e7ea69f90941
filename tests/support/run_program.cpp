// SPDX-License-Identifier: GPL-2.0-or-later
#include "support/run_program.h"

#include <QProcess>

namespace testing_support {

QProcessEnvironment WithoutDisplay() {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) environment.remove(name);
    return environment;
}

ProgramRun RunWithoutDisplay(const QString& program, const QStringList& arguments, const QByteArray& input) {
    QProcess process;
    process.setProcessEnvironment(WithoutDisplay());
    process.start(program, arguments);
    ProgramRun run;
    if (!process.waitForStarted()) return run;
    process.write(input);
    process.closeWriteChannel();
    if (!process.waitForFinished(300000) || process.exitStatus() != QProcess::NormalExit) return run;
    run.exitCode = process.exitCode();
    run.out = QString::fromLocal8Bit(process.readAllStandardOutput());
    run.err = QString::fromLocal8Bit(process.readAllStandardError());
    return run;
}

}  // namespace testing_support
