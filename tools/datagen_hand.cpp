// The first atlas: the sword hand and the particle sprites (smoke, sparks, fireball,
// soft glow and the three background stars). Cells not listed stay empty.
#include <cmath>

#include "tools/datagen.h"
#include "tools/datagen_canvas.h"

namespace gen {

namespace {

const Rgba kPink = Col(1.0f, 0.42f, 0.72f);

// Pale plate with a pink rim light from the lower right and a cool sheen from the
// upper left: the look of the whole hand.
Shader Gauntlet(Rgba base) {
  return [=](const Sample &s) {
    float depth = Clamp01(-s.d / 10);
    Rgba c = Scale(base, Mix(1.0f, 0.72f, depth) * (1.0f - 0.12f * Clamp01((s.y + 30) / 60)));
    float edge = Smooth(-4.0f, -0.5f, s.d);
    float towardRim = 0.7f * s.nx + 0.7f * s.ny;
    if (towardRim > 0) c = Lerp(c, kPink, edge * Clamp01(0.3f + towardRim));
    else c = Lerp(c, Col(1, 1, 1), edge * -towardRim * 0.8f);
    c.a = 1;
    return c;
  };
}

}  // namespace

void PaintHand(Canvas &c) {
  const Rgba ivory = Col(0.93f, 0.9f, 0.9f), steel = Col(0.8f, 0.8f, 0.86f), seam = Col(0.45f, 0.35f, 0.5f, 0.75f);
  // The blade's root above the guard: the blade itself is the swing's light.
  Shape blade = Polygon({{-6, -30}, {6, -30}, {4.5f, -50}, {0, -55}, {-4.5f, -50}});
  Glow(c, blade, Col(1, 0.6f, 0.85f, 0.6f), 8);
  Fill(c, blade, Linear(0, -30, 0, -55, {{0, Col(0.9f, 0.9f, 1)}, {1, Col(1, 0.85f, 0.95f)}}));
  Fill(c, Box(0, -42, 1, 11), Col(1, 1, 1, 0.9f));

  Shape pommel = Circle(0, 44, 7);
  Shape grip = Box(0, 26, 5, 16, 2);
  Shape guard = Union(Box(0, -25, 27, 4.5f, 3), Union(Circle(-28, -25, 6), Circle(28, -25, 6)));
  // The forearm leaves the fist toward the lower right and ends in a flared cuff.
  Shape cuff = Taper(8, 6, 9.5f, 27, 28, 11.5f);
  Shape cuffRim = Capsule(19.5f, 36, 36.5f, 21, 3.6f);
  Shape fist = Box(-2, -3, 19, 17, 8);
  Shape whole = Union({pommel, grip, guard, cuff, cuffRim, fist});
  Glow(c, whole, WithAlpha(kPink, 0.45f), 9);

  Fill(c, pommel, Gauntlet(steel), true);
  Lamp(c, 0, 44, 2.5f, kPink);
  Fill(c, grip, Gauntlet(Col(0.6f, 0.5f, 0.62f)), true);
  for (int k = 0; k < 3; k++) Seam(c, Box(0, 26.0f + (k - 1) * 7, 5, 0.01f), 1.2f, Col(0.3f, 0.22f, 0.32f, 0.8f));
  Fill(c, guard, Gauntlet(steel), true);
  Lamp(c, 0, -25, 3, kPink);

  Fill(c, cuff, Gauntlet(ivory), true);
  Seam(c, Capsule(13, 21, 24, 11, 0.01f), 1.4f, seam);
  Fill(c, cuffRim, Gauntlet(steel), true);
  Fill(c, fist, Gauntlet(ivory), true);
  // Four finger plates wrapped round the grip, their knuckles to the front (left).
  for (int k = 0; k < 4; k++) {
    float y = -14 + k * 8.5f;
    Shape finger = Box(-11, y, 11, 3.9f, 3.5f);
    Fill(c, finger, Gauntlet(Col(0.96f, 0.93f, 0.94f)), true);
    Seam(c, finger, 1.0f, seam);
  }
  // The thumb across the top of the fist.
  Shape thumb = Capsule(12, -4, -8, -17, 5);
  Fill(c, thumb, Gauntlet(Col(0.98f, 0.96f, 0.97f)), true);
  Seam(c, thumb, 1.0f, seam);
}

namespace {

void PaintSmoke(Canvas &c) {
  Fill(c, Circle(0, 0, 54), [](const Sample &s) {
    float r = std::sqrt(s.x * s.x + s.y * s.y) / 46;
    float n = Fbm(s.x / 15 + 3, s.y / 15 + 7, 11);
    float v = 1 - r + (n - 0.5f) * 0.9f;
    float alpha = Smooth(0.0f, 0.55f, v) * (0.55f + 0.45f * Fbm(s.x / 7, s.y / 7, 23));
    float shade = 0.5f + 0.25f * Clamp01(0.5f - (s.x + s.y) / 90) + 0.15f * n;
    return Col(shade, shade, shade * 1.04f, alpha * 0.9f);
  });
}

void PaintSpark(Canvas &c) {
  // Rays of uneven length around a white-hot core.
  const float lengths[10] = {40, 26, 34, 22, 44, 28, 36, 24, 38, 30};
  for (int k = 0; k < 10; k++) {
    float a = float(k) * float(kPi) / 5 + 0.2f;
    float ex = float(Cos(a)) * lengths[k], ey = float(Sin(a)) * lengths[k];
    Shape ray = Taper(0, 0, 4.5f, ex, ey, 0.4f);
    Glow(c, ray, WithAlpha(kPink, 0.5f), 6);
    Fill(c, ray, Col(1, 0.55f, 0.8f));
    Fill(c, Taper(0, 0, 2, ex * 0.7f, ey * 0.7f, 0.2f), Col(1, 0.92f, 0.97f));
  }
  Glow(c, Circle(0, 0, 7), Col(1, 0.8f, 0.9f, 0.9f), 12);
  Fill(c, Circle(0, 0, 7), Col(1, 1, 1));
}

void PaintFireball(Canvas &c) {
  Fill(c, Circle(0, 0, 54), [](const Sample &s) {
    float r = std::sqrt(s.x * s.x + s.y * s.y) / 44;
    float n = Fbm(s.x / 11 + 5, s.y / 11 + 1, 37);
    float v = 1 - r + (n - 0.5f) * 0.5f;
    Rgba col = Ramp({{0.0f, Col(0.9f, 0.18f, 0.04f)},
                     {0.25f, Col(1, 0.45f, 0.08f)},
                     {0.5f, Col(1, 0.75f, 0.2f)},
                     {0.75f, Col(1, 0.95f, 0.55f)},
                     {1.0f, Col(1, 1, 0.9f)}},
                    v + 0.1f);
    col.a = Smooth(0.0f, 0.4f, v);
    return col;
  });
}

void PaintGlow(Canvas &c) {
  Fill(c, Circle(0, 0, 54), [](const Sample &s) {
    float t = std::sqrt(s.x * s.x + s.y * s.y) / 54;
    float w = 1 - t * t;
    return Col(1, 1, 1, w * w * w);
  });
}

void PaintStar(Canvas &c, Rgba colour) {
  // A small point with a faint four-way glint: the star is drawn small on screen.
  Glow(c, Circle(0, 0, 3), WithAlpha(colour, 0.75f), 24);
  Fill(c, Taper(-22, 0, 0.3f, 0, 0, 1.6f), WithAlpha(colour, 0.6f));
  Fill(c, Taper(22, 0, 0.3f, 0, 0, 1.6f), WithAlpha(colour, 0.6f));
  Fill(c, Taper(0, -22, 0.3f, 0, 0, 1.6f), WithAlpha(colour, 0.6f));
  Fill(c, Taper(0, 22, 0.3f, 0, 0, 1.6f), WithAlpha(colour, 0.6f));
  Fill(c, Circle(0, 0, 5), Radial(0, 0, 5, {{0, Col(1, 1, 1)}, {0.5f, Lerp(colour, Col(1, 1, 1), 0.6f)}, {1, colour}}));
}

}  // namespace

bool HandCellUsed(int cell) {
  return cell == 0 || cell == 1 || cell == 3 || cell == 5 || cell == 6 || cell == 8 || cell == 9 || cell == 10;
}

void PaintHandAtlas(std::vector<float> &image) {
  for (int cell = 0; cell < 16; cell++) {
    if (!HandCellUsed(cell)) continue;
    Canvas c;
    switch (cell) {
      case 0: PaintHand(c); break;
      case 1: PaintSmoke(c); break;
      case 3: PaintSpark(c); break;
      case 5: PaintFireball(c); break;
      case 6: PaintGlow(c); break;
      case 8: PaintStar(c, Col(0.92f, 0.95f, 1.0f)); break;
      case 9: PaintStar(c, Col(0.6f, 0.78f, 1.0f)); break;
      default: PaintStar(c, Col(1.0f, 0.72f, 0.86f)); break;
    }
    ResolveCell(c, image, cell);
  }
}

}  // namespace gen
