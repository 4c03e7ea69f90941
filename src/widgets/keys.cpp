// SPDX-License-Identifier: GPL-2.0-or-later
#include "widgets/keys.h"

#include <QKeyEvent>

namespace keys {

int VirtualKeyCode(int qtKey, Qt::KeyboardModifiers modifiers) {
    const bool keypad = modifiers.testFlag(Qt::KeypadModifier);
    if (qtKey >= Qt::Key_0 && qtKey <= Qt::Key_9) {
        return (keypad ? kNumpad0 : kDigit0) + (qtKey - Qt::Key_0);
    }
    if (qtKey >= Qt::Key_A && qtKey <= Qt::Key_Z) return kLetterA + (qtKey - Qt::Key_A);
    if (qtKey >= Qt::Key_F1 && qtKey <= Qt::Key_F12) return kF1 + (qtKey - Qt::Key_F1);
    switch (qtKey) {
        case Qt::Key_Backspace:
            return kBack;
        case Qt::Key_Tab:
        case Qt::Key_Backtab:
            return kTab;
        case Qt::Key_Return:
        case Qt::Key_Enter:
            return kReturn;
        case Qt::Key_Shift:
            return kShift;
        case Qt::Key_Control:
            return kControl;
        case Qt::Key_Alt:
            return kMenu;
        case Qt::Key_Escape:
            return kEscape;
        case Qt::Key_Space:
            return kSpace;
        case Qt::Key_PageUp:
            return kPrior;
        case Qt::Key_PageDown:
            return kNext;
        case Qt::Key_End:
            return kEnd;
        case Qt::Key_Home:
            return kHome;
        case Qt::Key_Left:
            return kLeft;
        case Qt::Key_Up:
            return kUp;
        case Qt::Key_Right:
            return kRight;
        case Qt::Key_Down:
            return kDown;
        case Qt::Key_Insert:
            return kInsert;
        case Qt::Key_Delete:
            return kDelete;
        // The same physical key gives ';' or ':' with Shift.
        case Qt::Key_Semicolon:
        case Qt::Key_Colon:
            return kSemicolon;
        case Qt::Key_Asterisk:
            return keypad ? kMultiply : 0;
        case Qt::Key_Plus:
            return keypad ? kAdd : 0;
        case Qt::Key_Minus:
            return keypad ? kSubtract : 0;
        case Qt::Key_Period:
            return keypad ? kDecimal : 0;
        case Qt::Key_Slash:
            return keypad ? kDivide : 0;
        default:
            return 0;
    }
}

namespace {

// X11 key codes of the digit row, '1' to '9' then '0'. The digit keys are physical keys:
// with Shift, or on a layout whose top row types other characters first (French), they are
// still the digits.
constexpr quint32 kX11DigitRowFirst = 10;
constexpr quint32 kX11DigitRowLast = 19;

}  // namespace

int VirtualKeyCode(const QKeyEvent& event) {
    const quint32 scanCode = event.nativeScanCode();
    if (!event.modifiers().testFlag(Qt::KeypadModifier) && scanCode >= kX11DigitRowFirst &&
        scanCode <= kX11DigitRowLast) {
        return kDigit0 + int((scanCode - kX11DigitRowFirst + 1) % 10);
    }
    return VirtualKeyCode(event.key(), event.modifiers());
}

}  // namespace keys
