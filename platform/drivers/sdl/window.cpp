// The SDL driver's windows (platform/drivers/driver.h): bringing up SDL's video, the
// desktop's windows themselves, their focus and sizes, the relative mouse and the wait
// for events; and the driver itself, which the desktop's programs register as their
// display driver. Everything Win32 about the windows is user32's.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>
#include "platform/drivers/sdl/sdl_driver.h"
#include "platform/drivers/sdl/sdl_window.h"
#include "platform/winmm/timer.h"

namespace {

bool videoReady;
bool videoFailed;
MouseMode askedMouseMode = MouseMode::Auto;
// The absolute mouse: the window the pointer is kept in while the game holds the mouse,
// whose positions are then the hand's.
SDL_Window *confinedWindow;

// What "auto" means here: on Wayland the compositor locks the pointer and sends its raw
// motion; on X11 the pointer is warped back to the centre, which works even where raw
// motion does not (Xvfb, some X servers without XInput2).
MouseMode MouseModeInUse() {
  if (askedMouseMode != MouseMode::Auto) return askedMouseMode;
  const char *driver = SDL_GetCurrentVideoDriver();
  return driver && !std::strcmp(driver, "wayland") ? MouseMode::Relative : MouseMode::Warp;
}

// Lets go of the pointer the absolute mouse keeps in a window.
void Unconfine() {
  if (!confinedWindow) return;
  SDL_SetWindowGrab(confinedWindow, SDL_FALSE);
  confinedWindow = nullptr;
}

// Whether the pointer can be put at the window's centre, which the warp mode puts it
// back to after every move. Where it cannot (a window partly off the screen), each put
// back leaves the pointer short of the centre, which is a move again: SDL would put it
// back for ever inside one pumping of its events, and nothing else would run.
bool CentreOnScreen(SDL_Window *window) {
  int x = 0, y = 0, width = 0, height = 0;
  SDL_GetWindowPosition(window, &x, &y);
  SDL_GetWindowSize(window, &width, &height);
  const SDL_Point centre = {x + width / 2, y + height / 2};
  for (int display = 0; display < SDL_GetNumVideoDisplays(); display++) {
    SDL_Rect bounds;
    if (SDL_GetDisplayBounds(display, &bounds) == 0 && SDL_PointInRect(&centre, &bounds)) return true;
  }
  return false;
}

bool StartSdlVideo() {
  if (videoReady) return true;
  if (videoFailed) return false;
  // Ctrl+C in the terminal ends the program as usual instead of posting a quit event.
  SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
  // A click that brings the window to the front also counts as a click, as on Windows.
  SDL_SetHint(SDL_HINT_MOUSE_FOCUS_CLICKTHROUGH, "1");
  if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
    videoFailed = true;
    std::fprintf(stderr, "quillrun: no display for the window (%s)\n", SDL_GetError());
    return false;
  }
  // Without a display SDL falls back to drawing nowhere, which would leave a game that
  // nobody can see or stop; that is only wanted when asked for by name.
  const char *driver = SDL_GetCurrentVideoDriver();
  if (driver && (!std::strcmp(driver, "offscreen") || !std::strcmp(driver, "dummy")) && !SDL_getenv("SDL_VIDEODRIVER")) {
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
    videoFailed = true;
    std::fprintf(stderr, "quillrun: no display for the window\n");
    return false;
  }
  // On X11 a window's surface (the reference device's picture) goes to the display as
  // an image of its own, in shared memory, not through a texture of SDL's OpenGL
  // renderer: that detour costs more than drawing the frame in software. (Other display
  // systems may have no such image, so they keep SDL's choice.)
  if (driver && !std::strcmp(driver, "x11")) SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
  SDL_StopTextInput();
  videoReady = true;
  return true;
}

// Lets SDL's video go (taking its windows along); false when it was not running.
bool StopSdlVideo() {
  if (!videoReady) return false;
  Unconfine();
  SDL_QuitSubSystem(SDL_INIT_VIDEO);
  videoReady = false;
  return true;
}

SDL_Window *CreateSdlWindow(const char *title, int x, int y, int width, int height, Uint32 flags) {
  SDL_Window *window = SDL_CreateWindow(title, x, y, width, height, flags | SDL_WINDOW_OPENGL);
  if (window) return window;
  // An X server without GLX: the reference device still presents through the window's
  // own surface.
  const std::string reason = SDL_GetError();
  window = SDL_CreateWindow(title, x, y, width, height, flags);
  if (window) std::fprintf(stderr, "quillrun: no OpenGL for the window (%s); drawing without it\n", reason.c_str());
  return window;
}

class SdlDriver final : public Driver {
public:
  bool StartVideo() override { return StartSdlVideo(); }

