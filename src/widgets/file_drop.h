// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once
// A window that opens a file dropped on it, as its open command would.

#include <QString>
#include <functional>

class QWidget;

namespace file_drop {

// A local file dragged over `window` (or over any of its controls that takes no drop itself)
// is accepted; dropped, its path goes to `open` once the drop is over.
void AcceptFiles(QWidget& window, std::function<void(const QString& path)> open);

}  // namespace file_drop
