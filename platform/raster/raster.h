// What the Direct3D 8 front end hands to a device: batches of screen-space triangles or
// lines drawn with one resolved state. The reference device (our software rasterizer)
// and the hardware device (OpenGL) are two implementations of this one interface, so
// the same scene can be drawn on both and compared.
#pragma once
#include <algorithm>
#include <cmath>
#include <cstdint>
#include "platform/d3d8/d3d8.h"

// One vertex as the devices see it: screen pixels with the pixel centres at integer
// coordinates, depth 0..1, reciprocal w, the diffuse colour 0xAARRGGBB and one (u, v).
struct RasterVertex {
  float x, y, z, rhw;
  uint32_t diffuse;
  float u, v;
};

// A texture's memory: every mip level as 32-bit 0xAARRGGBB texels, top row first.
// Sizes are powers of two (the devices report D3DPTEXTURECAPS_POW2). `version` grows
// whenever the texels may change (a lock for writing, a dirty rectangle), so that a
// device holding a copy (the hardware device's own record) knows to take it again.
struct RasterTexture {
  static constexpr int MaxLevels = 13;
  int width = 0;
  int height = 0;
  int levels = 0;
  bool opaque = false;   // X8R8G8B8: the alpha byte is ignored and reads as 255
  uint32_t *level[MaxLevels] = {};
  int levelWidth[MaxLevels] = {};
  int levelHeight[MaxLevels] = {};
  uint32_t version = 1;
};

// Where a colour or alpha comes from in the one texture stage the game uses.
enum RasterArg : uint8_t { ArgDiffuse, ArgTexture, ArgFactor };
// The stage's operation: take the first or the second argument, or their product.
enum RasterOp : uint8_t { OpSelect1, OpSelect2, OpModulate };

// Everything that decides how a batch is drawn, resolved from the render and texture
// stage states. Textures absent from the stage read as opaque white.
struct RasterState {
  const RasterTexture *texture = nullptr;
  RasterOp colorOp = OpModulate;
  RasterArg colorArg1 = ArgTexture, colorArg2 = ArgDiffuse;
  RasterOp alphaOp = OpSelect1;
  RasterArg alphaArg1 = ArgTexture, alphaArg2 = ArgDiffuse;
  uint32_t textureFactor = 0xFFFFFFFF;
  // Sampling: D3DTEXF_* values for magnification, minification and mip selection, and
  // D3DTADDRESS_* values (wrap, mirror or clamp; border reads as clamp).
  uint8_t magFilter = D3DTEXF_POINT, minFilter = D3DTEXF_POINT, mipFilter = D3DTEXF_NONE;
  uint8_t addressU = D3DTADDRESS_WRAP, addressV = D3DTADDRESS_WRAP;
  float lodBias = 0.0f;
  int maxMipLevel = 0;   // the largest level used (0 is the top level)
  // Per-pixel tests and blending, with D3DCMP_* and D3DBLEND_* values.
  bool alphaTest = false;
  uint8_t alphaFunc = D3DCMP_ALWAYS;
  uint8_t alphaRef = 0;
  bool depthTest = true;
  bool depthWrite = true;
  uint8_t depthFunc = D3DCMP_LESSEQUAL;
  bool blend = false;
  uint8_t srcBlend = D3DBLEND_ONE, destBlend = D3DBLEND_ZERO;
  uint8_t colorWriteMask = 0xF;   // D3DCOLORWRITEENABLE_* bits
  bool lastPixel = true;          // lines draw their end pixel
  // The viewport: drawing is confined to x in [clipLeft, clipRight), y likewise.
  int clipLeft = 0, clipTop = 0, clipRight = 0, clipBottom = 0;
  bool operator==(const RasterState &) const = default;
};

// Whether the stage reads its texture at all.
inline bool RasterUsesTexture(const RasterState &st) {
  auto reads = [](RasterOp op, RasterArg a, RasterArg b) {
    return (op != OpSelect2 && a == ArgTexture) || (op != OpSelect1 && b == ArgTexture);
  };
  return st.texture != nullptr && (reads(st.colorOp, st.colorArg1, st.colorArg2) ||
                                   reads(st.alphaOp, st.alphaArg1, st.alphaArg2));
}

// What the stage's colour and alpha come to, for the devices' fast paths: the vertex
// colour alone (a stage with no texture reads white, and white x diffuse = diffuse),
// texel x vertex colour in both, or anything else.
enum RasterCombine : uint8_t { CombineDiffuse, CombineModulate, CombineAny };
inline RasterCombine ClassifyCombine(const RasterState &st) {
  bool textured = RasterUsesTexture(st);
  auto diffuseOnly = [&](RasterOp op, RasterArg a, RasterArg b) {
    RasterArg picked = op == OpSelect2 ? b : a;
    if (op != OpModulate) return picked == ArgDiffuse || (picked == ArgTexture && !textured);
    return !textured && ((a == ArgTexture && b == ArgDiffuse) || (a == ArgDiffuse && b == ArgTexture));
  };
  auto modulate = [](RasterOp op, RasterArg a, RasterArg b) {
    return op == OpModulate && ((a == ArgTexture && b == ArgDiffuse) || (a == ArgDiffuse && b == ArgTexture));
  };
  if (diffuseOnly(st.colorOp, st.colorArg1, st.colorArg2) && diffuseOnly(st.alphaOp, st.alphaArg1, st.alphaArg2))
    return CombineDiffuse;
  if (textured && !st.texture->opaque && modulate(st.colorOp, st.colorArg1, st.colorArg2) &&
      modulate(st.alphaOp, st.alphaArg1, st.alphaArg2))
    return CombineModulate;
  return CombineAny;
}

