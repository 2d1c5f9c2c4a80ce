// The window's surface for the reference device on the desktop: SDL's own pixels of the
// window (no OpenGL). On X11 a window exactly the picture's size, whose pixels are
// 32-bit xRGB rows without padding, lets the device draw its frame straight into them;
// anything else gets the picture copied in, or scaled keeping its aspect ratio with
// black bands around.
#include <cstdio>
#include <cstring>
#include <SDL.h>
#include "base/picture_fit.h"
#include "platform/raster/window_surface.h"
#include "platform/drivers/sdl/sdl_driver.h"
#include "platform/drivers/sdl/sdl_window.h"

namespace {

class SdlSurface final : public WindowSurface {
public:
  explicit SdlSurface(HWND shownWindow) : window(shownWindow) {
    const char *driver = SDL_GetCurrentVideoDriver();
    onX11 = driver != nullptr && std::strcmp(driver, "x11") == 0;
  }
  ~SdlSurface() override {
    if (wrapper != nullptr) SDL_FreeSurface(wrapper);
  }

  uint32_t *DirectPixels(int width, int height) override {
    direct = nullptr;
    SDL_Window *sdl = SdlWindowOf(window);
    if (sdl == nullptr || !onX11) return nullptr;
    int w = 0, h = 0;
    SDL_GetWindowSize(sdl, &w, &h);
    // A window that changed size gets new pixels at the next SDL_GetWindowSurface and
    // loses the old ones: it is not asked for them, so that the device can still move
    // its picture out of the old ones.
    if (w != width || h != height) return nullptr;
    SDL_Surface *surface = SDL_GetWindowSurface(sdl);
    const bool fits = surface != nullptr && surface->pixels != nullptr && surface->w == width &&
                      surface->h == height && surface->pitch == width * 4 &&
                      (surface->format->format == SDL_PIXELFORMAT_RGB888 ||
                       surface->format->format == SDL_PIXELFORMAT_ARGB8888);
    if (fits) direct = static_cast<uint32_t *>(surface->pixels);
    return direct;
  }

  void Show(const uint32_t *pixels, int width, int height) override {
    SDL_Window *sdl = SdlWindowOf(window);
    if (sdl == nullptr) return;
    // Drawn in the window's own pixels: they only have to be shown. (Should the window
    // have changed size since, SDL refuses, and the next frame moves the picture out.)
    if (direct != nullptr && pixels == direct) {
      SDL_UpdateWindowSurface(sdl);
      return;
    }
    SDL_Surface *surface = SDL_GetWindowSurface(sdl);
    if (surface == nullptr) {
      if (!complained) std::fprintf(stderr, "d3d8: reference device cannot reach the window: %s\n", SDL_GetError());
      complained = true;
      return;
    }
    // The picture's pixels as SDL's blits take them, wrapped again when they moved or
    // changed size. A window of 32-bit xRGB pixels gets them wrapped in its own format
    // (the same bytes, the alpha byte unread), which the linear scale needs.
    Uint32 format = surface->format->format;
    const bool sameBytes = format == SDL_PIXELFORMAT_RGB888 || format == SDL_PIXELFORMAT_ARGB8888;
    const Uint32 wrapFormat = sameBytes ? format : static_cast<Uint32>(SDL_PIXELFORMAT_ARGB8888);
    if (wrapper != nullptr && (wrapper->pixels != pixels || wrapper->w != width || wrapper->h != height ||
                               wrapper->format->format != wrapFormat)) {
      SDL_FreeSurface(wrapper);
      wrapper = nullptr;
    }
    if (wrapper == nullptr)
      wrapper = SDL_CreateRGBSurfaceWithFormatFrom(const_cast<uint32_t *>(pixels), width, height, 32, width * 4,
                                                   wrapFormat);
    if (wrapper == nullptr) return;
    SDL_SetSurfaceBlendMode(wrapper, SDL_BLENDMODE_NONE);
    // Scale into the window keeping the aspect ratio; the bands around stay black.
    SayDenseWindow(sdl, surface->w, surface->h);
    const PictureFit fit = FitPicture(surface->w, surface->h, width, height);
    SDL_Rect dest = {fit.x, fit.y, fit.width, fit.height};
    if (dest.w != surface->w || dest.h != surface->h) SDL_FillRect(surface, nullptr, SDL_MapRGB(surface->format, 0, 0, 0));
    if (dest.w == width && dest.h == height && sameBytes && SDL_LockSurface(surface) == 0) {
      // The window keeps 32-bit xRGB pixels, as the picture does: rows are copied as they are.
      for (int y = 0; y < height; ++y)
        std::memcpy(static_cast<uint8_t *>(surface->pixels) + (size_t)(dest.y + y) * surface->pitch + (size_t)dest.x * 4,
                    &pixels[(size_t)y * width], (size_t)width * 4);
      SDL_UnlockSurface(surface);
    } else if (dest.w == width && dest.h == height) {
      SDL_BlitSurface(wrapper, nullptr, surface, &dest);
    } else if (fit.wholeMultiple || !sameBytes || SDL_SoftStretchLinear(wrapper, nullptr, surface, &dest) != 0) {
      // A whole multiple stays sharp sampled at the nearest pixel; any other size is
      // filtered (base/picture_fit.h says why).
      SDL_BlitScaled(wrapper, nullptr, surface, &dest);
    }
    SDL_UpdateWindowSurface(sdl);
  }

private:
  HWND window;
  bool onX11 = false;               // SDL's video runs on X11 (the window's pixels can be drawn into)
  uint32_t *direct = nullptr;       // the window's pixels last offered for drawing into
  SDL_Surface *wrapper = nullptr;   // the last picture shown, as SDL's blits take it
  bool complained = false;
};

}  // namespace

WindowSurface *CreateSdlWindowSurface(HWND window) {
  // A null, headless or vanished window: the device shows its picture nowhere.
  if (SdlWindowOf(window) == nullptr) return nullptr;
  return new SdlSurface(window);
}
