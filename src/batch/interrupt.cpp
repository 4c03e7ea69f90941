// SPDX-License-Identifier: GPL-2.0-or-later
#include "batch/interrupt.h"

#include <csignal>

namespace batch {

namespace {

volatile std::sig_atomic_t stopFlag = 0;

void OnStopSignal(int) { stopFlag = 1; }

}  // namespace

void InstallStopSignals() {
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    // No SA_RESTART: a wait on the workers wakes up at once.
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    // A worker that ended leaves a closed pipe; writing to it must not end the command.
    std::signal(SIGPIPE, SIG_IGN);
}

bool StopRequested() { return stopFlag != 0; }

}  // namespace batch
