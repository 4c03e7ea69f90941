// SPDX-License-Identifier: GPL-2.0-or-later
#include "rankfile/manifest.h"

#include <QByteArray>

#include "framesource/image_writers.h"
#include "framesource/naming.h"
#include "rankfile/json_text.h"

namespace batch {

namespace {

bool IsJson(const QString& path) { return path.endsWith(QStringLiteral(".json"), Qt::CaseInsensitive); }

// A CSV field, quoted when it holds a comma, a quote, a line end or blanks at its ends; the
// bytes of the name as the file system has them.
QByteArray CsvField(const QString& text) {
    const QByteArray bytes = naming::PathBytes(text);
    const bool quoted = bytes.contains(',') || bytes.contains('"') || bytes.contains('\n') || bytes.contains('\r') ||
                        bytes.startsWith(' ') || bytes.endsWith(' ');
    if (!quoted) return bytes;
    return '"' + QByteArray(bytes).replace("\"", "\"\"") + '"';
}

// A value as the measure prints it; `none` when not known.
QByteArray ValueText(const ranking::Measure& measure, const ranking::Value& value, const QByteArray& none) {
    return value.Measured() ? measure.Text(value.steps) : none;
}

QByteArray Csv(const std::vector<WrittenFile>& files, const ranking::Measure& measure) {
    QByteArray text = "file,video,frame,time," + QByteArray(measure.manifestField) + ",kept\n";
    for (const WrittenFile& f : files) {
        text += CsvField(f.name) + ',' + CsvField(f.video) + ',' + QByteArray::number(f.frame) + ',' +
                JsonNumber(f.time) + ',' + ValueText(measure, f.value, {}) + ',' + (f.kept ? "true" : "false") + '\n';
    }
    return text;
}

QByteArray Json(const std::vector<WrittenFile>& files, const ranking::Measure& measure) {
    QByteArray text = "[";
    for (size_t i = 0; i < files.size(); ++i) {
        const WrittenFile& f = files[i];
        text += (i == 0 ? "\n" : ",\n");
        text += "{\"file\":" + JsonString(f.name) + ",\"video\":" + JsonString(f.video) +
                ",\"frame\":" + QByteArray::number(f.frame) + ",\"time\":" + JsonNumber(f.time) + ",\"" +
                measure.manifestField + "\":" + ValueText(measure, f.value, "null") +
                ",\"kept\":" + (f.kept ? "true" : "false") + '}';
    }
    return text + "\n]\n";
}

}  // namespace

bool ManifestTypeKnown(const QString& path) {
    return IsJson(path) || path.endsWith(QStringLiteral(".csv"), Qt::CaseInsensitive);
}

int WriteManifest(const QString& path, const std::vector<WrittenFile>& files, const ranking::Measure& measure) {
    return image_writers::WriteWholeFile(path, IsJson(path) ? Json(files, measure) : Csv(files, measure), true);
}

}  // namespace batch
