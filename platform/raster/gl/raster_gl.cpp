// The hardware device over OpenGL 3.3 (core) in the SDL window's context. In a window
// the size of the picture, batches are drawn straight into the window's back buffer
// (its depth buffer too) and Present only swaps; where the window is larger (full
// screen on a larger desktop) they go into an off-screen colour target with a 16-bit
// depth buffer that Present scales into the window. Vertices move by half a pixel so
// that the pixel centres fall on integer coordinates as Direct3D has them, and a line
// is made one pixel longer so that its last pixel is drawn (D3DRS_LASTPIXEL). A copy of
// the presented picture is kept for the read-back once that has been used. Present
// waits for the vertical retrace when the device asks for it (full screen).
// Three things spare a software OpenGL work without changing the picture: mipmapped
// sprites read a strip of their texture's levels, the levels chosen per triangle; a
// depth test that cannot fail is left out until a draw could fail against it; and the
// viewport reaches well beyond the picture, so that sprites partly off the screen are
// trimmed by the scissor instead of clipped.
#include "platform/raster/gl/raster_gl.h"
#include <SDL.h>
#include <SDL_opengl.h>
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>
#include "platform/raster/raster_depth.h"
#include "platform/raster/gl/raster_gl_common.h"
#include "platform/drivers/headless/headless.h"
#include "platform/drivers/sdl/sdl_window.h"
#include "platform/user32/window_internal.h"

namespace {

// The OpenGL entry points beyond 1.1, looked up in the context once it exists.
#define QR_GL_FUNCTIONS(X)                                                           \
  X(PFNGLCREATESHADERPROC, glCreateShader)                                           \
  X(PFNGLSHADERSOURCEPROC, glShaderSource)                                           \
  X(PFNGLCOMPILESHADERPROC, glCompileShader)                                         \
  X(PFNGLGETSHADERIVPROC, glGetShaderiv)                                             \
  X(PFNGLGETSHADERINFOLOGPROC, glGetShaderInfoLog)                                   \
  X(PFNGLDELETESHADERPROC, glDeleteShader)                                           \
  X(PFNGLCREATEPROGRAMPROC, glCreateProgram)                                         \
  X(PFNGLATTACHSHADERPROC, glAttachShader)                                           \
  X(PFNGLBINDATTRIBLOCATIONPROC, glBindAttribLocation)                               \
  X(PFNGLLINKPROGRAMPROC, glLinkProgram)                                             \
  X(PFNGLGETPROGRAMIVPROC, glGetProgramiv)                                           \
  X(PFNGLGETPROGRAMINFOLOGPROC, glGetProgramInfoLog)                                 \
  X(PFNGLUSEPROGRAMPROC, glUseProgram)                                               \
  X(PFNGLDELETEPROGRAMPROC, glDeleteProgram)                                         \
  X(PFNGLGETUNIFORMLOCATIONPROC, glGetUniformLocation)                               \
  X(PFNGLUNIFORM1IPROC, glUniform1i)                                                 \
  X(PFNGLUNIFORM1FPROC, glUniform1f)                                                 \
  X(PFNGLUNIFORM2FPROC, glUniform2f)                                                 \
  X(PFNGLUNIFORM4FPROC, glUniform4f)                                                 \
  X(PFNGLGENBUFFERSPROC, glGenBuffers)                                               \
  X(PFNGLBINDBUFFERPROC, glBindBuffer)                                               \
  X(PFNGLBUFFERDATAPROC, glBufferData)                                               \
  X(PFNGLBUFFERSUBDATAPROC, glBufferSubData)                                         \
  X(PFNGLDELETEBUFFERSPROC, glDeleteBuffers)                                         \
  X(PFNGLGENVERTEXARRAYSPROC, glGenVertexArrays)                                     \
  X(PFNGLBINDVERTEXARRAYPROC, glBindVertexArray)                                     \
  X(PFNGLDELETEVERTEXARRAYSPROC, glDeleteVertexArrays)                               \
  X(PFNGLVERTEXATTRIBPOINTERPROC, glVertexAttribPointer)                             \
  X(PFNGLENABLEVERTEXATTRIBARRAYPROC, glEnableVertexAttribArray)                     \
  X(PFNGLGENFRAMEBUFFERSPROC, glGenFramebuffers)                                     \
  X(PFNGLBINDFRAMEBUFFERPROC, glBindFramebuffer)                                     \
  X(PFNGLFRAMEBUFFERRENDERBUFFERPROC, glFramebufferRenderbuffer)                     \
  X(PFNGLCHECKFRAMEBUFFERSTATUSPROC, glCheckFramebufferStatus)                       \
  X(PFNGLDELETEFRAMEBUFFERSPROC, glDeleteFramebuffers)                               \
  X(PFNGLGENRENDERBUFFERSPROC, glGenRenderbuffers)                                   \
  X(PFNGLBINDRENDERBUFFERPROC, glBindRenderbuffer)                                   \
  X(PFNGLRENDERBUFFERSTORAGEPROC, glRenderbufferStorage)                             \
  X(PFNGLDELETERENDERBUFFERSPROC, glDeleteRenderbuffers)                             \
  X(PFNGLBLITFRAMEBUFFERPROC, glBlitFramebuffer)                                     \
  X(PFNGLACTIVETEXTUREPROC, glActiveTexture)                                         \
  X(PFNGLGETFRAMEBUFFERATTACHMENTPARAMETERIVPROC, glGetFramebufferAttachmentParameteriv)

// Turning the window's clip origin to the upper left: OpenGL 4.5, optional.
typedef void (*ClipControlProc)(GLenum origin, GLenum depth);

struct GlFunctions {
#define QR_GL_MEMBER(type, name) type name = nullptr;
  QR_GL_FUNCTIONS(QR_GL_MEMBER)
#undef QR_GL_MEMBER
};

const char *const vertexShader = R"(#version 330 core
layout(location = 0) in vec4 position;
layout(location = 1) in vec4 colour;
layout(location = 2) in vec2 texcoord;
layout(location = 3) in vec4 level0;
layout(location = 4) in vec4 level1;
layout(location = 5) in float mipWeight;
uniform float perPixel;
uniform float origin;
out vec4 vColour;
out vec2 vTexcoord;
flat out vec4 vLevel0;
flat out vec4 vLevel1;
flat out float vMipWeight;
out vec4 vLevelCoords;
void main() {
  float w = position.w > 0.0 ? 1.0 / position.w : 1.0;
  // The viewport is a power of two wide and high and the picture sits a whole number
  // of pixels inside it, so this mapping and the viewport's own are exact in single
  // precision: a vertex at a whole, half or quarter pixel reaches the rasterizer
  // exactly there, and lines and edges through pixel centres break their ties by rule
  // rather than by rounding.
  vec2 ndc = (position.xy + origin) * perPixel - 1.0;
  gl_Position = vec4(ndc * w, (position.z * 2.0 - 1.0) * w, w);
  vColour = colour.bgra;
  vTexcoord = texcoord;
  vLevel0 = level0;
  vLevel1 = level1;
  vMipWeight = mipWeight;
  // Both levels' coordinates in the strip, for a triangle whose coordinates all lie
  // within 0..1 (no folding needed): they are affine across it, so they can be
  // interpolated as they are instead of worked out for every pixel.
  vLevelCoords = vec4(level0.xy + texcoord * level0.zw, level1.xy + texcoord * level1.zw);
}
)";

