// What the rest of the stand-in (the Direct3D 8 devices, the message box, the input
// calls) needs to know about a window handle. Not part of the Win32 surface the game sees.
#pragma once
#ifdef __EMSCRIPTEN__
// The browser build has no SDL: its windows are the page's canvas (web/web_window.cpp).
struct SDL_Window;
#else
#include <SDL.h>
#endif
#include <string>
#include "platform/user32/window.h"

// The SDL window behind a handle; null for a headless window, a destroyed window or a
// null handle. A destroyed window's SDL window is only hidden, not freed, until its slot
// is reused, so a device that still points at it can be released safely.
SDL_Window *SdlWindowOf(HWND window);

// True when the handle is a live window of the headless backend.
bool IsHeadlessWindow(HWND window);

// Counts the times the window lost the input focus. A full-screen Direct3D device
// compares it with the count it saw last to know that the device was lost.
unsigned int WindowFocusLossCount(HWND window);

// Whether the window was created for full screen (desktop-sized, borderless). The game
// asks for a captioned window of outer size exactly 800 x 600 at (0, 0) when it runs full
// screen (on Windows the display mode then becomes 800 x 600); such a window covers the
// desktop at its own resolution instead, with no mode switch.
bool IsFullScreenWindow(HWND window);

// The live window that has the input focus and is neither hidden nor minimised; null when
// none has. GetForegroundWindow reports it.
HWND FocusedWindow();

// Takes every pending SDL event and turns it into window messages, key and button state
// and mouse motion. PeekMessageA and GetCursorPos call it; harmless without a display.
void PumpWindowEvents();

// Lets go of the mouse while a message box is up, and takes it again afterwards when the
// game's window still has the focus (throwing away the motion of the grab).
void SuspendMouseGrab();
void ResumeMouseGrab();

// Brings up SDL's video for the first window; false (said once on stderr) without a display.
bool EnsureVideo();

// Shift-JIS (code page 932) text of the ANSI calls as UTF-8, for SDL. Bytes that are not
// valid Shift-JIS become '?'. A null text gives an empty string.
std::string Cp932ToUtf8(const char *text);

// The headless window stopped being the foreground window: counts as a focus loss of
// every headless window.
void CountHeadlessFocusLoss();

// Forgets every window, class and queued message (headless tests start from scratch).
void ResetWindows();
