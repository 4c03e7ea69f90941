// SPDX-License-Identifier: GPL-2.0-or-later
#include "batch/terminal.h"

#include <unistd.h>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QStringList>
#include <cstdio>
#include <map>
#include <mutex>

namespace batch::terminal {

namespace {

constexpr qint64 kRedrawMs = 100;

struct Running {
    QString name;
    int64_t done = 0;
    int64_t total = 0;
    QElapsedTimer clock;
};

struct State {
    std::mutex lock;  // a ranking may report from several threads
    bool enabled = false;
    bool lineShown = false;
    std::map<size_t, Running> running;
    QElapsedTimer sinceRedraw;
};

State& state() {
    static State s;
    return s;
}

QString Duration(double seconds) {
    const auto whole = qint64(seconds + 0.5);
    return whole >= 3600 ? QString::asprintf("%lld:%02lld:%02lld", whole / 3600, whole / 60 % 60, whole % 60)
                         : QString::asprintf("%lld:%02lld", whole / 60, whole % 60);
}

QString Describe(const Running& r) {
    QString text = QStringLiteral("%1 %2/%3 frames").arg(r.name).arg(r.done).arg(r.total);
    const double seconds = double(r.clock.elapsed()) / 1000.0;
    if (r.done > 0 && seconds > 0.2) {
        const double rate = double(r.done) / seconds;
        text += QString::asprintf(", %.1f frames/s, %s left", rate,
                                  Duration(double(r.total - r.done) / rate).toLatin1().constData());
    }
    return text;
}

void ClearLine(State& s) {
    if (!s.lineShown) return;
    std::fputs("\r\033[K", stderr);
    s.lineShown = false;
}

void Draw(State& s) {
    QStringList parts;
    for (const auto& [index, running] : s.running) parts << Describe(running);
    std::fputs("\r\033[K", stderr);
    std::fputs(parts.join(QStringLiteral(" | ")).toLocal8Bit().constData(), stderr);
    std::fflush(stderr);
    s.lineShown = !parts.isEmpty();
    s.sinceRedraw.restart();
}

}  // namespace

void EnableProgress() {
    State& s = state();
    std::lock_guard guard(s.lock);
    s.enabled = isatty(STDERR_FILENO) == 1;
    s.sinceRedraw.start();
}

void Message(const QString& text) {
    State& s = state();
    std::lock_guard guard(s.lock);
    ClearLine(s);
    std::fprintf(stderr, "orvexa-batch: %s\n", text.toLocal8Bit().constData());
    std::fflush(stderr);
}

void Progress(size_t index, const QString& video, int64_t done, int64_t total) {
    State& s = state();
    std::lock_guard guard(s.lock);
    if (!s.enabled) return;
    auto [entry, added] = s.running.try_emplace(index);
    Running& r = entry->second;
    if (added) {
        r.name = QFileInfo(video).fileName();
        r.clock.start();
    }
    r.done = done;
    r.total = total;
    if (added || s.sinceRedraw.elapsed() >= kRedrawMs) Draw(s);
}

void Finished(size_t index) {
    State& s = state();
    std::lock_guard guard(s.lock);
    if (s.running.erase(index) == 0 || !s.enabled) return;
    if (s.running.empty()) {
        ClearLine(s);
    } else {
        Draw(s);
    }
}

void EndProgress() {
    State& s = state();
    std::lock_guard guard(s.lock);
    s.running.clear();
    ClearLine(s);
    std::fflush(stderr);
}

}  // namespace batch::terminal
