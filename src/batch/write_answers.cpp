// SPDX-License-Identifier: GPL-2.0-or-later
#include "batch/write_answers.h"

#include "batchcli/terminal.h"

namespace batch {

namespace {

class Answers : public dialogs::Dialogs {
public:
    Answers(bool overwrite, Terminal& terminal) : overwrite_(overwrite), terminal_(terminal) {}
    dialogs::Answer messageBox(const QString&, const QString&, dialogs::Buttons, dialogs::Icon) override {
        return overwrite_ ? dialogs::Answer::Ok : dialogs::Answer::Cancel;
    }
    QStringList openFiles(const dialogs::OpenFileRequest&) override { return {}; }
    QString chooseDirectory(const QString&, const QString&) override { return {}; }
    void showError(const QString& message) override { terminal_.Message(message); }

private:
    bool overwrite_;
    Terminal& terminal_;
};

}  // namespace

WriterAnswers::WriterAnswers(bool overwrite, Terminal& terminal)
    : replaced_(dialogs::install(std::make_unique<Answers>(overwrite, terminal))) {}

WriterAnswers::~WriterAnswers() { dialogs::install(std::move(replaced_)); }

}  // namespace batch
