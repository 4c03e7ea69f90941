// SPDX-License-Identifier: GPL-2.0-or-later
// Qt keys become the virtual-key codes of the program's key map.
#include <gtest/gtest.h>

#include <QKeyEvent>
#include <vector>

#include "widgets/keys.h"

namespace {

TEST(Keys, TranslateToVirtualKeyCodes) {
    struct Case {
        int key;
        Qt::KeyboardModifiers modifiers;
        int code;
    };
    const std::vector<Case> cases = {
        {Qt::Key_PageUp, Qt::NoModifier, 0x21},
        {Qt::Key_PageDown, Qt::NoModifier, 0x22},
        {Qt::Key_End, Qt::NoModifier, 0x23},
        {Qt::Key_Home, Qt::NoModifier, 0x24},
        {Qt::Key_Left, Qt::NoModifier, 0x25},
        {Qt::Key_Up, Qt::NoModifier, 0x26},
        {Qt::Key_Right, Qt::NoModifier, 0x27},
        {Qt::Key_Down, Qt::NoModifier, 0x28},
        {Qt::Key_Escape, Qt::NoModifier, 0x1B},
        {Qt::Key_Space, Qt::NoModifier, 0x20},
        {Qt::Key_Return, Qt::NoModifier, 0x0D},
        {Qt::Key_Enter, Qt::KeypadModifier, 0x0D},
        {Qt::Key_A, Qt::NoModifier, 0x41},
        {Qt::Key_N, Qt::ShiftModifier, 0x4E},
        {Qt::Key_Z, Qt::NoModifier, 0x5A},
        {Qt::Key_0, Qt::NoModifier, 0x30},
        {Qt::Key_9, Qt::NoModifier, 0x39},
        {Qt::Key_0, Qt::KeypadModifier, 0x60},
        {Qt::Key_7, Qt::KeypadModifier, 0x67},
        {Qt::Key_9, Qt::KeypadModifier, 0x69},
        {Qt::Key_Semicolon, Qt::NoModifier, 0x3B},
        {Qt::Key_Colon, Qt::ShiftModifier, 0x3B},
        // The keypad's arrows and pages (Num Lock off) are the same keys as the others.
        {Qt::Key_PageDown, Qt::KeypadModifier, 0x22},
        {Qt::Key_Left, Qt::KeypadModifier, 0x25},
        {Qt::Key_F1, Qt::NoModifier, 0x70},
        {Qt::Key_Plus, Qt::KeypadModifier, 0x6B},
        {Qt::Key_Plus, Qt::NoModifier, 0},
        {Qt::Key_Eacute, Qt::NoModifier, 0},
        {Qt::Key_unknown, Qt::NoModifier, 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(keys::VirtualKeyCode(c.key, c.modifiers), c.code) << "Qt key " << std::hex << c.key;
    }
}

TEST(Keys, LettersGiveTheSameCodeWhateverTheCase) {
    const QKeyEvent lower(QEvent::KeyPress, Qt::Key_B, Qt::NoModifier, "b");
    const QKeyEvent upper(QEvent::KeyPress, Qt::Key_B, Qt::ShiftModifier, "B");
    EXPECT_EQ(keys::VirtualKeyCode(lower), 0x42);
    EXPECT_EQ(keys::VirtualKeyCode(upper), 0x42);
}

}  // namespace

TEST(Keys, TheDigitRowGivesDigitsWhateverTheLayoutOrShift) {
    struct {
        int qtKey;
        Qt::KeyboardModifiers modifiers;
        quint32 scanCode;
        QString text;
        int expected;
    } const cases[] = {
        {Qt::Key_Ampersand, Qt::NoModifier, 10, "&", 0x31},  // French top row, unshifted
        {Qt::Key_Eacute, Qt::NoModifier, 11, QString::fromUtf8("é"), 0x32},
        {Qt::Key_Agrave, Qt::NoModifier, 19, QString::fromUtf8("à"), 0x30},
        {Qt::Key_Percent, Qt::ShiftModifier, 14, "%", 0x35},  // Shift+5 on a US layout
        {Qt::Key_7, Qt::KeypadModifier, 79, "7", 0x67},       // the keypad stays the keypad
        {Qt::Key_N, Qt::NoModifier, 57, "n", 0x4E},
    };
    for (const auto& c : cases) {
        const QKeyEvent event(QEvent::KeyPress, c.qtKey, c.modifiers, c.scanCode, 0, 0, c.text);
        EXPECT_EQ(keys::VirtualKeyCode(event), c.expected) << c.text.toStdString();
    }
}
