// The reference device: our own software rasterizer over a 32-bit back buffer and a
// 16-bit depth buffer. It presents through the window's surface as the display driver
// offers it (no OpenGL), or nowhere when the window is headless or null, so it renders
// with no display at all.
#pragma once
#include "platform/raster/raster.h"

struct WindowSurface;

// The device for `window`, presenting through the driver's surface of it.
RasterDevice *CreateReferenceRaster(HWND window, int width, int height);
// The same presenting through `surface` (taken over; null shows nothing) instead.
RasterDevice *CreateReferenceRaster(HWND window, WindowSurface *surface, int width, int height);
