// SPDX-License-Identifier: GPL-2.0-or-later
#include "base/dialogs.h"

#include <QtGlobal>

namespace dialogs {

namespace {

std::unique_ptr<Dialogs>& Installed() {
    static std::unique_ptr<Dialogs> installed;
    return installed;
}

// Constant-initialised, so it is null before any static initialiser names the real dialogs.
Dialogs& (*Real)() = nullptr;

}  // namespace

Dialogs& current() {
    if (auto& installed = Installed()) return *installed;
    if (!Real) qFatal("dialogs::current(): no dialogs installed, and no real dialogs linked in");
    return Real();
}

std::unique_ptr<Dialogs> install(std::unique_ptr<Dialogs> replacement) {
    std::unique_ptr<Dialogs> previous = std::move(Installed());
    Installed() = std::move(replacement);
    return previous;
}

void setReal(Dialogs& (*real)()) { Real = real; }

}  // namespace dialogs
