// Stand-in for GDI text: fonts, memory device contexts, 32-bit DIB sections and
// DrawTextA. A LOGFONTA becomes a FreeType face picked by fontconfig: the face named
// (its name converted from the character set's code page) when it is installed,
// otherwise the nearest fixed-pitch face that covers Japanese. Heights follow GDI: a
// positive lfHeight is the character cell height (ascent plus descent), a negative one
// the em height. Glyphs are antialiased in the system's seventeen smoothing levels; the
// level's weight blends the text colour over the bitmap, over the background colour's
// box first when the mode is OPAQUE.
#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_SYNTHESIS_H
#include FT_TRUETYPE_TABLES_H
#include <iconv.h>
#include <strings.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/gdi_smoothing.h"
#include "platform/gdi.h"

enum class GdiKind { Font, Bitmap, Dc };

struct HFONT__ {
  LOGFONTA logFont;
  FT_Face face;
  int cellHeight;  // ascent + descent in pixels
  int ascent;
  bool embolden;
  bool oblique;
  bool stock;    // the default font of new device contexts: never deleted
  int selected;  // device contexts it is selected into
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
constexpr int MaxCellHeight = 1024;  // beyond this a glyph would be bigger than any screen

FT_Library library;
bool libraryFailed;
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

bool EnsureLibrary() {
  if (library) return true;
  if (libraryFailed) return false;
  if (FT_Init_FreeType(&library) != 0) {
    libraryFailed = true;
    library = nullptr;
    std::fprintf(stderr, "gdi: FreeType cannot start: no text will be drawn\n");
    return false;
  }
  return true;
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

std::string FaceNameUtf8(const LOGFONTA &logFont) {
  size_t length = strnlen(logFont.lfFaceName, LF_FACESIZE);
  std::u32string points = ToCodePoints(logFont.lfFaceName, length, logFont.lfCharSet);
  std::string out;
  for (char32_t c : points) {
    if (c < 0x80) {
      out.push_back(char(c));
    } else if (c < 0x800) {
      out.push_back(char(0xC0 | (c >> 6)));
      out.push_back(char(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
      out.push_back(char(0xE0 | (c >> 12)));
      out.push_back(char(0x80 | ((c >> 6) & 0x3F)));
      out.push_back(char(0x80 | (c & 0x3F)));
    } else {
      out.push_back(char(0xF0 | (c >> 18)));
      out.push_back(char(0x80 | ((c >> 12) & 0x3F)));
      out.push_back(char(0x80 | ((c >> 6) & 0x3F)));
      out.push_back(char(0x80 | (c & 0x3F)));
    }
  }
  return out;
}

bool HasFamily(FcPattern *font, const std::string &name) {
  FcChar8 *family = nullptr;
  for (int i = 0; FcPatternGetString(font, FC_FAMILY, i, &family) == FcResultMatch; ++i) {
    if (strcasecmp(reinterpret_cast<const char *>(family), name.c_str()) == 0) return true;
  }
  return false;
}

bool IsFixedPitch(FcPattern *font) {
  int spacing = FC_PROPORTIONAL;
  return FcPatternGetInteger(font, FC_SPACING, 0, &spacing) == FcResultMatch && spacing >= FC_DUAL;
}

bool CoversJapanese(FcPattern *font) {
  FcLangSet *languages = nullptr;
  return FcPatternGetLangSet(font, FC_LANG, 0, &languages) == FcResultMatch &&
         FcLangSetHasLang(languages, reinterpret_cast<const FcChar8 *>("ja")) != FcLangDifferentLang;
}

// The font files to try, best first: the named face when it is installed, then the
// nearest face of the wanted pitch and character set, then anything at all.
std::vector<std::pair<std::string, int>> CandidateFiles(const LOGFONTA &logFont, const std::string &name) {
  std::vector<std::pair<std::string, int>> files;
  if (!FcInit()) return files;
  FcPattern *pattern = FcPatternCreate();
  if (!name.empty()) FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8 *>(name.c_str()));
  bool japanese = logFont.lfCharSet == SHIFTJIS_CHARSET;
  bool fixed = (logFont.lfPitchAndFamily & 3) == FIXED_PITCH;
  if (japanese) FcPatternAddString(pattern, FC_LANG, reinterpret_cast<const FcChar8 *>("ja"));
  if (fixed) FcPatternAddInteger(pattern, FC_SPACING, FC_MONO);
  if (logFont.lfWeight > 0) {
    FcPatternAddInteger(pattern, FC_WEIGHT, FcWeightFromOpenType(int(logFont.lfWeight)));
  }
  FcPatternAddInteger(pattern, FC_SLANT, logFont.lfItalic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
  FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
  FcDefaultSubstitute(pattern);
  FcResult result;
  FcFontSet *sorted = FcFontSort(nullptr, pattern, FcFalse, nullptr, &result);
  FcPatternDestroy(pattern);
  if (sorted == nullptr) return files;

  std::vector<FcPattern *> order;
  auto take = [&](auto wanted) {
    for (int i = 0; i < sorted->nfont; ++i) {
      FcPattern *font = sorted->fonts[i];
      bool seen = false;
      for (FcPattern *p : order) seen = seen || p == font;
      if (!seen && wanted(font)) order.push_back(font);
    }
  };
  if (!name.empty()) take([&](FcPattern *font) { return HasFamily(font, name); });
  take([&](FcPattern *font) { return (!fixed || IsFixedPitch(font)) && (!japanese || CoversJapanese(font)); });
  take([&](FcPattern *font) { return !fixed || IsFixedPitch(font); });
  take([](FcPattern *) { return true; });
  for (FcPattern *font : order) {
    FcChar8 *file = nullptr;
    int index = 0;
    if (FcPatternGetString(font, FC_FILE, 0, &file) != FcResultMatch) continue;
    FcPatternGetInteger(font, FC_INDEX, 0, &index);
    files.emplace_back(reinterpret_cast<const char *>(file), index);
    if (files.size() >= 8) break;
  }
  FcFontSetDestroy(sorted);
  return files;
}

// Sizes the face the way GDI sizes a font: the cell (Windows ascent plus descent)
// fills a positive lfHeight, the em fills a negative one.
bool SizeFace(HFONT font, const LOGFONTA &logFont) {
  static bool saidHeight;
  FT_Face face = font->face;
  if (face->units_per_EM == 0) return false;
  double ascentUnits = face->ascender, descentUnits = -face->descender;
  if (TT_OS2 *os2 = static_cast<TT_OS2 *>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2));
      os2 != nullptr && os2->usWinAscent + os2->usWinDescent > 0) {
    ascentUnits = os2->usWinAscent;
    descentUnits = os2->usWinDescent;
  }
  if (ascentUnits + descentUnits <= 0) return false;
  double cellUnits = ascentUnits + descentUnits;
  long height = logFont.lfHeight;
  if (height == LONG(0x80000000)) height = MaxCellHeight;
  double cell, em;
  if (height == 0) {
    cell = 16;
    em = cell * face->units_per_EM / cellUnits;
  } else if (height > 0) {
    cell = double(height);
    em = cell * face->units_per_EM / cellUnits;
  } else {
    em = double(-height);
    cell = std::round(em * cellUnits / face->units_per_EM);
  }
  if (cell > MaxCellHeight) {
    SayOnce(saidHeight, "font heights above 1024 pixels are reduced to 1024");
    em *= MaxCellHeight / cell;
    cell = MaxCellHeight;
  }
  if (cell < 1) cell = 1;
  double emWidth = em;
  if (logFont.lfWidth != 0) {
    TT_OS2 *os2 = static_cast<TT_OS2 *>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2));
    double average = (os2 && os2->xAvgCharWidth > 0) ? os2->xAvgCharWidth : face->units_per_EM / 2.0;
    double averagePixels = average * em / face->units_per_EM;
    double wanted = std::fabs(double(logFont.lfWidth));
    if (wanted > MaxCellHeight) wanted = MaxCellHeight;
    emWidth = em * wanted / averagePixels;
  }
  if (FT_Set_Char_Size(face, FT_F26Dot6(emWidth * 64 + 0.5), FT_F26Dot6(em * 64 + 0.5), 72, 72) != 0) return false;
  font->cellHeight = int(cell);
  font->ascent = int(std::lround(ascentUnits * cell / cellUnits));
  if (font->ascent > font->cellHeight) font->ascent = font->cellHeight;
  return true;
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

// Loads a glyph and leaves its pixel advance; false when the face has no usable glyph.
bool LoadGlyph(HFONT font, char32_t c, bool render, int &advance) {
  FT_Face face = font->face;
  FT_UInt index = FT_Get_Char_Index(face, FT_ULong(c));
  if (FT_Load_Glyph(face, index, FT_LOAD_DEFAULT | FT_LOAD_NO_BITMAP) != 0) {
    advance = 0;
    return false;
  }
  if (font->oblique) FT_GlyphSlot_Oblique(face->glyph);
  if (font->embolden) FT_GlyphSlot_Embolden(face->glyph);
  advance = int((face->glyph->advance.x + 32) >> 6);
  if (!render) return true;
  FT_Render_Mode mode = font->logFont.lfQuality == NONANTIALIASED_QUALITY ? FT_RENDER_MODE_MONO : FT_RENDER_MODE_NORMAL;
  return FT_Render_Glyph(face->glyph, mode) == 0;
}

void DrawGlyph(HBITMAP bitmap, const Clip &clip, HFONT font, int penX, int baseline, uint32_t colour) {
  FT_GlyphSlot slot = font->face->glyph;
  const FT_Bitmap &glyph = slot->bitmap;
  int left = penX + slot->bitmap_left, top = baseline - slot->bitmap_top;
  bool mono = glyph.pixel_mode == FT_PIXEL_MODE_MONO;
  if (glyph.pixel_mode != FT_PIXEL_MODE_GRAY && !mono) return;
  for (int gy = 0; gy < int(glyph.rows); ++gy) {
    int y = top + gy;
    if (y < clip.top || y >= clip.bottom) continue;
    const uint8_t *source = glyph.buffer + ptrdiff_t(gy) * glyph.pitch;
    uint32_t *row = Row(bitmap, y);
    for (int gx = 0; gx < int(glyph.width); ++gx) {
      int x = left + gx;
      if (x < clip.left || x >= clip.right) continue;
      uint32_t coverage = mono ? ((source[gx >> 3] >> (7 - (gx & 7))) & 1) * 255 : SmoothedCoverage(source[gx]);
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

}  // namespace

HFONT WINAPI CreateFontIndirectA(const LOGFONTA *logFont) {
  static bool saidAngles, saidLines;
  if (logFont == nullptr || !EnsureLibrary()) return nullptr;
  if (logFont->lfEscapement != 0 || logFont->lfOrientation != 0) {
    SayOnce(saidAngles, "rotated fonts (lfEscapement, lfOrientation) are drawn upright");
  }
  if (logFont->lfUnderline || logFont->lfStrikeOut) {
    SayOnce(saidLines, "underlined and struck-out fonts are drawn without their lines");
  }
  std::string name = FaceNameUtf8(*logFont);
  HFONT font = new HFONT__{};
  font->logFont = *logFont;
  for (const auto &[file, index] : CandidateFiles(*logFont, name)) {
    FT_Face face = nullptr;
    if (FT_New_Face(library, file.c_str(), index, &face) != 0) continue;
    if (!FT_IS_SCALABLE(face)) {
      FT_Done_Face(face);
      continue;
    }
    FT_Select_Charmap(face, FT_ENCODING_UNICODE);
    font->face = face;
    if (SizeFace(font, *logFont)) break;
    FT_Done_Face(face);
    font->face = nullptr;
  }
  if (font->face == nullptr) {
    std::fprintf(stderr, "gdi: no font is installed for \"%s\": text cannot be drawn\n", name.c_str());
    delete font;
    return nullptr;
  }
  // A face that has no bold or italic of its own gets them made from its outlines.
  bool faceBold = (font->face->style_flags & FT_STYLE_FLAG_BOLD) != 0;
  font->embolden = logFont->lfWeight >= FW_SEMIBOLD && !faceBold;
  font->oblique = logFont->lfItalic && !(font->face->style_flags & FT_STYLE_FLAG_ITALIC);
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
      if (LoadGlyph(font, c, true, advance)) DrawGlyph(bitmap, clip, font, x, lineTop + font->ascent, textColour);
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
    FT_Done_Face(font->face);
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
