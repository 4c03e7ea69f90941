// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once
// orvexa-batch index: each video opened once, so that its index is saved for every later open.

#include "batchcli/settings.h"
#include "batchcli/terminal.h"

namespace batch {

// The exit status: 0 when every video's index is saved, 1 when one could not be read or its
// index not saved, 130 on a stop.
int IndexVideos(const Settings& settings, Terminal& terminal);

}  // namespace batch
