// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once
// The real dialogs: Qt message boxes and file dialogs with French texts. The file dialogs are
// Qt's own widgets, not the desktop's, so they look the same everywhere, Xvfb included.

#include "base/dialogs.h"

class QFileDialog;

namespace dialogs {

class QtDialogs : public Dialogs {
public:
    Answer messageBox(const QString& text, const QString& caption, Buttons buttons, Icon icon = Icon::None) override;
    QStringList openFiles(const OpenFileRequest& request) override;
    QString chooseDirectory(const QString& title, const QString& start) override;
    void showError(const QString& message) override;
    QString askText(const QString& caption, const QString& label, const QString& initial) override;
};

// Sets up an open dialog as openFiles shows it; apart so that a test can look at it unshown.
void configureOpenDialog(QFileDialog& dialog, const OpenFileRequest& request);

// Makes Qt speak French whatever the system's locale: the program's default locale (which names
// file types and formats what Qt formats by it) and, when the translations are installed, Qt's
// texts of its standard dialogs. Returns whether the translations were found; the program's
// own texts are French either way.
bool installFrench();

}  // namespace dialogs
