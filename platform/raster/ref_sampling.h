// How the reference device reads a texture: one or two mip levels chosen per
// triangle, nearest or bilinear texels, addressed by wrapping, mirroring or clamping.
// The sprites' case (bilinear or trilinear, wrapped) has loops of its own, four
// channels at a time with SSE2 where the compiler offers it (the browser build maps it
// onto WebAssembly's 128-bit SIMD); the general sampler handles everything else.
#pragma once
#include <cstdint>
#include "platform/raster/ref_pixel.h"
#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace refraster {

inline int Address(int i, int size, uint8_t mode) {
  switch (mode) {
  case D3DTADDRESS_WRAP: return i & (size - 1);
  case D3DTADDRESS_MIRROR: {
    int m = i & (2 * size - 1);
    return m < size ? m : 2 * size - 1 - m;
  }
  default: return i < 0 ? 0 : (i >= size ? size - 1 : i);
  }
}

// One mip level as the sampler sees it; coordinates arrive in 16.16 texels of level 0
// and are shifted down to this level.
struct Level {
  const uint32_t *texels = nullptr;
  int width = 1, height = 1;
  int shiftU = 0, shiftV = 0;
};

// How a triangle samples its texture, decided once per triangle from its texel
// footprint (the derivatives are constant across an affine triangle).
struct Sampling {
  Level level[2];
  int levels = 0;        // 0: no texture, 1: one level, 2: two levels blended
  uint32_t mipWeight = 0;   // weight of level[1], 0..256
  bool linear = true;
  bool opaque = false;
  uint8_t addressU = D3DTADDRESS_WRAP, addressV = D3DTADDRESS_WRAP;
};

// The four texels a bilinear sample of a wrapped level blends, at 16.16 texels of
// level 0: two rows, two columns, and the weights of the second of each in 256ths.
struct TexelSquare {
  const uint32_t *row0, *row1;
  int x0, x1;
  uint32_t fx, fy;
};
__attribute__((always_inline)) inline TexelSquare WrappedSquare(const Level &l, int64_t u, int64_t v) {
  int64_t s = (u >> l.shiftU) - 32768, t = (v >> l.shiftV) - 32768;
  int x = (int)(s >> 16), y = (int)(t >> 16);
  return {l.texels + (y & (l.height - 1)) * l.width, l.texels + ((y + 1) & (l.height - 1)) * l.width,
          x & (l.width - 1), (x + 1) & (l.width - 1), (uint32_t)(s >> 8) & 255, (uint32_t)(t >> 8) & 255};
}

#ifdef __SSE2__
// The same arithmetic as Lerp, four channels at a time: the two texels' channels are
// interleaved so that one multiply-add gives a (256 - f) + b f for each channel.
__attribute__((always_inline)) inline __m128i LerpWide(__m128i pairs, __m128i weights) {
  return _mm_srli_epi32(_mm_madd_epi16(pairs, weights), 8);
}
__attribute__((always_inline)) inline __m128i Weights(uint32_t f) {
  return _mm_set1_epi32((int)((f << 16) | (256 - f)));
}
__attribute__((always_inline)) inline __m128i TexelPair(uint32_t a, uint32_t b) {
  return _mm_unpacklo_epi8(_mm_unpacklo_epi8(_mm_cvtsi32_si128((int)a), _mm_cvtsi32_si128((int)b)), _mm_setzero_si128());
}
// Interleaves the 32-bit channels of two lerped results as 16-bit pairs.
__attribute__((always_inline)) inline __m128i ResultPair(__m128i a, __m128i b) {
  return _mm_unpacklo_epi16(_mm_packs_epi32(a, a), _mm_packs_epi32(b, b));
}
__attribute__((always_inline)) inline uint32_t Pack(__m128i c) {
  __m128i w = _mm_packs_epi32(c, c);
  return (uint32_t)_mm_cvtsi128_si32(_mm_packus_epi16(w, w));
}

// Bilinear sample of a wrapped level, left as four 32-bit channels.
__attribute__((always_inline)) inline __m128i BilinearWrapWide(const Level &l, int64_t u, int64_t v) {
  const TexelSquare q = WrappedSquare(l, u, v);
  __m128i wx = Weights(q.fx);
  __m128i top = LerpWide(TexelPair(q.row0[q.x0], q.row0[q.x1]), wx);
  __m128i bottom = LerpWide(TexelPair(q.row1[q.x0], q.row1[q.x1]), wx);
  return LerpWide(ResultPair(top, bottom), Weights(q.fy));
}

__attribute__((always_inline)) inline uint32_t BilinearWrap(const Level &l, int64_t u, int64_t v) {
  return Pack(BilinearWrapWide(l, u, v));
}

__attribute__((always_inline)) inline uint32_t TrilinearWrap(const Level &a, const Level &b, uint32_t weight, int64_t u,
                                                             int64_t v) {
  return Pack(LerpWide(ResultPair(BilinearWrapWide(a, u, v), BilinearWrapWide(b, u, v)), Weights(weight)));
}
#else
__attribute__((always_inline)) inline uint32_t BilinearWrap(const Level &l, int64_t u, int64_t v) {
  const TexelSquare q = WrappedSquare(l, u, v);
  return Lerp(Lerp(q.row0[q.x0], q.row0[q.x1], q.fx), Lerp(q.row1[q.x0], q.row1[q.x1], q.fx), q.fy);
}

inline uint32_t TrilinearWrap(const Level &a, const Level &b, uint32_t weight, int64_t u, int64_t v) {
  return Lerp(BilinearWrap(a, u, v), BilinearWrap(b, u, v), weight);
}
#endif

inline uint32_t SampleLevel(const Sampling &sm, const Level &l, int64_t u, int64_t v) {
  int64_t s = u >> l.shiftU, t = v >> l.shiftV;
  if (!sm.linear) {
    int x = Address((int)((s + 0) >> 16), l.width, sm.addressU);
    int y = Address((int)((t + 0) >> 16), l.height, sm.addressV);
    return l.texels[y * l.width + x];
  }
  s -= 32768;
  t -= 32768;
  int x = (int)(s >> 16), y = (int)(t >> 16);
  uint32_t fx = (uint32_t)(s >> 8) & 255, fy = (uint32_t)(t >> 8) & 255;
  int x0 = Address(x, l.width, sm.addressU), x1 = Address(x + 1, l.width, sm.addressU);
  int y0 = Address(y, l.height, sm.addressV), y1 = Address(y + 1, l.height, sm.addressV);
  const uint32_t *row0 = l.texels + y0 * l.width, *row1 = l.texels + y1 * l.width;
  return Lerp(Lerp(row0[x0], row0[x1], fx), Lerp(row1[x0], row1[x1], fx), fy);
}

// Any texture, any filter and address mode: the texel at 16.16 texels of level 0
// (opaque white without a texture).
inline uint32_t SampleGeneric(const Sampling &sm, int64_t u, int64_t v) {
  if (sm.levels == 0) return 0xFFFFFFFFu;
  uint32_t c = SampleLevel(sm, sm.level[0], u, v);
  if (sm.levels == 2) c = Lerp(c, SampleLevel(sm, sm.level[1], u, v), sm.mipWeight);
  return sm.opaque ? c | 0xFF000000u : c;
}

}  // namespace refraster
