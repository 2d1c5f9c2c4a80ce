// What the GDI device contexts (gdi_dc.cpp) need from a face backend: the desktop's
// FreeType faces picked by fontconfig, or the browser's canvas text. The device
// contexts own fonts, bitmaps, layout and blending; a backend only sizes a face for a
// LOGFONTA, measures a character's advance and gives its coverage.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/gdi32/gdi.h"

struct GdiFace;  // a backend's face, sized for one font

struct HFONT__ {
  LOGFONTA logFont;
  int cellHeight;  // ascent + descent in pixels
  int ascent;
  bool stock;      // the default font of new device contexts: never deleted
  int selected;    // device contexts it is selected into
  GdiFace *face;
};

// A character's coverage as drawn, placed from the pen position on the baseline.
struct GdiGlyph {
  int left, top;            // the first coverage pixel, right of the pen and below the baseline
  int width, rows;
  const uint8_t *coverage;  // `rows` rows, `pitch` bytes apart
  ptrdiff_t pitch;
  bool mono;                // one bit a pixel, most significant first; otherwise 0 to 255
};

// Sizes a font as GDI does: the cell (the face's Windows ascent plus descent) fills a
// positive lfHeight, the em fills a negative one, 0 asks for a 16-pixel cell, and cells
// above 1024 pixels are cut to 1024. Sets the font's cell and ascent; returns the em in
// pixels.
double GdiSizeCell(HFONT font, double ascentUnits, double descentUnits, double unitsPerEm);

// The backend's half of CreateFontIndirectA: gives the font (its logFont already set) a
// sized face, cell and ascent; false, with one line on stderr, when no face can be made.
bool GdiOpenFace(HFONT font);
void GdiCloseFace(GdiFace *face);
// A character's advance in whole pixels; false (advance 0) when the face cannot draw it.
bool GdiGlyphAdvance(HFONT font, char32_t c, int &advance);
// A character's coverage, valid until the next call; false when nothing is drawn.
bool GdiRenderGlyph(HFONT font, char32_t c, int advance, GdiGlyph &glyph);

// Text in a character set's code page (Shift-JIS or Windows Latin) as code points; a
// byte that is not text there shows as '?'.
std::u32string GdiCodePoints(const char *text, size_t length, BYTE charSet);
// One line on stderr, "gdi: ...", the first time only.
void GdiSayOnce(bool &said, const char *what);
