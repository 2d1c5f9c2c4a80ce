// A window's surface comes from the driver that made the window: the SDL window's
// pixels on the desktop, the page's canvas in the browser, none for a headless window.
#include "platform/raster/window_surface.h"

#include "platform/drivers/driver.h"

WindowSurface *CreateWindowSurface(HWND window) {
  Driver *driver = DriverOf(window);
  return driver ? driver->CreateWindowSurface(window) : nullptr;
}
