// The headless backend of the platform, for tests and the replay runner: no window,
// no display, no sound output; the keys, the mouse and the millisecond clock are set
// by the caller, so whole frames of the real game run deterministically.
#pragma once
#include "platform/win32_types.h"

// Switches the platform to the headless backend. Call before the game makes any
// platform call. Windows are then handles without a display, always in the foreground.
void HeadlessEnable();
bool HeadlessIsEnabled();

// Keys by virtual-key code (VK_LBUTTON and VK_RBUTTON are the mouse buttons).
void HeadlessSetKey(int virtualKey, bool held);
void HeadlessReleaseAllKeys();

// Mouse motion: moves the cursor by (dx, dy) from where it stands; GetCursorPos
// reports it until the next SetCursorPos.
void HeadlessMoveMouse(int dx, int dy);

// The virtual millisecond clock read by timeGetTime. It moves only when the test sets
// it or when the game waits (Sleep and the frame wait advance it by exactly what they
// wait), so a headless frame that does not take 22 ms takes exactly 22 virtual ms.
void HeadlessSetTime(DWORD milliseconds);
DWORD HeadlessTime();

// Whether the window counts as the foreground window (default: yes).
void HeadlessSetForeground(bool foreground);

// The answer MessageBoxA gives in headless mode (default IDNO), and the last texts
// it was asked to show (Shift-JIS converted to UTF-8), for tests.
void HeadlessSetMessageBoxAnswer(int answer);
const char *HeadlessLastMessageBoxText();
int HeadlessMessageBoxCount();
