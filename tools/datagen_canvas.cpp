// Shapes as signed distances and the painting of a supersampled cell canvas.
#include "tools/datagen_canvas.h"

#include <algorithm>
#include <cmath>

namespace gen {

namespace {

float Length(float x, float y) { return std::sqrt(x * x + y * y); }

// Distance from p to segment ab, and the position t along it.
float SegmentDistance(float px, float py, float ax, float ay, float bx, float by, float *tOut) {
  float abx = bx - ax, aby = by - ay;
  float apx = px - ax, apy = py - ay;
  float len2 = abx * abx + aby * aby;
  float t = len2 > 0 ? Clamp01((apx * abx + apy * aby) / len2) : 0;
  if (tOut) *tOut = t;
  return Length(apx - abx * t, apy - aby * t);
}

}  // namespace

Shape Nothing() { return {[](float, float) { return 1e9f; }, 1e9f, 1e9f, -1e9f, -1e9f}; }

Shape Circle(float cx, float cy, float r) {
  return {[=](float x, float y) { return Length(x - cx, y - cy) - r; }, cx - r, cy - r, cx + r, cy + r};
}

Shape Ellipse(float cx, float cy, float rx, float ry) {
  // Distance scaled from the unit circle: close to exact for gentle ellipses, and
  // always of the right sign, which is what edges and glows need.
  float k = std::min(rx, ry);
  return {[=](float x, float y) {
            float u = (x - cx) / rx, v = (y - cy) / ry;
            float len = Length(u, v);
            // The gradient length corrects the scaled distance near the edge.
            float gx = u / rx, gy = v / ry, g = Length(gx, gy);
            return g > 1e-6f ? (len - 1) * len / g : -k;
          },
          cx - rx, cy - ry, cx + rx, cy + ry};
}

Shape Box(float cx, float cy, float halfW, float halfH, float round) {
  return {[=](float x, float y) {
            float qx = std::fabs(x - cx) - halfW + round, qy = std::fabs(y - cy) - halfH + round;
            return Length(std::max(qx, 0.0f), std::max(qy, 0.0f)) + std::min(std::max(qx, qy), 0.0f) - round;
          },
          cx - halfW, cy - halfH, cx + halfW, cy + halfH};
}

Shape Capsule(float ax, float ay, float bx, float by, float r) {
  return {[=](float x, float y) { return SegmentDistance(x, y, ax, ay, bx, by, nullptr) - r; },
          std::min(ax, bx) - r, std::min(ay, by) - r, std::max(ax, bx) + r, std::max(ay, by) + r};
}

Shape Taper(float ax, float ay, float ra, float bx, float by, float rb) {
  // Not the exact distance of the cone's hull, but a smooth blend of the radii along
  // the axis, which is what a flame or a leg looks like.
  float r = std::max(ra, rb);
  return {[=](float x, float y) {
            float t;
            float d = SegmentDistance(x, y, ax, ay, bx, by, &t);
            return d - Mix(ra, rb, t);
          },
          std::min(ax, bx) - r, std::min(ay, by) - r, std::max(ax, bx) + r, std::max(ay, by) + r};
}

Shape Polygon(std::vector<Pt> pts) {
  float x0 = 1e9f, y0 = 1e9f, x1 = -1e9f, y1 = -1e9f;
  for (const Pt &p : pts) {
    x0 = std::min(x0, p.x);
    y0 = std::min(y0, p.y);
    x1 = std::max(x1, p.x);
    y1 = std::max(y1, p.y);
  }
  return {[pts](float x, float y) {
            // The exact distance to the outline, signed by the crossing rule.
            float best = 1e9f;
            bool inside = false;
            size_t n = pts.size();
            for (size_t i = 0, j = n - 1; i < n; j = i++) {
              const Pt &a = pts[j], &b = pts[i];
              best = std::min(best, SegmentDistance(x, y, a.x, a.y, b.x, b.y, nullptr));
              if ((a.y > y) != (b.y > y) && x < (b.x - a.x) * (y - a.y) / (b.y - a.y) + a.x) inside = !inside;
            }
            return inside ? -best : best;
          },
          x0, y0, x1, y1};
}

Shape Hull(std::vector<Pt> upper) {
  std::vector<Pt> all = upper;
  for (size_t i = upper.size(); i-- > 0;) {
    if (upper[i].y == 0) continue;  // points on the axis appear once
    all.push_back({upper[i].x, -upper[i].y});
  }
  return Polygon(all);
}

Shape Union(const Shape &a, const Shape &b) {
  auto da = a.dist, db = b.dist;
  return {[=](float x, float y) { return std::min(da(x, y), db(x, y)); }, std::min(a.x0, b.x0),
          std::min(a.y0, b.y0), std::max(a.x1, b.x1), std::max(a.y1, b.y1)};
}

Shape Union(std::initializer_list<Shape> shapes) {
  Shape out = *shapes.begin();
  for (auto it = shapes.begin() + 1; it != shapes.end(); ++it) out = Union(out, *it);
  return out;
}

Shape Subtract(const Shape &a, const Shape &b) {
  auto da = a.dist, db = b.dist;
  return {[=](float x, float y) { return std::max(da(x, y), -db(x, y)); }, a.x0, a.y0, a.x1, a.y1};
}

Shape Intersect(const Shape &a, const Shape &b) {
  auto da = a.dist, db = b.dist;
  return {[=](float x, float y) { return std::max(da(x, y), db(x, y)); }, std::max(a.x0, b.x0),
          std::max(a.y0, b.y0), std::min(a.x1, b.x1), std::min(a.y1, b.y1)};
}

Shape MirrorY(const Shape &a) {
  auto da = a.dist;
  float reach = std::max(std::fabs(a.y0), std::fabs(a.y1));
  return {[=](float x, float y) { return std::min(da(x, y), da(x, -y)); }, a.x0, -reach, a.x1, reach};
}

Shape Grow(const Shape &a, float by) {
  auto da = a.dist;
  return {[=](float x, float y) { return da(x, y) - by; }, a.x0 - by, a.y0 - by, a.x1 + by, a.y1 + by};
}

Shape Outline(const Shape &a, float width) {
  auto da = a.dist;
  float h = width / 2;
  return {[=](float x, float y) { return std::fabs(da(x, y)) - h; }, a.x0 - h, a.y0 - h, a.x1 + h, a.y1 + h};
}

Shape Moved(const Shape &a, float dx, float dy) {
  auto da = a.dist;
  return {[=](float x, float y) { return da(x - dx, y - dy); }, a.x0 + dx, a.y0 + dy, a.x1 + dx, a.y1 + dy};
}

Shape Rotated(const Shape &a, float radians) {
  auto da = a.dist;
  float c = float(Cos(radians)), s = float(Sin(radians));
  // Bounds: the rotated corners of the original box.
  float xs[4] = {a.x0, a.x1, a.x1, a.x0}, ys[4] = {a.y0, a.y0, a.y1, a.y1};
  float x0 = 1e9f, y0 = 1e9f, x1 = -1e9f, y1 = -1e9f;
  for (int i = 0; i < 4; i++) {
    float rx = xs[i] * c - ys[i] * s, ry = xs[i] * s + ys[i] * c;
    x0 = std::min(x0, rx);
    y0 = std::min(y0, ry);
    x1 = std::max(x1, rx);
    y1 = std::max(y1, ry);
  }
  return {[=](float x, float y) { return da(x * c + y * s, -x * s + y * c); }, x0, y0, x1, y1};
}

namespace {

// Runs body(index, x, y) over the samples of the canvas inside the box grown by margin.
template <class Body>
void ForSamples(const Shape &shape, float margin, Body body) {
  auto toSample = [](float v) { return (v + kHalfCell) * kSuper; };
  int i0 = std::max(0, int(std::floor(toSample(shape.x0 - margin))));
  int j0 = std::max(0, int(std::floor(toSample(shape.y0 - margin))));
  int i1 = std::min(kCellSamples, int(std::ceil(toSample(shape.x1 + margin))) + 1);
  int j1 = std::min(kCellSamples, int(std::ceil(toSample(shape.y1 + margin))) + 1);
  for (int j = j0; j < j1; j++) {
    float y = (j + 0.5f) / kSuper - kHalfCell;
    for (int i = i0; i < i1; i++) {
      float x = (i + 0.5f) / kSuper - kHalfCell;
      body((size_t(j) * kCellSamples + size_t(i)) * 4, x, y);
    }
  }
}

void Over(float *dst, Rgba c, float coverage) {
  float a = Clamp01(c.a) * coverage;
  if (a <= 0) return;
  float keep = 1 - a;
  dst[0] = Clamp01(c.r) * a + dst[0] * keep;
  dst[1] = Clamp01(c.g) * a + dst[1] * keep;
  dst[2] = Clamp01(c.b) * a + dst[2] * keep;
  dst[3] = a + dst[3] * keep;
}

Sample MakeSample(const Shape &shape, float x, float y, float d, bool wantNormal) {
  Sample s{x, y, d, 0, 0};
  if (wantNormal) {
    const float e = 0.35f;
    float gx = shape.dist(x + e, y) - shape.dist(x - e, y);
    float gy = shape.dist(x, y + e) - shape.dist(x, y - e);
    float len = std::sqrt(gx * gx + gy * gy);
    if (len > 1e-6f) {
      s.nx = gx / len;
      s.ny = gy / len;
    }
  }
  return s;
}

}  // namespace

void Fill(Canvas &canvas, const Shape &shape, Rgba colour) {
  ForSamples(shape, 1, [&](size_t k, float x, float y) {
    float cov = Clamp01(0.5f - shape.dist(x, y) * kSuper);
    if (cov > 0) Over(&canvas.px[k], colour, cov);
  });
}

void Fill(Canvas &canvas, const Shape &shape, const Shader &shader, bool wantNormal) {
  ForSamples(shape, 1, [&](size_t k, float x, float y) {
    float d = shape.dist(x, y);
    float cov = Clamp01(0.5f - d * kSuper);
    if (cov > 0) Over(&canvas.px[k], shader(MakeSample(shape, x, y, d, wantNormal)), cov);
  });
}

void Glow(Canvas &canvas, const Shape &shape, Rgba colour, float radius) {
  ForSamples(shape, radius + 1, [&](size_t k, float x, float y) {
    float d = shape.dist(x, y);
    if (d >= radius) return;
    float t = d <= 0 ? 0 : d / radius;
    float w = (1 - t) * (1 - t) * (1 - t);
    Over(&canvas.px[k], colour, w);
  });
}

void Overlay(Canvas &canvas, const Shape &shape, const Shader &shader, bool wantNormal) {
  ForSamples(shape, 1, [&](size_t k, float x, float y) {
    float *dst = &canvas.px[k];
    if (dst[3] <= 0) return;
    float d = shape.dist(x, y);
    float cov = Clamp01(0.5f - d * kSuper);
    if (cov <= 0) return;
    Rgba c = shader(MakeSample(shape, x, y, d, wantNormal));
    // Paint onto what is there without raising its opacity: a tint, not a new layer.
    float a = Clamp01(c.a) * cov;
    dst[0] = Mix(dst[0], Clamp01(c.r) * dst[3], a);
    dst[1] = Mix(dst[1], Clamp01(c.g) * dst[3], a);
    dst[2] = Mix(dst[2], Clamp01(c.b) * dst[3], a);
  });
}

void ResolveCell(const Canvas &canvas, std::vector<float> &image, int cell) {
  const int size = kCellTexels * 4;
  int ox = (cell % 4) * kCellTexels, oy = (cell / 4) * kCellTexels;
  const float norm = 1.0f / (kSuper * kSuper);
  for (int ty = 0; ty < kCellTexels; ty++) {
    for (int tx = 0; tx < kCellTexels; tx++) {
      float sum[4] = {0, 0, 0, 0};
      for (int sy = 0; sy < kSuper; sy++)
        for (int sx = 0; sx < kSuper; sx++) {
          const float *p = &canvas.px[((size_t(ty) * kSuper + sy) * kCellSamples + size_t(tx) * kSuper + sx) * 4];
          for (int c = 0; c < 4; c++) sum[c] += p[c];
        }
      // Texel distance from the nearest cell edge: the outer band stays clear so
      // that filtering and the smaller mip levels keep the cells apart.
      float edge = float(std::min(std::min(tx, ty), std::min(kCellTexels - 1 - tx, kCellTexels - 1 - ty))) + 0.5f;
      float window = Smooth(5.0f, 10.0f, edge);
      float *dst = &image[((size_t(oy) + ty) * size + size_t(ox) + tx) * 4];
      for (int c = 0; c < 4; c++) dst[c] = sum[c] * norm * window;
    }
  }
}

}  // namespace gen

