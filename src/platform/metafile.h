#pragma once
// Windows metafiles (.wmf, .emf) for viewing: converted to SVG (libwmf, libemf2svg) and drawn
// with Qt SVG into a bitmap at the metafile's own size.

#include <QString>
#include <memory>

#include "platform/graphic.h"

namespace gfx {

// Null when the file is not a metafile that can be drawn.
std::unique_ptr<Graphic> LoadMetafile(const QString& path);

}  // namespace gfx
