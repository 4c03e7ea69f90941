// SPDX-License-Identifier: GPL-2.0-or-later
#include "media/ffmpeg_setup.h"

#include <mutex>

extern "C" {
#include <libavutil/log.h>
#include <libavutil/mem.h>
}

namespace ffmpeg {

void SetUpLibraries() {
    static std::once_flag once;
    std::call_once(once, [] {
        av_log_set_level(AV_LOG_QUIET);
        av_max_alloc(kLargestAllocation);
    });
}

}  // namespace ffmpeg
