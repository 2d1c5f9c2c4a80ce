// The hardware device's GL context on the desktop: an OpenGL 3.3 core context made on the
// window's SDL window, which the device draws with through GlSurface. The window must
// have been made with OpenGL; a headless window has none.
#include <SDL.h>
#include <cstdio>
#include "platform/raster/gl/gl_surface.h"
#include "platform/drivers/headless/headless.h"
#include "platform/drivers/sdl/sdl_driver.h"
#include "platform/drivers/sdl/sdl_window.h"

namespace {

class SdlGlSurface final : public GlSurface {
public:
  SdlGlSurface(SDL_Window *sdlWindow, SDL_GLContext glContext) : sdl(sdlWindow), context(glContext) {}
  ~SdlGlSurface() override { SDL_GL_DeleteContext(context); }

  bool MakeCurrent() override {
    return SDL_GL_GetCurrentContext() == context || SDL_GL_MakeCurrent(sdl, context) == 0;
  }

  void Swap() override { SDL_GL_SwapWindow(sdl); }

  void DrawableSize(int *w, int *h) override {
    SDL_GL_GetDrawableSize(sdl, w, h);
    SayDenseWindow(sdl, *w, *h);
  }

  bool SetSwapInterval(int interval) override {
    // The driver's nearest: every retrace when it cannot wait for more than one.
    int set = SDL_GL_SetSwapInterval(interval);
    if (set != 0 && interval > 1) set = SDL_GL_SetSwapInterval(1);
    if (interval > 0 && set == 0)
      std::fprintf(stderr, "d3d8: presenting on the vertical retrace (swap interval %d)\n", SDL_GL_GetSwapInterval());
    else if (interval > 0)
      std::fprintf(stderr, "d3d8: the display cannot wait for the vertical retrace (%s); presenting at once\n",
                   SDL_GetError());
    return set == 0;
  }

  int SwapInterval() override { return SDL_GL_GetSwapInterval(); }

  void *ProcAddress(const char *name) override { return SDL_GL_GetProcAddress(name); }

  // The same SDL window, looked up again: a window destroyed since shows nothing.
  bool Shows(HWND target) override { return SdlWindowOf(target) == sdl; }

private:
  SDL_Window *sdl;
  SDL_GLContext context;
};

// Says once on stderr why a kind of window has no context (the game may ask again for
// each device it makes).
void SayOnce(bool &said, const char *why) {
  if (said) return;
  said = true;
  std::fprintf(stderr, "d3d8: hardware device unavailable: %s\n", why);
}

}  // namespace

GlSurface *CreateSdlGlSurface(HWND window) {
  static bool saidHeadless, saidNoWindow, saidNoOpenGL;
  SDL_Window *sdl = SdlWindowOf(window);
  if (sdl == nullptr) {
    if (IsHeadlessWindow(window)) SayOnce(saidHeadless, "the window is headless");
    else SayOnce(saidNoWindow, "no window");
    return nullptr;
  }
  if (!(SDL_GetWindowFlags(sdl) & SDL_WINDOW_OPENGL)) {
    SayOnce(saidNoOpenGL, "the window has no OpenGL (no GLX on this display?)");
    return nullptr;
  }
  SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 3);
  SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 3);
  SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_CORE);
  SDL_GLContext context = SDL_GL_CreateContext(sdl);
  if (context == nullptr) {
    std::fprintf(stderr, "d3d8: hardware device unavailable: no OpenGL 3.3 context: %s\n", SDL_GetError());
    return nullptr;
  }
  return new SdlGlSurface(sdl, context);
}
