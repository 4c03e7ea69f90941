// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once
// The videos opened last, kept in the program's settings for "Fichiers récents".

#include <QString>
#include <QStringList>

namespace recent_files {

constexpr int kKept = 8;

// Newest first; files that are no longer there are left out, and forgotten.
QStringList List();
// `path` becomes the newest; the oldest beyond kKept is forgotten.
void Add(const QString& path);

}  // namespace recent_files
