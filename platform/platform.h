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
#include "platform/win32_types.h"
#include "platform/window.h"
#include "platform/input.h"
#include "platform/timer.h"
#include "platform/library.h"
#include "platform/message_box.h"
#include "platform/gdi.h"
#include "platform/d3d8.h"
#endif
