// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once
// merge: joins the segments that rank --segment printed, of one video or several, into what
// rank prints for the whole videos, after checking that each video's segments are of one
// version of it, ranked on one index of it with the same options, and hold every frame once.

#include "batchcli/settings.h"
#include "batchcli/terminal.h"

namespace batch {

// The exit status: 0, or 1 when it refuses the segments (one message, nothing printed) or,
// as rank, when frames could not be decoded.
int MergeSegments(const Settings& settings, Terminal& terminal);

}  // namespace batch
