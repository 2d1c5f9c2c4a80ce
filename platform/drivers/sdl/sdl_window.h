// The SDL window behind a window handle, for the SDL driver's presenting and GL-context
// code. Not part of the Win32 surface the game sees.
#pragma once
#include "base/win32_types.h"

struct SDL_Window;

// The SDL window behind a handle; null for a window of another driver (headless), a
// destroyed window or a null handle. A destroyed window's SDL window is only hidden, not
// freed, until its slot is reused, so a device that still points at it can be released
// safely.
SDL_Window *SdlWindowOf(HWND window);
