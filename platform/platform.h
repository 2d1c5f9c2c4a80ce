// The one header through which the game reaches its platform: Win32, winmm, GDI and
// Direct3D 8. On Windows it is the system's own headers; everywhere else it is the
// stand-in in this folder, with the same names and values.
#pragma once

#ifdef _WIN32
#include <windows.h>
#include <mmsystem.h>
#include <d3d8.h>
#include <stdint.h>
#include <stdlib.h>
#else
#include "base/win32_types.h"
#include "platform/user32/window.h"
#include "platform/user32/input.h"
#include "platform/winmm/timer.h"
#include "platform/kernel32/library.h"
#include "platform/user32/message_box.h"
#include "platform/gdi32/gdi.h"
#include "platform/d3d8/d3d8.h"
#endif
