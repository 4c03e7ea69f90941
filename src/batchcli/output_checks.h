// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once
// The command's own files (the plot, the manifest) looked at before anything is written, and
// why a write failed, said in English from the system's error number.

#include <QString>

#include "base/errors.h"
#include "batchcli/settings.h"

namespace batch {

// "no space left on device", "permission denied"...; "write failed" for 0.
QString WriteFailureReason(int error);
// "PATH: cannot write: REASON".
QString WriteFailure(const QString& path, int error);
// A writer's failure, said the same way.
QString WriteFailure(const errors::FileError& error);

// Why --plot FILE may not be written: an existing file without --overwrite, anything but a
// regular file, one of the videos, a folder that cannot take it; empty when it may.
QString PlotMistake(const Settings& settings);
// Why --manifest FILE could not be written once the pictures are; empty when it could.
QString ManifestMistake(const Settings& settings);

}  // namespace batch
