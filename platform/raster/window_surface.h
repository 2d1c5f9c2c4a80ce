// Where the reference device shows its picture: a window's pixels as the display
// driver offers them. The device itself knows no display; the SDL driver
// (drivers/sdl/sdl_surface.cpp) and the browser's (drivers/web/web_surface.cpp)
// implement this, and a headless or absent window has none, so the device then draws
// into its own memory and shows nothing.
#pragma once
#include <cstdint>
#include "base/win32_types.h"

struct WindowSurface {
  virtual ~WindowSurface() = default;
  // Pixels the frame may be drawn straight into, width x height 0xAARRGGBB rows with no
  // padding, when the window shows exactly those (a window of the picture's size on
  // X11); null otherwise. Asked at the start of every frame: pixels given before stay
  // readable until this is asked again, so a device can move its picture out of them
  // when they are no longer offered.
  virtual uint32_t *DirectPixels(int width, int height) = 0;
  // Shows a picture of width x height 0xAARRGGBB pixels: when they are the pixels
  // DirectPixels gave, they are only put on the screen; any others are copied, or scaled
  // keeping their aspect ratio with black bands around, into the window.
  virtual void Show(const uint32_t *pixels, int width, int height) = 0;
};

// The surface of a window; null for a headless or null window, or one the driver
// cannot show anything in.
WindowSurface *CreateWindowSurface(HWND window);
