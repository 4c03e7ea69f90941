// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once
// The writers ask before they replace a file. The batch command shows no window: it decides
// about existing files itself before each write, and answers the writers' question from its
// --overwrite choice should a file appear in between.

#include <memory>

#include "base/dialogs.h"

namespace batch {

class Terminal;

// The answers, in place of the dialogs while this lives; the writers' errors go to the
// command's terminal.
class WriterAnswers {
public:
    WriterAnswers(bool overwrite, Terminal& terminal);
    ~WriterAnswers();
    WriterAnswers(const WriterAnswers&) = delete;
    WriterAnswers& operator=(const WriterAnswers&) = delete;

private:
    std::unique_ptr<dialogs::Dialogs> replaced_;
};

}  // namespace batch
