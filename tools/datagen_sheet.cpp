// The contact sheet: both atlases on black with a grid and the cell numbers, and
// beneath them every drawing at the size the game shows it, so the art can be judged
// at a glance (and at the scale that matters).
#include <algorithm>
#include <cmath>
#include <cstring>

#include "tools/datagen.h"
#include "png/png_writer.h"

namespace gen {

namespace {

// 5 x 7 glyphs for the few characters the sheet prints.
struct Glyph {
  char c;
  const char *rows[7];
};
const Glyph kGlyphs[] = {
    {'0', {"01110", "10001", "10011", "10101", "11001", "10001", "01110"}},
    {'1', {"00100", "01100", "00100", "00100", "00100", "00100", "01110"}},
    {'2', {"01110", "10001", "00001", "00010", "00100", "01000", "11111"}},
    {'3', {"11110", "00001", "00001", "01110", "00001", "00001", "11110"}},
    {'4', {"00010", "00110", "01010", "10010", "11111", "00010", "00010"}},
    {'5', {"11111", "10000", "11110", "00001", "00001", "10001", "01110"}},
    {'6', {"00110", "01000", "10000", "11110", "10001", "10001", "01110"}},
    {'7', {"11111", "00001", "00010", "00100", "01000", "01000", "01000"}},
    {'8', {"01110", "10001", "10001", "01110", "10001", "10001", "01110"}},
    {'9', {"01110", "10001", "10001", "01111", "00001", "00010", "01100"}},
    {'Q', {"01110", "10001", "10001", "10001", "10101", "10010", "01101"}},
    {'R', {"11110", "10001", "10001", "11110", "10100", "10010", "10001"}},
    {'T', {"11111", "00100", "00100", "00100", "00100", "00100", "00100"}},
    {'E', {"11111", "10000", "10000", "11110", "10000", "10000", "11111"}},
    {'X', {"10001", "10001", "01010", "00100", "01010", "10001", "10001"}},
    {'C', {"01110", "10001", "10000", "10000", "10000", "10001", "01110"}},
    {'L', {"10000", "10000", "10000", "10000", "10000", "10000", "11111"}},
    {'Y', {"10001", "10001", "01010", "00100", "00100", "00100", "00100"}},
    {'P', {"11110", "10001", "10001", "11110", "10000", "10000", "10000"}},
    {'S', {"01111", "10000", "10000", "01110", "00001", "00001", "11110"}},
    {'I', {"01110", "00100", "00100", "00100", "00100", "00100", "01110"}},
    {'Z', {"11111", "00001", "00010", "00100", "01000", "10000", "11111"}},
    {'N', {"10001", "11001", "10101", "10011", "10001", "10001", "10001"}},
    {'A', {"01110", "10001", "10001", "11111", "10001", "10001", "10001"}},
    {'M', {"10001", "11011", "10101", "10101", "10001", "10001", "10001"}},
    {'G', {"01110", "10001", "10000", "10111", "10001", "10001", "01111"}},
};

struct Sheet {
  int width, height;
  std::vector<uint32_t> px;
  void Set(int x, int y, uint32_t c) {
    if (x >= 0 && y >= 0 && x < width && y < height) px[size_t(y) * width + x] = c;
  }
  void Text(int x, int y, const char *text, uint32_t colour) {
    for (; *text; text++, x += 6) {
      for (const Glyph &g : kGlyphs) {
        if (g.c != *text) continue;
        for (int r = 0; r < 7; r++)
          for (int c = 0; c < 5; c++)
            if (g.rows[r][c] == '1') Set(x + c, y + r, colour);
      }
    }
  }
  // Straight-alpha texel over what is there.
  void Blend(int x, int y, float r, float g, float b, float a) {
    if (x < 0 || y < 0 || x >= width || y >= height) return;
    uint32_t &d = px[size_t(y) * width + x];
    auto ch = [&](int shift, float v) {
      float old = float((d >> shift) & 0xFF) / 255.0f;
      return uint32_t(std::lround(std::clamp(old * (1 - a) + v * a, 0.0f, 1.0f) * 255.0f)) << shift;
    };
    d = 0xFF000000u | ch(16, r) | ch(8, g) | ch(0, b);
  }
};

float Channel(uint32_t texel, int shift) { return float((texel >> shift) & 0xFF) / 255.0f; }

// The atlas at 1:1 over black, with a dim grid and the cell numbers.
void PlaceAtlas(Sheet &sheet, int ox, int oy, const std::vector<uint32_t> &atlas) {
  for (int y = 0; y < kTextureSize; y++)
    for (int x = 0; x < kTextureSize; x++) {
      uint32_t t = atlas[size_t(y) * kTextureSize + x];
      sheet.Blend(ox + x, oy + y, Channel(t, 16), Channel(t, 8), Channel(t, 0), Channel(t, 24));
    }
  for (int i = 0; i <= 4; i++)
    for (int k = 0; k <= kTextureSize; k++) {
      sheet.Set(ox + i * 128 - (i == 4), oy + k, 0xFF303040);
      sheet.Set(ox + k, oy + i * 128 - (i == 4), 0xFF303040);
    }
  for (int cell = 0; cell < 16; cell++) {
    char label[4];
    std::snprintf(label, sizeof label, "%d", cell);
    sheet.Text(ox + (cell % 4) * 128 + 4, oy + (cell / 4) * 128 + 4, label, 0xFF808090);
  }
}

// One cell drawn as the game draws it: a square of side size * sqrt(2) centred on
// (cx, cy), sampled from the mip level nearest its scale with bilinear filtering.
void PlaceSprite(Sheet &sheet, int cx, int cy, const std::vector<std::vector<uint32_t>> &mips, int cell, float size) {
  float side = size * 1.41421356f;
  int level = 0;
  while (level + 1 < int(mips.size()) && (128 >> (level + 1)) >= side) level++;
  int levelSize = kTextureSize >> level;
  float cellTexels = float(128 >> level);
  const std::vector<uint32_t> &img = mips[size_t(level)];
  auto texel = [&](int x, int y) {
    x = std::clamp(x, 0, levelSize - 1);
    y = std::clamp(y, 0, levelSize - 1);
    return img[size_t(y) * levelSize + x];
  };
  int half = int(std::ceil(side / 2));
  for (int py = -half; py <= half; py++)
    for (int px = -half; px <= half; px++) {
      float u = (px + 0.5f) / side + 0.5f, v = (py + 0.5f) / side + 0.5f;
      if (u < 0 || v < 0 || u >= 1 || v >= 1) continue;
      float tx = (cell % 4) * cellTexels + u * cellTexels - 0.5f;
      float ty = (cell / 4) * cellTexels + v * cellTexels - 0.5f;
      int x0 = int(std::floor(tx)), y0 = int(std::floor(ty));
      float fx = tx - x0, fy = ty - y0;
      float acc[4] = {0, 0, 0, 0};
      const float w[4] = {(1 - fx) * (1 - fy), fx * (1 - fy), (1 - fx) * fy, fx * fy};
      const uint32_t t[4] = {texel(x0, y0), texel(x0 + 1, y0), texel(x0, y0 + 1), texel(x0 + 1, y0 + 1)};
      for (int k = 0; k < 4; k++) {
        acc[0] += w[k] * Channel(t[k], 16);
        acc[1] += w[k] * Channel(t[k], 8);
        acc[2] += w[k] * Channel(t[k], 0);
        acc[3] += w[k] * Channel(t[k], 24);
      }
      sheet.Blend(cx + px, cy + py, acc[0], acc[1], acc[2], acc[3]);
    }
}

}  // namespace

bool WriteContactSheet(const std::string &path, const std::vector<uint32_t> &handAtlas,
                       const std::vector<uint32_t> &enemyAtlas) {
  const int margin = 16, top = 28;
  Sheet sheet{margin * 3 + kTextureSize * 2, top + kTextureSize + margin + 3 * 110 + margin, {}};
  sheet.px.assign(size_t(sheet.width) * sheet.height, 0xFF000000u);
  sheet.Text(margin, 10, "QRTEX1", 0xFFC0C0D0);
  sheet.Text(margin * 2 + kTextureSize, 10, "QRTEX2", 0xFFC0C0D0);
  PlaceAtlas(sheet, margin, top, handAtlas);
  PlaceAtlas(sheet, margin * 2 + kTextureSize, top, enemyAtlas);

  // Beneath: each drawing at its size in play.
  std::vector<float> hand(handAtlas.size() * 4), enemy(enemyAtlas.size() * 4);
  auto premultiply = [](const std::vector<uint32_t> &atlas, std::vector<float> &out) {
    for (size_t i = 0; i < atlas.size(); i++) {
      float a = Channel(atlas[i], 24);
      out[i * 4] = Channel(atlas[i], 16) * a;
      out[i * 4 + 1] = Channel(atlas[i], 8) * a;
      out[i * 4 + 2] = Channel(atlas[i], 0) * a;
      out[i * 4 + 3] = a;
    }
  };
  premultiply(handAtlas, hand);
  premultiply(enemyAtlas, enemy);
  auto handMips = BuildMipChain(hand), enemyMips = BuildMipChain(enemy);

  int rowTop = top + kTextureSize + margin;
  sheet.Text(margin, rowTop, "IN PLAY SIZE", 0xFFC0C0D0);
  struct Item {
    int cell;
    float size;
  };
  const Item handItems[] = {{0, 40}, {1, 30}, {3, 25}, {5, 40}, {6, 30}, {8, 20}, {9, 20}, {10, 20}};
  for (int i = 0; i < 8; i++)
    PlaceSprite(sheet, margin + 55 + i * 110, rowTop + 60, handMips, handItems[i].cell, handItems[i].size);
  // Enemy types in order, with the cell and size each one is drawn with.
  const Item types[18] = {{0, 30}, {1, 25}, {1, 40}, {4, 40}, {5, 40}, {6, 40}, {7, 50}, {3, 30}, {2, 30},
                          {9, 35}, {8, 40}, {10, 60}, {11, 60}, {12, 50}, {9, 25}, {13, 30}, {14, 45}, {15, 60}};
  for (int i = 0; i < 18; i++) {
    int x = margin + 55 + (i % 9) * 110, y = rowTop + 110 + (i / 9) * 110 + 55;
    PlaceSprite(sheet, x, y, enemyMips, types[i].cell, types[i].size);
    char label[8];
    std::snprintf(label, sizeof label, "T%d", i);
    sheet.Text(x - 6, y + 46, label, 0xFF707080);
  }
  return WritePng(path.c_str(), sheet.width, sheet.height, sheet.px.data());
}

}  // namespace gen
