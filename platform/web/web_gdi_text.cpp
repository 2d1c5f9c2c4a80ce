// Stand-in for GDI text in the browser: fonts, memory device contexts, 32-bit DIB
// sections and DrawTextA, with the glyphs drawn by the browser's 2D canvas in the
// Japanese gothic served with the page. Sizes, advances, baselines and line boxes
// follow the desktop stand-in exactly: a positive lfHeight is the character cell
// (the face's Windows ascent plus descent), the em is the cell scaled by the face's
// units and rounded to whole pixels, the ascent is rounded from the face's Windows ascent
// and each advance is the measured width rounded to whole pixels. Coverage blends the text colour over the
// bitmap, over the background colour's box first when the mode is OPAQUE.
#include <iconv.h>
#include <strings.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/gdi_smoothing.h"
#include "platform/gdi.h"
#include "platform/web/web_page.h"

enum class GdiKind { Font, Bitmap, Dc };

struct HFONT__ {
  LOGFONTA logFont;
  double em;       // em height in pixels, as the glyphs are drawn and measured
  int cellHeight;  // ascent + descent in pixels
  int ascent;
  bool stock;      // the default font of new device contexts: never deleted
  int selected;    // device contexts it is selected into
  std::unordered_map<char32_t, int> advances;
};

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
constexpr int MaxCellHeight = 1024;

// The served face's vertical metrics, in its own units: the Windows ascent and descent
// that GDI sizes a font by, and the em.
constexpr double FaceWinAscent = 1802;
constexpr double FaceWinDescent = 401;
constexpr double FaceUnitsPerEm = 2048;
// The face asks (in its header's flags) to be scaled to whole pixels per em when it is
// hinted, as the desktop's renderer does: a 16.7-pixel em is drawn and measured at 17.
constexpr bool FaceWholePixelsPerEm = true;

std::unordered_map<const void *, GdiKind> liveObjects;

void SayOnce(bool &said, const char *what) {
  if (said) return;
  said = true;
  std::fprintf(stderr, "gdi: %s\n", what);
}

bool IsLive(const void *object, GdiKind kind) {
  auto found = liveObjects.find(object);
  return found != liveObjects.end() && found->second == kind;
}
// Text in a character set's code page to UTF-32; converters are opened once.
const char *CodePageOf(BYTE charSet) { return charSet == SHIFTJIS_CHARSET ? "CP932" : "CP1252"; }

