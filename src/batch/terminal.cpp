#include "batch/terminal.h"

#include <sys/ioctl.h>
#include <unistd.h>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QStringList>
#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <map>
#include <mutex>

#include "framesource/output_names.h"

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

QString Describe(const Running& r, bool withRate) {
    QString text = QStringLiteral("%1 %2/%3 frames").arg(r.name).arg(r.done).arg(r.total);
    const double seconds = double(r.clock.elapsed()) / 1000.0;
    if (withRate && r.done > 0 && seconds > 0.2) {
        const double rate = double(r.done) / seconds;
        text += QString::asprintf(", %.1f frames/s, %s left", rate,
                                  Duration(double(r.total - r.done) / rate).toLatin1().constData());
    }
    return text;
}

// The columns a character takes; 0 for one that must not be printed.
int Columns(char32_t c) {
    if (c < 0x20 || c == 0x7f || (c >= 0x80 && c < 0xa0) || (c >= 0xd800 && c < 0xe000)) return 0;
    return std::max(wcwidth(wchar_t(c)), 0);
}

// The name as the line shows it: nothing that moves the cursor, "?" for a byte that is not
// UTF-8 and for what the terminal would not show.
QString Shown(const QString& name) {
    QString shown;
    for (const char32_t c : name.toUcs4()) shown += Columns(c) > 0 ? QString::fromUcs4(&c, 1) : QStringLiteral("?");
    return shown;
}

// The leading characters of the line that take at most `room` columns.
QString Cut(const QString& line, qsizetype room) {
    QString cut;
    for (const char32_t c : line.toUcs4()) {
        room -= Columns(c);
        if (room < 0) break;
        cut += QString::fromUcs4(&c, 1);
    }
    return cut;
}

// The terminal's columns, less one: a line that reaches the last column wraps on some
// terminals, and clearing it would leave a line behind.
qsizetype LineRoom() {
    winsize size{};
    if (ioctl(STDERR_FILENO, TIOCGWINSZ, &size) != 0 || size.ws_col == 0) return 79;
    return qsizetype(size.ws_col) - 1;
}

// Every video's progress when it fits, then without rates, then cut.
QString FittedLine(const std::map<size_t, Running>& running) {
    const qsizetype room = LineRoom();
    QString line;
    for (const bool withRate : {true, false}) {
        QStringList parts;
        for (const auto& [index, r] : running) parts << Describe(r, withRate);
        line = parts.join(QStringLiteral(" | "));
        const QString cut = Cut(line, room);
        if (cut.size() == line.size()) return line;
    }
    return Cut(line, room);
}

void ClearLine(State& s) {
    if (!s.lineShown) return;
    std::fputs("\r\033[K", stderr);
    s.lineShown = false;
}

void Draw(State& s) {
    std::fputs("\r\033[K", stderr);
    const QString line = FittedLine(s.running);
    std::fputs(line.toUtf8().constData(), stderr);
    std::fflush(stderr);
    s.lineShown = !line.isEmpty();
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
    std::fprintf(stderr, "orvexa-batch: %s\n", naming::PathBytes(text).constData());
    std::fflush(stderr);
}

void Output(const QByteArray& text) {
    State& s = state();
    std::lock_guard guard(s.lock);
    const bool wasShown = s.lineShown;
    ClearLine(s);
    std::fflush(stderr);
    std::fwrite(text.constData(), 1, size_t(text.size()), stdout);
    std::fflush(stdout);
    if (wasShown) Draw(s);
}

void Progress(size_t index, const QString& video, int64_t done, int64_t total) {
    State& s = state();
    std::lock_guard guard(s.lock);
    if (!s.enabled) return;
    auto [entry, added] = s.running.try_emplace(index);
    Running& r = entry->second;
    if (added) {
        r.name = Shown(QFileInfo(video).fileName());
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
