// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once
// Writes one frame of the open video as a picture file (BMP, JPEG, or another type of
// output_types' table), asking before it replaces an existing file. A file is written aside and
// renamed over its target only once complete, so a failed write neither leaves a partial picture
// nor loses the file the user agreed to replace. A symbolic link at the name is an existing
// file: it is replaced itself, never written through. A failed write is raised as the value
// errors::FileFailure (the BMP writers give theirs back instead, but for a file not made).

#include <QByteArray>
#include <QIODevice>
#include <QImage>
#include <QString>
#include <cstdint>

#include "base/errors.h"
#include "framesource/frame_source.h"
#include "framesource/jpeg_options.h"

namespace imaging {
class JpegImage;
}

namespace image_writers {

using PreparedImage = FrameSource::PreparedImage;

// Prepares the frame and writes its output image as a BMP file. False when the frame cannot be
// prepared, when the user refuses to replace the file, or when writing failed; a file that
// cannot be created raises errors::FileFailure (step Unopened, which the windows say "Erreur E/S
// 103").
bool SaveFrameBmp(FrameSource& source, int32_t position, const QString& path);
// Prepares the frame and writes its output image as a JPEG file encoded with the JPEG options.
// False when the frame cannot be prepared. Refusing to replace the file raises a silent abort;
// a file that cannot be made or written raises errors::FileFailure.
bool SaveFrameJpeg(FrameSource& source, int32_t position, const QString& path,
                   const jpeg_options::JpegOptions& options);

// Appends the output image's file header and packed DIB; true when the stream took every byte.
bool WriteBmpToStream(const FrameSource& source, QIODevice& stream);
// `error`, when given, takes a write that failed (no system error otherwise).
bool WriteBmpFile(const FrameSource& source, const QString& path, errors::FileError* error = nullptr);
bool WriteJpegFile(const FrameSource& source, const QString& path, const jpeg_options::JpegOptions& options);
// The output image as a PNG file, the same pixels as its BMP file, with the JPEG writer's
// errors; false when there is no output image.
bool WritePngFile(const FrameSource& source, const QString& path);

// A packed 24-bit DIB's pixels, top-down (Format_BGR888); null for any other kind of DIB.
QImage PictureOfDib(const uint8_t* packedDib, int32_t paletteBytes);
// The picture as a PNG file (the library's compression); empty when it cannot be made.
QByteArray PngOf(const QImage& picture);
// An encoded picture as the file at `path`, with the JPEG writer's question and errors; empty
// `contents` (the picture could not be encoded) fail as FileError::Step::Encode.
bool WriteEncodedFile(const QByteArray& contents, const QString& path);

// Writes `contents` as the file at `path` the way the pictures are written, replacing whatever
// has the name without asking; false when it cannot be written.
bool ReplaceFile(const QString& path, const QByteArray& contents);
// The same without asking either way: replaces what has the name when `replace`, else leaves it
// (EEXIST). 0 when written, else the system's error number.
int WriteWholeFile(const QString& path, const QByteArray& contents, bool replace);

// Whether anything has the name, a symbolic link included (even one that leads nowhere): a
// link is replaced, never followed.
bool Taken(const QString& path);

// A name beside `target` to write aside under: "TARGET.orvexa-tmp-XXXXXX", XXXXXX at random.
QByteArray AsideName(const QByteArray& target);
// Removes the files that writers killed while writing left in the directory (written aside
// under a name of their own, and held by no writer any more), folders of them too; how many.
int64_t RemoveLeftovers(const QString& directory);

// The writers of a picture prepared beforehand, which may have been encoded on another thread:
// the same questions, errors and results as the writers of the output image. A prepared image
// without its JPEG encoding is encoded with the options of this moment; one still waiting for
// FrameSource::CompleteImage is not written.
bool WritePreparedBmp(const PreparedImage& image, const QString& path, errors::FileError* error = nullptr);
bool WritePreparedJpeg(const PreparedImage& image, const QString& path, const jpeg_options::JpegOptions& options);

// Encodes a packed 24-bit DIB (header, `paletteBytes` of colour table, rows) with the JPEG's
// writing options; false for any other kind of DIB. Safe on any thread, one JPEG per thread.
bool EncodeDib(const uint8_t* packedDib, int32_t paletteBytes, imaging::JpegImage& jpeg);
bool EncodePrepared(const PreparedImage& image, imaging::JpegImage& jpeg);
}  // namespace image_writers