// The five fragment programs: COMBINE 0 the vertex colour alone, 1 texel x vertex
// colour, 2 any stage setting and the alpha test, driven by uniforms, 3 texel x vertex
// colour from the texture's level strip: the coordinate folded into 0..1 by the address
// mode, then two bilinear reads in the triangle's two levels, blended by its weight; 4
// the same for coordinates that need no folding, read as they were interpolated.
// Each is this device's inputs, then the shared stage functions, then its main.
const char *const fragmentHead = R"(
in vec4 vColour;
in vec2 vTexcoord;
flat in vec4 vLevel0;
flat in vec4 vLevel1;
flat in float vMipWeight;
in vec4 vLevelCoords;
uniform vec2 address;
)";
const char *const fragmentMain = R"(
vec2 fold(vec2 c) {
  vec2 m = mod(c, 2.0);
  vec2 wrapped = fract(c), mirrored = 1.0 - abs(1.0 - m), clamped = clamp(c, 0.0, 1.0);
  return mix(mix(wrapped, mirrored, step(0.5, address)), clamped, step(1.5, address));
}
void main() {
#if COMBINE == 0
  fragColour = vColour;
#elif COMBINE == 1
  fragColour = texture(tex, vTexcoord) * vColour;
#elif COMBINE == 3
  vec2 c = fold(vTexcoord);
  vec4 t0 = texture(tex, vLevel0.xy + c * vLevel0.zw), t1 = texture(tex, vLevel1.xy + c * vLevel1.zw);
  fragColour = mix(t0, t1, vMipWeight) * vColour;
#elif COMBINE == 4
  fragColour = mix(texture(tex, vLevelCoords.xy), texture(tex, vLevelCoords.zw), vMipWeight) * vColour;
#else
  vec4 t = hasTexture != 0 ? texture(tex, vTexcoord) : vec4(1.0);
  if (opaqueTexture != 0) t.a = 1.0;
  vec3 c = op(colorOp, colorArg1, colorArg2, t).rgb;
  float a = op(alphaOp, alphaArg1, alphaArg2, t).a;
  if (alphaFunc != 8 && !passes(alphaFunc, floor(a * 255.0 + 0.5), alphaRef)) discard;
  fragColour = vec4(c, a);
#endif
}
)";


// A triangle's vertex as the level strip draws it: the vertex, then the rectangles of its
// two levels in the strip (origin and size, in the strip's 0..1 coordinates) and the
// second level's weight, the same at all three corners.
struct StripVertex {
  RasterVertex vertex;
  float level0[4];
  float level1[4];
  float mipWeight;
};

