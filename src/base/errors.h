// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once
// Errors that a command does not handle travel as exceptions to the edge of the handler that
// started the command, where one guard shows them with the general error report
// (widgets/slot_guard.h).

#include <QString>
#include <cerrno>
#include <exception>
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

// Why a file could not be made or written, as a value: each edge says it in its own words (the
// windows in French, the batch command in English), from the kind, the step and the system's
// error number, never from a message.
struct FileError {
    enum class Kind { NoSpace, Permission, Exists, Io };
    enum class Step {
        Create,    // the file could not be made
        Write,     // writing into it, or giving it its name, failed
        Unopened,  // the BMP writer's: the file could not be made, met as it closes what it never opened
        Encode,    // the type's encoder gave nothing for this picture (e.g. too large for WebP)
    };
    Kind kind = Kind::Io;
    Step step = Step::Write;
    QString path;
    int systemError = 0;  // errno; 0 when the system gave none

    static Kind KindOf(int systemError) {
        switch (systemError) {
            case ENOSPC:
            case EDQUOT:
                return Kind::NoSpace;
            case EACCES:
            case EPERM:
            case EROFS:
                return Kind::Permission;
            case EEXIST:
                return Kind::Exists;
            default:
                return Kind::Io;
        }
    }
    static FileError Of(Step step, QString path, int systemError) {
        return {KindOf(systemError), step, std::move(path), systemError};
    }
};

// A file that could not be written ends the command; the edge that started it says why.
class FileFailure : public std::exception {
public:
    explicit FileFailure(FileError error) : error_(std::move(error)) {}
    const FileError& error() const { return error_; }
    const char* what() const noexcept override { return "file not written"; }

private:
    FileError error_;
};

// Ends the current command without any message (the user refused to go on).
class SilentAbort : public std::exception {
public:
    const char* what() const noexcept override { return "silent abort"; }
};

}  // namespace errors
