// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once
// The program's command line: an optional video to open at start, --help and --version. It is
// read before the application object exists, so that the texts need no display. Qt's own
// options (-platform, -display, -style, ...) are left for the application object.

#include <QString>
#include <QStringList>

namespace command_line {

struct StartRequest {
    enum class Action { Run, Help, Version, BadUsage };
    Action action = Action::Run;
    QString file;   // the video to open at start, as given; empty for none
    QString error;  // what was wrong, for BadUsage
};

// `arguments` without the program's name.
StartRequest Parse(const QStringList& arguments);

QString UsageText(const QString& programName);
// The words as one line for a POSIX shell, each quoted where the shell would split or expand it.
QString ShellCommand(const QStringList& words);
QString VersionText();

}  // namespace command_line