  NativeWindow *CreateWindow(const NativeWindowRequest &request) override {
    // A dense screen (a Wayland output at scale 2) gets a drawable of its own pixels: the
    // picture is scaled up into it there, not drawn small and blown up by the compositor.
    Uint32 flags = SDL_WINDOW_HIDDEN | SDL_WINDOW_ALLOW_HIGHDPI;
    int x = request.placed ? request.x : SDL_WINDOWPOS_UNDEFINED;
    int y = request.placed ? request.y : SDL_WINDOWPOS_UNDEFINED;
    int width = request.width, height = request.height;
    if (!request.framed) flags |= SDL_WINDOW_BORDERLESS;
    if (request.resizable) flags |= SDL_WINDOW_RESIZABLE;
    SDL_DisplayMode desktop;
    if (request.fullScreen && SDL_GetDesktopDisplayMode(0, &desktop) == 0) {
      // Desktop-sized and borderless from the start, so it covers the screen even where
      // no window manager acts on the full-screen request.
      flags |= SDL_WINDOW_FULLSCREEN_DESKTOP | SDL_WINDOW_BORDERLESS;
      x = 0;
      y = 0;
      width = desktop.w;
      height = desktop.h;
    } else if (request.fullScreen) {
      flags |= SDL_WINDOW_FULLSCREEN_DESKTOP;
    }
    SDL_Window *window = CreateSdlWindow(request.titleUtf8, x, y, width, height, flags);
    if (!window) {
      std::fprintf(stderr, "quillrun: cannot create the window (%s)\n", SDL_GetError());
      return nullptr;
    }
    liveWindows += 1;
    madeWindows.push_back(window);
    return NativeOf(window);
  }

  void DestroyWindow(NativeWindow *window) override {
    if (SDL_GetKeyboardFocus() == SdlOf(window)) SDL_SetRelativeMouseMode(SDL_FALSE);
    if (confinedWindow == SdlOf(window)) Unconfine();
    SDL_HideWindow(SdlOf(window));
    liveWindows -= 1;
  }

  // A window made before SDL's video was let go went with it.
  void FreeWindow(NativeWindow *window) override {
    auto made = std::find(madeWindows.begin(), madeWindows.end(), SdlOf(window));
    if (made == madeWindows.end()) return;
    madeWindows.erase(made);
    SDL_DestroyWindow(SdlOf(window));
  }

  void ShowWindow(NativeWindow *native, NativeShow show, bool activate) override {
    SDL_Window *window = SdlOf(native);
    if (show == NativeShow::Hidden) {
      SDL_HideWindow(window);
      return;
    }
    SDL_ShowWindow(window);
    if (show == NativeShow::Minimised) {
      SDL_MinimizeWindow(window);
      return;
    }
    if (show == NativeShow::Maximised)
      SDL_MaximizeWindow(window);
    else
      SDL_RestoreWindow(window);
    // A newly shown window of the active program takes the keyboard, as on Windows;
    // without a window manager nobody else would give it.
    if (activate) {
      SDL_RaiseWindow(window);
      SDL_SetWindowInputFocus(window);
    }
  }

  void WindowSize(NativeWindow *window, int *width, int *height) override {
    SDL_GetWindowSize(SdlOf(window), width, height);
  }

  // Full screen on the display the window is on, at the desktop's mode: the window is
  // also moved over that display and sized to it first, so it covers it even where no
  // window manager acts on the request (where none draws a frame either); back, it gets
  // its frame (a window made full screen had none) and size again, centred on the same
  // display.
  void SetFullScreen(NativeWindow *native, bool fullScreen, int width, int height) override {
    SDL_Window *window = SdlOf(native);
    int display = SDL_GetWindowDisplayIndex(window);
    SDL_Rect bounds;
    if (display < 0 || SDL_GetDisplayBounds(display, &bounds) != 0) display = -1;
    if (fullScreen) {
      if (display >= 0) {
        SDL_SetWindowPosition(window, bounds.x, bounds.y);
        SDL_SetWindowSize(window, bounds.w, bounds.h);
      }
      if (SDL_SetWindowFullscreen(window, SDL_WINDOW_FULLSCREEN_DESKTOP) != 0)
        std::fprintf(stderr, "quillrun: cannot make the window full screen (%s)\n", SDL_GetError());
      return;
    }
    if (SDL_SetWindowFullscreen(window, 0) != 0)
      std::fprintf(stderr, "quillrun: cannot bring the window back from full screen (%s)\n", SDL_GetError());
    SDL_SetWindowBordered(window, SDL_TRUE);
    SDL_SetWindowResizable(window, SDL_TRUE);
    if (width > 0 && height > 0) SDL_SetWindowSize(window, width, height);
    if (display >= 0)
      SDL_SetWindowPosition(window, SDL_WINDOWPOS_CENTERED_DISPLAY(display), SDL_WINDOWPOS_CENTERED_DISPLAY(display));
  }

  bool HasFocus(NativeWindow *window) override {
    const Uint32 flags = SDL_GetWindowFlags(SdlOf(window));
    return (flags & SDL_WINDOW_INPUT_FOCUS) && !(flags & (SDL_WINDOW_MINIMIZED | SDL_WINDOW_HIDDEN));
  }

  bool Desktop(DesktopMode *mode) override {
    SDL_DisplayMode desktop;
    if (SDL_GetDesktopDisplayMode(0, &desktop) != 0) return false;
    *mode = DesktopMode{desktop.w, desktop.h, desktop.refresh_rate, static_cast<int>(SDL_BITSPERPIXEL(desktop.format))};
    return true;
  }

