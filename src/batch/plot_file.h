// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once
// rank --plot: the ranking drawn as the list window's "Graphique du tri" draws it, with English
// words, written as a PNG file.

#include <QString>

#include "batch/rank_output.h"

namespace batch {

// Draws the whole ranking of a video of `frameCount` frames at `frameRate` into `path`; false
// when the file cannot be written. Needs a QGuiApplication (the offscreen platform will do).
bool WritePlot(const VideoRanking& ranking, int32_t frameCount, double frameRate, const QString& path);

}  // namespace batch
