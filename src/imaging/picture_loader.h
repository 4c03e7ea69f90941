// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once
// Loads a picture file into a picture, choosing the decoder by the file's extension: .bmp and
// .ico through Qt's readers, .jpg and .jpeg as a JPEG image, .wmf and .emf as metafiles.

#include <QImage>
#include <QString>

#include "imaging/picture.h"

namespace imaging {

enum class LoadResult { Loaded, NotAPicture };

// NotAPicture (and an empty picture) when the file is not a readable picture of its kind;
// throws errors::Error when the file cannot be opened at all.
LoadResult LoadPictureFile(Picture& picture, const QString& path);

// The picture as the picture viewer keeps it: drawn at its own size into a 24-bit bitmap on
// white. Decodes a JPEG image with its reading options first, and throws as that does.
QImage ToViewerImage(const Graphic& graphic);

}  // namespace imaging
