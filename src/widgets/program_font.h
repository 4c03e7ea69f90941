// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once
// The forms are laid out in pixels for an 8-point sans-serif face of about 11 pixels; the
// program uses a face with the same metrics so that every caption fits its control.

class QApplication;

void ApplyProgramFont(QApplication& application);
