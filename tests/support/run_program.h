// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once
// Runs one of the built or installed programs as a script runs it: no display at all.

#include <QByteArray>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

namespace testing_support {

struct ProgramRun {
    int exitCode = -1;  // -1: it did not start, crashed or did not end in time
    QString out;
    QString err;
};

// This process's environment without DISPLAY, WAYLAND_DISPLAY and QT_QPA_PLATFORM.
QProcessEnvironment WithoutDisplay();

ProgramRun RunWithoutDisplay(const QString& program, const QStringList& arguments, const QByteArray& input = {});

}  // namespace testing_support
