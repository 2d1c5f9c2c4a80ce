// Stand-in for the user32 calls that read the keyboard, the mouse buttons and the cursor.
// The driver's events (window_events.cpp) or the headless backend feed the state kept here.
// The mouse is relative: the cursor is a virtual point that SetCursorPos puts somewhere
// and mouse motion moves, so after SetCursorPos(400, 300) GetCursorPos reports (400, 300)
// plus the motion since, whatever the real pointer's place (SDL keeps it in the window).
#include "platform/drivers/driver.h"
#include "platform/user32/input.h"
#include "platform/user32/input_internal.h"
#include "platform/user32/window_internal.h"

namespace {

constexpr int KeyCount = 256;
constexpr BYTE Held = 0x80;

BYTE held[KeyCount];     // Held while the key is down
BYTE toggled[KeyCount];  // bit 0 flips on every press, as Windows keeps it
BYTE latched[KeyCount];  // Held when the key went down since the last snapshot
POINT cursor = {400, 300};
int cursorCount;

bool ValidKey(int key) { return key > 0 && key < KeyCount; }

// VK_SHIFT, VK_CONTROL and VK_MENU are held while either of their two keys is.
void UpdateEitherSideKeys() {
  held[VK_SHIFT] = held[VK_LSHIFT] | held[VK_RSHIFT];
  held[VK_CONTROL] = held[VK_LCONTROL] | held[VK_RCONTROL];
  held[VK_MENU] = held[VK_LMENU] | held[VK_RMENU];
  latched[VK_SHIFT] |= latched[VK_LSHIFT] | latched[VK_RSHIFT];
  latched[VK_CONTROL] |= latched[VK_LCONTROL] | latched[VK_RCONTROL];
  latched[VK_MENU] |= latched[VK_LMENU] | latched[VK_RMENU];
}

}  // namespace

void InputKeyEvent(int virtualKey, bool down) {
  if (!ValidKey(virtualKey)) return;
  if (down) {
    if (!held[virtualKey]) toggled[virtualKey] ^= 1;
    held[virtualKey] = Held;
    latched[virtualKey] = Held;
  } else {
    held[virtualKey] = 0;
  }
  UpdateEitherSideKeys();
}

void InputSetKey(int virtualKey, bool down) {
  if (!ValidKey(virtualKey)) return;
  held[virtualKey] = down ? Held : 0;
  UpdateEitherSideKeys();
}

void InputReleaseAll() {
  for (int key = 0; key < KeyCount; key++) {
    held[key] = 0;
    latched[key] = 0;
  }
}

void InputMouseMotion(int dx, int dy) {
  cursor.x += dx;
  cursor.y += dy;
}

bool InputKeyHeld(int virtualKey) { return ValidKey(virtualKey) && held[virtualKey]; }

POINT InputCursor() { return cursor; }

int InputCursorCount() { return cursorCount; }

void InputReset() {
  InputReleaseAll();
  for (BYTE &toggle : toggled) toggle = 0;
  cursor = POINT{400, 300};
  cursorCount = 0;
}

HWND GetForegroundWindow() { return FocusedWindow(); }

BOOL GetKeyboardState(BYTE *keyState) {
  if (!keyState) return FALSE;
  for (int key = 0; key < KeyCount; key++) {
    keyState[key] = static_cast<BYTE>(held[key] | latched[key] | toggled[key]);
    latched[key] = 0;
  }
  return TRUE;
}

BOOL GetCursorPos(LPPOINT point) {
  if (!point) return FALSE;
  PumpWindowEvents();  // the motion up to this moment
  *point = cursor;
  return TRUE;
}

BOOL SetCursorPos(int x, int y) {
  cursor = POINT{x, y};
  return TRUE;
}

int ShowCursor(BOOL show) {
  cursorCount += show ? 1 : -1;
  CurrentDriver().ShowCursor(cursorCount >= 0);
  return cursorCount;
}
