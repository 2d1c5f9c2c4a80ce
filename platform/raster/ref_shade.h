// The reference device's shading: what colour a pixel gets and how it lands in the
// buffers. The general path (any texture stage, depth test, alpha test, blend and write
// mask) shades one pixel at a time; spans of affine triangles run through loops
// specialised for the common cases (a sprite: bilinear or trilinear wrapped texels times
// the vertex colour, alpha-blended, depth less-or-equal). Included by the files that
// draw (ref_triangle.cpp, ref_line.cpp), each of which gets its own copy (an unnamed
// namespace): the compiler then inlines and specialises the span loops for the one file
// that runs them, as it does for anything private to a file.
#pragma once
#include <algorithm>
#include <cstddef>
#include "platform/raster/ref_rasterizer.h"
#include "platform/raster/ref_sampling.h"

namespace refraster {
namespace {

// Picks the levels and their weights from the texel footprint of one pixel step.
inline void ChooseLevels(const Batch &b, double dudx, double dvdx, double dudy, double dvdy, Sampling *sm) {
  sm->levels = 0;
  if (b.texture == nullptr) return;
  const RasterTexture &t = *b.texture;
  auto level = [&](int i, Level *l) {
    l->texels = t.level[i];
    l->width = t.levelWidth[i];
    l->height = t.levelHeight[i];
    l->shiftU = 0;
    while ((t.width >> l->shiftU) > l->width) ++l->shiftU;
    l->shiftV = 0;
    while ((t.height >> l->shiftV) > l->height) ++l->shiftV;
  };
  const RasterLevels chosen = ChooseRasterLevels(*b.s, t, dudx, dvdx, dudy, dvdy);
  sm->opaque = t.opaque;
  sm->addressU = b.s->addressU;
  sm->addressV = b.s->addressV;
  sm->linear = chosen.linear;
  sm->levels = chosen.weight > 0 ? 2 : 1;
  sm->mipWeight = chosen.weight;
  level(chosen.first, &sm->level[0]);
  if (chosen.weight > 0) level(chosen.second, &sm->level[1]);
}

inline uint32_t CombineGeneric(const Batch &b, uint32_t t, uint32_t d) {
  const RasterState *s = b.s;
  auto arg = [&](RasterArg a) { return a == ArgTexture ? t : (a == ArgFactor ? s->textureFactor : d); };
  auto op = [&](RasterOp o, RasterArg a1, RasterArg a2) {
    if (o == OpSelect1) return arg(a1);
    if (o == OpSelect2) return arg(a2);
    return Modulate(arg(a1), arg(a2));
  };
  uint32_t c = op(s->colorOp, s->colorArg1, s->colorArg2);
  uint32_t a = op(s->alphaOp, s->alphaArg1, s->alphaArg2);
  return (c & 0x00FFFFFFu) | (a & 0xFF000000u);
}

// Depth, alpha test, blending and the write mask for one pixel of any state.
inline void OutputGeneric(const Batch &b, size_t index, uint32_t src, uint32_t z) {
  const RasterState *s = b.s;
  uint32_t *backBuffer = b.color;
  uint16_t *depth = b.depth;
  if (s->alphaTest && !Compare(s->alphaFunc, src >> 24, s->alphaRef)) return;
  if (s->depthTest) {
    if (!Compare(s->depthFunc, z, depth[index])) return;
    if (s->depthWrite) depth[index] = (uint16_t)z;
  }
  uint32_t dst = backBuffer[index];
  uint32_t out = src;
  if (s->blend) {
    out = 0;
    for (int shift = 0; shift < 32; shift += 8) {
      uint32_t sf = BlendFactor(s->srcBlend, src, dst, shift);
      uint32_t df = BlendFactor(s->destBlend, src, dst, shift);
      uint32_t v = Div255(((src >> shift) & 255) * sf + ((dst >> shift) & 255) * df);
      out |= std::min<uint32_t>(v, 255) << shift;
    }
  }
  uint32_t mask = (s->colorWriteMask & 1 ? 0x00FF0000u : 0) | (s->colorWriteMask & 2 ? 0x0000FF00u : 0) |
                  (s->colorWriteMask & 4 ? 0x000000FFu : 0) | (s->colorWriteMask & 8 ? 0xFF000000u : 0);
  backBuffer[index] = (out & mask) | (dst & ~mask);
}

// One pixel with its attributes given directly (lines and perspective triangles).
inline void ShadePixel(const Batch &batch, int x, int y, const Sampling &sm, double r, double g, double b, double a,
                       double z, double u, double v) {
  const RasterTexture *texture = batch.texture;
  auto channel = [](double c) { return (uint32_t)Round(Clamp(c, 0.0, 255.0)); };
  uint32_t d = channel(a) << 24 | channel(r) << 16 | channel(g) << 8 | channel(b);
  uint32_t t = 0xFFFFFFFFu;
  if (sm.levels > 0 && texture != nullptr)
    t = SampleGeneric(sm, Round(u * texture->width * 65536.0), Round(v * texture->height * 65536.0));
  uint32_t src = CombineGeneric(batch, t, d);
  uint32_t zi = (uint32_t)Round(Clamp(z, 0.0, 1.0) * 65535.0);
  OutputGeneric(batch, (size_t)y * batch.width + x, src, zi);
}

// A span of an affine triangle: every attribute steps by a constant per pixel.
struct Span {
  int32_t r, g, b, a, dr, dg, db, da;   // 8.16 colour channels
  int64_t z, dz;                        // 16.16 depth in 1/65535 units
  int64_t u, v, du, dv;                 // 16.16 texels of level 0
};

// How a span's texels are read.
enum SampleKind { SampleNone, SampleBilinear, SampleTrilinear, SampleAny };

template <SampleKind SK, RasterCombine CK, OutputKind OK>
void RunSpan(const Batch &b, size_t index, int n, Span sp, const Sampling &sampling) {
  uint32_t *c = b.color + index;
  uint16_t *zb = b.depth + index;
  // A local copy: the stores into the colour buffer could otherwise alias the level
  // sizes and force them to be read again for every pixel.
  const Sampling sm = sampling;
  for (int i = 0; i < n; ++i) {
    uint32_t d = (uint32_t)(sp.a >> 16) << 24 | (uint32_t)(sp.r >> 16) << 16 | (uint32_t)(sp.g >> 16) << 8 |
                 (uint32_t)(sp.b >> 16);
    uint32_t z = (uint32_t)(sp.z >> 16);
    uint32_t src;
    if constexpr (CK == CombineDiffuse) {
      src = d;
    } else {
      uint32_t t;
      if constexpr (SK == SampleNone) t = 0xFFFFFFFFu;
      else if constexpr (SK == SampleBilinear) t = BilinearWrap(sm.level[0], sp.u, sp.v);
      else if constexpr (SK == SampleTrilinear)
        t = TrilinearWrap(sm.level[0], sm.level[1], sm.mipWeight, sp.u, sp.v);
      else t = SampleGeneric(sm, sp.u, sp.v);
      if constexpr (SK == SampleBilinear || SK == SampleTrilinear)
        if (sm.opaque) t |= 0xFF000000u;
      if constexpr (CK == CombineModulate) src = Modulate(t, d);
      else src = CombineGeneric(b, t, d);
    }
    if constexpr (OK == OutputAny) {
      OutputGeneric(b, index + i, src, z);
    } else if constexpr (OK == OutputBlendNoDepth) {
      c[i] = BlendSrcAlpha(src, c[i]);
    } else if constexpr (OK == OutputOpaqueNoDepth) {
      c[i] = src;
    } else if (z <= zb[i]) {
      zb[i] = (uint16_t)z;
      if constexpr (OK == OutputBlend) c[i] = BlendSrcAlpha(src, c[i]);
      else c[i] = src;
    }
    sp.r += sp.dr;
    sp.g += sp.dg;
    sp.b += sp.db;
    sp.a += sp.da;
    sp.z += sp.dz;
    sp.u += sp.du;
    sp.v += sp.dv;
  }
}

template <SampleKind SK, RasterCombine CK>
void RunSpanOutput(const Batch &b, size_t index, int n, const Span &sp, const Sampling &sm) {
  switch (b.output) {
  case OutputBlend: RunSpan<SK, CK, OutputBlend>(b, index, n, sp, sm); break;
  case OutputOpaque: RunSpan<SK, CK, OutputOpaque>(b, index, n, sp, sm); break;
  case OutputBlendNoDepth: RunSpan<SK, CK, OutputBlendNoDepth>(b, index, n, sp, sm); break;
  case OutputOpaqueNoDepth: RunSpan<SK, CK, OutputOpaqueNoDepth>(b, index, n, sp, sm); break;
  default: RunSpan<SK, CK, OutputAny>(b, index, n, sp, sm); break;
  }
}

template <SampleKind SK>
void RunSpanCombine(const Batch &b, size_t index, int n, const Span &sp, const Sampling &sm) {
  switch (b.combine) {
  case CombineDiffuse: RunSpanOutput<SampleNone, CombineDiffuse>(b, index, n, sp, sm); break;
  case CombineModulate: RunSpanOutput<SK, CombineModulate>(b, index, n, sp, sm); break;
  default: RunSpanOutput<SK, CombineAny>(b, index, n, sp, sm); break;
  }
}

}  // namespace
}  // namespace refraster
