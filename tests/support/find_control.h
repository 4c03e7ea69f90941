// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once
// Finds a window's control or command by its design name, as a test points at it; a missing
// one ends the test program, since every later step would act on nothing.

#include <QObject>
#include <QString>
#include <QtGlobal>

template <typename T>
T* FindControl(QObject& window, const char* name) {
    T* child = window.findChild<T*>(QString::fromLatin1(name));
    if (child == nullptr) qFatal("no control %s", name);
    return child;
}
