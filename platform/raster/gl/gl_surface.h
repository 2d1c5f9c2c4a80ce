// The GL context the hardware device draws with, as the display driver hands it over:
// the desktop's SDL window with an OpenGL 3.3 core context (drivers/sdl/sdl_gl.cpp) or
// the page's canvas with WebGL 2 (drivers/web/web_gl.cpp). The device reaches its
// window only through this, so that one device serves both.
#pragma once
#include "base/win32_types.h"

struct GlSurface {
  virtual ~GlSurface() = default;
  // Makes the context current on this thread (nothing to do when it already is).
  virtual bool MakeCurrent() = 0;
  // Shows what the window's back buffer holds.
  virtual void Swap() = 0;
  // The window's drawable size in pixels (a full-screen window's, a scaled window's).
  virtual void DrawableSize(int *w, int *h) = 0;
  // Asks Present to wait for `interval` vertical retraces (0: at once); the driver's
  // nearest where it cannot wait for more than one, said on stderr when it waits or
  // cannot. False where the display cannot wait.
  virtual bool SetSwapInterval(int interval) = 0;
  virtual int SwapInterval() = 0;
  // A GL entry point of the context, or null where the context lacks it (or where the
  // driver links its GL calls in instead of looking them up).
  virtual void *ProcAddress(const char *name) = 0;
  // Whether presenting into `window` shows on this surface: the window is the one the
  // context was made for and is still there.
  virtual bool Shows(HWND window) = 0;
};

// The context for a window; null, with one line on stderr, where the driver cannot give
// an OpenGL 3.3 core or WebGL 2 context for it (a headless window, no window, a window
// made without OpenGL, a browser without WebGL 2).
GlSurface *CreateGlSurface(HWND window);
