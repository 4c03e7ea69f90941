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

// A file that could not be written, in the windows' words: "Impossible de créer le fichier
// PATH" when it could not be made, "Erreur E/S 103" for the BMP writer's, "Erreur E/S 112" for a
// full disk and "Erreur E/S 101" for any other failed write.
QString FrenchText(const FileError& error);

// Shows the exception being handled the way Guard does; call it only inside a catch block.
void ReportCurrentException() noexcept;

// Wraps a handler so that each call runs under Guard, for use in Qt connections.
template <typename... Args, typename F>
auto Guarded(F handler) {
    return [handler = std::move(handler)](Args... args) { Guard([&] { handler(args...); }); };
}

}  // namespace errors
