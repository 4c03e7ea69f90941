// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once
// Pieces of JSON as the batch command writes them, a line at a time, for scripts to read.

#include <QByteArray>
#include <QString>

namespace batch {

// A JSON string. A byte of a name that is not UTF-8 (naming::PathText) is written \udc80 to
// \udcff, which Python's "surrogateescape" turns back into the byte.
QByteArray JsonString(const QString& text);
// The shortest decimal that reads back as the same number.
QByteArray JsonNumber(double value);

}  // namespace batch
