// SPDX-License-Identifier: GPL-2.0-or-later
#include "batchcli/terminal.h"

#include <sys/ioctl.h>
#include <unistd.h>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QStringList>
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cwchar>

#include "base/clock_time.h"
#include "batchcli/output_checks.h"
#include "framesource/naming.h"

namespace batch {

namespace {

constexpr qint64 kRedrawMs = 100;

using Running = Terminal::Running;

QString Duration(double seconds) { return clock_time::ClockTime(seconds, clock_time::Hours::FromAnHour); }

// What follows the video's name: " DONE/TOTAL frames", and the rate and time left.
QString Counts(const Running& r, bool withRate) {
    QString text = QStringLiteral(" %1/%2 frames").arg(r.done).arg(r.total);
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

qsizetype Width(const QString& text) {
    qsizetype width = 0;
    for (const char32_t c : text.toUcs4()) width += Columns(c);
    return width;
}

// The leading characters of the text that take at most `room` columns; the trailing ones when
// `fromEnd`.
QString Cut(const QString& text, qsizetype room, bool fromEnd = false) {
    QList<uint> characters = text.toUcs4();
    if (fromEnd) std::reverse(characters.begin(), characters.end());
    QList<uint> kept;
    for (const uint c : characters) {
        room -= Columns(c);
        if (room < 0) break;
        kept << c;
    }
    if (fromEnd) std::reverse(kept.begin(), kept.end());
    return QString::fromUcs4(reinterpret_cast<const char32_t*>(kept.constData()), kept.size());
}

// The name in at most `room` columns: its start and end around "...".
QString Shortened(const QString& name, qsizetype room) {
    if (Width(name) <= room) return name;
    const qsizetype kept = room - 3;
    return Cut(name, kept - kept / 2) + QStringLiteral("...") + Cut(name, kept / 2, true);
}

// The terminal's columns, less one: a line that reaches the last column wraps on some
// terminals, and clearing it would leave a line behind.
qsizetype LineRoom() {
    winsize size{};
    if (ioctl(STDERR_FILENO, TIOCGWINSZ, &size) != 0 || size.ws_col == 0) return 79;
    return qsizetype(size.ws_col) - 1;
}

constexpr qsizetype kShortestName = 7;

// Every video's progress when it fits; then without rates; then with names shortened to equal
// shares of the room the counts leave; at last cut.
QString FittedLine(const std::map<size_t, Running>& running) {
    if (running.empty()) return {};
    const qsizetype room = LineRoom();
    const QString separator = QStringLiteral(" | ");
    const auto line = [&](bool withRate, qsizetype nameRoom) {
        QStringList parts;
        for (const auto& [index, r] : running) parts << Shortened(r.name, nameRoom) + Counts(r, withRate);
        return parts.join(separator);
    };
    for (const bool withRate : {true, false}) {
        const QString whole = line(withRate, room);
        if (Width(whole) <= room) return whole;
    }
    qsizetype countsWidth = Width(separator) * qsizetype(running.size() - 1);
    for (const auto& [index, r] : running) countsWidth += Width(Counts(r, false));
    const qsizetype share = (room - countsWidth) / qsizetype(running.size());
    return Cut(line(false, std::max(share, kShortestName)), room);
}

}  // namespace

void Terminal::ClearLine() {
    if (!lineShown_) return;
    std::fputs("\r\033[K", stderr);
    lineShown_ = false;
}

void Terminal::Draw() {
    std::fputs("\r\033[K", stderr);
    const QString line = FittedLine(running_);
    std::fputs(line.toUtf8().constData(), stderr);
    std::fflush(stderr);
    lineShown_ = !line.isEmpty();
    sinceRedraw_.restart();
}

void Terminal::EnableProgress() {
    std::lock_guard guard(lock_);
    enabled_ = isatty(STDERR_FILENO) == 1;
    sinceRedraw_.start();
}

void Terminal::Message(const QString& text) {
    std::lock_guard guard(lock_);
    ClearLine();
    std::fprintf(stderr, "orvexa-batch: %s\n", naming::PathBytes(text).constData());
    std::fflush(stderr);
}

void Terminal::OutputError(int error) {
    if (outputFailed_) return;
    outputFailed_ = true;
    ClearLine();
    std::fprintf(stderr, "orvexa-batch: standard output: cannot write: %s\n",
                 WriteFailureReason(error).toUtf8().constData());
    std::fflush(stderr);
}

void Terminal::Output(const QByteArray& text) {
    std::lock_guard guard(lock_);
    if (outputFailed_ || outputClosed_) return;
    const bool wasShown = lineShown_;
    ClearLine();
    std::fflush(stderr);
    errno = 0;
    if (std::fwrite(text.constData(), 1, size_t(text.size()), stdout) != size_t(text.size()) ||
        std::fflush(stdout) != 0) {
        OutputError(errno);
        return;
    }
    if (wasShown) Draw();
}

bool Terminal::OutputFailed() {
    std::lock_guard guard(lock_);
    return outputFailed_;
}

int Terminal::CloseOutput(int status) {
    std::lock_guard guard(lock_);
    if (outputClosed_) return status;
    outputClosed_ = true;
    errno = 0;
    const bool flushed = std::fflush(stdout) == 0 && !std::ferror(stdout);
    int error = errno;
    // Closing tells what a file system keeps until then (NFS, a full quota).
    const bool closed = std::fclose(stdout) == 0;
    if (flushed && !closed) error = errno;
    if (!flushed || !closed) OutputError(error);
    return outputFailed_ && status == 0 ? 1 : status;
}

void Terminal::Progress(size_t index, const QString& video, int64_t done, int64_t total) {
    std::lock_guard guard(lock_);
    if (!enabled_) return;
    auto [entry, added] = running_.try_emplace(index);
    Running& r = entry->second;
    if (added) {
        r.name = Shown(QFileInfo(video).fileName());
        r.clock.start();
    }
    r.done = done;
    r.total = total;
    if (added || sinceRedraw_.elapsed() >= kRedrawMs) Draw();
}

void Terminal::Finished(size_t index) {
    std::lock_guard guard(lock_);
    if (running_.erase(index) == 0 || !enabled_) return;
    if (running_.empty()) {
        ClearLine();
    } else {
        Draw();
    }
}

void Terminal::EndProgress() {
    std::lock_guard guard(lock_);
    running_.clear();
    ClearLine();
    std::fflush(stderr);
}

}  // namespace batch
