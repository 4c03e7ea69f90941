// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once
// The magnifier's display-only zoom, in sixteenths. Whoever makes the information windows owns
// one and hands it to each of them, so that they all show the same zoom.

#include <cstdint>

struct MagnifierZoom {
    int32_t level = 16;
};
