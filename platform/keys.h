// Classic virtual-key codes and shortcuts. Controls that keep shortcuts as numbers (a key code
// plus 0x2000 Shift, 0x4000 Ctrl, 0x8000 Alt) translate Qt key events through these.
#pragma once

#include <QChar>
#include <Qt>

class QKeyEvent;

enum : int {
    VK_BACK = 0x08, VK_TAB = 0x09, VK_RETURN = 0x0D, VK_SHIFT = 0x10, VK_CONTROL = 0x11,
    VK_MENU = 0x12, VK_ESCAPE = 0x1B, VK_SPACE = 0x20, VK_PRIOR = 0x21, VK_NEXT = 0x22,
    VK_END = 0x23, VK_HOME = 0x24, VK_LEFT = 0x25, VK_UP = 0x26, VK_RIGHT = 0x27, VK_DOWN = 0x28,
    VK_INSERT = 0x2D, VK_DELETE = 0x2E, VK_F1 = 0x70, VK_F12 = 0x7B,
    VK_ADD = 0x6B, VK_SUBTRACT = 0x6D, VK_MULTIPLY = 0x6A, VK_DIVIDE = 0x6F, VK_DECIMAL = 0x6E,
    VK_OEM_7 = 0xDE,
};

enum TShiftFlag : unsigned { ssShift = 1, ssAlt = 2, ssCtrl = 4, ssLeft = 8, ssRight = 16, ssMiddle = 32, ssDouble = 64 };
using TShiftState = unsigned;

using TShortCut = int;
constexpr int scShift = 0x2000;
constexpr int scCtrl = 0x4000;
constexpr int scAlt = 0x8000;

TShortCut ShortCut(int key, TShiftState shift);
// The classic key code of a Qt key (0 for keys without one).
int VirtualKeyOf(int qtKey);
TShiftState ShiftStateOf(Qt::KeyboardModifiers modifiers);
// The same with the mouse buttons held (ssLeft, ssRight, ssMiddle).
TShiftState ShiftStateOf(Qt::KeyboardModifiers modifiers, Qt::MouseButtons buttons);
// The shortcut an event's key and modifiers make (0 when the key has no classic code).
TShortCut ShortCutOf(const QKeyEvent* event);