namespace gen {

Rgba Ramp(const std::vector<Stop> &stops, float t) {
  if (t <= stops.front().at) return stops.front().colour;
  for (size_t i = 1; i < stops.size(); i++) {
    if (t <= stops[i].at) {
      float span = stops[i].at - stops[i - 1].at;
      return Lerp(stops[i - 1].colour, stops[i].colour, span > 0 ? (t - stops[i - 1].at) / span : 1);
    }
  }
  return stops.back().colour;
}

Shader Radial(float cx, float cy, float radius, std::vector<Stop> stops) {
  return [=](const Sample &s) {
    float dx = s.x - cx, dy = s.y - cy;
    return Ramp(stops, std::sqrt(dx * dx + dy * dy) / radius);
  };
}

Shader Linear(float ax, float ay, float bx, float by, std::vector<Stop> stops) {
  float vx = bx - ax, vy = by - ay, len2 = vx * vx + vy * vy;
  return [=](const Sample &s) { return Ramp(stops, ((s.x - ax) * vx + (s.y - ay) * vy) / len2); };
}

Shader Armour(Rgba base) {
  return [=](const Sample &s) {
    float depth = Clamp01(-s.d / 9);
    Rgba c = Scale(base, Mix(0.95f, 0.62f, depth) * (1.0f - 0.22f * Clamp01((s.y + 40) / 80)));
    float edge = Smooth(-3.2f, -0.6f, s.d);
    float facing = -0.6f * s.nx - 0.8f * s.ny;
    Rgba light = Lerp(base, Col(1, 1, 1), 0.75f);
    Rgba rim = Col(Mix(base.r, 1, 0.2f), Mix(base.g, 1, 0.2f), Mix(base.b, 1, 0.2f));
    if (facing > 0)
      c = Lerp(c, light, edge * (0.35f + 0.65f * facing));
    else
      c = Lerp(c, rim, edge * (0.35f - 0.5f * facing));
    c.a = 1;
    return c;
  };
}

void Lamp(Canvas &canvas, float x, float y, float r, Rgba colour) {
  Glow(canvas, Circle(x, y, r), WithAlpha(colour, 0.55f * colour.a), r * 2.2f);
  Fill(canvas, Circle(x, y, r), Radial(x, y, r, {{0, Col(1, 1, 1)}, {0.45f, Lerp(colour, Col(1, 1, 1), 0.5f)}, {1, colour}}));
}

void Seam(Canvas &canvas, const Shape &shape, float width, Rgba colour) {
  Fill(canvas, Outline(shape, width), colour);
}

}  // namespace gen
