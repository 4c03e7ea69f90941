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

QString FrenchText(const FileError& error) {
    switch (error.step) {
        case FileError::Step::Create:
            return QStringLiteral("Impossible de créer le fichier %1").arg(error.path);
        case FileError::Step::Unopened:
            return QStringLiteral("Erreur E/S 103");
        case FileError::Step::Encode:
            return QStringLiteral("L'image ne peut pas être encodée dans le type du fichier %1").arg(error.path);
        case FileError::Step::Write:
            break;
    }
    return error.kind == FileError::Kind::NoSpace ? QStringLiteral("Erreur E/S 112") : QStringLiteral("Erreur E/S 101");
}

void ReportCurrentException() noexcept {
    try {
        throw;
    } catch (const SilentAbort&) {
    } catch (const Error& error) {
        Show(error.message());
    } catch (const FileFailure& failure) {
        Show(FrenchText(failure.error()));
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
