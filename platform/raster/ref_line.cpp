// The reference device's lines: one pixel per step along the major axis, chosen by the
// diamond-exit rule as the hardware device applies it, the last pixel included when
// D3DRS_LASTPIXEL says so, coloured and textured by where the pixel lies along the line.
#include <algorithm>
#include <cmath>
#include "platform/raster/ref_shade.h"

namespace refraster {

// Lines follow the diamond-exit rule as the hardware device applies it. A line is a
// band one pixel wide along its major axis, between two caps across it; a pixel is lit
// when its centre is inside the band, with the top-left rule for centres exactly on
// an edge. The caps start at the ends and move back along the line, to the border of
// their pixel behind them, where that is needed to light the first pixel when the line
// leaves its diamond (|x - cx| + |y - cy| < 1/2) and to leave the last dark when the
// line does not get out of its diamond before it ends. With D3DRS_LASTPIXEL the line
// is first carried on by one step along its major axis, which lights its last pixel.
// Positions are snapped to 1/256 pixel, as the triangles' corners are.
void DrawLine(const Batch &batch, const RasterVertex &a, const RasterVertex &b) {
  if (!(std::fabs(a.x) < 1.0e6f && std::fabs(a.y) < 1.0e6f && std::fabs(b.x) < 1.0e6f && std::fabs(b.y) < 1.0e6f))
    return;
  // The far end, carried on by one step in single precision as the hardware device
  // does; a point becomes a one-pixel line to its right.
  float endX = b.x, endY = b.y;
  if (batch.s->lastPixel) {
    float fdx = b.x - a.x, fdy = b.y - a.y, major = std::max(std::fabs(fdx), std::fabs(fdy));
    if (major == 0) {
      endX += 1.0f;
    } else {
      float k = 1.0f / major;
      endX += fdx * k;
      endY += fdy * k;
    }
  }
  // Pixel centres on halves from here on; each end in (major, minor) coordinates.
  float x1 = a.x + 0.5f, y1 = a.y + 0.5f, x2 = endX + 0.5f, y2 = endY + 0.5f;
  if (x1 == x2 && y1 == y2) return;
  bool xMajor = std::fabs(x2 - x1) >= std::fabs(y2 - y1);
  float start0 = xMajor ? x1 : y1, start1 = xMajor ? y1 : x1, end0 = xMajor ? x2 : y2, end1 = xMajor ? y2 : x2;
  float travel0 = end0 - start0, travel1 = end1 - start1, slope = travel1 / travel0;
  auto frac = [](float v) { return v - std::floor(v); };
  // Where each end lies in its pixel, -1/2 to 1/2 from the centre.
  float startOff0 = frac(start0) - 0.5f, startOff1 = frac(start1) - 0.5f;
  float endOff0 = frac(end0) - 0.5f, endOff1 = frac(end1) - 0.5f;
  // An end exactly on the border after its pixel, across the line, going that way,
  // counts as at the far border of the pixel before.
  if (endOff1 == -0.5f && travel1 > 0) endOff1 = 0.5f;
  // Past the centre along the major axis; exactly on it counts as past for a flat line
  // going right and a steep line going up.
  auto past = [&](float off) { return off == 0 ? (xMajor ? travel0 > 0 : travel0 < 0) : (off > 0) == (travel0 > 0); };
  // Heading for the centre's row (flat) or column (steep) from this side of it; on the
  // centre line, or flat, the same preference.
  auto towards = [&](float off, float t) {
    return xMajor ? (off <= 0) != (t <= 0) : (off >= 0) != (t >= 0);
  };
  auto inDiamond = [](float off0, float off1) { return std::fabs(off0) + std::fabs(off1) < 0.5f; };
  // The diamond-exit rule's verdict on the end pixels. The first is lit when the line
  // starts inside its diamond, or before the centre and crosses the centre's column
  // (row) within the pixel. The last is lit when the line ends outside its diamond,
  // past the centre, having crossed it within the pixel.
  bool drawStart, drawEnd;
  if (inDiamond(startOff0, startOff1)) drawStart = true;
  else if (past(startOff0)) drawStart = false;
  else if (towards(startOff1, travel1)) drawStart = true;
  else {
    float cross = frac(start1) + startOff0 * slope;
    drawStart = cross > 0.0f && cross < 1.0f;
  }
  if (inDiamond(endOff0, endOff1) || !past(endOff0)) drawEnd = false;
  else if (!towards(endOff1, travel1)) drawEnd = true;
  else {
    float cross = frac(end1) + endOff0 * slope;
    drawEnd = cross < 1.0f && (xMajor ? cross > 0.0f : cross >= 0.0f);
  }
  // Whether the band with its caps right at the ends lights the end pixels already (a
  // centre exactly on a cap: lit at the left cap of a flat line, at the start of a
  // steep line going down and at the end of one going up); where that and the rule
  // disagree, the cap moves back to its pixel's border behind it.
  bool haveStart, haveEnd;
  if (xMajor) {
    haveStart = travel0 > 0 ? startOff0 <= 0 : startOff0 > 0;
    haveEnd = travel0 > 0 ? endOff0 > 0 : endOff0 <= 0;
  } else {
    haveStart = travel0 > 0 ? startOff0 < 0 : startOff0 >= 0;
    haveEnd = travel0 > 0 ? endOff0 >= 0 : endOff0 <= 0;
  }
  float back = travel0 > 0 ? -0.5f : 0.5f;
  float move1 = haveStart != drawStart ? back - startOff0 : 0.0f, move2 = haveEnd != drawEnd ? back - endOff0 : 0.0f;
  float offX1 = xMajor ? move1 : move1 * slope, offY1 = xMajor ? move1 * slope : move1;
  float offX2 = xMajor ? move2 : move2 * slope, offY2 = xMajor ? move2 * slope : move2;
  // The caps in 1/256 pixel, pixel centres on whole multiples of 256.
  auto snap = [](float v) { return (int64_t)std::nearbyint((v - 0.5f) * 256.0f); };
  int64_t sx = snap(x1 + offX1), sy = snap(y1 + offY1), ex = snap(x2 + offX2), ey = snap(y2 + offY2);
  // The band's four corners, wound the same way whichever way the line runs: along
  // the top from the right end, or down the left side from the top end.
  int64_t px[4], py[4];
  bool startFirst = xMajor ? sx >= ex : sy <= ey;   // the right end, or the top end, first
  int64_t ux = startFirst ? sx : ex, uy = startFirst ? sy : ey, vx = startFirst ? ex : sx, vy = startFirst ? ey : sy;
  if (xMajor) {
    px[0] = ux; py[0] = uy - 128; px[1] = vx; py[1] = vy - 128; px[2] = vx; py[2] = vy + 128; px[3] = ux; py[3] = uy + 128;
  } else {
    px[0] = ux - 128; py[0] = uy; px[1] = vx - 128; py[1] = vy; px[2] = vx + 128; py[2] = vy; px[3] = ux + 128; py[3] = uy;
  }
  auto inside = [&](int64_t qx, int64_t qy) {
    for (int i = 0; i < 4; ++i) {
      int j = (i + 1) & 3;
      int64_t dcdx = py[i] - py[j], dcdy = px[i] - px[j];
      int64_t e = dcdy * (qy - py[i]) - dcdx * (qx - px[i]);
      // The top-left rule: left edges and top edges hold the centres on them.
      bool edgeIn = dcdx < 0 || (dcdx == 0 && dcdy > 0);
      if (e < 0 || (e == 0 && !edgeIn)) return false;
    }
    return true;
  };
  Sampling sm;
  // Lines sample the top level: they have no footprint across.
  ChooseLevels(batch, 0, 0, 0, 0, &sm);
  auto ch = [](uint32_t c, int shift) { return (double)((c >> shift) & 255); };
  double length = xMajor ? (double)b.x - a.x : (double)b.y - a.y;
  // Column by column (row by row, steep) along the band; the band is a pixel wide, so
  // only the rows next to the line's own can hold a centre inside it.
  int64_t s0 = xMajor ? sx : sy, s1 = xMajor ? sy : sx, e0 = xMajor ? ex : ey, e1 = xMajor ? ey : ex;
  if (s0 == e0) return;
  int64_t firstC = std::max<int64_t>(CeilDiv(std::min(s0, e0), 256), xMajor ? batch.clipLeft : batch.clipTop);
  int64_t lastC = std::min<int64_t>(FloorDiv(std::max(s0, e0), 256), (xMajor ? batch.clipRight : batch.clipBottom) - 1);
  for (int64_t c = firstC; c <= lastC; ++c) {
    double minor = (double)s1 + (double)(c * 256 - s0) * (double)(e1 - s1) / (double)(e0 - s0);
    int64_t m = (int64_t)std::floor(minor / 256.0);
    for (int64_t r = m - 1; r <= m + 2; ++r) {
      int64_t gx = xMajor ? c : r, gy = xMajor ? r : c;
      if (!inside(gx * 256, gy * 256)) continue;
      int x = (int)gx, y = (int)gy;
      if (x < batch.clipLeft || x >= batch.clipRight || y < batch.clipTop || y >= batch.clipBottom) continue;
      double t = length != 0 ? std::clamp(((xMajor ? x : y) - (double)(xMajor ? a.x : a.y)) / length, 0.0, 1.0) : 0.0;
      auto lerp = [t](double p, double q) { return p + (q - p) * t; };
      ShadePixel(batch, x, y, sm, lerp(ch(a.diffuse, 16), ch(b.diffuse, 16)), lerp(ch(a.diffuse, 8), ch(b.diffuse, 8)),
                 lerp(ch(a.diffuse, 0), ch(b.diffuse, 0)), lerp(ch(a.diffuse, 24), ch(b.diffuse, 24)),
                 lerp(a.z, b.z), lerp(a.u, b.u), lerp(a.v, b.v));
    }
  }
}

}  // namespace refraster
