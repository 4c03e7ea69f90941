// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once
// Where the program's windows go: wholly on a screen whatever its size, and where the user left
// them at the last run (the program's settings keep their position and size).

#include <QRect>
#include <QString>
#include <memory>

class QSettings;
class QWidget;

namespace window_memory {

// The program's settings (folders, recent files, windows), in the user's configuration folder.
std::unique_ptr<QSettings> Settings();

// `frame` moved, and made smaller where it must, so that it lies wholly inside `available`.
QRect Within(QRect frame, const QRect& available);
// Moves and sizes a window so that its frame, title bar included, lies wholly on the screen it is
// mostly on. A window not shown yet is taken to get the frame the window manager gave the others.
void KeepOnScreen(QWidget& window);

// Gives the window the position and size saved under `key` (kept on a screen), then saves them
// each time it is hidden, the program's end included, and keeps it on its screen when shown.
void Remember(QWidget& window, const QString& key);
void Save(const QWidget& window, const QString& key);
// A place was saved under `key` (at this run or an earlier one).
bool Saved(const QString& key);

}  // namespace window_memory