// Which fragment program draws a state: the three above by the stage's combine, and the
// level strip's.
constexpr int StripProgram = 3;
// The level strip's program for a batch whose texture coordinates all lie within 0..1,
// where the strip's borders already give what each address mode would: the two levels'
// coordinates come interpolated, with no folding per pixel.
constexpr int StripInsideProgram = 4;
constexpr int ProgramCount = 5;

// The vertex layouts a batch is handed over in.
constexpr int PlainLayout = 0, StripLayout = 1, LineLayout = 2, LayoutCount = 3;

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

struct Program {
  GLuint id = 0;
  GLint uPerPixel = -1, uOrigin = -1, uHasTexture = -1, uOpaque = -1, uColorOp = -1, uColorArg1 = -1, uColorArg2 = -1;
  GLint uAlphaOp = -1, uAlphaArg1 = -1, uAlphaArg2 = -1, uFactor = -1, uAlphaFunc = -1, uAlphaRef = -1, uAddress = -1;
};

class OpenGLRaster final : public RasterDevice {
public:
  OpenGLRaster(SDL_Window *sdlWindow, SDL_GLContext glContext) : window(sdlWindow), context(glContext) {}
  ~OpenGLRaster() override {
    Current();
    if (loaded) {
      for (Program &p : programs)
        if (p.id != 0) gl.glDeleteProgram(p.id);
      gl.glDeleteBuffers(LayoutCount, buffers);
      gl.glDeleteVertexArrays(LayoutCount, vertexArrays);
      DeleteTargets();
    }
    SDL_GL_DeleteContext(context);
  }

