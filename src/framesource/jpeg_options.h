// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once
// The one route by which the JPEG options reach every JPEG encoder and decoder of the program:
// the options dialog, a layer above, installs the function that copies its settings into a
// graphic, and the writers, the ranking and the picture viewer all apply the options through
// here. It also knows the picture that the dialog's "Appliquer" acts on.

#include <functional>

namespace gfx {
class Graphic;
class Picture;
}  // namespace gfx

namespace jpegoptions {

// Copies the options into a JPEG graphic; other graphics get none. May throw when the options
// cannot be read (a quality that is not a number).
using Source = std::function<void(gfx::Graphic* graphic)>;

// An empty function leaves every JPEG with its defaults (quality 100, colour, baseline).
void SetSource(Source source);
void ApplyTo(gfx::Graphic* graphic);

// The viewer picture shown last, which "Appliquer" acts on; null when there is none.
void SetTarget(gfx::Picture* picture);
gfx::Picture* Target();

}  // namespace jpegoptions
