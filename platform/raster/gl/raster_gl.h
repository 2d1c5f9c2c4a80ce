// The hardware device: OpenGL 3.3 core on the desktop, WebGL 2 in the browser, through
// the GL context the display driver gives the window (gl_surface.h), drawing straight
// into the window when it is the picture's size and can take it, otherwise into an
// off-screen colour and 16-bit depth target that Present scales into the window.
// Creation fails (null, one line on stderr) where the window has no GL context to
// offer: a headless window, a window made without OpenGL, a server without GLX, a
// browser without WebGL 2; the reference device then takes over.
#pragma once
#include "platform/raster/raster.h"

RasterDevice *CreateOpenGLRaster(HWND window, int width, int height);
