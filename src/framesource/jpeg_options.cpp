// SPDX-License-Identifier: GPL-2.0-or-later
#include "framesource/jpeg_options.h"

#include "imaging/jpeg_image.h"

namespace jpeg_options {

void JpegOptions::ApplyTo(imaging::Graphic* graphic) const {
    auto* jpeg = dynamic_cast<imaging::JpegImage*>(graphic);
    if (!jpeg) return;
    jpeg->setQuality(quality);
    jpeg->setGrayscale(grayscale);
    jpeg->setProgressiveEncoding(progressiveEncoding);
    jpeg->setPixelFormat(pixelFormat);
    jpeg->setScale(scale);
    jpeg->setPerformance(performance);
    jpeg->setProgressiveDisplay(progressiveDisplay);
}

}  // namespace jpeg_options
