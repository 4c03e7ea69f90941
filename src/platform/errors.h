// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once
// Errors that a command does not handle travel as exceptions to the edge of the handler that
// started the command, where one guard shows them with the general error report.

#include <QString>
#include <exception>
#include <functional>
#include <string>

namespace errors {

// An error shown to the user with its French message.
class Error : public std::exception {
public:
    explicit Error(QString message) : message_(std::move(message)), utf8_(message_.toStdString()) {}
    const QString& message() const { return message_; }
    const char* what() const noexcept override { return utf8_.c_str(); }

private:
    QString message_;
    std::string utf8_;
};

// Ends the current command without any message (the user refused to go on).
class SilentAbort : public std::exception {
public:
    const char* what() const noexcept override { return "silent abort"; }
};

// Runs a handler body: a silent abort is dropped, any other error goes to the general error
// report, and the event loop goes on.
void Guard(const std::function<void()>& body);

// Shows the exception being handled the way Guard does; call it only inside a catch block.
void ReportCurrentException() noexcept;

// Wraps a handler so that each call runs under Guard, for use in Qt connections.
template <typename... Args, typename F>
auto Guarded(F handler) {
    return [handler = std::move(handler)](Args... args) { Guard([&] { handler(args...); }); };
}

}  // namespace errors
