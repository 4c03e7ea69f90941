// SPDX-License-Identifier: GPL-2.0-or-later
#include "widgets/window_memory.h"

#include <QApplication>
#include <QEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QSettings>
#include <QWidget>
#include <algorithm>

namespace window_memory {

namespace {

QString GeometryKey(const QString& key) { return QStringLiteral("windows/") + key; }

// The window manager's frame round a window: its own once shown, else that of a window shown.
QSize FrameMargins(const QWidget& window) {
    if (window.isVisible()) {
        const QSize margins = window.frameGeometry().size() - window.size();
        if (!margins.isNull()) return margins;
    }
    for (const QWidget* other : QApplication::topLevelWidgets()) {
        if (other == &window || !other->isVisible() || other->isMinimized()) continue;
        const QSize margins = other->frameGeometry().size() - other->size();
        if (!margins.isNull()) return margins;
    }
    return {};
}

// Saves the window's place when it is hidden and keeps it on the screen when it is shown.
class SaveOnHide : public QObject {
public:
    SaveOnHide(QWidget& window, QString key) : QObject(&window), window_(window), key_(std::move(key)) {
        window.installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched != &window_) return false;
        if (event->type() == QEvent::Hide && !window_.isMinimized()) Save(window_, key_);
        // Its size may have grown since it was placed (a menu bar, a layout done at the first show).
        if (event->type() == QEvent::Show && !window_.isFullScreen()) KeepOnScreen(window_);
        return false;
    }

private:
    QWidget& window_;
    QString key_;
};

}  // namespace

std::unique_ptr<QSettings> Settings() {
    return std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("orvexa"),
                                       QStringLiteral("orvexa"));
}

QRect Within(QRect frame, const QRect& available) {
    if (available.isEmpty()) return frame;
    frame.setSize(frame.size().boundedTo(available.size()));
    frame.moveLeft(std::clamp(frame.left(), available.left(), available.right() + 1 - frame.width()));
    frame.moveTop(std::clamp(frame.top(), available.top(), available.bottom() + 1 - frame.height()));
    return frame;
}

void KeepOnScreen(QWidget& window) {
    const QSize margins = FrameMargins(window);
    const QRect frame(window.frameGeometry().topLeft(), window.size() + margins);
    const QScreen* screen = QGuiApplication::screenAt(frame.center());
    if (screen == nullptr) screen = QGuiApplication::screenAt(frame.topLeft());
    if (screen == nullptr) screen = QGuiApplication::primaryScreen();
    if (screen == nullptr) return;
    const QRect placed = Within(frame, screen->availableGeometry());
    if (placed == frame) return;
    if (placed.size() != frame.size()) window.resize(placed.size() - margins);
    window.move(placed.topLeft());
}

void Remember(QWidget& window, const QString& key) {
    const QByteArray saved = Settings()->value(GeometryKey(key)).toByteArray();
    if (!saved.isEmpty() && window.restoreGeometry(saved)) KeepOnScreen(window);
    new SaveOnHide(window, key);
}

void Save(const QWidget& window, const QString& key) { Settings()->setValue(GeometryKey(key), window.saveGeometry()); }

}  // namespace window_memory
