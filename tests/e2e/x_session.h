// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once
// The real program in a real X server: starts Xvfb and the program, finds windows by title and
// drives them with real input events through xdotool.

#include <QProcess>
#include <QRect>
#include <QSize>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <memory>

class XSession {
public:
    XSession();
    ~XSession();
    XSession(const XSession&) = delete;
    XSession& operator=(const XSession&) = delete;

    // False (with the reason in error()) when Xvfb or xdotool is missing or the server fails.
    bool start(QSize screen = QSize(1280, 1024));
    const QString& error() const { return error_; }
    const QString& display() const { return display_; }

    // Starts the program on this display in a working directory.
    bool launch(const QString& program, const QString& workingDirectory, const QStringList& arguments = {});
    bool programRunning() const;
    // Waits for the program to end; its exit code, or -1 when it did not end in time.
    int waitForExit(int milliseconds);

    // The first visible window whose title matches the regular expression; 0 when none
    // appears in time.
    qulonglong waitForWindow(const QString& titlePattern, int milliseconds = 10000);
    QRect geometry(qulonglong window);

    // Input, in screen coordinates.
    void click(int x, int y);
    void drag(int x1, int y1, int x2, int y2);
    void key(const QString& keys);
    void type(const QString& text);
    // Saves the screen as an xwd file when ORVEXA_E2E_SHOTS names a directory (for debugging).
    void shot(const QString& name);
    // Lets the program handle what was sent.
    void settle(int milliseconds = 300);

private:
    QString xdotool(const QStringList& arguments, int milliseconds = 10000);

    QString error_;
    QString display_;
    std::unique_ptr<QProcess> server_;
    std::unique_ptr<QProcess> program_;
    // The program's settings (recent files, folders, windows' places): the session's own.
    QTemporaryDir settings_;
};
