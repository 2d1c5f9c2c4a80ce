// The browser's faces for the GDI stand-in: every face name comes to the one Japanese
// gothic served with the page, drawn and measured by the browser's 2D canvas. Sizes,
// advances and baselines follow the desktop exactly: the cell is sized as GDI sizes it
// (gdi_dc.cpp), the em is scaled to whole pixels as the face's header asks of a hinted
// face, and each advance is the measured width rounded to whole pixels.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <unordered_map>
#include <vector>

#include "platform/gdi32/gdi_face.h"
#include "platform/drivers/web/web_page.h"

struct GdiFace {
  double em;  // em height in pixels, as the glyphs are drawn and measured
  std::unordered_map<char32_t, int> advances;
};

namespace {

// The served face's vertical metrics, in its own units: the Windows ascent and descent
// that GDI sizes a font by, and the em.
constexpr double FaceWinAscent = 1802;
constexpr double FaceWinDescent = 401;
constexpr double FaceUnitsPerEm = 2048;
// The face asks (in its header's flags) to be scaled to whole pixels per em when it is
// hinted, as the desktop's renderer does: a 16.7-pixel em is drawn and measured at 17.
constexpr bool FaceWholePixelsPerEm = true;

}  // namespace

bool GdiOpenFace(HFONT font) {
  static bool saidStyle;
  const LOGFONTA &logFont = font->logFont;
  if (logFont.lfWeight >= FW_SEMIBOLD || logFont.lfItalic) {
    GdiSayOnce(saidStyle, "the page's one face has no bold or italic: drawn regular");
  }
  double em = GdiSizeCell(font, FaceWinAscent, FaceWinDescent, FaceUnitsPerEm);
  font->face = new GdiFace{FaceWholePixelsPerEm ? std::max(1.0, std::round(em)) : em, {}};
  return true;
}

void GdiCloseFace(GdiFace *face) { delete face; }

// Measured once per font and character.
bool GdiGlyphAdvance(HFONT font, char32_t c, int &advance) {
  auto &advances = font->face->advances;
  auto found = advances.find(c);
  if (found == advances.end()) {
    double width = WebMeasureGlyph(uint32_t(c), font->face->em);
    found = advances.emplace(c, int(std::lround(width))).first;
  }
  advance = found->second;
  return true;
}

// The browser draws the character into a box around its cell, with room for what
// overhangs the advance.
bool GdiRenderGlyph(HFONT font, char32_t c, int advance, GdiGlyph &glyph) {
  if (c == U' ' || c == U'\t') return false;
  static std::vector<uint8_t> coverage;
  const int pad = font->cellHeight / 2 + 2;
  glyph.left = -pad;
  glyph.top = -font->ascent - pad;
  glyph.width = advance + 2 * pad;
  glyph.rows = font->cellHeight + 2 * pad;
  coverage.assign(size_t(glyph.width) * glyph.rows, 0);
  WebRasterGlyph(uint32_t(c), font->face->em, pad, font->ascent + pad, glyph.width, glyph.rows, coverage.data());
  glyph.coverage = coverage.data();
  glyph.pitch = glyph.width;
  glyph.mono = false;
  return true;
}
