// The game's desktop icon: the sword hand of the first atlas on a dark rounded tile
// with a pink glow and a few stars, painted once at the canvas's full resolution and
// averaged down to each size, so the small icons stay as sharp as the sprite.
#include <algorithm>
#include <cmath>

#include "tools/datagen.h"
#include "tools/datagen_canvas.h"
#include "png/png_writer.h"

namespace gen {

namespace {

void PaintIcon(Canvas &c) {
  const Shape tile = Box(0, 0, 61, 61, 15);
  Fill(c, tile, Radial(-10, -14, 95, {{0, Col(0.2f, 0.13f, 0.3f)}, {0.6f, Col(0.09f, 0.07f, 0.17f)},
                                        {1, Col(0.04f, 0.03f, 0.09f)}}));
  Seam(c, tile, 1.5f, Col(1, 0.55f, 0.8f, 0.55f));
  // The glow of a swing behind the hand.
  Overlay(c, tile, Radial(0, -6, 48, {{0, Col(1, 0.45f, 0.75f, 0.5f)}, {1, Col(1, 0.45f, 0.75f, 0)}}));
  const struct {
    float x, y, r;
  } stars[] = {{-44, -40, 1.6f}, {42, -46, 1.2f}, {-40, 38, 1.1f}, {45, 30, 1.4f}};
  for (const auto &star : stars) Lamp(c, star.x, star.y, star.r, Col(0.75f, 0.85f, 1));
  PaintHand(c);
}

// The weight of sample cell [k, k + 1) inside the output pixel that spans [from, to).
float Coverage(int k, float from, float to) {
  return std::max(0.0f, std::min(float(k + 1), to) - std::max(float(k), from));
}

}  // namespace

std::vector<uint32_t> RenderIcon(int size) {
  Canvas canvas;
  PaintIcon(canvas);
  // Each icon pixel averages the canvas samples it covers, part samples by their share.
  const float step = float(kCellSamples) / float(size);
  std::vector<uint32_t> pixels(size_t(size) * size);
  for (int y = 0; y < size; y++)
    for (int x = 0; x < size; x++) {
      const float x0 = x * step, x1 = (x + 1) * step, y0 = y * step, y1 = (y + 1) * step;
      float sum[4] = {0, 0, 0, 0}, weight = 0;
      for (int sy = int(y0); sy < std::min(int(std::ceil(y1)), kCellSamples); sy++)
        for (int sx = int(x0); sx < std::min(int(std::ceil(x1)), kCellSamples); sx++) {
          const float w = Coverage(sx, x0, x1) * Coverage(sy, y0, y1);
          const float *p = &canvas.px[(size_t(sy) * kCellSamples + sx) * 4];
          for (int ch = 0; ch < 4; ch++) sum[ch] += p[ch] * w;
          weight += w;
        }
      const float alpha = Clamp01(sum[3] / weight);
      // The canvas is premultiplied; the PNG wants straight colour.
      auto channel = [&](int ch) {
        const float straight = alpha > 0 ? Clamp01(sum[ch] / weight / alpha) : 0.0f;
        return uint32_t(std::lround(straight * 255.0f));
      };
      pixels[size_t(y) * size + x] =
          uint32_t(std::lround(alpha * 255.0f)) << 24 | channel(0) << 16 | channel(1) << 8 | channel(2);
    }
  return pixels;
}

bool WriteIcons(const std::string &dir) {
  bool ok = true;
  for (int size : kIconSizes) {
    const std::vector<uint32_t> pixels = RenderIcon(size);
    const std::string path = dir + "quillrun-" + std::to_string(size) + ".png";
    ok = WritePng(path.c_str(), size, size, pixels.data()) && ok;
  }
  return ok;
}

}  // namespace gen
