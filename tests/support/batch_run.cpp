// SPDX-License-Identifier: GPL-2.0-or-later
#include "support/batch_run.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryFile>
#include <cerrno>
#include <cstring>

extern char** environ;

namespace batch_testing {

namespace {

constexpr qint64 kTimeoutMs = 300000;

// Made before forking: the child only execs.
struct Exec {
    std::vector<QByteArray> arguments;
    std::vector<QByteArray> environment;
    std::vector<char*> argv;
    std::vector<char*> envp;

    explicit Exec(const std::vector<QByteArray>& args) : arguments(args) {
        arguments.insert(arguments.begin(), QByteArray(ORVEXA_BATCH_PATH));
        for (QByteArray& a : arguments) argv.push_back(a.data());
        argv.push_back(nullptr);
        for (char** e = environ; *e; ++e) {
            const QByteArray entry(*e);
            if (entry.startsWith("DISPLAY=") || entry.startsWith("WAYLAND_DISPLAY=") ||
                entry.startsWith("QT_QPA_PLATFORM=")) {
                continue;
            }
            environment.push_back(entry);
        }
        for (QByteArray& e : environment) envp.push_back(e.data());
        envp.push_back(nullptr);
    }
    [[noreturn]] void Run() {
        execve(argv[0], argv.data(), envp.data());
        _exit(127);
    }
};

int Wait(pid_t pid, const QElapsedTimer& clock) {
    int status = 0;
    for (;;) {
        const pid_t done = waitpid(pid, &status, WNOHANG);
        if (done == pid) return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        if (done < 0 && errno != EINTR) return -1;
        if (clock.elapsed() > kTimeoutMs) kill(pid, SIGKILL);
        usleep(10000);
    }
}

QByteArray ReadAll(QTemporaryFile& file) {
    file.seek(0);
    return file.readAll();
}

}  // namespace

RawRun RunBatchRaw(const std::vector<QByteArray>& arguments, int terminalColumns, const char* standardOutput) {
    Exec exec(arguments);
    RawRun run;
    QElapsedTimer clock;
    clock.start();
    if (terminalColumns > 0) {
        winsize size{};
        size.ws_row = 24;
        size.ws_col = ushort(terminalColumns);
        int terminal = -1;
        const pid_t pid = forkpty(&terminal, nullptr, nullptr, &size);
        if (pid < 0) return run;
        if (pid == 0) exec.Run();
        for (;;) {
            pollfd ready{terminal, POLLIN, 0};
            if (poll(&ready, 1, 1000) == 0 && clock.elapsed() > kTimeoutMs) kill(pid, SIGKILL);
            char buffer[4096];
            const ssize_t n = read(terminal, buffer, sizeof buffer);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) break;  // EIO once the program and its terminal are gone
            run.out.append(buffer, n);
        }
        close(terminal);
        run.exitCode = Wait(pid, clock);
        return run;
    }
    QTemporaryFile out, err;
    if (!out.open() || !err.open()) return run;
    const pid_t pid = fork();
    if (pid < 0) return run;
    if (pid == 0) {
        const int nothing = open("/dev/null", O_RDONLY);
        dup2(nothing, 0);
        dup2(standardOutput ? open(standardOutput, O_WRONLY) : out.handle(), 1);
        dup2(err.handle(), 2);
        exec.Run();
    }
    run.exitCode = Wait(pid, clock);
    run.out = ReadAll(out);
    run.err = ReadAll(err);
    return run;
}

std::vector<QByteArray> ScreenLines(const QByteArray& output, int columns) {
    std::vector<QByteArray> lines(1);
    size_t row = 0;
    int column = 0;
    const auto nextRow = [&] {
        ++row;
        column = 0;
        if (row == lines.size()) lines.emplace_back();
    };
    for (qsizetype i = 0; i < output.size(); ++i) {
        const char c = output[i];
        if (output.mid(i, 3) == "\033[K") {
            lines[row].truncate(column);
            i += 2;
        } else if (c == '\r') {
            column = 0;
        } else if (c == '\n') {
            nextRow();
        } else {
            if (column == columns) nextRow();
            QByteArray& line = lines[row];
            if (line.size() < column + 1) line.resize(column + 1, ' ');
            line[column++] = c;
        }
    }
    return lines;
}

QString WriteClip(const fixture::TempDir& dir, const std::string& name, fixture::Codec codec,
                  const std::string& container, int frames) {
    fixture::VideoOptions video;
    video.codec = codec;
    video.container = container;
    video.frames = frames;
    const QString path = QString::fromStdString(dir.File(name));
    return fixture::WriteVideo(path.toStdString(), video) ? path : QString();
}

QByteArray Contents(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QStringList FilesIn(const QString& directory) {
    return QDir(directory).entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
}

}  // namespace batch_testing
