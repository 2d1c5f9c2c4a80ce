// Stand-in for GDI's device contexts, shared by the desktop and the browser: fonts,
// memory device contexts, 32-bit DIB sections and DrawTextA. The faces come from a
// backend (gdi_face.h); here a string is split into lines, measured from the glyph
// advances, placed as GDI places it, and each glyph's coverage, weighted in the
// system's seventeen smoothing levels, blends the text colour over the bitmap, over the
// background colour's box first when the mode is OPAQUE.
#include <iconv.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/gdi32/gdi_face.h"
#include "platform/gdi32/gdi_smoothing.h"
#include "platform/gdi32/text_box.h"

enum class GdiKind { Font, Bitmap, Dc };

struct HBITMAP__ {
  int width;
  int height;
  bool topDown;
  uint32_t *bits;
  int selected;
};

struct HDC__ {
  HFONT font;
  HBITMAP bitmap;
  int backgroundMode;
  COLORREF backgroundColour;
  COLORREF textColour;
};

namespace {

constexpr int MaxDimension = 16384;
constexpr int MaxCellHeight = 1024;  // beyond this a glyph would be bigger than any screen

std::unordered_map<const void *, GdiKind> liveObjects;

bool IsLive(const void *object, GdiKind kind) {
  auto found = liveObjects.find(object);
  return found != liveObjects.end() && found->second == kind;
}

// The text colour blended over one pixel by a coverage of 0 to 255.
inline void Blend(uint32_t &pixel, uint32_t colour, uint32_t coverage) {
  if (coverage == 0) return;
  if (coverage >= 255) {
    pixel = colour;
    return;
  }
  uint32_t out = 0;
  for (int shift = 0; shift <= 16; shift += 8) {
    uint32_t d = (pixel >> shift) & 0xFF, s = (colour >> shift) & 0xFF;
    out |= ((s * coverage + d * (255 - coverage) + 127) / 255) << shift;
  }
  pixel = out;
}

// COLORREF 0x00BBGGRR to the DIB's 0x00RRGGBB.
uint32_t DibColour(COLORREF c) { return uint32_t(GetRValue(c)) << 16 | uint32_t(GetGValue(c)) << 8 | GetBValue(c); }

struct Clip {
  int left, top, right, bottom;
};

uint32_t *Row(HBITMAP bitmap, int y) {
  int row = bitmap->topDown ? y : bitmap->height - 1 - y;
  return bitmap->bits + size_t(row) * bitmap->width;
}

void FillBox(HBITMAP bitmap, const Clip &clip, int left, int top, int right, int bottom, uint32_t colour) {
  if (left < clip.left) left = clip.left;
  if (top < clip.top) top = clip.top;
  if (right > clip.right) right = clip.right;
  if (bottom > clip.bottom) bottom = clip.bottom;
  for (int y = top; y < bottom; ++y) {
    uint32_t *row = Row(bitmap, y);
    for (int x = left; x < right; ++x) row[x] = colour;
  }
}

void DrawGlyph(HBITMAP bitmap, const Clip &clip, const GdiGlyph &glyph, int penX, int baseline, uint32_t colour) {
  const int left = penX + glyph.left, top = baseline + glyph.top;
  if (left + glyph.width <= clip.left || left >= clip.right || top + glyph.rows <= clip.top || top >= clip.bottom) {
    return;
  }
  for (int gy = 0; gy < glyph.rows; ++gy) {
    int y = top + gy;
    if (y < clip.top || y >= clip.bottom) continue;
    const uint8_t *source = glyph.coverage + ptrdiff_t(gy) * glyph.pitch;
    uint32_t *row = Row(bitmap, y);
    for (int gx = 0; gx < glyph.width; ++gx) {
      int x = left + gx;
      if (x < clip.left || x >= clip.right) continue;
      uint32_t coverage =
          glyph.mono ? ((source[gx >> 3] >> (7 - (gx & 7))) & 1) * 255 : SmoothedCoverage(source[gx]);
      Blend(row[x], colour, coverage);
    }
  }
}

// The font every new device context starts with, made on first need; null when no
// font can be made at all.
HFONT DefaultFont() {
  static HFONT font;
  static bool tried;
  if (!tried) {
    tried = true;
    LOGFONTA logFont = {};
    logFont.lfHeight = 16;
    logFont.lfWeight = FW_NORMAL;
    logFont.lfCharSet = DEFAULT_CHARSET;
    font = CreateFontIndirectA(&logFont);
    if (font) font->stock = true;
  }
  return font;
}

// The code page iconv converts a character set from; converters are opened once.
const char *CodePageOf(BYTE charSet) { return charSet == SHIFTJIS_CHARSET ? "CP932" : "CP1252"; }

}  // namespace

