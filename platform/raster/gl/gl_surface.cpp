// A window's GL context comes from the driver that made the window: SDL's OpenGL on
// the desktop, WebGL 2 on the page's canvas, none for a headless window.
#include "platform/raster/gl/gl_surface.h"

#include <cstdio>
#include "platform/drivers/driver.h"

GlSurface *CreateGlSurface(HWND window) {
  if (Driver *driver = DriverOf(window)) return driver->CreateGlSurface(window);
  // Said once (the game may ask again for each device it makes).
  static bool said = false;
  if (!said) std::fprintf(stderr, "d3d8: hardware device unavailable: no window\n");
  said = true;
  return nullptr;
}
