// What the browser build of the platform asks of the page around the game: the canvas,
// the cursor, the message area and the 2D canvas that draws text (the reference
// device's picture goes onto the canvas in web_surface.cpp). Each call is a small piece
// of JavaScript (web_page.cpp).
#pragma once
#include <cstdint>
#include "base/win32_types.h"

// The canvas the game draws into and reads its input from.
#define QR_CANVAS "#canvas"

// Hides or shows the pointer over the canvas.
void WebShowCursor(bool show);

// Shows a message box's caption and text (UTF-8) on the page, without blocking.
void WebShowMessage(const char *captionUtf8, const char *textUtf8);

// Whether the page is shown (not a hidden tab, not minimised).
bool WebPageVisible();

// Width in pixels of one character of the page's Japanese gothic at `emPixels`, as the
// browser measures it (unrounded).
double WebMeasureGlyph(uint32_t codePoint, double emPixels);

// Draws one character white on black at pen position (penX, baseline) of a box
// `width` x `height` pixels and writes the box's coverage (0 to 255, top row first)
// to `coverage`.
void WebRasterGlyph(uint32_t codePoint, double emPixels, int penX, int baseline, int width, int height,
                    uint8_t *coverage);
