// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once
// Windows metafiles to SVG through the metafile libraries (libwmf for .wmf, libemf2svg for
// .emf). Old C code that trusts its input: only the helper process runs it.

#include <QByteArray>

namespace metafile {

// The SVG text of the metafile; empty when the library cannot read it.
QByteArray WmfToSvg(QByteArray contents);
QByteArray EmfToSvg(QByteArray contents);

}  // namespace metafile
