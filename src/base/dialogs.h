// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once
// Every modal interaction of the program goes through this interface, so that tests can script
// the user's answers. The real implementation uses Qt dialogs with French button texts; it
// lives with the widgets (widgets/qt_dialogs.h), so that code asking a question needs none.

#include <QString>
#include <QStringList>
#include <memory>

class QWidget;

namespace dialogs {

enum class Buttons { Ok, OkCancel };
enum class Answer { Ok, Cancel };
enum class Icon { None, Information, Warning, Error };

struct OpenFileRequest {
    QString directory;         // where the dialog starts
    QString filter;            // "Description (*.EXT)|*.EXT|..." pairs, matched whatever the case
    bool multiSelect = false;  // the file must exist, read-only box hidden, in every case
};

class Dialogs {
public:
    virtual ~Dialogs() = default;
    virtual Answer messageBox(const QString& text, const QString& caption, Buttons buttons, Icon icon = Icon::None) = 0;
    // Full paths of the chosen files; empty when the user cancelled.
    virtual QStringList openFiles(const OpenFileRequest& request) = 0;
    // The chosen directory, or an empty string when cancelled. The dialog may create a typed
    // directory after asking "Le répertoire spécifié n'existe pas. Le créer ?".
    virtual QString chooseDirectory(const QString& title, const QString& start) = 0;
    // The general error report: a modal error box with the message.
    virtual void showError(const QString& message) = 0;
    // A line of text typed by the user, starting from `initial`; empty when cancelled. Programs
    // without windows have no one to ask.
    virtual QString askText(const QString& caption, const QString& label, const QString& initial) {
        (void)caption;
        (void)label;
        (void)initial;
        return {};
    }
};

// The dialogs the program uses now; the real Qt ones unless a test installed its own.
Dialogs& current();
// Installs a replacement (tests); null restores the real dialogs. Returns the one it replaced.
std::unique_ptr<Dialogs> install(std::unique_ptr<Dialogs> replacement);
// Names the real dialogs. The widgets' Qt dialogs name themselves as the program starts; a
// program without windows (orvexa-batch) installs its own answers before anything asks.
void setReal(Dialogs& (*real)());

}  // namespace dialogs