// The mip levels one triangle samples, chosen once from its texel footprint (the texture
// coordinates' steps per pixel in x and y): both devices pick them by this one rule, so
// a sprite shrunk on screen blends the same two levels with the same weight on either.
struct RasterLevels {
  int first = 0;          // the level sampled (or the first of the two blended)
  int second = 0;         // the level blended in, when weight > 0
  uint32_t weight = 0;    // the second level's share, 0..255 of 256
  bool linear = true;     // bilinear within a level (else the nearest texel)
};
inline RasterLevels ChooseRasterLevels(const RasterState &st, const RasterTexture &t, double dudx, double dvdx,
                                       double dudy, double dvdy) {
  RasterLevels out;
  double w = t.width, h = t.height;
  // The longer of the footprint's two sides, squared: its logarithm halved is the
  // level, with one logarithm and no square roots (this runs for every triangle).
  double ux = dudx * w, vx = dvdx * h, uy = dudy * w, vy = dvdy * h;
  double rho2 = std::max(ux * ux + vx * vx, uy * uy + vy * vy);
  double lambda = (rho2 > 0 ? 0.5 * std::log2(rho2) : -100.0) + st.lodBias;
  // A footprint from hostile coordinates (infinite or NaN) is held to a sane range.
  lambda = lambda == lambda ? std::clamp(lambda, -100.0, 100.0) : 0.0;
  int base = std::min(st.maxMipLevel, t.levels - 1);
  int last = t.levels - 1;
  out.first = out.second = base;
  if (lambda <= 0.0 || st.mipFilter == D3DTEXF_NONE) {
    out.linear = (lambda <= 0.0 ? st.magFilter : st.minFilter) == D3DTEXF_LINEAR;
    return out;
  }
  out.linear = st.minFilter == D3DTEXF_LINEAR;
  if (st.mipFilter == D3DTEXF_POINT) {
    int i = lambda <= 0.5 ? base : base + (int)std::ceil(lambda + 0.5) - 1;
    out.first = out.second = std::min(i, last);
    return out;
  }
  int i = base + (int)std::floor(lambda);
  if (i >= last) {
    out.first = out.second = last;
    return out;
  }
  uint32_t weight = (uint32_t)((lambda - std::floor(lambda)) * 256.0 + 0.5);   // to the nearest, halves up
  out.first = out.second = weight >= 256 ? i + 1 : i;
  if (weight > 0 && weight < 256) {
    out.second = i + 1;
    out.weight = weight;
  }
  return out;
}

class RasterDevice {
public:
  virtual ~RasterDevice() = default;
  // Resizes the back buffer and depth buffer; their contents are then undefined.
  virtual bool Resize(int width, int height) = 0;
  // Clears the rectangles (all of the back buffer when count is 0) within the clip of
  // `state`: the colour with D3DCLEAR_TARGET, the depth with D3DCLEAR_ZBUFFER.
  virtual void Clear(const RasterState &state, int count, const D3DRECT *rects, DWORD flags,
                     uint32_t color, float z) = 0;
  // `count` vertices, three per triangle; culling has been done already.
  virtual void DrawTriangles(const RasterState &state, const RasterVertex *vertices, int count) = 0;
  // `count` vertices, two per line.
  virtual void DrawLines(const RasterState &state, const RasterVertex *vertices, int count) = 0;
  // Shows the back buffer in the window (scaled into its drawable area, keeping the
  // aspect ratio) and keeps it as the last presented picture.
  virtual void Present(HWND window) = 0;
  // The last presented picture, width x height 0xAARRGGBB pixels, top row first.
  virtual bool ReadBack(uint32_t *pixels, int width, int height) = 0;
  // A texture is going away: the device drops what it holds for it.
  virtual void ForgetTexture(RasterTexture *texture) = 0;
  // One line for the start-up log: which device this is.
  virtual const char *Describe() = 0;
  // How Present waits for the display: 0 shows the picture at once, n > 0 on the n-th
  // vertical retrace. A device that cannot wait (or does not show anything) ignores it.
  virtual void SetPresentInterval(int) {}
};

// Says once on stderr that a device call got something this stand-in does not support;
// `what` names the call and the state, `value` the value it got.
void D3DWarnOnce(const char *what, DWORD value);
