// SPDX-License-Identifier: GPL-2.0-or-later
#include "widgets/slot_guard.h"

#include <QCoreApplication>

#include "base/dialogs.h"

namespace errors {

namespace {

void Show(const QString& message) noexcept {
    // The report itself must never throw out of a catch block at a slot's edge.
    try {
        dialogs::current().showError(message);
    } catch (...) {
    }
}

}  // namespace

void ReportCurrentException() noexcept {
    try {
        throw;
    } catch (const SilentAbort&) {
    } catch (const Error& error) {
        Show(error.message());
    } catch (const std::exception& error) {
        Show(QString::fromLocal8Bit(error.what()));
    } catch (...) {
        Show(QStringLiteral("Erreur inattendue"));
    }
}

void Guard(const std::function<void()>& body) {
    try {
        body();
    } catch (...) {
        ReportCurrentException();
    }
}

}  // namespace errors
