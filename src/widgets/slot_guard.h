// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once
// The guard at a handler's edge: the errors of base/errors.h that leave a command are shown
// there with the general error report, and the event loop goes on.

#include <functional>

#include "base/errors.h"

namespace errors {

// Runs a handler body: a silent abort is dropped, any other error goes to the general error
// report, and the event loop goes on.
void Guard(const std::function<void()>& body);

// Shows the exception being handled the way Guard does; call it only inside a catch block.
void ReportCurrentException() noexcept;

// Wraps a handler so that each call runs under Guard, for use in Qt connections.
template <typename... Args, typename F>
auto Guarded(F handler) {
    return [handler = std::move(handler)](Args... args) { Guard([&] { handler(args...); }); };
}

}  // namespace errors
