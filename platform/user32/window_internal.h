// What the rest of the stand-in (the Direct3D 8 devices, the drivers, the headless
// backend) needs to know about a window handle and the message loop. Not part of the
// Win32 surface the game sees.
#pragma once
#include <string>
#include "platform/user32/window.h"

// Counts the times the window lost the input focus. A full-screen Direct3D device
// compares it with the count it saw last to know that the device was lost.
unsigned int WindowFocusLossCount(HWND window);

// Whether the window was created for full screen (desktop-sized, borderless). The game
// asks for a captioned window of outer size exactly 800 x 600 at (0, 0) when it runs full
// screen (on Windows the display mode then becomes 800 x 600); such a window covers the
// desktop at its own resolution instead, with no mode switch.
bool IsFullScreenWindow(HWND window);

// Takes a window to full screen (covering the display it is on, at the desktop's own
// mode) or back to the framed window it was, at the size it had then. A full-screen
// device's Reset does this for its focus window, as the system does on Windows.
void SetWindowFullScreen(HWND window, bool fullScreen);

// The live window that has the input focus and is neither hidden nor minimised; null when
// none has. GetForegroundWindow reports it.
HWND FocusedWindow();

// Has the running driver hand over its pending events (driver.h). PeekMessageA and
// GetCursorPos call it.
void PumpWindowEvents();

// Lets go of the mouse while a message box is up, and takes it again afterwards when a
// window still has the focus (throwing away the motion of the grab).
void SuspendMouseGrab();
void ResumeMouseGrab();
void ResetMouseGrab();

// Shift-JIS (code page 932) text of the ANSI calls as UTF-8, for the display system.
// Bytes that are not valid Shift-JIS become '?'. A null text gives an empty string.
std::string Cp932ToUtf8(const char *text);

// Lets the driver free the native window of a window DestroyWindow has ended, at once
// instead of when its slot is reused: for a window no device can point at (user32's own
// message box), so that nothing of it is left on the display.
void FreeDestroyedWindow(HWND window);

// Forgets every window, class and queued message (headless tests start from scratch).
void ResetWindows();
