// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once
// The picture types frames are written as, one row each: the file name's extension, the batch
// command's name for it, its writers, and whether it is encoded with the JPEG options. Every
// command chooses its writer here, so a new type is a row and its writer.

#include <QByteArray>
#include <QString>
#include <cstddef>

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

struct OutputType {
    naming::OutputType type;
    const char* extension;  // of the files' names: ".BMP"
    const char* name;       // on the batch command's line: "bmp"
    // Encoded with the JPEG options: the workers that prepare its frames encode them too.
    bool jpegOptions;
    // The frame source's output image as the file at `path`, asking before it replaces a file.
    // `error`, when given and the writer does not raise its errors, takes the system's error
    // number of a failed write.
    bool (*writeFrame)(const FrameSource& source, const QString& path, const jpeg_options::JpegOptions& jpeg,
                       int* error);
    // The same for a picture prepared beforehand.
    bool (*writePrepared)(const FrameSource::PreparedImage& image, const QString& path,
                          const jpeg_options::JpegOptions& jpeg, int* error);
    // The prepared picture's file, for writers of their own; false when it gives none.
    bool (*fileBytes)(const FrameSource::PreparedImage& image, const jpeg_options::JpegOptions& jpeg, FileBytes& bytes);
};

const OutputType& Of(naming::OutputType type);
// The type the batch command names `name` (in lower case); null when none.
const OutputType* Named(const QString& name);

}  // namespace output_types
