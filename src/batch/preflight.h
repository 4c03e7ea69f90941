// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once
// The mistakes of an extract command that only its videos show, found before anything is
// written: a --frames list past a video's last frame, a --percent that gives a video no frame,
// and --numbering none for more than one file, which would all get one name.

#include <QString>

#include "batchcli/settings.h"

namespace batch {

// The first such mistake, said for the user; empty when there is none. A video that cannot be
// opened is left for its turn, which reports it.
QString FindVideoMistake(const Settings& settings);

// extract --ranking: why the file gives some video no ranking of its own (unreadable, not a
// ranking, another version of the video); empty when it gives each one. Found before the
// output folder is made. `measure` is set to the one the file ranks by.
QString FindRankingMistake(const Settings& settings, ranking::Measure& measure);

}  // namespace batch