void GdiSayOnce(bool &said, const char *what) {
  if (said) return;
  said = true;
  std::fprintf(stderr, "gdi: %s\n", what);
}

std::u32string GdiCodePoints(const char *text, size_t length, BYTE charSet) {
  std::u32string out;
  out.reserve(length);
  bool ascii = true;
  for (size_t i = 0; i < length; ++i) ascii = ascii && uint8_t(text[i]) < 0x80;
  if (ascii) {
    for (size_t i = 0; i < length; ++i) out.push_back(char32_t(uint8_t(text[i])));
    return out;
  }
  static iconv_t converters[2] = {iconv_t(-1), iconv_t(-1)};
  static bool opened[2];
  int which = charSet == SHIFTJIS_CHARSET ? 0 : 1;
  if (!opened[which]) {
    opened[which] = true;
    converters[which] = iconv_open("UTF-32LE", CodePageOf(charSet));
    if (converters[which] == iconv_t(-1)) {
      std::fprintf(stderr, "gdi: no converter from %s: non-ASCII text shows as '?'\n", CodePageOf(charSet));
    }
  }
  iconv_t converter = converters[which];
  if (converter == iconv_t(-1)) {
    for (size_t i = 0; i < length; ++i) out.push_back(uint8_t(text[i]) < 0x80 ? char32_t(text[i]) : U'?');
    return out;
  }
  iconv(converter, nullptr, nullptr, nullptr, nullptr);
  std::vector<char> buffer(length * 4 + 4);
  char *in = const_cast<char *>(text);
  size_t inLeft = length;
  while (inLeft > 0) {
    char *outPointer = buffer.data();
    size_t outLeft = buffer.size();
    size_t done = iconv(converter, &in, &inLeft, &outPointer, &outLeft);
    size_t produced = (buffer.size() - outLeft) / 4;
    for (size_t i = 0; i < produced; ++i) {
      uint32_t c;
      std::memcpy(&c, buffer.data() + 4 * i, 4);
      out.push_back(char32_t(c));
    }
    if (done == size_t(-1) && inLeft > 0) {
      // A byte that is not text in this code page shows as '?' and is skipped.
      out.push_back(U'?');
      ++in;
      --inLeft;
    }
  }
  return out;
}

double GdiSizeCell(HFONT font, double ascentUnits, double descentUnits, double unitsPerEm) {
  static bool saidHeight;
  const double cellUnits = ascentUnits + descentUnits;
  long height = font->logFont.lfHeight;
  if (height == LONG(0x80000000)) height = MaxCellHeight;
  double cell, em;
  if (height == 0) {
    cell = 16;
    em = cell * unitsPerEm / cellUnits;
  } else if (height > 0) {
    cell = double(height);
    em = cell * unitsPerEm / cellUnits;
  } else {
    em = double(-height);
    cell = std::round(em * cellUnits / unitsPerEm);
  }
  if (cell > MaxCellHeight) {
    GdiSayOnce(saidHeight, "font heights above 1024 pixels are reduced to 1024");
    em *= MaxCellHeight / cell;
    cell = MaxCellHeight;
  }
  if (cell < 1) cell = 1;
  font->cellHeight = int(cell);
  font->ascent = int(std::lround(ascentUnits * cell / cellUnits));
  if (font->ascent > font->cellHeight) font->ascent = font->cellHeight;
  return em;
}

HFONT WINAPI CreateFontIndirectA(const LOGFONTA *logFont) {
  static bool saidAngles, saidLines;
  if (logFont == nullptr) return nullptr;
  if (logFont->lfEscapement != 0 || logFont->lfOrientation != 0) {
    GdiSayOnce(saidAngles, "rotated fonts (lfEscapement, lfOrientation) are drawn upright");
  }
  if (logFont->lfUnderline || logFont->lfStrikeOut) {
    GdiSayOnce(saidLines, "underlined and struck-out fonts are drawn without their lines");
  }
  HFONT font = new HFONT__{};
  font->logFont = *logFont;
  if (!GdiOpenFace(font)) {
    delete font;
    return nullptr;
  }
  liveObjects[font] = GdiKind::Font;
  return font;
}

