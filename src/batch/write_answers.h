// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once
// The writers ask before they replace a file. The batch command shows no window: it decides
// about existing files itself before each write, and answers the writers' question from its
// --overwrite choice should a file appear in between.

#include <memory>

#include "base/dialogs.h"

namespace batch {

// Installs the answers for the rest of the process.
void InstallWriterAnswers(bool overwrite);

}  // namespace batch
