// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once
// Errors that a command does not handle travel as exceptions to the edge of the handler that
// started the command, where one guard shows them with the general error report
// (widgets/slot_guard.h).

#include <QString>
#include <exception>
#include <string>

namespace errors {

// An error shown to the user with its French message, and the system's error number when a
// call of the system failed (0 otherwise), for whoever says why in other words.
class Error : public std::exception {
public:
    explicit Error(QString message, int systemError = 0)
        : message_(std::move(message)), utf8_(message_.toStdString()), systemError_(systemError) {}
    const QString& message() const { return message_; }
    int systemError() const { return systemError_; }
    const char* what() const noexcept override { return utf8_.c_str(); }

private:
    QString message_;
    std::string utf8_;
    int systemError_ = 0;
};

// Ends the current command without any message (the user refused to go on).
class SilentAbort : public std::exception {
public:
    const char* what() const noexcept override { return "silent abort"; }
};

}  // namespace errors
