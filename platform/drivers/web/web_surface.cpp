// The window's surface for the reference device in the browser: the page's canvas,
// through its 2D context. The device always draws into its own memory here (the canvas
// has no pixels to draw into), and every Present copies the picture onto the canvas:
// into a canvas of the picture's own size, then scaled onto the page's canvas, whose
// pixels are the screen's (the page sizes it), keeping the aspect ratio with black
// bands around; a whole multiple keeps every pixel a sharp square, any other size is
// filtered, as the hardware device scales its picture.
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
    Module.pictureCanvas = document.createElement('canvas');
    Module.pictureContext = Module.pictureCanvas.getContext('2d', {alpha: false});
  }
  var picture = Module.pictureCanvas;
  if (picture.width != width || picture.height != height) {
    picture.width = width;
    picture.height = height;
    Module.presentImage = null;
  }
  var image = Module.presentImage;
  if (!image) image = Module.presentImage = Module.pictureContext.createImageData(width, height);
  // 0xAARRGGBB little-endian is B, G, R, A in memory; the canvas wants R, G, B, A.
  var source = HEAPU8.subarray(pixels, pixels + width * height * 4), out = image.data;
  for (var i = 0; i < out.length; i += 4) {
    out[i] = source[i + 2];
    out[i + 1] = source[i + 1];
    out[i + 2] = source[i];
    out[i + 3] = 255;
  }
  Module.pictureContext.putImageData(image, 0, 0);
  var context = Module.presentContext, cw = canvas.width, ch = canvas.height;
  var w = cw, h = ch;
  if (cw * height > ch * width) w = Math.floor(ch * width / height);
  else h = Math.floor(cw * height / width);
  var whole = w % width == 0 && h % height == 0 && w / width == h / height;
  if (w != cw || h != ch) {
    context.fillStyle = '#000';
    context.fillRect(0, 0, cw, ch);
  }
  context.imageSmoothingEnabled = !whole;
  context.drawImage(picture, 0, 0, width, height, Math.floor((cw - w) / 2), Math.floor((ch - h) / 2), w, h);
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
