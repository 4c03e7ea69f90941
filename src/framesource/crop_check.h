// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once
// The commands that write or rank output images ("Extraire", "Best of...", "Extraire Lot...")
// check the crop rectangle first: limited to a rectangle outside the video's frames they could
// prepare no frame, and would write and rank nothing without saying why.

class FrameSource;

namespace crop_check {

// When output is limited to a crop rectangle outside the open video's frames, tells the user so
// and ends the command silently, together with any command that called it.
void RequireCropInsideFrames(const FrameSource& source);

}  // namespace crop_check
