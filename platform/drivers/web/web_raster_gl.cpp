// The hardware device in the browser: WebGL 2 on the page's canvas, the desktop
// device's drawing in OpenGL ES 3.00. Batches are drawn into an off-screen colour
// target with a 16-bit depth buffer whose first row is the picture's top row; vertices
// move by half a pixel so that pixel centres fall on integer coordinates as Direct3D
// has them, and a line is made one pixel longer so that its last pixel is drawn.
// Present copies the target onto the canvas, flipped (and, once the read-back has been
// used, into a second target that keeps the presented picture). WebGL has no BGRA
// upload: textures go up as they lie in memory and the shaders read them swizzled.
#include "platform/raster/gl/raster_gl.h"
#include <GLES3/gl3.h>
#include <emscripten/html5.h>
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdio>
#include <string>
#include <vector>
#include "platform/drivers/web/web_page.h"
#include "platform/raster/gl/raster_gl_common.h"
#include "platform/drivers/headless/headless.h"
#include "platform/user32/window_internal.h"

namespace {

// The vertex layouts a batch is handed over in.
constexpr int PlainLayout = 0, LineLayout = 1, LayoutCount = 2;

const char *const vertexShader = R"(#version 300 es
precision highp float;
layout(location = 0) in vec4 position;
layout(location = 1) in vec4 colour;
layout(location = 2) in vec2 texcoord;
uniform vec2 screen;
out vec4 vColour;
out vec2 vTexcoord;
void main() {
  float w = position.w > 0.0 ? 1.0 / position.w : 1.0;
  vec2 ndc = (position.xy + 0.5) * 2.0 / screen - 1.0;
  gl_Position = vec4(ndc * w, (position.z * 2.0 - 1.0) * w, w);
  vColour = colour.bgra;
  vTexcoord = texcoord;
}
)";

// The three fragment programs: COMBINE 0 the vertex colour alone, 1 texel x vertex
// colour, 2 any stage setting and the alpha test, driven by uniforms.
// Each is this device's inputs, then the shared stage functions, then its main.
const char *const fragmentHead = R"(
precision highp float;
precision highp int;
in vec4 vColour;
in vec2 vTexcoord;
uniform float lodBias;
)";
const char *const fragmentMain = R"(
void main() {
#if COMBINE == 0
  fragColour = vColour;
#elif COMBINE == 1
  fragColour = texture(tex, vTexcoord, lodBias).bgra * vColour;
#else
  vec4 t = hasTexture != 0 ? texture(tex, vTexcoord, lodBias).bgra : vec4(1.0);
  if (opaqueTexture != 0) t.a = 1.0;
  vec3 c = op(colorOp, colorArg1, colorArg2, t).rgb;
  float a = op(alphaOp, alphaArg1, alphaArg2, t).a;
  if (alphaFunc != 8 && !passes(alphaFunc, floor(a * 255.0 + 0.5), alphaRef)) discard;
  fragColour = vec4(c, a);
#endif
}
)";


struct Program {
  GLuint id = 0;
  GLint uScreen = -1, uHasTexture = -1, uOpaque = -1, uColorOp = -1, uColorArg1 = -1, uColorArg2 = -1;
  GLint uAlphaOp = -1, uAlphaArg1 = -1, uAlphaArg2 = -1, uFactor = -1, uAlphaFunc = -1, uAlphaRef = -1, uLodBias = -1;
};

class OpenGLRaster final : public RasterDevice {
public:
  OpenGLRaster(HWND canvasWindow, EMSCRIPTEN_WEBGL_CONTEXT_HANDLE glContext) : window(canvasWindow), context(glContext) {}
  ~OpenGLRaster() override {
    Current();
    if (loaded) {
      for (Program &p : programs)
        if (p.id != 0) glDeleteProgram(p.id);
      glDeleteBuffers(LayoutCount, buffers);
      glDeleteVertexArrays(LayoutCount, vertexArrays);
      DeleteTargets();
    }
    emscripten_webgl_destroy_context(context);
  }

  bool Init(int w, int h) {
    Current();
    loaded = true;
    for (int i = 0; i < 3; ++i)
      if (!Link(i, &programs[i])) return false;
    // Two vertex layouts: the devices' own vertices, and lines', whose colours are floats.
    for (int layout = 0; layout < LayoutCount; ++layout) {
      glGenVertexArrays(1, &vertexArrays[layout]);
      glBindVertexArray(vertexArrays[layout]);
      glGenBuffers(1, &buffers[layout]);
      glBindBuffer(GL_ARRAY_BUFFER, buffers[layout]);
      const bool line = layout == LineLayout;
      PointAtVertexParts(line, line ? sizeof(LineVertex) : sizeof(RasterVertex), glVertexAttribPointer,
                         glEnableVertexAttribArray);
    }
    boundLayout = LineLayout;
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
    const char *version = reinterpret_cast<const char *>(glGetString(GL_VERSION));
    const char *renderer = reinterpret_cast<const char *>(glGetString(GL_RENDERER));
    description = std::string(version ? version : "WebGL 2") + " on " + (renderer ? renderer : "the browser");
    return Resize(w, h);
  }

