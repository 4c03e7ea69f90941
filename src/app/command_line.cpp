// SPDX-License-Identifier: GPL-2.0-or-later
#include "app/command_line.h"

#include <QRegularExpression>

#include "options/identity.h"

namespace command_line {

namespace {

// The options QApplication takes itself; those listed with a value take the next argument.
const QStringList kQtOptionsWithValue = {
    "-platform",   "-platformpluginpath", "-platformtheme", "-plugin",      "-display", "-style",
    "-stylesheet", "-qwindowgeometry",    "-qwindowtitle",  "-qwindowicon", "-session"};
const QStringList kQtFlags = {"-reverse", "-widgetcount", "-sync", "-nograb", "-dograb"};

StartRequest Bad(const QString& error) { return {StartRequest::Action::BadUsage, {}, error}; }

}  // namespace

StartRequest Parse(const QStringList& arguments) {
    StartRequest request;
    bool onlyFiles = false;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& argument = arguments[i];
        const bool isOption = !onlyFiles && argument.startsWith('-') && argument != "-";
        if (!isOption) {
            if (!request.file.isEmpty()) return Bad(QStringLiteral("only one video can be opened"));
            request.file = argument;
        } else if (argument == "--") {
            onlyFiles = true;
        } else if (argument == "--help" || argument == "-h") {
            return {StartRequest::Action::Help, {}, {}};
        } else if (argument == "--version" || argument == "-v") {
            return {StartRequest::Action::Version, {}, {}};
        } else if (kQtOptionsWithValue.contains(argument)) {
            if (++i == arguments.size()) return Bad(QStringLiteral("option %1 needs a value").arg(argument));
        } else if (!kQtFlags.contains(argument)) {
            return Bad(QStringLiteral("unknown option %1").arg(argument));
        }
    }
    return request;
}

QString UsageText(const QString& programName) {
    return QStringLiteral(
               "Usage: %1 [FILE]\n"
               "Sorts the frames of a video and writes the chosen ones as BMP, JPEG, PNG or WebP pictures.\n"
               "\n"
               "  FILE           a video (AVI, MP4, MOV, MKV, WebM, MPEG-TS, MPEG-PS) to open at start\n"
               "  -h, --help     print this help and exit\n"
               "  -v, --version  print the version and exit\n"
               "\n"
               "The window needs a display; without one, run it under a virtual X server:\n"
               "  xvfb-run -a %1 FILE\n"
               "Ranking and extraction from scripts, without a display: orvexa-batch --help\n")
        .arg(programName);
}

QString ShellCommand(const QStringList& words) {
    static const QRegularExpression plain(QStringLiteral("^[A-Za-z0-9_@%+:,./-]+$"));
    QStringList quoted;
    for (const QString& word : words) {
        quoted << (plain.match(word).hasMatch() ? word : '\'' + QString(word).replace('\'', "'\\''") + '\'');
    }
    return quoted.join(' ');
}

QString VersionText() { return identity::kProductName + ' ' + identity::kVersionNumber + '\n'; }

}  // namespace command_line
