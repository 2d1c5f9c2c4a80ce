// What the rest of the stand-in (the Direct3D 8 devices, the message box) needs to know
// about a window handle. Not part of the Win32 surface the game sees.
#pragma once
#include <SDL.h>
#include "platform/window.h"

// The SDL window behind a handle; null for a headless window or a null handle.
SDL_Window *SdlWindowOf(HWND window);

// True when the handle is a window of the headless backend.
bool IsHeadlessWindow(HWND window);

// Counts the times the window lost the input focus. A full-screen Direct3D device
// compares it with the count it saw last to know that the device was lost.
unsigned int WindowFocusLossCount(HWND window);

// Whether the window was created for full screen (desktop-sized, borderless).
bool IsFullScreenWindow(HWND window);
