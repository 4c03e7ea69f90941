// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once
// Runs a command over its videos, one after the other or --jobs at a time, and gives its exit
// status: 0 all done, 1 a video could not be read or a file not written, 2 a mistake that the
// videos show before anything is written (nothing is then written), 130 stopped by a signal.
//
// A video's names follow on from the video before it, in the command line's order, whichever
// finishes first. The frame source holds one open video per process, so videos worked on at
// the same time each have a worker process of their own, forked while no video is open (the
// look at the videos before anything is written opens and closes each in turn).
//
// extract then writes the manifest, and says on standard error what it did.

#include "batchcli/settings.h"

namespace batch {

int RunCommand(const Settings& settings);

}  // namespace batch
