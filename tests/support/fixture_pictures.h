// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once
// Small picture files of each kind the picture viewer reads, made by the tests themselves.

#include <QByteArray>

namespace fixture {

// A placeable Windows metafile of 64 x 32 units at 96 units per inch holding one rectangle.
QByteArray MakeWmf();
// 160 x 48 units holding the word "Orvexa" in a bold 28-unit font, black on white.
QByteArray MakeWmfWithText();
// An enhanced metafile of 64 x 32 pixels holding one rectangle; or of the size given, with
// as many rectangles again that each cover the whole picture.
QByteArray MakeEmf(int width = 64, int height = 32, int wholeRectangles = 0);
// A JPEG file of a colour gradient, as the program's encoder writes it.
QByteArray MakeJpeg(int width, int height, bool progressive, bool grayscale);
// A progressive JPEG file whose scans send every coefficient of every component on its own,
// one bit at a time: a valid file of 2090 scans.
QByteArray MakeJpegOfEveryScan(int width, int height);
// A JPEG file of a few hundred bytes whose header announces width x height pixels.
QByteArray MakeJpegClaiming(int width, int height);
// A BMP or ICO file (`format` as Qt names it) of a colour gradient.
QByteArray MakeQtImage(int width, int height, const char* format);

}  // namespace fixture
