// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once
// The picture types frames are written as, one row each: the file name's extension, the batch
// command's name for it, the main window's item, its writers, and which options it takes. Every
// command chooses its writer, and lists the types it offers, here, so a new type is a row and
// its writer.

#include <QByteArray>
#include <QImage>
#include <QString>
#include <cstddef>
#include <optional>
#include <span>

#include "base/errors.h"
#include "framesource/frame_source.h"
#include "framesource/jpeg_options.h"
#include "framesource/naming.h"

namespace output_types {

// A prepared picture's file as at most two runs of bytes, pointing into the picture or into
// `encoded`; an unused run is empty.
struct FileBytes {
    struct Part {
        const void* data = nullptr;
        size_t size = 0;
    };
    QByteArray encoded;
    Part parts[2];
};

// A type's file made from the frame's pixels (top-down, Format_BGR888) and the JPEG options;
// empty when it cannot be made.
using Encoder = QByteArray (*)(const QImage& picture, const jpeg_options::JpegOptions& options);

struct OutputType {
    const char* extension;  // of the files' names: ".BMP"
    const char* name;       // on the batch command's line: "bmp"
    const char* label;      // the main window's item: "BMP"
    const char* tip;        // the main window's item's tooltip, in French
    const char* about;      // the batch command's help, in English, when there is more to say
    // The file is the JPEG encoding the ranking measures: the workers that prepare its frames
    // encode them too.
    bool jpegOptions;
    // The writer reads the JPEG options (their quality at least): the windows read them first.
    bool takesOptions;
    // The frame source's output image as the file at `path`, asking before it replaces a file.
    // `error`, when given and the writer does not raise its errors, takes a failed write.
    bool (*writeFrame)(const FrameSource& source, const QString& path, const jpeg_options::JpegOptions& jpeg,
                       errors::FileError* error);
    // The same for a picture prepared beforehand.
    bool (*writePrepared)(const FrameSource::PreparedImage& image, const QString& path,
                          const jpeg_options::JpegOptions& jpeg, errors::FileError* error);
    // The prepared picture's file, for writers of their own; false when it gives none.
    bool (*fileBytes)(const FrameSource::PreparedImage& image, const jpeg_options::JpegOptions& jpeg, FileBytes& bytes);
};

// Every type, in the order of naming::OutputType: a type's value is its place here.
std::span<const OutputType> All();
const OutputType& Of(naming::OutputType type);
// The type the batch command names `name` (in lower case); none when none.
std::optional<naming::OutputType> Named(const QString& name);
// The batch command's names: "bmp|jpg|..." with "|", "bmp, jpg ... or webp" with ", ".
QString Names(const QString& separator, const QString& last);

}  // namespace output_types
