// SPDX-License-Identifier: GPL-2.0-or-later
#include "framesource/jpeg_options.h"

#include <utility>

namespace jpegoptions {

namespace {

struct State {
    Source source;
    gfx::Picture* target = nullptr;
};

State& state() {
    static State s;
    return s;
}

}  // namespace

void SetSource(Source source) { state().source = std::move(source); }

void ApplyTo(gfx::Graphic* graphic) {
    if (state().source) state().source(graphic);
}

void SetTarget(gfx::Picture* picture) { state().target = picture; }
gfx::Picture* Target() { return state().target; }

}  // namespace jpegoptions
