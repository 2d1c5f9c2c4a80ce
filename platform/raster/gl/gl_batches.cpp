// The hardware device's batches: the state a batch is drawn with (program, texture stage
// uniforms, depth, blending, scissor), its vertices handed over in one of three layouts,
// clears, and the depth test left out where it cannot fail (raster/raster_depth.h).
// A line is made one pixel longer so that its last pixel is drawn (D3DRS_LASTPIXEL),
// since GL leaves out the last pixel that Direct3D draws.
#include <algorithm>
#include <cmath>
#include <cstring>
#include "platform/raster/gl/gl_device.h"

namespace glraster {

namespace {

GLenum CompareFunction(uint8_t f) {
  static const GLenum table[] = {GL_ALWAYS, GL_NEVER, GL_LESS, GL_EQUAL, GL_LEQUAL, GL_GREATER, GL_NOTEQUAL, GL_GEQUAL, GL_ALWAYS};
  return f <= 8 ? table[f] : GL_ALWAYS;
}

GLenum BlendFunction(uint8_t b) {
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

// What happens to a fragment that the stage has coloured: the depth test and depth
// writes, blending, and which channels are written.
void ApplyOutputState(const RasterState &st) {
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

// The texture stage's uniforms (whether there is a texture and it is opaque, its combine
// and the alpha test) for a program. A program without one of them is not asked to set
// it: most programs use few of them.
void SetStageUniforms(const GlFunctions &gl, const Program &p, const RasterState &st) {
  auto integer = [&](GLint at, int value) {
    if (at >= 0) gl.glUniform1i(at, value);
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
    gl.glUniform4f(p.uFactor, ((f >> 16) & 255) / 255.0f, ((f >> 8) & 255) / 255.0f, (f & 255) / 255.0f,
                   (f >> 24) / 255.0f);
  integer(p.uAlphaFunc, st.alphaTest ? (int)st.alphaFunc : (int)D3DCMP_ALWAYS);
  if (p.uAlphaRef >= 0) gl.glUniform1f(p.uAlphaRef, (float)st.alphaRef);
}

// The line list as line vertices in the scratch list; with the last pixel, every line
// one pixel longer along its major axis, its colour, depth and texture coordinates
// carried on at the same rate (a point becomes a one-pixel line over it).
const LineVertex *GlLineVertices(const RasterVertex *v, int count, bool lastPixel, std::vector<LineVertex> &scratch) {
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

// The texel steps per pixel (du/dx, dv/dx, du/dy, dv/dy) of one triangle, as the
// reference device takes them: constant over an affine triangle, and at its centre when
// the corners' depths differ. False for a triangle with no area.
bool TexelSteps(const RasterVertex &a, const RasterVertex &b, const RasterVertex &c, double steps[4]) {
  double ex1 = (double)b.x - a.x, ey1 = (double)b.y - a.y, ex2 = (double)c.x - a.x, ey2 = (double)c.y - a.y;
  double det = ex1 * ey2 - ex2 * ey1;
  if (det == 0 || det != det) return false;
  bool perspective = a.rhw != b.rhw || a.rhw != c.rhw;
  double w0 = perspective ? a.rhw : 1.0, w1 = perspective ? b.rhw : 1.0, w2 = perspective ? c.rhw : 1.0;
  // One division per triangle: the steps only choose a level, so the last bit of a
  // product with the reciprocal serves as well as a quotient.
  const double perArea = 1.0 / det;
  auto slopes = [&](double a0, double a1, double a2, double *ddx, double *ddy) {
    double d1 = a1 - a0, d2 = a2 - a0;
    *ddx = (d1 * ey2 - d2 * ey1) * perArea;
    *ddy = (d2 * ex1 - d1 * ex2) * perArea;
  };
  double udx, udy, vdx, vdy;
  slopes(a.u * w0, b.u * w1, c.u * w2, &udx, &udy);
  slopes(a.v * w0, b.v * w1, c.v * w2, &vdx, &vdy);
  if (!perspective) {
    steps[0] = udx, steps[1] = vdx, steps[2] = udy, steps[3] = vdy;
    return true;
  }
  double wdx, wdy;
  slopes(w0, w1, w2, &wdx, &wdy);
  double cx = ((double)a.x + b.x + c.x) / 3.0 - a.x, cy = ((double)a.y + b.y + c.y) / 3.0 - a.y;
  double q = w0 + wdx * cx + wdy * cy;
  double u = (a.u * w0 + udx * cx + udy * cy) / q, v = (a.v * w0 + vdx * cx + vdy * cy) / q;
  steps[0] = (udx - u * wdx) / q, steps[1] = (vdx - v * wdx) / q;
  steps[2] = (udy - u * wdy) / q, steps[3] = (vdy - v * wdy) / q;
  return true;
}

// Whether a batch of triangles is drawn from its texture's level strip: a mipmapped
// texture multiplied by the vertex colour, one filter within the levels. Drawn so, the
// levels and their weight are chosen per triangle (as the reference device does) and
// each pixel reads two single-level textures, which costs a software OpenGL half of
// what its own per-pixel level choice does (where the profile draws so).
bool UsesStrip(const RasterState &st) {
  return glprofile::LevelStrip && st.texture != nullptr && !st.alphaTest && st.texture->levels > 1 && st.mipFilter != D3DTEXF_NONE &&
         st.minFilter == st.magFilter && ClassifyCombine(st) == CombineModulate;
}

}  // namespace

void OpenGLRaster::Clear(const RasterState &st, int count, const D3DRECT *rects, DWORD flags, uint32_t value,
                         float z) {
  Current();
  BeginFrame();
  if (flags & D3DCLEAR_ZBUFFER) {
    // A clear of the whole depth buffer starts the record of what it holds afresh;
    // any other first puts in the depth that draws have left out.
    if (ClearsWholeTarget(st, count, rects, width, height)) {
      depthRecord.Start(std::clamp(z, 0.0f, 1.0f));
      // Drawn without their test, the frame's batches never read the buffer: the
      // clear itself waits until depths are written.
      if (depthRecord.Known()) {
        flags &= ~(DWORD)D3DCLEAR_ZBUFFER;
        if (!(flags & D3DCLEAR_TARGET)) return;
      }
    } else {
      WriteLeftOutDepth();
    }
  }
  glEnable(GL_SCISSOR_TEST);
  glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
  glDepthMask(GL_TRUE);
  glClearColor(((value >> 16) & 255) / 255.0f, ((value >> 8) & 255) / 255.0f, (value & 255) / 255.0f,
               (value >> 24) / 255.0f);
  glprofile::ClearDepth(z);
  GLbitfield mask = ((flags & D3DCLEAR_TARGET) ? GL_COLOR_BUFFER_BIT : 0) | ((flags & D3DCLEAR_ZBUFFER) ? GL_DEPTH_BUFFER_BIT : 0);
  // The window's depth buffer may share its pixels with a stencil buffer the device
  // never uses: clearing both at once spares the driver keeping the stencil bits.
  if (direct && windowStencil && (flags & D3DCLEAR_ZBUFFER)) {
    glStencilMask(0xFF);
    glClearStencil(0);
    mask |= GL_STENCIL_BUFFER_BIT;
  }
  D3DRECT whole = {st.clipLeft, st.clipTop, st.clipRight, st.clipBottom};
  if (count == 0) {
    count = 1;
    rects = &whole;
  }
  for (int i = 0; i < count; ++i) {
    int x0 = std::max<int>(rects[i].x1, st.clipLeft), x1 = std::min<int>(rects[i].x2, st.clipRight);
    int y0 = std::max<int>(rects[i].y1, st.clipTop), y1 = std::min<int>(rects[i].y2, st.clipBottom);
    if (x0 >= x1 || y0 >= y1) continue;
    Scissor(x0, y0, x1, y1);
    glClear(mask);
  }
  applied = false;
}

void OpenGLRaster::DrawTriangles(const RasterState &st, const RasterVertex *v, int count) {
  Current();
  BeginFrame();
  DrawTrianglesAs(DepthState(st, v, count, false), v, count);
}

void OpenGLRaster::DrawTrianglesAs(const RasterState &st, const RasterVertex *v, int count) {
  if (UsesStrip(st)) {
    DrawStripTriangles(st, v, count);
    return;
  }
  Apply(st, 0);
  Layout(PlainLayout);
  UploadVertices(v, count * sizeof(RasterVertex));
  glDrawArrays(GL_TRIANGLES, 0, count);
}

void OpenGLRaster::DrawLines(const RasterState &st, const RasterVertex *v, int count) {
  Current();
  BeginFrame();
  DrawLinesAs(DepthState(st, v, count, true), v, count);
}

void OpenGLRaster::DrawLinesAs(const RasterState &st, const RasterVertex *v, int count) {
  Apply(st, 0);
  Layout(LineLayout);
  UploadVertices(GlLineVertices(v, count, st.lastPixel, lineScratch), count * sizeof(LineVertex));
  glDrawArrays(GL_LINES, 0, count);
}

// The state a batch is drawn with: without its depth test where it cannot fail (see
// raster/raster_depth.h), which a software OpenGL draws at a good part less.
const RasterState &OpenGLRaster::DepthState(const RasterState &st, const RasterVertex *v, int count, bool lines) {
  bool writeFirst = false;
  const RasterState &use = depthRecord.Consider(st, v, count, lines, [](float z) { return (double)z; }, 0.0, &writeFirst);
  if (writeFirst) WriteLeftOutDepth();
  return use;
}

// Does the whole clear that waited and writes the depths of the batches drawn without
// their test, in order; then draws test as asked until the next clear of the whole buffer.
void OpenGLRaster::WriteLeftOutDepth() {
  if (!depthRecord.Known()) return;
  if (depthRecord.ClearPending()) {
    glDisable(GL_SCISSOR_TEST);
    glDepthMask(GL_TRUE);
    glprofile::ClearDepth(depthRecord.Cleared());
    GLbitfield mask = GL_DEPTH_BUFFER_BIT;
    if (direct && windowStencil) {
      glStencilMask(0xFF);
      glClearStencil(0);
      mask |= GL_STENCIL_BUFFER_BIT;
    }
    glClear(mask);
    applied = false;
  }
  depthRecord.Replay([this](const RasterState &depthOnly, const RasterVertex *v, int count, bool lines) {
    if (lines) DrawLinesAs(depthOnly, v, count);
    else DrawTrianglesAs(depthOnly, v, count);
  });
  depthRecord.Forget();
}

void OpenGLRaster::DrawStripTriangles(const RasterState &st, const RasterVertex *v, int count) {
  const RasterTexture &t = *st.texture;
  float rect[RasterTexture::MaxLevels][4];
  StripRectangles(t, rect);
  stripScratch.resize((size_t)count);
  bool inside = true;
  for (int i = 0; i < count; ++i)
    inside = inside && v[i].u >= 0.0f && v[i].u <= 1.0f && v[i].v >= 0.0f && v[i].v <= 1.0f;
  for (int i = 0; i + 2 < count; i += 3) {
    double steps[4] = {0, 0, 0, 0};
    RasterLevels chosen;
    if (TexelSteps(v[i], v[i + 1], v[i + 2], steps))
      chosen = ChooseRasterLevels(st, t, steps[0], steps[1], steps[2], steps[3]);
    else
      chosen = ChooseRasterLevels(st, t, 0, 0, 0, 0);
    for (int k = 0; k < 3; ++k) {
      StripVertex &out = stripScratch[(size_t)(i + k)];
      out.vertex = v[i + k];
      std::memcpy(out.level0, rect[chosen.first], sizeof out.level0);
      std::memcpy(out.level1, rect[chosen.second], sizeof out.level1);
      out.mipWeight = (float)chosen.weight / 256.0f;
    }
  }
  Apply(st, inside ? StripInsideProgram : StripProgram);
  Layout(StripLayout);
  UploadVertices(stripScratch.data(), count * sizeof(StripVertex));
  glDrawArrays(GL_TRIANGLES, 0, count);
}

// Puts a batch's vertices into the bound layout's buffer. The buffer keeps its size
// from batch to batch and only grows, so the driver rewrites its storage instead of
// allocating new storage of a new size for every batch.
void OpenGLRaster::UploadVertices(const void *data, size_t bytes) {
  size_t &capacity = bufferCapacity[boundLayout];
  if (bytes > capacity) {
    capacity = std::max(bytes, std::max<size_t>(capacity * 2, 64 * 1024));
    gl.glBufferData(GL_ARRAY_BUFFER, (GLsizeiptr)capacity, nullptr, GL_STREAM_DRAW);
  }
  gl.glBufferSubData(GL_ARRAY_BUFFER, 0, (GLsizeiptr)bytes, data);
}

// Binds the vertex layout (and its buffer) a draw uses.
void OpenGLRaster::Layout(int layout) {
  if (layout == boundLayout) return;
  gl.glBindVertexArray(vertexArrays[layout]);
  gl.glBindBuffer(GL_ARRAY_BUFFER, buffers[layout]);
  boundLayout = layout;
}

// Points the vertex attributes of every layout at its buffer: position, colour and
// texture coordinates (0 to 2) of device vertices, whose colour is four bytes, and of
// line vertices, whose colour is four floats; the level strip's vertices add their
// triangle's two level rectangles and weight (3 to 5).
void OpenGLRaster::MakeLayouts() {
  static_assert(offsetof(RasterVertex, x) == 0 && offsetof(LineVertex, x) == 0, "both begin with the position");
  auto at = [](size_t offset) { return reinterpret_cast<void *>(offset); };
  for (int layout = 0; layout < LayoutCount; ++layout) {
    gl.glGenVertexArrays(1, &vertexArrays[layout]);
    gl.glBindVertexArray(vertexArrays[layout]);
    gl.glGenBuffers(1, &buffers[layout]);
    gl.glBindBuffer(GL_ARRAY_BUFFER, buffers[layout]);
    const bool line = layout == LineLayout;
    const GLsizei stride = line ? sizeof(LineVertex) : layout == PlainLayout ? sizeof(RasterVertex) : sizeof(StripVertex);
    gl.glVertexAttribPointer(0, 4, GL_FLOAT, GL_FALSE, stride, at(0));
    if (line) gl.glVertexAttribPointer(1, 4, GL_FLOAT, GL_FALSE, stride, at(offsetof(LineVertex, colour)));
    else gl.glVertexAttribPointer(1, 4, GL_UNSIGNED_BYTE, GL_TRUE, stride, at(offsetof(RasterVertex, diffuse)));
    gl.glVertexAttribPointer(2, 2, GL_FLOAT, GL_FALSE, stride, at(line ? offsetof(LineVertex, u) : offsetof(RasterVertex, u)));
    for (GLuint i = 0; i < 3; ++i) gl.glEnableVertexAttribArray(i);
    if (layout == StripLayout) {
      gl.glVertexAttribPointer(3, 4, GL_FLOAT, GL_FALSE, stride, at(offsetof(StripVertex, level0)));
      gl.glVertexAttribPointer(4, 4, GL_FLOAT, GL_FALSE, stride, at(offsetof(StripVertex, level1)));
      gl.glVertexAttribPointer(5, 1, GL_FLOAT, GL_FALSE, stride, at(offsetof(StripVertex, mipWeight)));
      for (GLuint i = 3; i < 6; ++i) gl.glEnableVertexAttribArray(i);
    }
  }
  gl.glBindVertexArray(vertexArrays[PlainLayout]);
  gl.glBindBuffer(GL_ARRAY_BUFFER, buffers[PlainLayout]);
  boundLayout = PlainLayout;
}

// `strip` is the level strip's program for the batch, or 0 when it does not use the strip.
void OpenGLRaster::Apply(const RasterState &st, int strip) {
  // The texture may have changed under the same state, so it is looked at every time.
  const RasterTexture *t = st.texture;
  if (strip != 0) UploadStrip(t, st.addressU, st.addressV);
  else if (t != nullptr) Upload(t);
  if (applied && st == last && strip == lastStrip) return;
  RasterCombine combine = st.alphaTest ? CombineAny : ClassifyCombine(st);
  const Program &p = programs[strip != 0 ? strip : combine];
  if (current != &p) {
    gl.glUseProgram(p.id);
    current = &p;
  }
  if (strip != 0) SampleStripAs(st, p);
  else if (t != nullptr) SampleAs(st, p);
  SetStageUniforms(gl, p, st);
  ApplyOutputState(st);
  glEnable(GL_SCISSOR_TEST);
  Scissor(st.clipLeft, st.clipTop, st.clipRight, st.clipBottom);
  last = st;
  lastStrip = strip;
  applied = true;
}

}  // namespace glraster
