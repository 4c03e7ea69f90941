// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once
// Open-dialog filters written as "Description|*.EXT|Description2|*.*" pairs, turned into Qt name
// filters that match extensions whatever their case, as the program's users expect.

#include <QString>
#include <QStringList>

namespace dialogs {

// One Qt name filter per pair: "Description (patterns)", each pattern case-insensitive
// ("*.AVI" becomes "*.[aA][vV][iI]") and "*.*" standing for every file.
QStringList toQtNameFilters(const QString& pairs);

// The wildcard pattern made case-insensitive, letter by letter.
QString caselessPattern(const QString& pattern);

}  // namespace dialogs
