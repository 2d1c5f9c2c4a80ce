// The reference device's arithmetic on pixels and numbers: dividing by 255, blending
// texels and colours channel by channel, the depth and alpha comparisons, the blend
// factors and the rounding every coordinate goes through. Shared by its triangles,
// lines and spans, and small enough to be inlined into their loops.
#pragma once
#include <cstdint>
#include "platform/raster/raster.h"

namespace refraster {

// x / 255 rounded, exact for x up to 255 * 255 * 2.
inline uint32_t Div255(uint32_t x) {
  x += 128;
  return (x + (x >> 8)) >> 8;
}

// Blends two texels channel by channel; f is the weight of b in 256ths (0..256).
__attribute__((always_inline)) inline uint32_t Lerp(uint32_t a, uint32_t b, uint32_t f) {
  uint32_t g = 256 - f;
  uint32_t rb = (((a & 0x00FF00FFu) * g + (b & 0x00FF00FFu) * f) >> 8) & 0x00FF00FFu;
  uint32_t ag = (((a >> 8) & 0x00FF00FFu) * g + ((b >> 8) & 0x00FF00FFu) * f) & 0xFF00FF00u;
  return rb | ag;
}

// Rounds half away from zero, as llround does, without a library call; values out of
// range (texture coordinates of a hostile vertex, a NaN) are held at a bound.
inline int64_t Round(double x) {
  if (!(x > -1.0e15)) return (int64_t)-1.0e15;
  if (!(x < 1.0e15)) return (int64_t)1.0e15;
  return (int64_t)(x + (x >= 0 ? 0.5 : -0.5));
}

// Clamps, with a NaN taken as the low bound.
inline double Clamp(double x, double lo, double hi) { return x >= lo ? (x <= hi ? x : hi) : lo; }

inline int64_t FloorDiv(int64_t a, int64_t b) {   // b > 0
  int64_t q = a / b;
  return (a % b != 0 && a < 0) ? q - 1 : q;
}
inline int64_t CeilDiv(int64_t a, int64_t b) { return -FloorDiv(-a, b); }

__attribute__((always_inline)) inline uint32_t Modulate(uint32_t a, uint32_t b) {
  // A white vertex colour (every sprite) leaves the texel's colour alone.
  if ((b & 0x00FFFFFFu) == 0x00FFFFFFu) return (a & 0x00FFFFFFu) | Div255((a >> 24) * (b >> 24)) << 24;
  return Div255((a >> 24) * (b >> 24)) << 24 | Div255(((a >> 16) & 255) * ((b >> 16) & 255)) << 16 |
         Div255(((a >> 8) & 255) * ((b >> 8) & 255)) << 8 | Div255((a & 255) * (b & 255));
}

inline bool Compare(uint8_t func, uint32_t value, uint32_t reference) {
  switch (func) {
  case D3DCMP_NEVER: return false;
  case D3DCMP_LESS: return value < reference;
  case D3DCMP_EQUAL: return value == reference;
  case D3DCMP_LESSEQUAL: return value <= reference;
  case D3DCMP_GREATER: return value > reference;
  case D3DCMP_NOTEQUAL: return value != reference;
  case D3DCMP_GREATEREQUAL: return value >= reference;
  default: return true;
  }
}

// One blend factor for the channel at `shift` (24 is alpha), 0..255.
inline uint32_t BlendFactor(uint8_t factor, uint32_t src, uint32_t dst, int shift) {
  uint32_t sa = src >> 24, da = dst >> 24;
  uint32_t sc = (src >> shift) & 255, dc = (dst >> shift) & 255;
  switch (factor) {
  case D3DBLEND_ZERO: return 0;
  case D3DBLEND_ONE: return 255;
  case D3DBLEND_SRCCOLOR: return sc;
  case D3DBLEND_INVSRCCOLOR: return 255 - sc;
  case D3DBLEND_SRCALPHA: return sa;
  case D3DBLEND_INVSRCALPHA: return 255 - sa;
  case D3DBLEND_DESTALPHA: return da;
  case D3DBLEND_INVDESTALPHA: return 255 - da;
  case D3DBLEND_DESTCOLOR: return dc;
  case D3DBLEND_INVDESTCOLOR: return 255 - dc;
  default: return 255;
  }
}

// Div255 on the two 16-bit lanes of x (each at most 255 x 255).
__attribute__((always_inline)) inline uint32_t Div255Lanes(uint32_t x) {
  x += 0x00800080u;
  return ((x + ((x >> 8) & 0x00FF00FFu)) >> 8) & 0x00FF00FFu;
}

// The common alpha blend: source alpha over the destination, every channel, two
// channels at a time.
__attribute__((always_inline)) inline uint32_t BlendSrcAlpha(uint32_t s, uint32_t d) {
  uint32_t a = s >> 24;
  if (a == 255) return s;
  if (a == 0) return d;
  uint32_t ia = 255 - a;
  uint32_t rb = Div255Lanes((s & 0x00FF00FFu) * a + (d & 0x00FF00FFu) * ia);
  uint32_t ag = Div255Lanes(((s >> 8) & 0x00FF00FFu) * a + ((d >> 8) & 0x00FF00FFu) * ia);
  return rb | ag << 8;
}

}  // namespace refraster
