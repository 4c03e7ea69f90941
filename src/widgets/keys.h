// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once
// Qt key events turned into the virtual-key codes that the program's key map is written in.

#include <Qt>

class QKeyEvent;

namespace keys {

// Virtual-key codes the key map names.
enum VirtualKey : int {
    kBack = 0x08,
    kTab = 0x09,
    kReturn = 0x0D,
    kShift = 0x10,
    kControl = 0x11,
    kMenu = 0x12,
    kEscape = 0x1B,
    kSpace = 0x20,
    kPrior = 0x21,  // Page Up
    kNext = 0x22,   // Page Down
    kEnd = 0x23,
    kHome = 0x24,
    kLeft = 0x25,
    kUp = 0x26,
    kRight = 0x27,
    kDown = 0x28,
    kInsert = 0x2D,
    kDelete = 0x2E,
    kDigit0 = 0x30,
    kSemicolon = 0x3B,  // the key map's code for the ';' key
    kLetterA = 0x41,
    kNumpad0 = 0x60,
    kMultiply = 0x6A,
    kAdd = 0x6B,
    kSubtract = 0x6D,
    kDecimal = 0x6E,
    kDivide = 0x6F,
    kF1 = 0x70,
};

// The virtual-key code of a Qt key; 0 when the key map has no code for it. Letters give their
// capital's code whatever the case; digits of the keypad give 0x60..0x69.
int VirtualKeyCode(int qtKey, Qt::KeyboardModifiers modifiers);
int VirtualKeyCode(const QKeyEvent& event);

}  // namespace keys