  bool Init(int w, int h) {
    Current();
#define QR_GL_LOAD(type, name)                                          \
  gl.name = reinterpret_cast<type>(SDL_GL_GetProcAddress(#name));       \
  if (gl.name == nullptr) {                                             \
    std::fprintf(stderr, "d3d8: hardware device unavailable: OpenGL lacks %s\n", #name); \
    return false;                                                       \
  }
    QR_GL_FUNCTIONS(QR_GL_LOAD)
#undef QR_GL_LOAD
    loaded = true;
    clipControl = reinterpret_cast<ClipControlProc>(SDL_GL_GetProcAddress("glClipControl"));
    SDL_GL_SetSwapInterval(0);
    // The window's own buffers can take the picture when they have a depth buffer too.
    GLint depthBits = 0;
    gl.glBindFramebuffer(GL_FRAMEBUFFER, 0);
    gl.glGetFramebufferAttachmentParameteriv(GL_FRAMEBUFFER, GL_DEPTH, GL_FRAMEBUFFER_ATTACHMENT_DEPTH_SIZE, &depthBits);
    windowDepth = depthBits >= 16;
    GLint stencilBits = 0;
    gl.glGetFramebufferAttachmentParameteriv(GL_FRAMEBUFFER, GL_STENCIL, GL_FRAMEBUFFER_ATTACHMENT_STENCIL_SIZE, &stencilBits);
    windowStencil = stencilBits > 0;
    for (int i = 0; i < ProgramCount; ++i)
      if (!Link(i, &programs[i])) return false;
    // Three vertex layouts: the devices' own vertices, handed over as they come; the
    // level strip's, which carry their triangle's levels; and lines', whose colours are
    // floats.
    for (int layout = 0; layout < LayoutCount; ++layout) {
      gl.glGenVertexArrays(1, &vertexArrays[layout]);
      gl.glBindVertexArray(vertexArrays[layout]);
      gl.glGenBuffers(1, &buffers[layout]);
      gl.glBindBuffer(GL_ARRAY_BUFFER, buffers[layout]);
      const GLsizei stride = layout == LineLayout    ? sizeof(LineVertex)
                             : layout == PlainLayout ? sizeof(RasterVertex)
                                                     : sizeof(StripVertex);
      PointAtVertexParts(layout == LineLayout, stride, gl.glVertexAttribPointer, gl.glEnableVertexAttribArray);
      auto at = [](size_t offset) { return reinterpret_cast<void *>(offset); };
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
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
    renderer = reinterpret_cast<const char *>(glGetString(GL_RENDERER));
    description = std::string("OpenGL ") + reinterpret_cast<const char *>(glGetString(GL_VERSION)) + " on " + renderer;
    return Resize(w, h);
  }

  bool Resize(int w, int h) override {
    Current();
    DeleteTargets();
    width = w;
    height = h;
    for (int i = 0; i < 2; ++i) {
      gl.glGenFramebuffers(1, &framebuffer[i]);
      gl.glBindFramebuffer(GL_FRAMEBUFFER, framebuffer[i]);
      gl.glGenRenderbuffers(1, &colourBuffer[i]);
      gl.glBindRenderbuffer(GL_RENDERBUFFER, colourBuffer[i]);
      gl.glRenderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, w, h);
      gl.glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, colourBuffer[i]);
      if (i == 0) {
        gl.glGenRenderbuffers(1, &depthBuffer);
        gl.glBindRenderbuffer(GL_RENDERBUFFER, depthBuffer);
        gl.glRenderbufferStorage(GL_RENDERBUFFER, GL_DEPTH_COMPONENT16, w, h);
        gl.glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER, depthBuffer);
      }
      if (gl.glCheckFramebufferStatus(GL_FRAMEBUFFER) != GL_FRAMEBUFFER_COMPLETE) {
        std::fprintf(stderr, "d3d8: hardware device unavailable: no %dx%d render target\n", w, h);
        return false;
      }
      glClearColor(0, 0, 0, 1);
      glClear(GL_COLOR_BUFFER_BIT);
    }
    // The square viewport the vertex shader maps onto: a power of two at least as large
    // as the picture, and up to four times as large with the picture in its middle.
    // Only what crosses the viewport's edge is clipped, and a software OpenGL sends a
    // whole batch down its slow path for one clipped triangle: a sprite half off the
    // screen would cost every sprite drawn with it. Within the margin, the scissor
    // trims it as cheaply as anything else.
    int picture = 1;
    while (picture < std::max(w, h)) picture *= 2;
    GLint largest[2] = {picture, picture};
    glGetIntegerv(GL_MAX_VIEWPORT_DIMS, largest);
    viewportSize = picture;
    while (viewportSize < picture * 4 && viewportSize * 2 <= std::min(largest[0], largest[1])) viewportSize *= 2;
    guard = (viewportSize - picture) / 2;
    for (Program &p : programs) {
      gl.glUseProgram(p.id);
      gl.glUniform1f(p.uPerPixel, 2.0f / (float)viewportSize);
      gl.glUniform1f(p.uOrigin, 0.5f + (float)guard);
    }
    current = nullptr;
    inFrame = false;
    depthRecord.Forget();
    keptFrame = 0;
    frames = 0;
    BeginFrame();
    return true;
  }

  void SetPresentInterval(int interval) override {
    Current();
    // The driver's nearest: every retrace when it cannot wait for more than one.
    int set = SDL_GL_SetSwapInterval(interval);
    if (set != 0 && interval > 1) set = SDL_GL_SetSwapInterval(1);
    if (interval > 0 && set == 0)
      std::fprintf(stderr, "d3d8: presenting on the vertical retrace (swap interval %d)\n", SDL_GL_GetSwapInterval());
    else if (interval > 0)
      std::fprintf(stderr, "d3d8: the display cannot wait for the vertical retrace (%s); presenting at once\n",
                   SDL_GetError());
  }

  void Clear(const RasterState &st, int count, const D3DRECT *rects, DWORD flags, uint32_t value, float z) override {
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
    glClearDepth(z);
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

  void DrawTriangles(const RasterState &st, const RasterVertex *v, int count) override {
    Current();
    BeginFrame();
    DrawTrianglesAs(DepthState(st, v, count, false), v, count);
  }

  void DrawTrianglesAs(const RasterState &st, const RasterVertex *v, int count) {
    if (UsesStrip(st)) {
      DrawStripTriangles(st, v, count);
      return;
    }
    Apply(st, 0);
    Layout(PlainLayout);
    UploadVertices(v, count * sizeof(RasterVertex));
    glDrawArrays(GL_TRIANGLES, 0, count);
  }

  void DrawLines(const RasterState &st, const RasterVertex *v, int count) override {
    Current();
    BeginFrame();
    DrawLinesAs(DepthState(st, v, count, true), v, count);
  }

  void DrawLinesAs(const RasterState &st, const RasterVertex *v, int count) {
    Apply(st, 0);
    Layout(LineLayout);
    UploadVertices(GlLineVertices(v, count, st.lastPixel, lineScratch), count * sizeof(LineVertex));
    glDrawArrays(GL_LINES, 0, count);
  }

  void Present(HWND target) override {
    Current();
    BeginFrame();
    glDisable(GL_SCISSOR_TEST);
    frames += 1;
    // The presented picture is kept (for the read-back) from the first read-back on,
    // and the first picture always, so that reading right after it works.
    bool keep = keepPresented || frames == 1;
    if (keep) {
      gl.glBindFramebuffer(GL_READ_FRAMEBUFFER, direct ? 0 : framebuffer[0]);
      gl.glBindFramebuffer(GL_DRAW_FRAMEBUFFER, framebuffer[1]);
      // The copy's first row is the picture's top, as in the off-screen target.
      if (direct) gl.glBlitFramebuffer(0, height, width, 0, 0, 0, width, height, GL_COLOR_BUFFER_BIT, GL_NEAREST);
      else gl.glBlitFramebuffer(0, 0, width, height, 0, 0, width, height, GL_COLOR_BUFFER_BIT, GL_NEAREST);
      keptFrame = frames;
    }
    SDL_Window *shown = SdlWindowOf(target);
    if (shown == window) {
      if (!direct) {
        // The window is not the picture's size (full screen, or a window resized): the
        // picture is scaled into it, keeping its aspect ratio, black bands around.
        int dw = 0, dh = 0;
        SDL_GL_GetDrawableSize(window, &dw, &dh);
        int w = dw, h = dh;
        if ((int64_t)dw * height > (int64_t)dh * width) w = (int)((int64_t)dh * width / height);
        else h = (int)((int64_t)dw * height / width);
        int x = (dw - w) / 2, y = (dh - h) / 2;
        gl.glBindFramebuffer(GL_READ_FRAMEBUFFER, framebuffer[0]);
        gl.glBindFramebuffer(GL_DRAW_FRAMEBUFFER, 0);
        glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
        glClearColor(0, 0, 0, 1);
        glClear(GL_COLOR_BUFFER_BIT);
        // The target's first row is the picture's top; the window's first row is its bottom.
        // A whole multiple of the picture (a scaled window) keeps every pixel a sharp
        // square; any other size (full screen) is filtered.
        const bool wholeMultiple = w % width == 0 && h % height == 0 && w / width == h / height;
        gl.glBlitFramebuffer(0, 0, width, height, x, y + h, x + w, y, GL_COLOR_BUFFER_BIT,
                             wholeMultiple ? GL_NEAREST : GL_LINEAR);
      }
      SDL_GL_SwapWindow(window);
    } else if (!overrideComplaint) {
      overrideComplaint = true;
      std::fprintf(stderr, "d3d8: hardware device presents only into its own window\n");
    }
    inFrame = false;
  }

  bool ReadBack(uint32_t *pixels, int w, int h) override {
    if (w != width || h != height) return false;
    Current();
    // The copy of the last presented picture; from now on every Present keeps one.
    keepPresented = true;
    if (keptFrame != frames || frames == 0) return false;
    gl.glBindFramebuffer(GL_READ_FRAMEBUFFER, framebuffer[1]);
    glReadPixels(0, 0, w, h, GL_BGRA, GL_UNSIGNED_BYTE, pixels);
    for (int i = 0; i < w * h; ++i) pixels[i] |= 0xFF000000u;
    if (inFrame) gl.glBindFramebuffer(GL_READ_FRAMEBUFFER, direct ? 0 : framebuffer[0]);
    return true;
  }

  void ForgetTexture(RasterTexture *t) override {
    for (uint32_t *name : {&t->deviceId, &t->stripId}) {
      if (*name == 0) continue;
      Current();
      GLuint id = *name;
      glDeleteTextures(1, &id);
      if (boundTexture == id) boundTexture = 0;
      *name = 0;
    }
    t->uploadedVersion = 0;
    t->stripVersion = 0;
  }

  const char *Describe() override { return description.c_str(); }

private:
  // Where the frame is drawn is chosen at its first clear or draw: straight into the
  // window's back buffer when the window is exactly the picture's size (a window),
  // otherwise into the off-screen target that Present scales into the window (full
  // screen on a larger desktop). The window's rows run bottom up; the picture's top
  // row lands at its top by the window's clip origin being turned to the upper left.
  void BeginFrame() {
    if (inFrame) return;
    inFrame = true;
    int dw = 0, dh = 0;
    SDL_GL_GetDrawableSize(window, &dw, &dh);
    direct = windowDepth && clipControl != nullptr && dw == width && dh == height;
    gl.glBindFramebuffer(GL_FRAMEBUFFER, direct ? 0 : framebuffer[0]);
    if (direct) {
      clipControl(GL_UPPER_LEFT, GL_NEGATIVE_ONE_TO_ONE);
      glViewport(-guard, height - viewportSize + guard, viewportSize, viewportSize);
    } else {
      if (clipControl != nullptr) clipControl(GL_LOWER_LEFT, GL_NEGATIVE_ONE_TO_ONE);
      glViewport(-guard, -guard, viewportSize, viewportSize);
    }
    applied = false;
  }

  // The scissor for picture rows y0 to y1 (exclusive), in the target's own rows.
  void Scissor(int x0, int y0, int x1, int y1) {
    if (direct) glScissor(x0, height - y1, std::max(0, x1 - x0), std::max(0, y1 - y0));
    else glScissor(x0, y0, std::max(0, x1 - x0), std::max(0, y1 - y0));
  }

  void Current() {
    if (SDL_GL_GetCurrentContext() != context) SDL_GL_MakeCurrent(window, context);
  }

  bool Link(int combine, Program *p) {
    char header[64];
    std::snprintf(header, sizeof header, "#version 330 core\n#define COMBINE %d\n", combine);
    const char *fragment[4] = {header, fragmentHead, StageFunctionsGlsl, fragmentMain};
    GLuint vs = Compile(GL_VERTEX_SHADER, &vertexShader, 1), fs = Compile(GL_FRAGMENT_SHADER, fragment, 4);
    if (vs == 0 || fs == 0) return false;
    p->id = gl.glCreateProgram();
    gl.glAttachShader(p->id, vs);
    gl.glAttachShader(p->id, fs);
    gl.glLinkProgram(p->id);
    gl.glDeleteShader(vs);
    gl.glDeleteShader(fs);
    GLint linked = 0;
    gl.glGetProgramiv(p->id, GL_LINK_STATUS, &linked);
    if (!linked) {
      char log[512] = "";
      gl.glGetProgramInfoLog(p->id, sizeof log, nullptr, log);
      std::fprintf(stderr, "d3d8: hardware device unavailable: shader link failed: %s\n", log);
      return false;
    }
    gl.glUseProgram(p->id);
    gl.glUniform1i(gl.glGetUniformLocation(p->id, "tex"), 0);
    p->uPerPixel = gl.glGetUniformLocation(p->id, "perPixel");
    p->uOrigin = gl.glGetUniformLocation(p->id, "origin");
    p->uHasTexture = gl.glGetUniformLocation(p->id, "hasTexture");
    p->uOpaque = gl.glGetUniformLocation(p->id, "opaqueTexture");
    p->uColorOp = gl.glGetUniformLocation(p->id, "colorOp");
    p->uColorArg1 = gl.glGetUniformLocation(p->id, "colorArg1");
    p->uColorArg2 = gl.glGetUniformLocation(p->id, "colorArg2");
    p->uAlphaOp = gl.glGetUniformLocation(p->id, "alphaOp");
    p->uAlphaArg1 = gl.glGetUniformLocation(p->id, "alphaArg1");
    p->uAlphaArg2 = gl.glGetUniformLocation(p->id, "alphaArg2");
    p->uFactor = gl.glGetUniformLocation(p->id, "factor");
    p->uAlphaFunc = gl.glGetUniformLocation(p->id, "alphaFunc");
    p->uAlphaRef = gl.glGetUniformLocation(p->id, "alphaRef");
    p->uAddress = gl.glGetUniformLocation(p->id, "address");
    return true;
  }

  GLuint Compile(GLenum kind, const char *const *source, int parts) {
    GLuint shader = gl.glCreateShader(kind);
    gl.glShaderSource(shader, parts, source, nullptr);
    gl.glCompileShader(shader);
    GLint ok = 0;
    gl.glGetShaderiv(shader, GL_COMPILE_STATUS, &ok);
    if (!ok) {
      char log[512] = "";
      gl.glGetShaderInfoLog(shader, sizeof log, nullptr, log);
      std::fprintf(stderr, "d3d8: hardware device unavailable: shader compile failed: %s\n", log);
      gl.glDeleteShader(shader);
      return 0;
    }
    return shader;
  }

  void DeleteTargets() {
    for (int i = 0; i < 2; ++i) {
      if (framebuffer[i] != 0) gl.glDeleteFramebuffers(1, &framebuffer[i]);
      if (colourBuffer[i] != 0) gl.glDeleteRenderbuffers(1, &colourBuffer[i]);
      framebuffer[i] = colourBuffer[i] = 0;
    }
    if (depthBuffer != 0) gl.glDeleteRenderbuffers(1, &depthBuffer);
    depthBuffer = 0;
  }

  void Upload(RasterTexture *t) {
    if (t->deviceId == 0) {
      GLuint id = 0;
      glGenTextures(1, &id);
      t->deviceId = id;
      t->uploadedVersion = 0;
    }
    glBindTexture(GL_TEXTURE_2D, t->deviceId);
    boundTexture = t->deviceId;
    if (t->uploadedVersion == t->version) return;
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, t->levels - 1);
    for (int i = 0; i < t->levels; ++i)
      glTexImage2D(GL_TEXTURE_2D, i, GL_RGBA8, t->levelWidth[i], t->levelHeight[i], 0, GL_BGRA, GL_UNSIGNED_BYTE,
                   t->level[i]);
    t->uploadedVersion = t->version;
  }

  // The state a batch is drawn with: without its depth test where it cannot fail (see
  // platform/raster_depth.h), which a software OpenGL draws at a good part less.
  const RasterState &DepthState(const RasterState &st, const RasterVertex *v, int count, bool lines) {
    bool writeFirst = false;
    const RasterState &use =
        depthRecord.Consider(st, v, count, lines, [](float z) { return (double)z; }, 0.0, &writeFirst);
    if (writeFirst) WriteLeftOutDepth();
    return use;
  }

  // Does the whole clear that waited and writes the depths of the batches drawn without
  // their test, in order; then draws test as asked until the next clear of the whole buffer.
  void WriteLeftOutDepth() {
    if (!depthRecord.Known()) return;
    if (depthRecord.ClearPending()) {
      glDisable(GL_SCISSOR_TEST);
      glDepthMask(GL_TRUE);
      glClearDepth(depthRecord.Cleared());
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

  // Whether a batch of triangles is drawn from its texture's level strip: a mipmapped
  // texture multiplied by the vertex colour, one filter within the levels. Drawn so, the
  // levels and their weight are chosen per triangle (as the reference device does) and
  // each pixel reads two single-level textures, which costs a software OpenGL half of
  // what its own per-pixel level choice does.
  static bool UsesStrip(const RasterState &st) {
    return st.texture != nullptr && !st.alphaTest && st.texture->levels > 1 && st.mipFilter != D3DTEXF_NONE &&
           st.minFilter == st.magFilter && ClassifyCombine(st) == CombineModulate;
  }

  void DrawStripTriangles(const RasterState &st, const RasterVertex *v, int count) {
    const RasterTexture &t = *st.texture;
    // Each level's rectangle in the strip: one border texel round every level.
    float rect[RasterTexture::MaxLevels][4];
    const float stripWidth = (float)StripWidth(t), stripHeight = (float)(t.levelHeight[0] + 2);
    for (int i = 0, x = 0; i < t.levels; x += t.levelWidth[i] + 2, ++i) {
      rect[i][0] = (float)(x + 1) / stripWidth;
      rect[i][1] = 1.0f / stripHeight;
      rect[i][2] = (float)t.levelWidth[i] / stripWidth;
      rect[i][3] = (float)t.levelHeight[i] / stripHeight;
    }
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

  static int StripWidth(const RasterTexture &t) {
    int w = 0;
    for (int i = 0; i < t.levels; ++i) w += t.levelWidth[i] + 2;
    return w;
  }

  // Puts a batch's vertices into the bound layout's buffer. The buffer keeps its size
  // from batch to batch and only grows, so the driver rewrites its storage instead of
  // allocating new storage of a new size for every batch.
  void UploadVertices(const void *data, size_t bytes) {
    size_t &capacity = bufferCapacity[boundLayout];
    if (bytes > capacity) {
      capacity = std::max(bytes, std::max<size_t>(capacity * 2, 64 * 1024));
      gl.glBufferData(GL_ARRAY_BUFFER, (GLsizeiptr)capacity, nullptr, GL_STREAM_DRAW);
    }
    gl.glBufferSubData(GL_ARRAY_BUFFER, 0, (GLsizeiptr)bytes, data);
  }

  // Binds the vertex layout (and its buffer) a draw uses.
  void Layout(int layout) {
    if (layout == boundLayout) return;
    gl.glBindVertexArray(vertexArrays[layout]);
    gl.glBindBuffer(GL_ARRAY_BUFFER, buffers[layout]);
    boundLayout = layout;
  }

  // The level strip of a texture: every level side by side, top edges level, each with
  // a border of one texel that repeats the texels the address mode puts there (the far
  // edge when wrapping, the edge itself when clamping or mirroring), so that a bilinear
  // read near a level's edge blends what the level's own addressing would.
  void UploadStrip(RasterTexture *t, uint8_t addressU, uint8_t addressV) {
    if (t->stripId == 0) {
      GLuint id = 0;
      glGenTextures(1, &id);
      t->stripId = id;
      t->stripVersion = 0;
      glBindTexture(GL_TEXTURE_2D, id);
      glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, 0);
      glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
      glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    }
    glBindTexture(GL_TEXTURE_2D, t->stripId);
    boundTexture = t->stripId;
    const uint16_t address = (uint16_t)(addressU | addressV << 8);
    if (t->stripVersion == t->version && t->stripAddress == address) return;
    const int width = StripWidth(*t), height = t->levelHeight[0] + 2;
    stripTexels.assign((size_t)width * (size_t)height, 0);
    auto border = [](int i, int n, uint8_t mode) {
      if (i >= 0 && i < n) return i;
      if (mode == D3DTADDRESS_WRAP) return i < 0 ? n - 1 : 0;
      return i < 0 ? 0 : n - 1;
    };
    for (int level = 0, x0 = 0; level < t->levels; x0 += t->levelWidth[level] + 2, ++level) {
      const int w = t->levelWidth[level], h = t->levelHeight[level];
      const uint32_t *texels = t->level[level];
      for (int y = -1; y <= h; ++y) {
        uint32_t *row = &stripTexels[(size_t)(y + 1) * (size_t)width + (size_t)x0 + 1];
        const uint32_t *from = texels + (size_t)border(y, h, addressV) * (size_t)w;
        for (int x = -1; x <= w; ++x) row[x] = from[border(x, w, addressU)];
      }
    }
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, width, height, 0, GL_BGRA, GL_UNSIGNED_BYTE, stripTexels.data());
    t->stripVersion = t->version;
    t->stripAddress = address;
  }

  // `strip` is the level strip's program for the batch, or 0 when it does not use the strip.
  void Apply(const RasterState &st, int strip) {
    // The texture may have changed under the same state, so it is looked at every time.
    RasterTexture *t = const_cast<RasterTexture *>(st.texture);
    bool usesTexture = t != nullptr;
    if (strip != 0) UploadStrip(t, st.addressU, st.addressV);
    else if (usesTexture) Upload(t);
    if (applied && st == last && strip == lastStrip) return;
    RasterCombine combine = st.alphaTest ? CombineAny : ClassifyCombine(st);
    const Program &p = programs[strip != 0 ? strip : combine];
    if (current != &p) {
      gl.glUseProgram(p.id);
      current = &p;
    }
    if (strip != 0) {
      GLint filter = st.minFilter == D3DTEXF_LINEAR ? GL_LINEAR : GL_NEAREST;
      glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, filter);
      glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, filter);
      auto fold = [](uint8_t a) { return a == D3DTADDRESS_WRAP ? 0.0f : (a == D3DTADDRESS_MIRROR ? 1.0f : 2.0f); };
      if (p.uAddress >= 0) gl.glUniform2f(p.uAddress, fold(st.addressU), fold(st.addressV));
    } else if (usesTexture) {
      GLint mag = st.magFilter == D3DTEXF_LINEAR ? GL_LINEAR : GL_NEAREST;
      GLint min;
      bool linear = st.minFilter == D3DTEXF_LINEAR;
      if (st.mipFilter == D3DTEXF_NONE) min = linear ? GL_LINEAR : GL_NEAREST;
      else if (st.mipFilter == D3DTEXF_POINT) min = linear ? GL_LINEAR_MIPMAP_NEAREST : GL_NEAREST_MIPMAP_NEAREST;
      else min = linear ? GL_LINEAR_MIPMAP_LINEAR : GL_NEAREST_MIPMAP_LINEAR;
      glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, mag);
      glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, min);
      glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, WrapMode(st.addressU));
      glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, WrapMode(st.addressV));
      glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_BASE_LEVEL, std::min(st.maxMipLevel, t->levels - 1));
      glTexParameterf(GL_TEXTURE_2D, GL_TEXTURE_LOD_BIAS, st.lodBias);
    }
    SetStageUniforms(p, st, gl.glUniform1i, gl.glUniform4f, gl.glUniform1f);
    ApplyOutputState(st);
    glEnable(GL_SCISSOR_TEST);
    Scissor(st.clipLeft, st.clipTop, st.clipRight, st.clipBottom);
    last = st;
    lastStrip = strip;
    applied = true;
  }

  SDL_Window *window;
  SDL_GLContext context;
  GlFunctions gl;
  Program programs[ProgramCount];
  const Program *current = nullptr;
  GLuint vertexArrays[LayoutCount] = {}, buffers[LayoutCount] = {};
  int boundLayout = PlainLayout;              // the vertex layout bound
  size_t bufferCapacity[LayoutCount] = {};   // the bytes each layout's buffer holds
  int lastStrip = 0;         // the level strip's program the applied state was drawn with, or 0
  GLuint framebuffer[2] = {}, colourBuffer[2] = {}, depthBuffer = 0;
  GLuint boundTexture = 0;
  int width = 0, height = 0;
  int viewportSize = 1;
  int guard = 0;   // the pixels between the viewport's edge and the picture's
  RasterState last;
  bool applied = false;
  bool loaded = false;
  bool keepPresented = false;   // the read-back has been used: keep each presented picture
  unsigned long frames = 0;     // pictures presented
  unsigned long keptFrame = 0;  // the picture the copy holds
  bool inFrame = false;         // the frame's target is chosen and bound
  bool direct = false;          // drawing straight into the window
  bool windowDepth = false;     // the window's buffers have a depth buffer
  bool windowStencil = false;   // ... and a stencil buffer packed with it
  ClipControlProc clipControl = nullptr;
  bool overrideComplaint = false;
  std::vector<LineVertex> lineScratch;
  DepthRecord depthRecord;   // what the depth buffer holds, while known
  std::vector<StripVertex> stripScratch;
  std::vector<uint32_t> stripTexels;
  const char *renderer = "";
  std::string description;
};

}  // namespace

RasterDevice *CreateOpenGLRaster(HWND window, int width, int height) {
  SDL_Window *sdl = SdlWindowOf(window);
  if (sdl == nullptr) {
    D3DWarnOnce(IsHeadlessWindow(window) ? "hardware device unavailable: the window is headless"
                                         : "hardware device unavailable: no window",
                0);
    return nullptr;
  }
  if (!(SDL_GetWindowFlags(sdl) & SDL_WINDOW_OPENGL)) {
    D3DWarnOnce("hardware device unavailable: the window has no OpenGL (no GLX on this display?)", 0);
    return nullptr;
  }
  SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 3);
  SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 3);
  SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_CORE);
  SDL_GLContext context = SDL_GL_CreateContext(sdl);
  if (context == nullptr) {
    std::fprintf(stderr, "d3d8: hardware device unavailable: no OpenGL 3.3 context: %s\n", SDL_GetError());
    return nullptr;
  }
  auto *raster = new OpenGLRaster(sdl, context);
  if (!raster->Init(width, height)) {
    delete raster;
    return nullptr;
  }
  return raster;
}
