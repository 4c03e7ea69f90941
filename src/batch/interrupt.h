// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once
// Ctrl-C (SIGINT) and SIGTERM stop a command between two steps: the file being written is
// finished and renamed into place, and nothing more is begun, so no partial file is left.

namespace batch {

void InstallStopSignals();
// A stop signal came.
bool StopRequested();

}  // namespace batch
