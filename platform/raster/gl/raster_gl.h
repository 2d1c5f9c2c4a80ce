// The hardware device: OpenGL through the SDL window's context, drawing straight into
// the window when it is the picture's size, otherwise into an off-screen colour and
// 16-bit depth target that Present scales into the window. Creation fails (null, one
// line on stderr) where the window has no OpenGL context to offer: a headless window, a
// window made without OpenGL, a server without GLX.
#pragma once
#include "platform/raster/raster.h"

RasterDevice *CreateOpenGLRaster(HWND window, int width, int height);