HDC WINAPI CreateCompatibleDC(HDC) {
  HDC dc = new HDC__{};
  dc->font = DefaultFont();
  if (dc->font) ++dc->font->selected;
  dc->backgroundMode = OPAQUE;
  dc->backgroundColour = RGB(255, 255, 255);
  dc->textColour = RGB(0, 0, 0);
  liveObjects[dc] = GdiKind::Dc;
  return dc;
}

HBITMAP WINAPI CreateDIBSection(HDC, const BITMAPINFO *info, UINT usage, void **bits, HANDLE section, DWORD) {
  static bool saidFormat, saidSection;
  if (bits) *bits = nullptr;
  if (info == nullptr) return nullptr;
  const BITMAPINFOHEADER &header = info->bmiHeader;
  if (header.biSize < sizeof(BITMAPINFOHEADER) || header.biPlanes != 1 || header.biBitCount != 32 ||
      header.biCompression != BI_RGB || usage != DIB_RGB_COLORS) {
    GdiSayOnce(saidFormat, "only 32-bit BI_RGB DIB sections are made");
    return nullptr;
  }
  if (header.biWidth <= 0 || header.biWidth > MaxDimension || header.biHeight == 0 ||
      header.biHeight < -MaxDimension || header.biHeight > MaxDimension) {
    return nullptr;
  }
  if (section != nullptr) GdiSayOnce(saidSection, "DIB sections over a file mapping are not supported; memory is used");
  HBITMAP bitmap = new HBITMAP__{};
  bitmap->width = header.biWidth;
  bitmap->height = header.biHeight < 0 ? -header.biHeight : header.biHeight;
  bitmap->topDown = header.biHeight < 0;
  bitmap->bits = static_cast<uint32_t *>(std::calloc(size_t(bitmap->width) * bitmap->height, 4));
  if (bitmap->bits == nullptr) {
    delete bitmap;
    return nullptr;
  }
  liveObjects[bitmap] = GdiKind::Bitmap;
  if (bits) *bits = bitmap->bits;
  return bitmap;
}

HGDIOBJ WINAPI SelectObject(HDC dc, HGDIOBJ object) {
  if (!IsLive(dc, GdiKind::Dc)) return nullptr;
  if (IsLive(object, GdiKind::Font)) {
    HFONT previous = dc->font, font = static_cast<HFONT>(object);
    if (previous) --previous->selected;
    ++font->selected;
    dc->font = font;
    return previous;
  }
  if (IsLive(object, GdiKind::Bitmap)) {
    HBITMAP previous = dc->bitmap, bitmap = static_cast<HBITMAP>(object);
    if (previous) --previous->selected;
    ++bitmap->selected;
    dc->bitmap = bitmap;
    return previous;
  }
  return nullptr;
}

int WINAPI SetBkMode(HDC dc, int mode) {
  if (!IsLive(dc, GdiKind::Dc) || (mode != OPAQUE && mode != TRANSPARENT)) return 0;
  int previous = dc->backgroundMode;
  dc->backgroundMode = mode;
  return previous;
}

COLORREF WINAPI SetBkColor(HDC dc, COLORREF colour) {
  if (!IsLive(dc, GdiKind::Dc)) return CLR_INVALID;
  COLORREF previous = dc->backgroundColour;
  dc->backgroundColour = colour & 0xFFFFFF;
  return previous;
}

COLORREF WINAPI SetTextColor(HDC dc, COLORREF colour) {
  if (!IsLive(dc, GdiKind::Dc)) return CLR_INVALID;
  COLORREF previous = dc->textColour;
  dc->textColour = colour & 0xFFFFFF;
  return previous;
}

