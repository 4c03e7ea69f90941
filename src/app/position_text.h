// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once
// What the user types to go to a frame: its number ("250"), or a time in the video
// ("1:23,4", "1:02:03", "83.4 s", "83,4s").

#include <QString>
#include <cstdint>

namespace position_text {

struct Target {
    enum class Kind { Invalid, Frame, Time };
    Kind kind = Kind::Invalid;
    int64_t frame = 0;     // Kind::Frame
    double seconds = 0.0;  // Kind::Time
};

Target Parse(const QString& text);

}  // namespace position_text
