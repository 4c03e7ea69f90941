// SPDX-License-Identifier: GPL-2.0-or-later
#include "batch/write_answers.h"

#include "batch/terminal.h"

namespace batch {

namespace {

class WriterAnswers : public dialogs::Dialogs {
public:
    explicit WriterAnswers(bool overwrite) : overwrite_(overwrite) {}
    dialogs::Answer messageBox(const QString&, const QString&, dialogs::Buttons, dialogs::Icon) override {
        return overwrite_ ? dialogs::Answer::Ok : dialogs::Answer::Cancel;
    }
    QStringList openFiles(const dialogs::OpenFileRequest&) override { return {}; }
    QString chooseDirectory(const QString&, const QString&) override { return {}; }
    void showError(const QString& message) override { terminal::Message(message); }

private:
    bool overwrite_;
};

}  // namespace

void InstallWriterAnswers(bool overwrite) { dialogs::install(std::make_unique<WriterAnswers>(overwrite)); }

}  // namespace batch