  // The display the windows open on, less what the desktop keeps for itself.
  bool UsableArea(int *width, int *height) override {
    SDL_Rect usable;
    if (!videoReady || SDL_GetDisplayUsableBounds(0, &usable) != 0 || usable.w <= 0 || usable.h <= 0) return false;
    *width = usable.w;
    *height = usable.h;
    return true;
  }

  void PumpEvents() override {
    if (videoReady) SdlPumpEvents();
  }

  void WaitEvents() override {
    if (!videoReady || liveWindows <= 0) {
      // No window whose events could wake us: a short nap instead of a spin.
      Sleep(10);
      return;
    }
    // Wakes on the next event, and now and then regardless, so a change of state that
    // brings no event (none is known) cannot freeze the game for good.
    SDL_WaitEventTimeout(nullptr, 100);
  }

  // Relative and warp: SDL keeps the pointer in the window and reports motion only.
  // Whatever motion the grab itself makes (the pointer pulled into the window, the warp
  // to its centre) is thrown away. Absolute: the pointer is only kept inside the focused
  // window (never warped), and its positions are handed on while it is held there.
  // A window whose centre the pointer cannot reach is held the absolute way instead of
  // the warp's.
  void GrabMouse(bool grab) override {
    if (!videoReady) return;
    MouseMode mode = MouseModeInUse();
    SDL_Window *focus = SDL_GetKeyboardFocus();
    if (grab && mode == MouseMode::Warp && focus && !CentreOnScreen(focus)) {
      static bool said = false;
      if (!said) {
        said = true;
        std::fprintf(stderr, "quillrun: the window's centre is off the screen, where the pointer cannot be put back; "
                             "the hand follows the pointer inside the window instead\n");
      }
      mode = MouseMode::Absolute;
    }
    if (mode == MouseMode::Absolute) {
      SDL_SetRelativeMouseMode(SDL_FALSE);
      Unconfine();
      if (grab && (confinedWindow = focus) != nullptr) SDL_SetWindowGrab(confinedWindow, SDL_TRUE);
    } else {
      Unconfine();
      // SDL reads the hint when relative mode is turned on.
      if (grab) SDL_SetHint(SDL_HINT_MOUSE_RELATIVE_MODE_WARP, mode == MouseMode::Warp ? "1" : "0");
      SDL_SetRelativeMouseMode(grab ? SDL_TRUE : SDL_FALSE);
    }
    if (!grab) return;
    SDL_PumpEvents();
    SDL_FlushEvent(SDL_MOUSEMOTION);
  }

  void SetMouseMode(MouseMode mode) override {
    if (mode == askedMouseMode) return;
    // Another mode takes effect at the next grab; the mouse is let go of the old way.
    if (videoReady) {
      SDL_SetRelativeMouseMode(SDL_FALSE);
      Unconfine();
    }
    askedMouseMode = mode;
  }

  void ShowCursor(bool show) override {
    if (SDL_WasInit(SDL_INIT_VIDEO)) SDL_ShowCursor(show ? SDL_ENABLE : SDL_DISABLE);
  }

  int ShowMessageBox(const MessageBoxRequest &box) override {
    // A question once every window has gone (the offer at the end of a run): SDL's video
    // is let go first, so the box is asked from a process of its own, as before any
    // window, where a quit signal ends it. Asked from this process, SDL's own loop would
    // never look at the signal (and its box outlives a process killed under it).
    if (liveWindows <= 0 && StopSdlVideo()) madeWindows.clear();
    return SdlShowMessageBox(box);
  }
  // SDL's box needs a helper program on Wayland (zenity) that a desktop may lack; the
  // question is then asked in a window of user32's own, which SDL shows anywhere.
  bool AllowsOwnMessageBox() override { return true; }
  WindowSurface *CreateWindowSurface(HWND window) override { return CreateSdlWindowSurface(window); }
  GlSurface *CreateGlSurface(HWND window) override { return CreateSdlGlSurface(window); }

private:
  int liveWindows = 0;  // made and not yet destroyed
  std::vector<SDL_Window *> madeWindows;   // made in this start of SDL's video, not yet freed
};

SdlDriver sdlDriver;

// The desktop's programs link this file whole (platform/CMakeLists.txt), so SDL is
// their display before main starts.
[[maybe_unused]] const bool registered = (RegisterDisplayDriver(&sdlDriver), true);

}  // namespace

SDL_Window *SdlWindowOf(HWND window) { return SdlOf(NativeWindowOf(window, sdlDriver)); }

SDL_Window *SdlConfinedWindow() { return confinedWindow; }

void SayDenseWindow(SDL_Window *window, int pixelWidth, int pixelHeight) {
  static bool said = false;
  int width = 0, height = 0;
  SDL_GetWindowSize(window, &width, &height);
  if (said || width <= 0 || (pixelWidth <= width && pixelHeight <= height)) return;
  said = true;
  std::fprintf(stderr, "quillrun: a dense screen: the window's %d x %d points are drawn at %d x %d pixels\n", width,
               height, pixelWidth, pixelHeight);
}