std::u32string ToCodePoints(const char *text, size_t length, BYTE charSet) {
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
// Sizes the font the way GDI does: the cell (the face's Windows ascent plus descent)
// fills a positive lfHeight, the em fills a negative one.
void SizeFont(HFONT font, const LOGFONTA &logFont) {
  static bool saidHeight;
  const double cellUnits = FaceWinAscent + FaceWinDescent;
  long height = logFont.lfHeight;
  if (height == LONG(0x80000000)) height = MaxCellHeight;
  double cell, em;
  if (height == 0) {
    cell = 16;
    em = cell * FaceUnitsPerEm / cellUnits;
  } else if (height > 0) {
    cell = double(height);
    em = cell * FaceUnitsPerEm / cellUnits;
  } else {
    em = double(-height);
    cell = std::round(em * cellUnits / FaceUnitsPerEm);
  }
  if (cell > MaxCellHeight) {
    SayOnce(saidHeight, "font heights above 1024 pixels are reduced to 1024");
    em *= MaxCellHeight / cell;
    cell = MaxCellHeight;
  }
  if (cell < 1) cell = 1;
  font->em = FaceWholePixelsPerEm ? std::max(1.0, std::round(em)) : em;
  font->cellHeight = int(cell);
  font->ascent = int(std::lround(FaceWinAscent * cell / cellUnits));
  if (font->ascent > font->cellHeight) font->ascent = font->cellHeight;
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
// The pixel advance of a character; measured once per font and character.
bool LoadGlyph(HFONT font, char32_t c, bool, int &advance) {
  auto found = font->advances.find(c);
  if (found == font->advances.end()) {
    double width = WebMeasureGlyph(uint32_t(c), font->em);
    found = font->advances.emplace(c, int(std::lround(width))).first;
  }
  advance = found->second;
  return true;
}

// Draws the character at the pen position: the browser draws it into a box around the
// cell, and its coverage, weighted as the system smooths text, blends the colour into
// the bitmap inside the clip.
void DrawGlyph(HBITMAP bitmap, const Clip &clip, HFONT font, char32_t c, int penX, int baseline, int advance,
               uint32_t colour) {
  if (c == U' ' || c == U'\t') return;
  const int pad = font->cellHeight / 2 + 2;
  const int left = penX - pad, top = baseline - font->ascent - pad;
  const int width = advance + 2 * pad, height = font->cellHeight + 2 * pad;
  if (left + width <= clip.left || left >= clip.right || top + height <= clip.top || top >= clip.bottom) return;
  static std::vector<uint8_t> coverage;
  coverage.assign(size_t(width) * height, 0);
  WebRasterGlyph(uint32_t(c), font->em, pad, font->ascent + pad, width, height, coverage.data());
  for (int gy = 0; gy < height; ++gy) {
    int y = top + gy;
    if (y < clip.top || y >= clip.bottom) continue;
    uint32_t *row = Row(bitmap, y);
    const uint8_t *source = coverage.data() + size_t(gy) * width;
    for (int gx = 0; gx < width; ++gx) {
      int x = left + gx;
      if (x < clip.left || x >= clip.right) continue;
      Blend(row[x], colour, SmoothedCoverage(source[gx]));
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

}  // namespace
HFONT WINAPI CreateFontIndirectA(const LOGFONTA *logFont) {
  static bool saidAngles, saidLines, saidStyle;
  if (logFont == nullptr) return nullptr;
  if (logFont->lfEscapement != 0 || logFont->lfOrientation != 0) {
    SayOnce(saidAngles, "rotated fonts (lfEscapement, lfOrientation) are drawn upright");
  }
  if (logFont->lfUnderline || logFont->lfStrikeOut) {
    SayOnce(saidLines, "underlined and struck-out fonts are drawn without their lines");
  }
  if (logFont->lfWeight >= FW_SEMIBOLD || logFont->lfItalic) {
    SayOnce(saidStyle, "the page's one face has no bold or italic: drawn regular");
  }
  // Every face name comes to the one gothic served with the page: the nearest
  // fixed-pitch face of the Japanese character set, whatever was asked for.
  HFONT font = new HFONT__{};
  font->logFont = *logFont;
  SizeFont(font, *logFont);
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
    SayOnce(saidFormat, "only 32-bit BI_RGB DIB sections are made");
    return nullptr;
  }
  if (header.biWidth <= 0 || header.biWidth > MaxDimension || header.biHeight == 0 ||
      header.biHeight < -MaxDimension || header.biHeight > MaxDimension) {
    return nullptr;
  }
  if (section != nullptr) SayOnce(saidSection, "DIB sections over a file mapping are not supported; memory is used");
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
  if (format & ~Supported) SayOnce(saidFormat, "DrawTextA ignores word breaks, tab stops and external leading");
  HFONT font = dc->font;
  if (font == nullptr) return 0;
  size_t length = count == -1 ? std::strlen(text) : size_t(count);
  std::u32string points = ToCodePoints(text, length, font->logFont.lfCharSet);

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
        if (i + 1 < points.size()) SayOnce(saidPrefix, "prefix characters are not underlined");
        continue;
      }
    }
    lines.back().push_back(c);
  }

  // Widths from the glyph advances; a tab is eight spaces when expanded.
  std::vector<int> widths(lines.size(), 0);
  int spaceAdvance = 0;
  LoadGlyph(font, U' ', false, spaceAdvance);
  int widest = 0;
  for (size_t l = 0; l < lines.size(); ++l) {
    for (char32_t c : lines[l]) {
      int advance = 0;
      if (c == U'\t' && (format & DT_EXPANDTABS)) {
        advance = 8 * spaceAdvance;
      } else {
        LoadGlyph(font, c, false, advance);
      }
      widths[l] += advance;
    }
    if (widths[l] > widest) widest = widths[l];
  }
  int lineHeight = font->cellHeight;
  int textHeight = lineHeight * int(lines.size());
  if (format & DT_CALCRECT) {
    rect->right = rect->left + widest;
    rect->bottom = rect->top + textHeight;
    return textHeight;
  }

  int top = rect->top;
  if (format & DT_SINGLELINE) {
    if (format & DT_BOTTOM) top = rect->bottom - textHeight;
    else if (format & DT_VCENTER) top = rect->top + (rect->bottom - rect->top - textHeight) / 2;
  }
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
    int x = rect->left;
    if (format & DT_CENTER) x = rect->left + (rect->right - rect->left - widths[l]) / 2;
    else if (format & DT_RIGHT) x = rect->right - widths[l];
    if (lineTop >= clip.bottom || lineTop + lineHeight <= clip.top) continue;
    if (dc->backgroundMode == OPAQUE) FillBox(bitmap, clip, x, lineTop, x + widths[l], lineTop + lineHeight, background);
    for (char32_t c : lines[l]) {
      int advance = 0;
      if (c == U'\t' && (format & DT_EXPANDTABS)) {
        x += 8 * spaceAdvance;
        continue;
      }
      if (LoadGlyph(font, c, true, advance)) DrawGlyph(bitmap, clip, font, c, x, lineTop + font->ascent, advance, textColour);
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
      SayOnce(saidSelected, "an object still selected into a device context is not deleted");
      return FALSE;
    }
    delete font;
  } else {
    HBITMAP bitmap = static_cast<HBITMAP>(object);
    if (bitmap->selected > 0) {
      SayOnce(saidSelected, "an object still selected into a device context is not deleted");
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

