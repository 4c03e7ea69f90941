// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once
// A video named on the command line, opened in the frame source by its path's own bytes
// (naming::PathText), and the reason one cannot be opened.

#include <QString>

class FrameSource;

namespace batch {

// Opens the video as "Ouvrir..." does; a stop signal cancels the opening.
bool OpenVideoFile(FrameSource& source, const QString& video);
// Closes the video that OpenVideoFile opened.
void CloseVideoFile(FrameSource& source);

// Why the video could not be opened: "VIDEO: no such file", "is a directory", ...
QString OpenFailure(const QString& video);

}  // namespace batch
