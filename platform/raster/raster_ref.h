// The reference device: our own software rasterizer over a 32-bit back buffer and a
// 16-bit depth buffer. It presents through the SDL window's surface (no OpenGL), or
// nowhere when the window is headless or null, so it renders with no display at all.
#pragma once
#include "platform/raster/raster.h"

RasterDevice *CreateReferenceRaster(HWND window, int width, int height);
