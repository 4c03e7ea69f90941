// SPDX-License-Identifier: GPL-2.0-or-later
#include "support/scripted_dialogs.h"

namespace testing_support {

QStringList ScriptedDialogs::messageTexts() const {
    QStringList texts;
    for (const MessageRequest& message : messages_) texts << message.text;
    return texts;
}

void ScriptedDialogs::clearRecords() {
    messages_.clear();
    fileRequests_.clear();
    directoryRequests_.clear();
    errors_.clear();
}

dialogs::Answer ScriptedDialogs::messageBox(const QString& text, const QString& caption, dialogs::Buttons buttons,
                                            dialogs::Icon icon) {
    messages_.push_back({text, caption, buttons, icon});
    if (answers_.empty()) return defaultAnswer_;
    const dialogs::Answer answer = answers_.front();
    answers_.pop_front();
    return answer;
}

QStringList ScriptedDialogs::openFiles(const dialogs::OpenFileRequest& request) {
    fileRequests_.push_back(request);
    if (files_.empty()) return {};
    QStringList files = std::move(files_.front());
    files_.pop_front();
    return files;
}

QString ScriptedDialogs::chooseDirectory(const QString& title, const QString& start) {
    directoryRequests_.push_back({title, start});
    if (directories_.empty()) return {};
    QString directory = std::move(directories_.front());
    directories_.pop_front();
    return directory;
}

void ScriptedDialogs::showError(const QString& message) { errors_ << message; }

QString ScriptedDialogs::askText(const QString&, const QString&, const QString&) {
    ++textRequests_;
    if (texts_.empty()) return {};
    QString text = std::move(texts_.front());
    texts_.pop_front();
    return text;
}

ScopedDialogs::ScopedDialogs() {
    auto scripted = std::make_unique<ScriptedDialogs>();
    scripted_ = scripted.get();
    previous_ = dialogs::install(std::move(scripted));
}

ScopedDialogs::~ScopedDialogs() { dialogs::install(std::move(previous_)); }

}  // namespace testing_support
