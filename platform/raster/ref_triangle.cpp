// The reference device's triangles. A pixel belongs to a triangle when its centre
// (pixel centres sit at integer coordinates) is inside, or on a top or left edge, so two
// triangles sharing an edge never both draw a pixel; corners are snapped to 1/256 pixel
// and the edges tested exactly in integers. Colours, depth and texture coordinates are
// planes across the triangle: an affine triangle is drawn span by span through the
// specialised loops, one with perspective pixel by pixel.
#include <algorithm>
#include <cmath>
#include "platform/raster/ref_shade.h"

namespace refraster {

void DrawTriangle(const Batch &batch, const RasterVertex &p0, const RasterVertex &p1, const RasterVertex &p2) {
  const RasterVertex *v[3] = {&p0, &p1, &p2};
  for (auto *q : v)
    if (!(std::fabs(q->x) < 1.0e6f && std::fabs(q->y) < 1.0e6f)) return;   // also drops NaN
  // Positions snapped to 1/256 pixel.
  int64_t X[3], Y[3];
  for (int i = 0; i < 3; ++i) {
    X[i] = Round((double)v[i]->x * 256.0);
    Y[i] = Round((double)v[i]->y * 256.0);
  }
  int64_t area = (X[1] - X[0]) * (Y[2] - Y[0]) - (X[2] - X[0]) * (Y[1] - Y[0]);
  if (area == 0) return;
  if (area < 0) {
    std::swap(v[1], v[2]);
    std::swap(X[1], X[2]);
    std::swap(Y[1], Y[2]);
  }
  struct Edge {
    int64_t dx, dy, ax, ay;
    int64_t bias;
  } edge[3];
  for (int i = 0; i < 3; ++i) {
    int j = (i + 1) % 3;
    Edge &e = edge[i];
    e.dx = X[j] - X[i];
    e.dy = Y[j] - Y[i];
    e.ax = X[i];
    e.ay = Y[i];
    bool topLeft = e.dy < 0 || (e.dy == 0 && e.dx > 0);
    e.bias = topLeft ? 0 : 1;
  }
  int64_t minY = std::min({Y[0], Y[1], Y[2]}), maxY = std::max({Y[0], Y[1], Y[2]});
  int64_t minX = std::min({X[0], X[1], X[2]}), maxX = std::max({X[0], X[1], X[2]});
  int y0 = (int)std::max<int64_t>(CeilDiv(minY, 256), batch.clipTop);
  int y1 = (int)std::min<int64_t>(FloorDiv(maxY, 256), batch.clipBottom - 1);
  int xLo = (int)std::max<int64_t>(CeilDiv(minX, 256), batch.clipLeft);
  int xHi = (int)std::min<int64_t>(FloorDiv(maxX, 256), batch.clipRight - 1);
  if (y0 > y1 || xLo > xHi) return;

  // Attribute planes from the unsnapped positions: value = a0 + ddx (x - x0) + ddy (y - y0).
  double x0 = v[0]->x, yv0 = v[0]->y;
  double ex1 = v[1]->x - x0, ey1 = v[1]->y - yv0, ex2 = v[2]->x - x0, ey2 = v[2]->y - yv0;
  double det = ex1 * ey2 - ex2 * ey1;
  if (det == 0) return;
  struct Plane {
    double a0, ddx, ddy;
    double At(double x, double y, double px, double py) const { return a0 + ddx * (x - px) + ddy * (y - py); }
  };
  auto plane = [&](double a0, double a1, double a2) {
    double d1 = a1 - a0, d2 = a2 - a0;
    return Plane{a0, (d1 * ey2 - d2 * ey1) / det, (d2 * ex1 - d1 * ex2) / det};
  };
  auto ch = [](const RasterVertex *q, int shift) { return (double)((q->diffuse >> shift) & 255); };
  bool perspective = v[0]->rhw != v[1]->rhw || v[0]->rhw != v[2]->rhw;
  double w0 = perspective ? v[0]->rhw : 1.0, w1 = perspective ? v[1]->rhw : 1.0, w2 = perspective ? v[2]->rhw : 1.0;
  Plane pr = plane(ch(v[0], 16) * w0, ch(v[1], 16) * w1, ch(v[2], 16) * w2);
  Plane pg = plane(ch(v[0], 8) * w0, ch(v[1], 8) * w1, ch(v[2], 8) * w2);
  Plane pb = plane(ch(v[0], 0) * w0, ch(v[1], 0) * w1, ch(v[2], 0) * w2);
  Plane pa = plane(ch(v[0], 24) * w0, ch(v[1], 24) * w1, ch(v[2], 24) * w2);
  Plane pz = plane(v[0]->z, v[1]->z, v[2]->z);
  Plane pu = plane(v[0]->u * w0, v[1]->u * w1, v[2]->u * w2);
  Plane pv = plane(v[0]->v * w0, v[1]->v * w1, v[2]->v * w2);
  Plane pw = plane(w0, w1, w2);

  Sampling sm;
  if (perspective) {
    // The footprint at the centre of the triangle stands for the whole of it.
    double cx = (v[0]->x + v[1]->x + v[2]->x) / 3.0, cy = (v[0]->y + v[1]->y + v[2]->y) / 3.0;
    double q = pw.At(cx, cy, x0, yv0), u = pu.At(cx, cy, x0, yv0) / q, vv = pv.At(cx, cy, x0, yv0) / q;
    ChooseLevels(batch, (pu.ddx - u * pw.ddx) / q, (pv.ddx - vv * pw.ddx) / q, (pu.ddy - u * pw.ddy) / q,
                 (pv.ddy - vv * pw.ddy) / q, &sm);
  } else {
    ChooseLevels(batch, pu.ddx, pv.ddx, pu.ddy, pv.ddy, &sm);
  }
  SampleKind kind = SampleAny;
  if (sm.levels == 0) kind = SampleNone;
  else if (sm.linear && sm.addressU == D3DTADDRESS_WRAP && sm.addressV == D3DTADDRESS_WRAP)
    kind = sm.levels == 1 ? SampleBilinear : SampleTrilinear;
  double tw = batch.texture != nullptr ? batch.texture->width * 65536.0 : 0.0;
  double th = batch.texture != nullptr ? batch.texture->height * 65536.0 : 0.0;

  for (int y = y0; y <= y1; ++y) {
    int64_t py = (int64_t)y * 256;
    int64_t lo = xLo, hi = xHi;
    for (const Edge &e : edge) {
      // Inside when dx (py - ay) - dy (px - ax) >= bias, px = 256 x.
      int64_t c = e.dx * (py - e.ay) + e.dy * e.ax;
      int64_t a = -e.dy * 256;
      // The bound from a floating-point division, settled by the exact test.
      auto inside = [&](int64_t x) { return a * x + c >= e.bias; };
      if (a > 0) {
        int64_t x = (int64_t)std::ceil((double)(e.bias - c) / (double)a);
        while (!inside(x)) ++x;
        while (inside(x - 1)) --x;
        lo = std::max(lo, x);
      } else if (a < 0) {
        int64_t x = (int64_t)std::floor((double)(c - e.bias) / (double)-a);
        while (!inside(x)) --x;
        while (inside(x + 1)) ++x;
        hi = std::min(hi, x);
      } else if (c < e.bias) {
        hi = lo - 1;
      }
    }
    if (lo > hi) continue;
    int n = (int)(hi - lo + 1);
    size_t index = (size_t)y * batch.width + (size_t)lo;
    if (perspective) {
      for (int x = (int)lo; x <= (int)hi; ++x) {
        double q = pw.At(x, y, x0, yv0);
        ShadePixel(batch, x, y, sm, pr.At(x, y, x0, yv0) / q, pg.At(x, y, x0, yv0) / q, pb.At(x, y, x0, yv0) / q,
                   pa.At(x, y, x0, yv0) / q, pz.At(x, y, x0, yv0), pu.At(x, y, x0, yv0) / q,
                   pv.At(x, y, x0, yv0) / q);
      }
      continue;
    }
    // Start and end values clamped to their ranges; linear in between, so the whole
    // span stays in range without a test per pixel.
    double xs = (double)lo, xe = (double)hi;
    auto fixColour = [&](const Plane &p, int32_t *start, int32_t *step) {
      double s0 = Clamp(p.At(xs, y, x0, yv0), 0.0, 255.0), s1 = Clamp(p.At(xe, y, x0, yv0), 0.0, 255.0);
      *start = (int32_t)Round(s0 * 65536.0 + 32768.0);
      *step = n > 1 ? (int32_t)Round((s1 - s0) * 65536.0 / (n - 1)) : 0;
    };
    Span sp;
    fixColour(pr, &sp.r, &sp.dr);
    fixColour(pg, &sp.g, &sp.dg);
    fixColour(pb, &sp.b, &sp.db);
    fixColour(pa, &sp.a, &sp.da);
    double z0 = Clamp(pz.At(xs, y, x0, yv0), 0.0, 1.0) * 65535.0;
    double z1 = Clamp(pz.At(xe, y, x0, yv0), 0.0, 1.0) * 65535.0;
    sp.z = Round(z0 * 65536.0 + 32768.0);
    sp.dz = n > 1 ? Round((z1 - z0) * 65536.0 / (n - 1)) : 0;
    sp.u = Round(pu.At(xs, y, x0, yv0) * tw);
    sp.v = Round(pv.At(xs, y, x0, yv0) * th);
    sp.du = Round(pu.ddx * tw);
    sp.dv = Round(pv.ddx * th);
    switch (kind) {
    case SampleNone: RunSpanCombine<SampleNone>(batch, index, n, sp, sm); break;
    case SampleBilinear: RunSpanCombine<SampleBilinear>(batch, index, n, sp, sm); break;
    case SampleTrilinear: RunSpanCombine<SampleTrilinear>(batch, index, n, sp, sm); break;
    default: RunSpanCombine<SampleAny>(batch, index, n, sp, sm); break;
    }
  }
}

}  // namespace refraster
