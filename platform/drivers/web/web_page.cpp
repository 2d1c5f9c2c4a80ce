// The JavaScript side of the browser build's platform: small functions over the page's
// canvas and its 2D context. The page (web/index.html) provides the elements named here
// and loads the font "QuillrunGothic" before the game starts.
#include "platform/drivers/web/web_page.h"
#include <emscripten.h>
#include "platform/drivers/headless/headless.h"

// clang-format off
EM_JS(void, WebShowCursorJs, (int show), {
  var canvas = document.querySelector('#canvas');
  if (canvas) canvas.style.cursor = show ? 'default' : 'none';
});

EM_JS(void, WebShowMessageJs, (const char *caption, const char *text), {
  var c = UTF8ToString(caption), t = UTF8ToString(text);
  if (Module.showMessage) Module.showMessage(c, t);
  else console.log(c + ': ' + t);
});

EM_JS(int, WebPageVisibleJs, (), {
  return document.hidden ? 0 : 1;
});

EM_JS(double, WebMeasureGlyphJs, (uint32_t codePoint, double emPixels), {
  if (!Module.textContext) Module.textContext = document.createElement('canvas').getContext('2d');
  var context = Module.textContext;
  context.font = emPixels + 'px QuillrunGothic';
  return context.measureText(String.fromCodePoint(codePoint)).width;
});

EM_JS(void, WebRasterGlyphJs, (uint32_t codePoint, double emPixels, int penX, int baseline, int width, int height,
                                uint8_t *coverage), {
  if (!Module.glyphCanvas) Module.glyphCanvas = document.createElement('canvas');
  var canvas = Module.glyphCanvas;
  if (canvas.width < width) canvas.width = width;
  if (canvas.height < height) canvas.height = height;
  var context = canvas.getContext('2d', {willReadFrequently: true});
  context.clearRect(0, 0, width, height);
  context.fillStyle = '#fff';
  context.font = emPixels + 'px QuillrunGothic';
  context.textBaseline = 'alphabetic';
  context.fillText(String.fromCodePoint(codePoint), penX, baseline);
  var data = context.getImageData(0, 0, width, height).data;
  for (var i = 0, n = width * height; i < n; i++) HEAPU8[coverage + i] = data[i * 4 + 3];
});
// clang-format on

void WebShowCursor(bool show) { WebShowCursorJs(show ? 1 : 0); }

void WebShowMessage(const char *captionUtf8, const char *textUtf8) { WebShowMessageJs(captionUtf8, textUtf8); }

bool WebPageVisible() { return WebPageVisibleJs() != 0; }

double WebMeasureGlyph(uint32_t codePoint, double emPixels) { return WebMeasureGlyphJs(codePoint, emPixels); }

void WebRasterGlyph(uint32_t codePoint, double emPixels, int penX, int baseline, int width, int height,
                    uint8_t *coverage) {
  WebRasterGlyphJs(codePoint, emPixels, penX, baseline, width, height, coverage);
}
