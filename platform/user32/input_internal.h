// The key, button and mouse state that the driver's events (or the headless backend) feed
// and the input calls read. Not part of the Win32 surface the game sees.
#pragma once
#include "base/win32_types.h"

// A key or button by virtual-key code went down or up. A press is latched until the
// next GetKeyboardState, so a tap that goes down and up between two snapshots still
// shows as held in one of them.
void InputKeyEvent(int virtualKey, bool down);

// Sets a key as the headless backend's caller wants it, with no latch.
void InputSetKey(int virtualKey, bool held);

// Releases every key and button (focus loss, headless reset).
void InputReleaseAll();

// Adds relative mouse motion to the cursor's offset from where SetCursorPos put it.
void InputMouseMotion(int dx, int dy);

// Whether the key is held now (a latched tap is not).
bool InputKeyHeld(int virtualKey);

// Where GetCursorPos would put the cursor, without taking new events first.
POINT InputCursor();

// The cursor display counter of ShowCursor (the cursor shows while it is 0 or more).
int InputCursorCount();

// Back to the start state: nothing held, no motion, cursor counter 0.
void InputReset();
