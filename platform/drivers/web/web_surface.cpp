// The window's surface for the reference device in the browser: the page's canvas,
// through its 2D context. The device always draws into its own memory here (the canvas
// has no pixels to draw into), and every Present copies the picture onto the canvas.
#include <emscripten.h>
#include "platform/raster/window_surface.h"
#include "platform/drivers/web/web_driver.h"

// clang-format off
EM_JS(void, WebPresentPixelsJs, (const uint32_t *pixels, int width, int height), {
  var canvas = document.querySelector('#canvas');
  if (!canvas) return;
  if (!Module.presentContext) {
    Module.presentContext = canvas.getContext('2d', {alpha: false});
    if (!Module.presentContext) return;
    Module.presentImage = Module.presentContext.createImageData(width, height);
  }
  var image = Module.presentImage;
  if (image.width != width || image.height != height) {
    image = Module.presentImage = Module.presentContext.createImageData(width, height);
  }
  // 0xAARRGGBB little-endian is B, G, R, A in memory; the canvas wants R, G, B, A.
  var source = HEAPU8.subarray(pixels, pixels + width * height * 4), out = image.data;
  for (var i = 0; i < out.length; i += 4) {
    out[i] = source[i + 2];
    out[i + 1] = source[i + 1];
    out[i + 2] = source[i];
    out[i + 3] = 255;
  }
  Module.presentContext.putImageData(image, 0, 0);
});
// clang-format on

namespace {

class CanvasSurface final : public WindowSurface {
public:
  uint32_t *DirectPixels(int, int) override { return nullptr; }
  void Show(const uint32_t *pixels, int width, int height) override {
    if (width <= 0 || height <= 0) return;
    WebPresentPixelsJs(pixels, width, height);
  }
};

}  // namespace

WindowSurface *CreateCanvasSurface(HWND window) {
  // A null or headless window: the device shows its picture nowhere.
  if (window == nullptr) return nullptr;
  return new CanvasSurface;
}
