// What the desktop's OpenGL device and the browser's WebGL 2 device share: Direct3D's
// comparison, blend and texture-address settings as GL values, and lines made one pixel
// longer, since GL leaves out the last pixel that Direct3D draws. Included after the
// build's own GL header.
#pragma once
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/raster/raster.h"

// The part of the fragment programs both GL devices share, between their own inputs
// (vColour at least) and their main: the texture stage's uniforms, its arguments and
// operations, and the alpha test's comparisons (Direct3D's numbering).
inline constexpr const char *StageFunctionsGlsl = R"(
uniform sampler2D tex;
uniform int hasTexture;
uniform int opaqueTexture;
uniform int colorOp, colorArg1, colorArg2, alphaOp, alphaArg1, alphaArg2;
uniform vec4 factor;
uniform int alphaFunc;
uniform float alphaRef;
out vec4 fragColour;
vec4 arg(int a, vec4 t) { return a == 1 ? t : (a == 2 ? factor : vColour); }
vec4 op(int o, int a1, int a2, vec4 t) {
  vec4 x = arg(a1, t), y = arg(a2, t);
  return o == 0 ? x : (o == 1 ? y : x * y);
}
bool passes(int f, float v, float r) {
  if (f == 1) return false;
  if (f == 2) return v < r;
  if (f == 3) return v == r;
  if (f == 4) return v <= r;
  if (f == 5) return v > r;
  if (f == 6) return v != r;
  if (f == 7) return v >= r;
  return true;
}
)";

inline GLenum CompareFunction(uint8_t f) {
  static const GLenum table[] = {GL_ALWAYS, GL_NEVER, GL_LESS, GL_EQUAL, GL_LEQUAL, GL_GREATER, GL_NOTEQUAL, GL_GEQUAL, GL_ALWAYS};
  return f <= 8 ? table[f] : GL_ALWAYS;
}

inline GLenum BlendFunction(uint8_t b) {
  switch (b) {
  case D3DBLEND_ZERO: return GL_ZERO;
  case D3DBLEND_SRCCOLOR: return GL_SRC_COLOR;
  case D3DBLEND_INVSRCCOLOR: return GL_ONE_MINUS_SRC_COLOR;
  case D3DBLEND_SRCALPHA: return GL_SRC_ALPHA;
  case D3DBLEND_INVSRCALPHA: return GL_ONE_MINUS_SRC_ALPHA;
  case D3DBLEND_DESTALPHA: return GL_DST_ALPHA;
  case D3DBLEND_INVDESTALPHA: return GL_ONE_MINUS_DST_ALPHA;
  case D3DBLEND_DESTCOLOR: return GL_DST_COLOR;
  case D3DBLEND_INVDESTCOLOR: return GL_ONE_MINUS_DST_COLOR;
  default: return GL_ONE;
  }
}

inline GLint WrapMode(uint8_t a) {
  return a == D3DTADDRESS_WRAP ? GL_REPEAT : (a == D3DTADDRESS_MIRROR ? GL_MIRRORED_REPEAT : GL_CLAMP_TO_EDGE);
}

// The texture stage's uniforms (whether there is a texture and it is opaque, its combine
// and the alpha test) for a program, through the device's own uniform calls. A program without one of them is not asked to set it:
// most programs use few of them.
template <class Program, class SetInt, class SetVec4, class SetFloat>
inline void SetStageUniforms(const Program &p, const RasterState &st, SetInt setInt, SetVec4 setVec4,
                             SetFloat setFloat) {
  auto integer = [&](GLint at, int value) {
    if (at >= 0) setInt(at, value);
  };
  integer(p.uHasTexture, st.texture != nullptr ? 1 : 0);
  integer(p.uOpaque, st.texture != nullptr && st.texture->opaque ? 1 : 0);
  integer(p.uColorOp, st.colorOp);
  integer(p.uColorArg1, st.colorArg1);
  integer(p.uColorArg2, st.colorArg2);
  integer(p.uAlphaOp, st.alphaOp);
  integer(p.uAlphaArg1, st.alphaArg1);
  integer(p.uAlphaArg2, st.alphaArg2);
  const uint32_t f = st.textureFactor;
  if (p.uFactor >= 0)
    setVec4(p.uFactor, ((f >> 16) & 255) / 255.0f, ((f >> 8) & 255) / 255.0f, (f & 255) / 255.0f, (f >> 24) / 255.0f);
  integer(p.uAlphaFunc, st.alphaTest ? (int)st.alphaFunc : (int)D3DCMP_ALWAYS);
  if (p.uAlphaRef >= 0) setFloat(p.uAlphaRef, (float)st.alphaRef);
}