  bool Resize(int w, int h) override {
    Current();
    DeleteTargets();
    width = w;
    height = h;
    for (int i = 0; i < 2; ++i) {
      glGenFramebuffers(1, &framebuffer[i]);
      glBindFramebuffer(GL_FRAMEBUFFER, framebuffer[i]);
      glGenRenderbuffers(1, &colourBuffer[i]);
      glBindRenderbuffer(GL_RENDERBUFFER, colourBuffer[i]);
      glRenderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, w, h);
      glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, colourBuffer[i]);
      if (i == 0) {
        glGenRenderbuffers(1, &depthBuffer);
        glBindRenderbuffer(GL_RENDERBUFFER, depthBuffer);
        glRenderbufferStorage(GL_RENDERBUFFER, GL_DEPTH_COMPONENT16, w, h);
        glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER, depthBuffer);
      }
      if (glCheckFramebufferStatus(GL_FRAMEBUFFER) != GL_FRAMEBUFFER_COMPLETE) {
        std::fprintf(stderr, "d3d8: hardware device unavailable: no %dx%d render target\n", w, h);
        return false;
      }
      glClearColor(0, 0, 0, 1);
      glClear(GL_COLOR_BUFFER_BIT);
    }
    glBindFramebuffer(GL_FRAMEBUFFER, framebuffer[0]);
    glViewport(0, 0, w, h);
    for (Program &p : programs) {
      glUseProgram(p.id);
      glUniform2f(p.uScreen, (float)w, (float)h);
    }
    current = nullptr;
    applied = false;
    return true;
  }

  void Clear(const RasterState &st, int count, const D3DRECT *rects, DWORD flags, uint32_t value, float z) override {
    Current();
    touched = true;
    glBindFramebuffer(GL_FRAMEBUFFER, framebuffer[0]);
    glEnable(GL_SCISSOR_TEST);
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
    glDepthMask(GL_TRUE);
    glClearColor(((value >> 16) & 255) / 255.0f, ((value >> 8) & 255) / 255.0f, (value & 255) / 255.0f,
                 (value >> 24) / 255.0f);
    glClearDepthf(z);
    GLbitfield mask = ((flags & D3DCLEAR_TARGET) ? GL_COLOR_BUFFER_BIT : 0) | ((flags & D3DCLEAR_ZBUFFER) ? GL_DEPTH_BUFFER_BIT : 0);
    D3DRECT whole = {st.clipLeft, st.clipTop, st.clipRight, st.clipBottom};
    if (count == 0) {
      count = 1;
      rects = &whole;
    }
    for (int i = 0; i < count; ++i) {
      int x0 = std::max<int>(rects[i].x1, st.clipLeft), x1 = std::min<int>(rects[i].x2, st.clipRight);
      int y0 = std::max<int>(rects[i].y1, st.clipTop), y1 = std::min<int>(rects[i].y2, st.clipBottom);
      if (x0 >= x1 || y0 >= y1) continue;
      glScissor(x0, y0, x1 - x0, y1 - y0);
      glClear(mask);
    }
    applied = false;
  }

  void DrawTriangles(const RasterState &st, const RasterVertex *v, int count) override {
    Current();
    touched = true;
    Apply(st);
    Layout(PlainLayout);
    glBufferData(GL_ARRAY_BUFFER, (GLsizeiptr)(count * sizeof(RasterVertex)), v, GL_STREAM_DRAW);
    glDrawArrays(GL_TRIANGLES, 0, count);
  }

  void DrawLines(const RasterState &st, const RasterVertex *v, int count) override {
    Current();
    touched = true;
    Apply(st);
    Layout(LineLayout);
    glBufferData(GL_ARRAY_BUFFER, (GLsizeiptr)(count * sizeof(LineVertex)), GlLineVertices(v, count, st.lastPixel, lineScratch),
                 GL_STREAM_DRAW);
    glDrawArrays(GL_LINES, 0, count);
  }

  void Present(HWND target) override {
    Current();
    glDisable(GL_SCISSOR_TEST);
    glBindFramebuffer(GL_READ_FRAMEBUFFER, framebuffer[0]);
    if (keepPresented) {
      glBindFramebuffer(GL_DRAW_FRAMEBUFFER, framebuffer[1]);
      glBlitFramebuffer(0, 0, width, height, 0, 0, width, height, GL_COLOR_BUFFER_BIT, GL_NEAREST);
    }
    touched = false;
    if (target == window) {
      // The canvas keeps the picture's size; the page scales it.
      glBindFramebuffer(GL_DRAW_FRAMEBUFFER, 0);
      glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
      // The target's first row is the picture's top; the canvas's first row is its bottom.
      glBlitFramebuffer(0, 0, width, height, 0, height, width, 0, GL_COLOR_BUFFER_BIT, GL_NEAREST);
    } else if (!overrideComplaint) {
      overrideComplaint = true;
      std::fprintf(stderr, "d3d8: hardware device presents only into its own window\n");
    }
    glBindFramebuffer(GL_FRAMEBUFFER, framebuffer[0]);
    applied = false;
  }

  bool ReadBack(uint32_t *pixels, int w, int h) override {
    if (w != width || h != height) return false;
    Current();
    // Until the read-back is first used the presented picture is only in the back
    // buffer, as long as nothing has been drawn since; from then on every Present keeps
    // a copy, so the picture can be read at any time.
    if (!keepPresented && touched) return false;
    glBindFramebuffer(GL_READ_FRAMEBUFFER, keepPresented ? framebuffer[1] : framebuffer[0]);
    keepPresented = true;
    glReadPixels(0, 0, w, h, GL_RGBA, GL_UNSIGNED_BYTE, pixels);
    glBindFramebuffer(GL_FRAMEBUFFER, framebuffer[0]);
    // R, G, B, A in memory to 0xAARRGGBB.
    for (int i = 0; i < w * h; ++i) {
      uint32_t p = pixels[i];
      pixels[i] = 0xFF000000u | (p & 0x0000FF00u) | ((p & 0xFFu) << 16) | ((p >> 16) & 0xFFu);
    }
    return true;
  }

  void ForgetTexture(RasterTexture *t) override {
    if (t->deviceId != 0) {
      Current();
      GLuint id = t->deviceId;
      glDeleteTextures(1, &id);
      if (boundTexture == id) boundTexture = 0;
      t->deviceId = 0;
      t->uploadedVersion = 0;
    }
  }

  const char *Describe() override { return description.c_str(); }

