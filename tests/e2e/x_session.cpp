// SPDX-License-Identifier: GPL-2.0-or-later
#include "x_session.h"

#include <QElapsedTimer>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QThread>

XSession::XSession() = default;

XSession::~XSession() {
    for (auto* process : {program_.get(), server_.get()}) {
        if (process && process->state() != QProcess::NotRunning) {
            process->terminate();
            if (!process->waitForFinished(3000)) process->kill();
            process->waitForFinished(3000);
        }
    }
}

bool XSession::start(QSize screen) {
    if (QStandardPaths::findExecutable("Xvfb").isEmpty() || QStandardPaths::findExecutable("xdotool").isEmpty()) {
        error_ = "Xvfb or xdotool is not installed";
        return false;
    }
    // Xvfb picks a free display itself and writes its number on the given descriptor.
    server_ = std::make_unique<QProcess>();
    server_->setProcessChannelMode(QProcess::SeparateChannels);
    server_->start("Xvfb", {"-displayfd", "1", "-screen", "0",
                            QStringLiteral("%1x%2x24").arg(screen.width()).arg(screen.height()), "-nolisten", "tcp"});
    if (!server_->waitForStarted(5000)) {
        error_ = "Xvfb did not start";
        return false;
    }
    QElapsedTimer timer;
    timer.start();
    QByteArray output;
    while (!output.contains('\n') && timer.elapsed() < 10000) {
        server_->waitForReadyRead(200);
        output += server_->readAllStandardOutput();
    }
    const QString number = QString::fromLatin1(output).trimmed();
    if (number.isEmpty()) {
        error_ = "Xvfb gave no display number";
        return false;
    }
    display_ = ":" + number;
    return true;
}

bool XSession::launch(const QString& program, const QString& workingDirectory, const QStringList& arguments) {
    program_ = std::make_unique<QProcess>();
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("DISPLAY", display_);
    environment.insert("QT_QPA_PLATFORM", "xcb");
    environment.remove("WAYLAND_DISPLAY");
    environment.insert("XDG_CONFIG_HOME", settings_.path());
    program_->setProcessEnvironment(environment);
    program_->setWorkingDirectory(workingDirectory);
    program_->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    program_->start(program, arguments);
    return program_->waitForStarted(5000);
}

bool XSession::programRunning() const { return program_ && program_->state() == QProcess::Running; }

int XSession::waitForExit(int milliseconds) {
    if (!program_) return -1;
    if (program_->state() != QProcess::NotRunning && !program_->waitForFinished(milliseconds)) return -1;
    return program_->exitStatus() == QProcess::NormalExit ? program_->exitCode() : -1;
}

QString XSession::xdotool(const QStringList& arguments, int milliseconds) {
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("DISPLAY", display_);
    process.setProcessEnvironment(environment);
    process.start("xdotool", arguments);
    process.waitForFinished(milliseconds);
    return QString::fromUtf8(process.readAllStandardOutput()).trimmed();
}

qulonglong XSession::waitForWindow(const QString& titlePattern, int milliseconds) {
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < milliseconds) {
        const QString found = xdotool({"search", "--onlyvisible", "--name", titlePattern});
        if (!found.isEmpty()) return found.section('\n', 0, 0).toULongLong();
        QThread::msleep(100);
    }
    return 0;
}

QRect XSession::geometry(qulonglong window) {
    const QString shell = xdotool({"getwindowgeometry", "--shell", QString::number(window)});
    QRect rect;
    for (const QString& line : shell.split('\n')) {
        const QString name = line.section('=', 0, 0), value = line.section('=', 1);
        if (name == "X") rect.moveLeft(value.toInt());
        if (name == "Y") rect.moveTop(value.toInt());
        if (name == "WIDTH") rect.setWidth(value.toInt());
        if (name == "HEIGHT") rect.setHeight(value.toInt());
    }
    return rect;
}

void XSession::click(int x, int y) {
    xdotool({"mousemove", "--sync", QString::number(x), QString::number(y), "click", "1"});
    settle();
}

void XSession::drag(int x1, int y1, int x2, int y2) {
    xdotool({"mousemove", "--sync", QString::number(x1), QString::number(y1), "mousedown", "1"});
    settle(100);
    // A few intermediate moves, as a hand would make.
    for (int step = 1; step <= 4; ++step) {
        xdotool({"mousemove", "--sync", QString::number(x1 + (x2 - x1) * step / 4),
                 QString::number(y1 + (y2 - y1) * step / 4)});
        settle(50);
    }
    xdotool({"mouseup", "1"});
    settle();
}

void XSession::key(const QString& keys) {
    xdotool({"key", "--clearmodifiers", keys});
    settle();
}

void XSession::type(const QString& text) {
    xdotool({"type", "--delay", "20", text}, 60000);
    settle();
}

void XSession::settle(int milliseconds) { QThread::msleep(milliseconds); }

void XSession::shot(const QString& name) {
    const QString directory = qEnvironmentVariable("ORVEXA_E2E_SHOTS");
    if (directory.isEmpty()) return;
    QProcess process;
    process.start("xwd", {"-root", "-silent", "-display", display_, "-out", directory + "/" + name + ".xwd"});
    process.waitForFinished(10000);
}
