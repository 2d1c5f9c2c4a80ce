// The headless driver of the platform, for tests and the replay runner: no window, no
// display, no sound output; the keys, the mouse and the millisecond clock are set by the
// caller, so whole frames of the real game run deterministically. It is one of the
// drivers user32 and winmm run on (platform/drivers/driver.h), chosen at run time here.
//
// How to drive the game with it:
//   HeadlessEnable();            // before the game makes any platform call
//   HeadlessReset();             // optional: a clean platform (windows, keys, clock)
//   HeadlessSetTime(100000);     // any start; the first frame then does not wait
//   CreateMainWindow(nullptr, SW_SHOWDEFAULT); InitGame(); ...
//   HeadlessSetKey(VK_LBUTTON, true); HeadlessMoveMouse(30, -4); RunFrame(); ...
//
// What the driver does in place of the display:
// - CreateWindowExA returns a handle that IsHeadlessWindow recognises; it has no SDL
//   window, its client area is what the outer size asked for leaves inside the frame
//   (800 x 600 for the game's windowed and full-screen windows alike), and it counts as
//   the foreground window (shown or not) unless HeadlessSetForeground(false) or ShowWindow
//   minimised it. Leaving and coming back to the foreground are a focus loss and gain,
//   as on the desktop: the window is sent WM_ACTIVATE, WM_KILLFOCUS or WM_SETFOCUS, and
//   keys held when it left are released.
// - GetKeyboardState reports exactly the keys set here (no latching of taps).
// - GetCursorPos reports (400, 300) plus the motion given to HeadlessMoveMouse since the
//   last SetCursorPos(400, 300), as with the real relative mouse.
// - timeGetTime reads the virtual clock. Sleep(n) moves it by n ms, to the tick it would
//   wake on for real; Sleep(0), a yield, moves it to the next millisecond. So a frame
//   whose wait starts at t ends at exactly lastFrameTime + 22 when t is before that, and
//   at once when it is not (a late frame loses its time, as for real).
// - MessageBoxA answers at once (see HeadlessSetMessageBoxAnswer) and records its text.
// - PeekMessageA returns only messages posted through the driver (HeadlessCloseWindow)
//   or by the stand-in itself; WaitMessage calls the wait hook and returns.
#pragma once
#include <cstdint>
#include "base/win32_types.h"

// Switches the platform to the headless driver. Call before the game makes any platform
// call. Windows are then handles without a display, in the foreground.
void HeadlessEnable();
bool HeadlessIsEnabled();

// Puts the driver back to its start: no windows or window classes, no queued messages,
// no keys held, no mouse motion, cursor counter 0, no timer periods, clock 0, foreground,
// message-box answer IDNO and no message box seen, no wait hook. Game variables are the
// game's own and are not touched.
void HeadlessReset();

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

// The simulated display: the refresh rate the desktop's mode reports (60 at start; 0
// reports none), and a scheduler that wakes a sleep up to wakeJitter ms late, the
// lateness drawn from a generator seeded with seed. Presenting never waits for a
// retrace here: pictures are paced by the game's own clock.
void HeadlessSetDisplay(int refreshRate, int wakeJitter = 0, uint32_t seed = 1);
// Called with the new time every time a sleep has moved the virtual clock, so a test can
// move the mouse while the game waits, as a hand moves between the game's readings.
void HeadlessSetClockHook(void (*hook)(DWORD now));

// Whether the window counts as the foreground window (default: yes).
void HeadlessSetForeground(bool foreground);

// What a click on the window's close button does: posts WM_CLOSE to the window, which
// the game's message loop then dispatches (the default handling destroys the window).
void HeadlessCloseWindow(HWND window);

// Called every time the game blocks in WaitMessage with an empty queue (while its
// window is not in the foreground), so a test can change the world the game waits for:
// bring the window back, close it. Without a hook WaitMessage returns at once.
void HeadlessSetWaitHook(void (*hook)());

// The answer MessageBoxA gives on the headless driver (default IDNO), and the last texts
// it was asked to show (Shift-JIS converted to UTF-8), for tests. An answer that is not
// one of the box's buttons gives the answer of closing the box instead (IDOK for MB_OK).
void HeadlessSetMessageBoxAnswer(int answer);
const char *HeadlessLastMessageBoxText();
const char *HeadlessLastMessageBoxCaption();
int HeadlessMessageBoxCount();

// How many timeBeginPeriod calls are in effect (not yet ended), and the ShowCursor
// display counter (0 at start; the cursor is hidden below 0), for tests of start-up
// and shutdown.
int HeadlessTimerPeriodCount();
int HeadlessCursorCount();

// ---- Used by the rest of the stand-in --------------------------------------------
// True when the handle is a live window of the headless driver.
bool IsHeadlessWindow(HWND window);
