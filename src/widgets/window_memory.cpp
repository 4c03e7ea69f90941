// SPDX-License-Identifier: GPL-2.0-or-later
#include "widgets/window_memory.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QSettings>
#include <QTimer>
#include <QWidget>
#include <algorithm>

namespace window_memory {

namespace {

QString GeometryKey(const QString& key) { return QStringLiteral("windows/") + key; }

// The window manager's frame round a window: its own once shown, else that of a window shown.
QSize FrameMargins(const QWidget& window) {
    // Before the window manager has framed it, a window's frame is its own size or less.
    const auto framed = [](QSize margins) { return margins.width() > 0 || margins.height() > 0; };
    if (window.isVisible()) {
        const QSize margins = window.frameGeometry().size() - window.size();
        if (framed(margins)) return margins;
    }
    for (const QWidget* other : QApplication::topLevelWidgets()) {
        if (other == &window || !other->isVisible() || other->isMinimized()) continue;
        const QSize margins = other->frameGeometry().size() - other->size();
        if (framed(margins)) return margins;
    }
    return {0, 0};
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
        switch (event->type()) {
            case QEvent::Hide:
                if (!window_.isMinimized()) Save(window_, key_);
                break;
            case QEvent::Show:
                // Its size may have grown since it was placed (a menu bar, a layout done at the
                // first show), and its frame is known only once the window manager has put it
                // up: the moves of that first moment are the program's, not the user's.
                sinceShown_.start();
                if (!window_.isFullScreen()) KeepOnScreen(window_);
                // The frame's extents may come without any move of the window itself.
                QTimer::singleShot(kSettleMs / 4, this, [this] {
                    if (window_.isVisible() && !window_.isFullScreen() && !window_.isMaximized()) KeepOnScreen(window_);
                });
                break;
            case QEvent::Move:
            case QEvent::Resize:
                if (sinceShown_.isValid() && sinceShown_.elapsed() < kSettleMs && !window_.isFullScreen() &&
                    !window_.isMaximized()) {
                    KeepOnScreen(window_);
                }
                break;
            default:
                break;
        }
        return false;
    }

private:
    static constexpr qint64 kSettleMs = 1000;
    QWidget& window_;
    QString key_;
    QElapsedTimer sinceShown_;
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

bool Saved(const QString& key) { return Settings()->contains(GeometryKey(key)); }

void Save(const QWidget& window, const QString& key) { Settings()->setValue(GeometryKey(key), window.saveGeometry()); }

}  // namespace window_memory
