// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once
// Windows metafiles (.wmf, .emf) for viewing. The metafile libraries run in a helper program
// of our own, under limits of time, memory and files: it converts the metafile to SVG and then
// draws that SVG at its own size. A helper that crashes, overruns a limit or answers nonsense
// gives no picture; the program goes on.

#include <QString>
#include <memory>

#include "imaging/graphic.h"

namespace imaging {

// Null when the file is not a metafile that can be drawn.
std::unique_ptr<Graphic> LoadMetafile(const QString& path);

// The helper program is looked for from the running program's directory unless a path is set here
// (programs that live elsewhere in the build: tests, benchmarks).
void SetMetafileHelperPath(const QString& path);
// The helper of a program living in `programDirectory`: beside it in the build folder, in the
// installed tree under libexec.
QString MetafileHelperFor(const QString& programDirectory);

}  // namespace imaging
