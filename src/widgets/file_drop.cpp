// SPDX-License-Identifier: GPL-2.0-or-later
#include "widgets/file_drop.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QTimer>
#include <QUrl>
#include <QWidget>

#include "widgets/slot_guard.h"

namespace file_drop {

namespace {

// The first local file of the drag; empty when it carries none.
QString DroppedFile(const QMimeData* data) {
    if (data == nullptr || !data->hasUrls()) return {};
    for (const QUrl& url : data->urls()) {
        if (url.isLocalFile()) return url.toLocalFile();
    }
    return {};
}

class Acceptor : public QObject {
public:
    Acceptor(QWidget& window, std::function<void(const QString&)> open) : QObject(&window), open_(std::move(open)) {
        window.setAcceptDrops(true);
        window.installEventFilter(this);
    }

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        switch (event->type()) {
            case QEvent::DragEnter:
            case QEvent::DragMove: {
                auto* drag = static_cast<QDropEvent*>(event);
                if (DroppedFile(drag->mimeData()).isEmpty()) return false;
                drag->acceptProposedAction();
                return true;
            }
            case QEvent::Drop: {
                auto* drop = static_cast<QDropEvent*>(event);
                const QString path = DroppedFile(drop->mimeData());
                if (path.isEmpty()) return false;
                drop->acceptProposedAction();
                // Opened after the drop has ended: indexing a long video must not hold the
                // program the file came from.
                QTimer::singleShot(0, this, [this, path] { errors::Guard([&] { open_(path); }); });
                return true;
            }
            default:
                return false;
        }
    }

private:
    std::function<void(const QString&)> open_;
};

}  // namespace

void AcceptFiles(QWidget& window, std::function<void(const QString& path)> open) {
    new Acceptor(window, std::move(open));
}

}  // namespace file_drop
