// SPDX-License-Identifier: GPL-2.0-or-later
#include "widgets/accessibility.h"

#include <QAbstractButton>
#include <QAccessibleWidget>
#include <QCoreApplication>
#include <QMouseEvent>
#include <QPointer>
#include <QTimer>

#include "widgets/controls/speed_button.h"

namespace accessibility {
namespace {

QString WithoutMnemonic(QString text) { return text.remove(QLatin1Char('&')); }

// A left click at the button's centre, once the caller has returned: an assistive tool waits
// for its action to end, and the click may open a modal window.
void ClickLater(QAbstractButton* button) {
    QTimer::singleShot(0, button, [target = QPointer<QAbstractButton>(button)] {
        if (!target || !target->isEnabled()) return;
        const QPointF at = QRectF(target->rect()).center();
        QMouseEvent press(QEvent::MouseButtonPress, at, target->mapToGlobal(at), Qt::LeftButton, Qt::LeftButton,
                          Qt::NoModifier);
        QCoreApplication::sendEvent(target, &press);
        // The press may have opened a modal window; the button may be gone once it closes.
        if (!target) return;
        QMouseEvent release(QEvent::MouseButtonRelease, at, target->mapToGlobal(at), Qt::LeftButton, Qt::NoButton,
                            Qt::NoModifier);
        QCoreApplication::sendEvent(target, &release);
    });
}

class ButtonAccessible : public QAccessibleWidget {
public:
    ButtonAccessible(QAbstractButton* button, QAccessible::Role role) : QAccessibleWidget(button, role) {}

    QString text(QAccessible::Text kind) const override {
        const QAbstractButton& button = *static_cast<QAbstractButton*>(widget());
        const QString caption = WithoutMnemonic(button.text());
        const QString hint = isSpeedButton() ? button.toolTip() : QString();
        if (kind == QAccessible::Name) {
            if (!button.accessibleName().isEmpty()) return button.accessibleName();
            return hint.isEmpty() ? caption : hint;
        }
        // A button named by its hint tells its caption too ("Atteindre.." shows the frame number).
        if (kind == QAccessible::Description && button.accessibleDescription().isEmpty() && !hint.isEmpty()) {
            return caption;
        }
        return QAccessibleWidget::text(kind);
    }

    QAccessible::State state() const override {
        QAccessible::State state = QAccessibleWidget::state();
        const QAbstractButton& button = *static_cast<QAbstractButton*>(widget());
        if (button.isCheckable()) {
            state.checkable = true;
            state.checked = button.isChecked();
        }
        state.pressed = button.isDown();
        return state;
    }

    QStringList actionNames() const override {
        QStringList names;
        if (widget()->isEnabled()) names << clickAction();
        return names + QAccessibleWidget::actionNames();
    }

    void doAction(const QString& action) override {
        if (action == clickAction()) {
            if (widget()->isEnabled()) ClickLater(static_cast<QAbstractButton*>(widget()));
            return;
        }
        QAccessibleWidget::doAction(action);
    }

    QStringList keyBindingsForAction(const QString&) const override { return {}; }

private:
    bool isSpeedButton() const { return qobject_cast<const SpeedButton*>(object()) != nullptr; }
    // A button is pressed, a check box toggled; either way it is clicked.
    QString clickAction() const { return role() == QAccessible::CheckBox ? toggleAction() : pressAction(); }
};

QAccessibleInterface* Factory(const QString& className, QObject* object) {
    if (className == QLatin1String("SpeedButton")) {
        return new ButtonAccessible(static_cast<QAbstractButton*>(object), QAccessible::PushButton);
    }
    if (className == QLatin1String("QCheckBox")) {
        return new ButtonAccessible(static_cast<QAbstractButton*>(object), QAccessible::CheckBox);
    }
    return nullptr;
}

}  // namespace

// Qt keeps a factory once however often it is installed.
void Install() { QAccessible::installFactory(Factory); }

}  // namespace accessibility
