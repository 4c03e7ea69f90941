// SPDX-License-Identifier: GPL-2.0-or-later
#include "widgets/application.h"

#include "widgets/accessibility.h"
#include "widgets/qt_dialogs.h"
#include "widgets/slot_guard.h"

OrvexaApplication::OrvexaApplication(int& argc, char** argv) : QApplication(argc, argv) {
    dialogs::installFrench();
    accessibility::Install();
}

bool OrvexaApplication::notify(QObject* receiver, QEvent* event) {
    // Handlers are guarded at their own edge; this only keeps a missed one from ending the
    // program.
    try {
        return QApplication::notify(receiver, event);
    } catch (...) {
        errors::ReportCurrentException();
        return false;
    }
}
