// SPDX-License-Identifier: GPL-2.0-or-later
#include "app/recent_files.h"

#include <QFileInfo>
#include <QSettings>

#include "widgets/window_memory.h"

namespace recent_files {

namespace {
const QString kKey = QStringLiteral("recentFiles");
}

QStringList List() {
    auto settings = window_memory::Settings();
    const QStringList saved = settings->value(kKey).toStringList();
    QStringList present;
    for (const QString& path : saved) {
        if (QFileInfo(path).isFile() && !present.contains(path) && present.size() < kKept) present << path;
    }
    if (present != saved) settings->setValue(kKey, present);
    return present;
}

void Add(const QString& path) {
    QStringList files = List();
    const QString absolute = QFileInfo(path).absoluteFilePath();
    files.removeAll(absolute);
    files.prepend(absolute);
    while (files.size() > kKept) files.removeLast();
    window_memory::Settings()->setValue(kKey, files);
}

}  // namespace recent_files
