// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once
// Runs orvexa-batch with arguments given as bytes, as a shell passes them (names that are not
// UTF-8 included), without a display; on a terminal of a given width when asked. And what the
// tests read back of its files.

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <string>
#include <vector>

#include "support/fixture_video.h"

namespace batch_testing {

struct RawRun {
    int exitCode = -1;  // -1: it did not start, was killed or did not end in time
    QByteArray out;     // on a terminal: all that the terminal received
    QByteArray err;
};

// `terminalColumns` > 0: standard input, output and error are one terminal that wide.
// `standardOutput`: a file that standard output goes to instead (/dev/full: a full disk).
RawRun RunBatchRaw(const std::vector<QByteArray>& arguments, int terminalColumns = 0,
                   const char* standardOutput = nullptr);

// The lines a terminal `columns` wide shows once it received `output`: characters wrap at the
// last column, "\r" goes back to the line's start, "\033[K" clears to its end.
std::vector<QByteArray> ScreenLines(const QByteArray& output, int columns);

// A fixture video in the directory; empty when it could not be written.
QString WriteClip(const fixture::TempDir& dir, const std::string& name, fixture::Codec codec,
                  const std::string& container, int frames);

QByteArray Contents(const QString& path);
// The file names in the directory, hidden ones included, sorted.
QStringList FilesIn(const QString& directory);

}  // namespace batch_testing