int WINAPI DrawTextA(HDC dc, LPCSTR text, int count, LPRECT rect, UINT format) {
  static bool saidFormat, saidPrefix;
  constexpr UINT Supported = DT_CENTER | DT_RIGHT | DT_VCENTER | DT_BOTTOM | DT_SINGLELINE | DT_EXPANDTABS |
                             DT_NOCLIP | DT_CALCRECT | DT_NOPREFIX;
  if (!IsLive(dc, GdiKind::Dc) || text == nullptr || rect == nullptr || count < -1) return 0;
  if (format & ~Supported) GdiSayOnce(saidFormat, "DrawTextA ignores word breaks, tab stops and external leading");
  HFONT font = dc->font;
  if (font == nullptr) return 0;
  size_t length = count == -1 ? std::strlen(text) : size_t(count);
  std::u32string points = GdiCodePoints(text, length, font->logFont.lfCharSet);

  // Lines, with the prefix character taken out: "&&" shows one ampersand.
  std::vector<std::u32string> lines(1);
  for (size_t i = 0; i < points.size(); ++i) {
    char32_t c = points[i];
    if (!(format & DT_SINGLELINE) && (c == U'\r' || c == U'\n')) {
      if (c == U'\r' && i + 1 < points.size() && points[i + 1] == U'\n') ++i;
      lines.emplace_back();
      continue;
    }
    if (c == U'&' && !(format & DT_NOPREFIX)) {
      if (i + 1 < points.size() && points[i + 1] == U'&') {
        ++i;
      } else {
        if (i + 1 < points.size()) GdiSayOnce(saidPrefix, "prefix characters are not underlined");
        continue;
      }
    }
    lines.back().push_back(c);
  }

  // Widths from the glyph advances; a tab is eight spaces when expanded.
  std::vector<int> widths(lines.size(), 0);
  int spaceAdvance = 0;
  GdiGlyphAdvance(font, U' ', spaceAdvance);
  int widest = 0;
  for (size_t l = 0; l < lines.size(); ++l) {
    for (char32_t c : lines[l]) {
      int advance = 0;
      if (c == U'\t' && (format & DT_EXPANDTABS)) {
        advance = 8 * spaceAdvance;
      } else {
        GdiGlyphAdvance(font, c, advance);
      }
      widths[l] += advance;
    }
    if (widths[l] > widest) widest = widths[l];
  }
  int lineHeight = font->cellHeight;
  int textHeight = lineHeight * int(lines.size());
  int top = 0;
  if (!PlaceTextBox(*rect, format, widest, textHeight, top)) return textHeight;
  HBITMAP bitmap = dc->bitmap;
  if (bitmap == nullptr) return textHeight;  // nothing to draw into: measured only
  Clip clip = {0, 0, bitmap->width, bitmap->height};
  if (!(format & DT_NOCLIP)) {
    if (rect->left > clip.left) clip.left = rect->left;
    if (rect->top > clip.top) clip.top = rect->top;
    if (rect->right < clip.right) clip.right = rect->right;
    if (rect->bottom < clip.bottom) clip.bottom = rect->bottom;
  }
  if (clip.left >= clip.right || clip.top >= clip.bottom) return textHeight;

  uint32_t textColour = DibColour(dc->textColour), background = DibColour(dc->backgroundColour);
  for (size_t l = 0; l < lines.size(); ++l) {
    int lineTop = top + int(l) * lineHeight;
    int x = LineStart(*rect, format, widths[l]);
    if (lineTop >= clip.bottom || lineTop + lineHeight <= clip.top) continue;
    if (dc->backgroundMode == OPAQUE) FillBox(bitmap, clip, x, lineTop, x + widths[l], lineTop + lineHeight, background);
    for (char32_t c : lines[l]) {
      if (c == U'\t' && (format & DT_EXPANDTABS)) {
        x += 8 * spaceAdvance;
        continue;
      }
      int advance = 0;
      GdiGlyph glyph;
      GdiGlyphAdvance(font, c, advance);
      if (GdiRenderGlyph(font, c, advance, glyph)) DrawGlyph(bitmap, clip, glyph, x, lineTop + font->ascent, textColour);
      x += advance;
    }
  }
  return textHeight;
}

BOOL WINAPI GdiFlush() { return TRUE; }  // drawing is done at once: nothing is batched

BOOL WINAPI DeleteObject(HGDIOBJ object) {
  static bool saidSelected;
  auto found = liveObjects.find(object);
  if (found == liveObjects.end() || found->second == GdiKind::Dc) return FALSE;
  if (found->second == GdiKind::Font) {
    HFONT font = static_cast<HFONT>(object);
    if (font->stock) return TRUE;
    if (font->selected > 0) {
      GdiSayOnce(saidSelected, "an object still selected into a device context is not deleted");
      return FALSE;
    }
    GdiCloseFace(font->face);
    delete font;
  } else {
    HBITMAP bitmap = static_cast<HBITMAP>(object);
    if (bitmap->selected > 0) {
      GdiSayOnce(saidSelected, "an object still selected into a device context is not deleted");
      return FALSE;
    }
    std::free(bitmap->bits);
    delete bitmap;
  }
  liveObjects.erase(found);
  return TRUE;
}

BOOL WINAPI DeleteDC(HDC dc) {
  if (!IsLive(dc, GdiKind::Dc)) return FALSE;
  if (dc->font) --dc->font->selected;
  if (dc->bitmap) --dc->bitmap->selected;
  liveObjects.erase(dc);
  delete dc;
  return TRUE;
}
