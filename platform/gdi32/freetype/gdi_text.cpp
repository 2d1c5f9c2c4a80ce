// The desktop's faces for the GDI stand-in: a LOGFONTA becomes a FreeType face picked
// by fontconfig: the face named (its name converted from the character set's code page)
// when it is installed, otherwise the nearest fixed-pitch face that covers Japanese.
// Heights follow GDI (gdi_dc.cpp sizes the cell); glyphs are antialiased, or one bit a
// pixel for NONANTIALIASED_QUALITY, and a face with no bold or italic of its own gets
// them made from its outlines.
#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_SYNTHESIS_H
#include FT_TRUETYPE_TABLES_H
#include <strings.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "platform/gdi32/gdi_face.h"

struct GdiFace {
  FT_Face face;
  bool embolden;
  bool oblique;
};

namespace {

constexpr int MaxCellHeight = 1024;

FT_Library library;
bool libraryFailed;

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

std::string FaceNameUtf8(const LOGFONTA &logFont) {
  size_t length = strnlen(logFont.lfFaceName, LF_FACESIZE);
  std::u32string points = GdiCodePoints(logFont.lfFaceName, length, logFont.lfCharSet);
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

// Sizes the face for the font: the cell from the face's Windows ascent and descent (its
// ascender and descender when it has none), the width from lfWidth against the face's
// average character width.
bool SizeFace(HFONT font, FT_Face face) {
  const LOGFONTA &logFont = font->logFont;
  if (face->units_per_EM == 0) return false;
  double ascentUnits = face->ascender, descentUnits = -face->descender;
  TT_OS2 *os2 = static_cast<TT_OS2 *>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2));
  if (os2 != nullptr && os2->usWinAscent + os2->usWinDescent > 0) {
    ascentUnits = os2->usWinAscent;
    descentUnits = os2->usWinDescent;
  }
  if (ascentUnits + descentUnits <= 0) return false;
  double em = GdiSizeCell(font, ascentUnits, descentUnits, face->units_per_EM);
  double emWidth = em;
  if (logFont.lfWidth != 0) {
    double average = (os2 && os2->xAvgCharWidth > 0) ? os2->xAvgCharWidth : face->units_per_EM / 2.0;
    double averagePixels = average * em / face->units_per_EM;
    double wanted = std::fabs(double(logFont.lfWidth));
    if (wanted > MaxCellHeight) wanted = MaxCellHeight;
    emWidth = em * wanted / averagePixels;
  }
  return FT_Set_Char_Size(face, FT_F26Dot6(emWidth * 64 + 0.5), FT_F26Dot6(em * 64 + 0.5), 72, 72) == 0;
}

// Loads a character's glyph, made bold or oblique as the font asks; false when the face
// has no usable glyph for it.
bool LoadGlyph(const GdiFace &face, char32_t c) {
  FT_UInt index = FT_Get_Char_Index(face.face, FT_ULong(c));
  if (FT_Load_Glyph(face.face, index, FT_LOAD_DEFAULT | FT_LOAD_NO_BITMAP) != 0) return false;
  if (face.oblique) FT_GlyphSlot_Oblique(face.face->glyph);
  if (face.embolden) FT_GlyphSlot_Embolden(face.face->glyph);
  return true;
}

}  // namespace

bool GdiOpenFace(HFONT font) {
  if (!EnsureLibrary()) return false;
  const LOGFONTA &logFont = font->logFont;
  std::string name = FaceNameUtf8(logFont);
  for (const auto &[file, index] : CandidateFiles(logFont, name)) {
    FT_Face face = nullptr;
    if (FT_New_Face(library, file.c_str(), index, &face) != 0) continue;
    if (!FT_IS_SCALABLE(face)) {
      FT_Done_Face(face);
      continue;
    }
    FT_Select_Charmap(face, FT_ENCODING_UNICODE);
    if (!SizeFace(font, face)) {
      FT_Done_Face(face);
      continue;
    }
    // A face that has no bold or italic of its own gets them made from its outlines.
    bool faceBold = (face->style_flags & FT_STYLE_FLAG_BOLD) != 0;
    bool faceItalic = (face->style_flags & FT_STYLE_FLAG_ITALIC) != 0;
    font->face = new GdiFace{face, logFont.lfWeight >= FW_SEMIBOLD && !faceBold, logFont.lfItalic && !faceItalic};
    return true;
  }
  std::fprintf(stderr, "gdi: no font is installed for \"%s\": text cannot be drawn\n", name.c_str());
  return false;
}

void GdiCloseFace(GdiFace *face) {
  if (face == nullptr) return;
  FT_Done_Face(face->face);
  delete face;
}

bool GdiGlyphAdvance(HFONT font, char32_t c, int &advance) {
  advance = 0;
  if (!LoadGlyph(*font->face, c)) return false;
  advance = int((font->face->face->glyph->advance.x + 32) >> 6);
  return true;
}

bool GdiRenderGlyph(HFONT font, char32_t c, int, GdiGlyph &glyph) {
  if (!LoadGlyph(*font->face, c)) return false;
  FT_GlyphSlot slot = font->face->face->glyph;
  FT_Render_Mode mode = font->logFont.lfQuality == NONANTIALIASED_QUALITY ? FT_RENDER_MODE_MONO : FT_RENDER_MODE_NORMAL;
  if (FT_Render_Glyph(slot, mode) != 0) return false;
  const FT_Bitmap &bitmap = slot->bitmap;
  if (bitmap.pixel_mode != FT_PIXEL_MODE_GRAY && bitmap.pixel_mode != FT_PIXEL_MODE_MONO) return false;
  glyph.left = slot->bitmap_left;
  glyph.top = -slot->bitmap_top;
  glyph.width = int(bitmap.width);
  glyph.rows = int(bitmap.rows);
  glyph.coverage = bitmap.buffer;
  glyph.pitch = bitmap.pitch;
  glyph.mono = bitmap.pixel_mode == FT_PIXEL_MODE_MONO;
  return true;
}
