// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once
// The names of written frames: prefix, number and extension, as the main window's naming
// controls set them. Shared by the window and by scripts, so both name files alike. And how a
// path's text stands for the bytes the file system knows it by.

#include <QByteArray>
#include <QString>
#include <cstdint>

namespace naming {

// The numbering choices, in the order of the main window's numbering group.
enum class Numbering { Plain = 0, ZeroFilled = 1, None = 2 };
// An output type is its place in output_types' table (and in the main window's type group);
// the first rows have names here for the code that picks them, the others only their place.
enum class OutputType { Bmp = 0, Jpeg = 1, Png = 2 };

// "IMAGE" when the typed prefix is blank; the number zero-filled to `width` digits (right-aligned
// with blanks beyond 16), plain, or left out; the type's extension.
QString ImageName(const QString& typedPrefix, Numbering numbering, int32_t number, int width, OutputType type);

// Where and how a command names the files it writes: the main window's naming controls, or the
// batch command's options.
struct OutputNaming {
    QString folder;  // where the files go; empty for the working directory
    QString prefix;  // as typed: blank stands for "IMAGE"
    Numbering numbering = Numbering::Plain;
    int width = 0;      // of a zero-filled number
    int32_t start = 1;  // the number of the next file
    OutputType type = OutputType::Bmp;

    QString NameOf(int32_t number) const { return ImageName(prefix, numbering, number, width, type); }
    QString PathOf(int32_t number) const {
        return folder.isEmpty() || folder.endsWith('/') ? folder + NameOf(number) : folder + '/' + NameOf(number);
    }
};

// The number after one used: it stops at the largest value rather than wrapping to a negative.
int32_t NumberAfter(int32_t number);

// The widest zero fill: wider numbers are right-aligned with blanks.
constexpr int kMaxZeroFill = 16;

// A path's bytes as text and back, without loss: UTF-8 is decoded, and each byte of anything
// else stands as one character from U+DC80 to U+DCFF (as Python's "surrogateescape" does), so
// a name that is not UTF-8 is found and made byte for byte. Text from anywhere else holds no
// such character and gives its UTF-8 bytes.
QString PathText(const QByteArray& bytes);
QByteArray PathBytes(const QString& text);

// Text without its leading and trailing blanks (characters up to the space).
QString TrimBlanks(const QString& text);

}  // namespace naming
