// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once
// The list of the files an extract command wrote, for scripts: which frame of which video each
// file holds, when it is presented, and its value under the measure (what ranks it).

#include <QString>
#include <cstdint>
#include <vector>

#include "ranking/measure.h"

namespace batch {

struct WrittenFile {
    QString name;  // in the output directory
    QString video;
    int32_t frame = 0;
    double time = 0;       // seconds after the first frame
    ranking::Value value;  // not measured: not known (a file kept, never decoded)
    bool kept = false;     // --skip-existing left it as it was
};

// The manifest's type goes by its name: ".csv" or ".json".
bool ManifestTypeKnown(const QString& path);

// Writes CSV (a header line "file,video,frame,time,jpeg_bytes,kept", the measure's own column
// in place of jpeg_bytes, then a line per file) or JSON (an array, an object per file and per
// line), aside and renamed into place: 0, or the system's error number.
int WriteManifest(const QString& path, const std::vector<WrittenFile>& files, const ranking::Measure& measure);

}  // namespace batch
