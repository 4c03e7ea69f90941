// SPDX-License-Identifier: GPL-2.0-or-later
#include "platform/dialogs.h"

#include "platform/qt_dialogs.h"

namespace dialogs {

namespace {

std::unique_ptr<Dialogs>& Installed() {
    static std::unique_ptr<Dialogs> installed;
    return installed;
}

}  // namespace

Dialogs& current() {
    static QtDialogs real;
    if (auto& installed = Installed()) return *installed;
    return real;
}

std::unique_ptr<Dialogs> install(std::unique_ptr<Dialogs> replacement) {
    std::unique_ptr<Dialogs> previous = std::move(Installed());
    Installed() = std::move(replacement);
    return previous;
}

}  // namespace dialogs
