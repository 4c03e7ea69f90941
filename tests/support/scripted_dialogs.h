// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once
// A stand-in for the program's dialogs in tests: records every request and answers from queues
// the test fills beforehand. When a queue is empty the answer is the default: OK for message
// boxes, cancel (nothing chosen) for the file and directory dialogs.
//
//   ScopedDialogs dialogs;                 // installed until the end of the scope
//   dialogs->queueAnswer(dialogs::Answer::Cancel);
//   ... run the command ...
//   EXPECT_EQ(dialogs->messageTexts(), QStringList{"Ecraser : IMAGE1.JPG ?"});

#include <QString>
#include <QStringList>
#include <deque>
#include <memory>
#include <vector>

#include "base/dialogs.h"

namespace testing_support {

class ScriptedDialogs : public dialogs::Dialogs {
public:
    struct MessageRequest {
        QString text;
        QString caption;
        dialogs::Buttons buttons;
        dialogs::Icon icon;
    };
    struct DirectoryRequest {
        QString title;
        QString start;
    };

    // Answers, used first in first out.
    void queueAnswer(dialogs::Answer answer) { answers_.push_back(answer); }
    void queueFiles(QStringList files) { files_.push_back(std::move(files)); }
    void queueDirectory(QString directory) { directories_.push_back(std::move(directory)); }
    void queueText(QString text) { texts_.push_back(std::move(text)); }
    void setDefaultAnswer(dialogs::Answer answer) { defaultAnswer_ = answer; }

    // What was asked, in order.
    const std::vector<MessageRequest>& messages() const { return messages_; }
    const std::vector<dialogs::OpenFileRequest>& fileRequests() const { return fileRequests_; }
    const std::vector<DirectoryRequest>& directoryRequests() const { return directoryRequests_; }
    const QStringList& errors() const { return errors_; }
    QStringList messageTexts() const;
    // Message boxes and error reports both, in order, for "was anything shown?" checks.
    int shownCount() const { return int(messages_.size()) + int(errors_.size()); }
    void clearRecords();

    dialogs::Answer messageBox(const QString& text, const QString& caption, dialogs::Buttons buttons,
                               dialogs::Icon icon) override;
    QStringList openFiles(const dialogs::OpenFileRequest& request) override;
    QString chooseDirectory(const QString& title, const QString& start) override;
    void showError(const QString& message) override;
    QString askText(const QString& caption, const QString& label, const QString& initial) override;
    int textRequests() const { return textRequests_; }

private:
    std::deque<QString> texts_;
    int textRequests_ = 0;
    std::deque<dialogs::Answer> answers_;
    std::deque<QStringList> files_;
    std::deque<QString> directories_;
    dialogs::Answer defaultAnswer_ = dialogs::Answer::Ok;

    std::vector<MessageRequest> messages_;
    std::vector<dialogs::OpenFileRequest> fileRequests_;
    std::vector<DirectoryRequest> directoryRequests_;
    QStringList errors_;
};

// Installs a ScriptedDialogs for its lifetime and puts back the dialogs that were in place.
class ScopedDialogs {
public:
    ScopedDialogs();
    ~ScopedDialogs();
    ScopedDialogs(const ScopedDialogs&) = delete;
    ScopedDialogs& operator=(const ScopedDialogs&) = delete;

    ScriptedDialogs& operator*() const { return *scripted_; }
    ScriptedDialogs* operator->() const { return scripted_; }

private:
    ScriptedDialogs* scripted_;  // owned by the dialogs registry while installed
    std::unique_ptr<dialogs::Dialogs> previous_;
};

}  // namespace testing_support
