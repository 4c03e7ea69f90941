// SPDX-License-Identifier: GPL-2.0-or-later
#include "imaging/metafile.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <cstring>
#include <functional>

#include <sys/prctl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <csignal>

#include "imaging/bitmap.h"
#include "imaging/metafile_helper_protocol.h"

namespace imaging {
namespace {

// Both helper runs of one picture together: loading a picture never waits longer.
constexpr int kTimeLimitMs = 4000;
// The helper's address space: the libraries, Qt, and a picture of the largest size.
constexpr rlim_t kAddressSpaceBytes = rlim_t(1) << 30;
constexpr rlim_t kCpuSeconds = 5;

QString& HelperPathOverride() {
    static QString path;
    return path;
}

QString HelperPath() {
    if (!HelperPathOverride().isEmpty()) return HelperPathOverride();
    return MetafileHelperFor(QCoreApplication::applicationDirPath());
}

}  // namespace

QString MetafileHelperFor(const QString& programDirectory) {
    const QString beside = programDirectory + '/' + metafile::kHelperName;
    if (QFileInfo(beside).isExecutable()) return beside;
    return QDir::cleanPath(programDirectory + '/' + ORVEXA_HELPER_FROM_BINDIR + '/' + metafile::kHelperName);
}

namespace {

// Runs in the child between fork and exec: only async-signal-safe calls.
void LimitHelper() {
    const auto limit = [](int resource, rlim_t value) {
        const rlimit r{value, value};
        setrlimit(resource, &r);
    };
    limit(RLIMIT_AS, kAddressSpaceBytes);
    limit(RLIMIT_CPU, kCpuSeconds);
    limit(RLIMIT_FSIZE, 0);  // no file written, none grown
    limit(RLIMIT_CORE, 0);
    prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0);
    prctl(PR_SET_PDEATHSIG, SIGKILL, 0, 0, 0);
    if (chdir("/") != 0) _exit(127);
}

// Receives the helper's output as it comes; false stops the helper.
using Sink = std::function<bool(const char* data, qint64 bytes)>;

// Runs the helper to its end within the deadline; true when it exited with status 0 and the
// sink took all it wrote.
bool RunHelper(const QStringList& arguments, const QByteArray& input, const QDeadlineTimer& deadline,
               const Sink& sink) {
    QProcess helper;
    helper.setProgram(HelperPath());
    helper.setArguments(arguments);
    helper.setStandardErrorFile(QProcess::nullDevice());
    if (input.isEmpty()) helper.setStandardInputFile(QProcess::nullDevice());
    helper.setChildProcessModifier(LimitHelper);
    helper.start(QIODevice::ReadWrite);
    if (!helper.waitForStarted(int(deadline.remainingTime()))) return false;
    if (!input.isEmpty()) {
        helper.write(input);
        helper.closeWriteChannel();
    }
    bool accepted = true;
    const auto drain = [&] {
        while (accepted && helper.bytesAvailable() > 0) {
            const QByteArray chunk = helper.read(1 << 20);
            accepted = sink(chunk.constData(), chunk.size());
        }
    };
    while (accepted && helper.state() != QProcess::NotRunning && !deadline.hasExpired()) {
        helper.waitForReadyRead(int(std::max<qint64>(deadline.remainingTime(), 1)));
        drain();
    }
    if (helper.state() != QProcess::NotRunning) {
        helper.kill();
        helper.waitForFinished(-1);
        return false;
    }
    drain();
    return accepted && helper.exitStatus() == QProcess::NormalExit && helper.exitCode() == 0;
}

QByteArray ConvertToSvg(const QString& path, bool enhanced, const QDeadlineTimer& deadline) {
    QByteArray svg;
    const bool ok = RunHelper({"svg", enhanced ? "emf" : "wmf", QFileInfo(path).absoluteFilePath()}, {}, deadline,
                              [&svg](const char* data, qint64 bytes) {
                                  if (svg.size() + bytes > metafile::kMaxSvgBytes) return false;
                                  svg.append(data, bytes);
                                  return true;
                              });
    return ok ? svg : QByteArray();
}

// The picture the helper draws from the SVG, written straight into the image as it arrives.
QImage Render(const QByteArray& svg, const QDeadlineTimer& deadline) {
    uint32_t header[2] = {0, 0};
    int64_t received = 0;
    QImage image;
    const bool ok = RunHelper({"render"}, svg, deadline, [&](const char* data, qint64 bytes) {
        while (bytes > 0) {
            if (received < int64_t(sizeof header)) {
                const qint64 take = std::min<qint64>(bytes, qint64(sizeof header) - received);
                std::memcpy(reinterpret_cast<char*>(header) + received, data, size_t(take));
                received += take, data += take, bytes -= take;
                if (received < int64_t(sizeof header)) return true;
                if (header[0] < 1 || header[0] > uint32_t(metafile::kMaxSide) || header[1] < 1 ||
                    header[1] > uint32_t(metafile::kMaxSide)) {
                    return false;
                }
                image = QImage(int(header[0]), int(header[1]), QImage::Format_RGB32);
                if (image.isNull()) return false;
                continue;
            }
            const int64_t at = received - int64_t(sizeof header);
            if (at + bytes > image.sizeInBytes()) return false;
            std::memcpy(image.bits() + at, data, size_t(bytes));
            received += bytes;
            bytes = 0;
        }
        return true;
    });
    if (!ok || image.isNull() || received != int64_t(sizeof header) + image.sizeInBytes()) return {};
    return image;
}

}  // namespace

void SetMetafileHelperPath(const QString& path) { HelperPathOverride() = path; }

std::unique_ptr<Graphic> LoadMetafile(const QString& path) {
    if (QFileInfo(path).size() > metafile::kMaxFileBytes) return nullptr;
    const bool enhanced = QFileInfo(path).suffix().compare("emf", Qt::CaseInsensitive) == 0;
    const QDeadlineTimer deadline(kTimeLimitMs);
    const QByteArray svg = ConvertToSvg(path, enhanced, deadline);
    if (svg.isEmpty()) return nullptr;
    QImage image = Render(svg, deadline);
    if (image.isNull()) return nullptr;
    return std::make_unique<Bitmap>(std::move(image), PixelLayout::Bits32);
}

}  // namespace imaging
