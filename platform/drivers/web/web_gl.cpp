// The hardware device's GL context in the browser: WebGL 2 on the page's canvas, without
// depth, stencil or alpha of its own (the device draws off-screen and copies the picture
// onto the canvas). The browser shows the canvas when the frame's turn ends, so there is
// nothing to swap, and it paces the frames itself.
#include <emscripten/html5.h>
#include <cstdio>
#include "platform/drivers/web/web_page.h"
#include "platform/raster/gl/gl_surface.h"
#include "platform/drivers/headless/headless.h"
#include "platform/drivers/web/web_driver.h"

namespace {

class WebGlSurface final : public GlSurface {
public:
  WebGlSurface(HWND canvasWindow, EMSCRIPTEN_WEBGL_CONTEXT_HANDLE glContext) : window(canvasWindow), context(glContext) {}
  ~WebGlSurface() override { emscripten_webgl_destroy_context(context); }

  bool MakeCurrent() override {
    return emscripten_webgl_get_current_context() == context ||
           emscripten_webgl_make_context_current(context) == EMSCRIPTEN_RESULT_SUCCESS;
  }

  void Swap() override {}

  // The canvas has the screen's pixels under it (the page sizes it): the device scales
  // the picture into them.
  void DrawableSize(int *w, int *h) override {
    if (emscripten_get_canvas_element_size(QR_CANVAS, w, h) != EMSCRIPTEN_RESULT_SUCCESS) *w = *h = 0;
  }

  bool SetSwapInterval(int) override { return false; }
  int SwapInterval() override { return 0; }

  // The browser's GL calls are linked in (raster/gl/gl_profile.h), not looked up.
  void *ProcAddress(const char *) override { return nullptr; }

  bool Shows(HWND target) override { return target == window; }

private:
  HWND window;
  EMSCRIPTEN_WEBGL_CONTEXT_HANDLE context;
};

}  // namespace

GlSurface *CreateWebGlSurface(HWND window) {
  if (window == nullptr || IsHeadlessWindow(window)) {
    // Said once for each (the game may ask again for each device it makes).
    static bool said[2];
    if (!said[window != nullptr])
      std::fprintf(stderr, "d3d8: hardware device unavailable: %s\n", window ? "the window is headless" : "no window");
    said[window != nullptr] = true;
    return nullptr;
  }
  EmscriptenWebGLContextAttributes attributes;
  emscripten_webgl_init_context_attributes(&attributes);
  attributes.majorVersion = 2;
  attributes.minorVersion = 0;
  attributes.alpha = EM_FALSE;
  attributes.depth = EM_FALSE;
  attributes.stencil = EM_FALSE;
  attributes.antialias = EM_FALSE;
  attributes.preserveDrawingBuffer = EM_FALSE;
  EMSCRIPTEN_WEBGL_CONTEXT_HANDLE context = emscripten_webgl_create_context(QR_CANVAS, &attributes);
  if (context <= 0) {
    std::fprintf(stderr, "d3d8: hardware device unavailable: the browser gives no WebGL 2\n");
    return nullptr;
  }
  return new WebGlSurface(window, context);
}