private:
  void Current() {
    if (emscripten_webgl_get_current_context() != context) emscripten_webgl_make_context_current(context);
  }

  bool Link(int combine, Program *p) {
    char header[64];
    std::snprintf(header, sizeof header, "#version 300 es\n#define COMBINE %d\n", combine);
    const char *fragment[4] = {header, fragmentHead, StageFunctionsGlsl, fragmentMain};
    GLuint vs = Compile(GL_VERTEX_SHADER, &vertexShader, 1), fs = Compile(GL_FRAGMENT_SHADER, fragment, 4);
    if (vs == 0 || fs == 0) return false;
    p->id = glCreateProgram();
    glAttachShader(p->id, vs);
    glAttachShader(p->id, fs);
    glLinkProgram(p->id);
    glDeleteShader(vs);
    glDeleteShader(fs);
    GLint linked = 0;
    glGetProgramiv(p->id, GL_LINK_STATUS, &linked);
    if (!linked) {
      char log[512] = "";
      glGetProgramInfoLog(p->id, sizeof log, nullptr, log);
      std::fprintf(stderr, "d3d8: hardware device unavailable: shader link failed: %s\n", log);
      return false;
    }
    glUseProgram(p->id);
    glUniform1i(glGetUniformLocation(p->id, "tex"), 0);
    p->uScreen = glGetUniformLocation(p->id, "screen");
    p->uHasTexture = glGetUniformLocation(p->id, "hasTexture");
    p->uOpaque = glGetUniformLocation(p->id, "opaqueTexture");
    p->uColorOp = glGetUniformLocation(p->id, "colorOp");
    p->uColorArg1 = glGetUniformLocation(p->id, "colorArg1");
    p->uColorArg2 = glGetUniformLocation(p->id, "colorArg2");
    p->uAlphaOp = glGetUniformLocation(p->id, "alphaOp");
    p->uAlphaArg1 = glGetUniformLocation(p->id, "alphaArg1");
    p->uAlphaArg2 = glGetUniformLocation(p->id, "alphaArg2");
    p->uFactor = glGetUniformLocation(p->id, "factor");
    p->uAlphaFunc = glGetUniformLocation(p->id, "alphaFunc");
    p->uAlphaRef = glGetUniformLocation(p->id, "alphaRef");
    p->uLodBias = glGetUniformLocation(p->id, "lodBias");
    return true;
  }

  GLuint Compile(GLenum kind, const char *const *source, int parts) {
    GLuint shader = glCreateShader(kind);
    glShaderSource(shader, parts, source, nullptr);
    glCompileShader(shader);
    GLint ok = 0;
    glGetShaderiv(shader, GL_COMPILE_STATUS, &ok);
    if (!ok) {
      char log[512] = "";
      glGetShaderInfoLog(shader, sizeof log, nullptr, log);
      std::fprintf(stderr, "d3d8: hardware device unavailable: shader compile failed: %s\n", log);
      glDeleteShader(shader);
      return 0;
    }
    return shader;
  }

  void DeleteTargets() {
    for (int i = 0; i < 2; ++i) {
      if (framebuffer[i] != 0) glDeleteFramebuffers(1, &framebuffer[i]);
      if (colourBuffer[i] != 0) glDeleteRenderbuffers(1, &colourBuffer[i]);
      framebuffer[i] = colourBuffer[i] = 0;
    }
    if (depthBuffer != 0) glDeleteRenderbuffers(1, &depthBuffer);
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
    // 0xAARRGGBB texels go up as they lie (B, G, R, A); the shaders swizzle them back.
    for (int i = 0; i < t->levels; ++i)
      glTexImage2D(GL_TEXTURE_2D, i, GL_RGBA8, t->levelWidth[i], t->levelHeight[i], 0, GL_RGBA, GL_UNSIGNED_BYTE,
                   t->level[i]);
    t->uploadedVersion = t->version;
  }

  // Binds the vertex layout (and its buffer) a draw uses.
  void Layout(int layout) {
    if (layout == boundLayout) return;
    glBindVertexArray(vertexArrays[layout]);
    glBindBuffer(GL_ARRAY_BUFFER, buffers[layout]);
    boundLayout = layout;
  }

  void Apply(const RasterState &st) {
    // The texture may have changed under the same state, so it is looked at every time.
    RasterTexture *t = const_cast<RasterTexture *>(st.texture);
    bool usesTexture = t != nullptr;
    if (usesTexture) Upload(t);
    if (applied && st == last) return;
    RasterCombine combine = st.alphaTest ? CombineAny : ClassifyCombine(st);
    const Program &p = programs[combine];
    if (current != &p) {
      glUseProgram(p.id);
      current = &p;
    }
    if (usesTexture) {
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
      glUniform1f(p.uLodBias, st.lodBias);
    }
    SetStageUniforms(p, st, glUniform1i, glUniform4f, glUniform1f);
    ApplyOutputState(st);
    glEnable(GL_SCISSOR_TEST);
    glScissor(st.clipLeft, st.clipTop, std::max(0, st.clipRight - st.clipLeft), std::max(0, st.clipBottom - st.clipTop));
    last = st;
    applied = true;
  }

  HWND window;
  EMSCRIPTEN_WEBGL_CONTEXT_HANDLE context;
  Program programs[3];
  const Program *current = nullptr;
  GLuint vertexArrays[LayoutCount] = {}, buffers[LayoutCount] = {};   // the two vertex layouts and their buffers
  int boundLayout = PlainLayout;                 // the layout bound
  GLuint framebuffer[2] = {}, colourBuffer[2] = {}, depthBuffer = 0;
  GLuint boundTexture = 0;
  int width = 0, height = 0;
  RasterState last;
  bool applied = false;
  bool loaded = false;
  bool keepPresented = false;   // the read-back has been used: keep each presented picture
  bool touched = true;          // drawn into since the last Present
  bool overrideComplaint = false;
  std::vector<LineVertex> lineScratch;
  std::string description;
};

}  // namespace

RasterDevice *CreateOpenGLRaster(HWND window, int width, int height) {
  if (window == nullptr || IsHeadlessWindow(window)) {
    D3DWarnOnce(window ? "hardware device unavailable: the window is headless" : "hardware device unavailable: no window",
                0);
    return nullptr;
  }
  EmscriptenWebGLContextAttributes attributes;
  emscripten_webgl_init_context_attributes(&attributes);
  attributes.majorVersion = 2;
  attributes.minorVersion = 0;
  attributes.alpha = EM_FALSE;
  attributes.depth = EM_FALSE;
  attributes.stencil = EM_FALSE;
  attributes.antialias = EM_FALSE;
  attributes.preserveDrawingBuffer = EM_FALSE;
  EMSCRIPTEN_WEBGL_CONTEXT_HANDLE context = emscripten_webgl_create_context(QR_CANVAS, &attributes);
  if (context <= 0) {
    std::fprintf(stderr, "d3d8: hardware device unavailable: the browser gives no WebGL 2\n");
    return nullptr;
  }
  auto *raster = new OpenGLRaster(window, context);
  if (!raster->Init(width, height)) {
    delete raster;
    return nullptr;
  }
  return raster;
}
