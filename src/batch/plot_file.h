// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once
// rank --plot: the ranking drawn as the list window's "Graphique du tri" draws it, with English
// words, written as a PNG file.

#include <QString>

#include "rankfile/rank_output.h"

namespace batch {

// Draws the whole ranking of a video of `frameCount` frames at `frameRate` into `path`, which
// it replaces only when `replace`: 0, or the system's error number of the failed write (EEXIST:
// the name was taken). Needs a QGuiApplication (the offscreen platform will do).
int WritePlot(const VideoRanking& ranking, int32_t frameCount, double frameRate, const QString& path, bool replace);

}  // namespace batch
