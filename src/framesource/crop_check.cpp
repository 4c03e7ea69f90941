// SPDX-License-Identifier: GPL-2.0-or-later
#include "framesource/crop_check.h"

#include "base/dialogs.h"
#include "base/errors.h"
#include "framesource/frame_source.h"

namespace crop_check {

void RequireCropInsideFrames(const FrameSource& source) {
    if (!source.CropOutsideFrames()) return;
    dialogs::current().messageBox(QStringLiteral("Le Cadre dépasse l'image de la vidéo"),
                                  QStringLiteral("Cadre hors de l'Image"), dialogs::Buttons::Ok,
                                  dialogs::Icon::Warning);
    throw errors::SilentAbort();
}

}  // namespace crop_check
