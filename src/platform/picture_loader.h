#pragma once
// Loads a picture file into a picture, choosing the decoder by the file's extension: .bmp and
// .ico through Qt's readers, .jpg and .jpeg as a JPEG image, .wmf and .emf as metafiles.

#include <QString>

#include "platform/picture.h"

namespace gfx {

enum class LoadResult { Loaded, NotAPicture };

// NotAPicture (and an empty picture) when the file is not a readable picture of its kind;
// throws errors::Error when the file cannot be opened at all.
LoadResult LoadPictureFile(Picture& picture, const QString& path);

}  // namespace gfx
