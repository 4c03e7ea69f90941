// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once
// The application object: Qt in French (its texts and its locale), the program's accessible
// buttons, and a last-resort catch for errors that escape an unguarded handler.

#include <QApplication>

class OrvexaApplication : public QApplication {
    Q_OBJECT
public:
    OrvexaApplication(int& argc, char** argv);
    bool notify(QObject* receiver, QEvent* event) override;
};