// A line's vertex as both GL devices hand it over: the colour as four floats, in the
// order of a Direct3D colour's bytes (blue, green, red, alpha), so that the colour
// carried on past the last pixel may run beyond 0..1. Held to 0..1 there, it would bend
// the colours all along the line: a line brightening to full blue over seven pixels
// would reach only 0xE7 at its end.
struct LineVertex {
  float x, y, z, rhw;
  float colour[4];
  float u, v;
};

// Points vertex attributes 0 to 2 (position, colour, texture coordinates) at a buffer of
// device vertices, whose colour is four bytes, or of line vertices, whose colour is four
// floats, `stride` bytes apart, and enables them. `point` and `enable` are the device's
// own calls.
template <class Point, class Enable>
inline void PointAtVertexParts(bool line, GLsizei stride, Point point, Enable enable) {
  static_assert(offsetof(RasterVertex, x) == 0 && offsetof(LineVertex, x) == 0, "both begin with the position");
  auto at = [](size_t offset) { return reinterpret_cast<void *>(offset); };
  point(0, 4, GL_FLOAT, GL_FALSE, stride, at(0));
  if (line) point(1, 4, GL_FLOAT, GL_FALSE, stride, at(offsetof(LineVertex, colour)));
  else point(1, 4, GL_UNSIGNED_BYTE, GL_TRUE, stride, at(offsetof(RasterVertex, diffuse)));
  point(2, 2, GL_FLOAT, GL_FALSE, stride, at(line ? offsetof(LineVertex, u) : offsetof(RasterVertex, u)));
  for (GLuint i = 0; i < 3; ++i) enable(i);
}

// The line list as line vertices in the scratch list; with the last pixel, every line
// one pixel longer along its major axis, its colour, depth and texture coordinates
// carried on at the same rate (a point becomes a one-pixel line over it).
inline const LineVertex *GlLineVertices(const RasterVertex *v, int count, bool lastPixel,
                                        std::vector<LineVertex> &scratch) {
  // Each byte's value as a float, worked out once.
  static const struct Unit {
    float of[256];
    Unit() {
      for (int i = 0; i < 256; ++i) of[i] = (float)i / 255.0f;
    }
  } unit;
  scratch.resize((size_t)count);
  for (int i = 0; i < count; ++i) {
    LineVertex &out = scratch[(size_t)i];
    out.x = v[i].x;
    out.y = v[i].y;
    out.z = v[i].z;
    out.rhw = v[i].rhw;
    for (int c = 0; c < 4; ++c) out.colour[c] = unit.of[(v[i].diffuse >> (8 * c)) & 255];
    out.u = v[i].u;
    out.v = v[i].v;
  }
  if (!lastPixel) return scratch.data();
  for (int i = 0; i + 1 < count; i += 2) {
    LineVertex &a = scratch[(size_t)i], &b = scratch[(size_t)i + 1];
    float dx = b.x - a.x, dy = b.y - a.y;
    float major = std::max(std::fabs(dx), std::fabs(dy));
    if (major == 0) {
      b.x += 1.0f;
      continue;
    }
    float k = 1.0f / major;
    b.x += dx * k;
    b.y += dy * k;
    b.z += (b.z - a.z) * k;
    b.u += (b.u - a.u) * k;
    b.v += (b.v - a.v) * k;
    for (int c = 0; c < 4; ++c) b.colour[c] += (b.colour[c] - a.colour[c]) * k;
  }
  return scratch.data();
}

// What happens to a fragment that the stage has coloured: the depth test and depth
// writes, blending, and which channels are written.
inline void ApplyOutputState(const RasterState &st) {
  if (st.depthTest) {
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(CompareFunction(st.depthFunc));
  } else {
    glDisable(GL_DEPTH_TEST);
  }
  glDepthMask(st.depthWrite ? GL_TRUE : GL_FALSE);
  if (st.blend) {
    glEnable(GL_BLEND);
    glBlendFunc(BlendFunction(st.srcBlend), BlendFunction(st.destBlend));
  } else {
    glDisable(GL_BLEND);
  }
  glColorMask(st.colorWriteMask & 1 ? GL_TRUE : GL_FALSE, st.colorWriteMask & 2 ? GL_TRUE : GL_FALSE,
              st.colorWriteMask & 4 ? GL_TRUE : GL_FALSE, st.colorWriteMask & 8 ? GL_TRUE : GL_FALSE);
}
