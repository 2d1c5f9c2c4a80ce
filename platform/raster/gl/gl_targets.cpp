// The hardware device's targets and its life: setting up in the driver's GL context,
// where a frame is drawn (straight into the window's back buffer when the window is the
// picture's size and its clip origin can be turned to the upper left; otherwise into an
// off-screen colour target with a 16-bit depth buffer), Present (which scales the
// off-screen picture into the window, keeping its aspect) and the read-back of the last
// presented picture, kept once the read-back has been used. Present waits for the
// vertical retrace when the device asks for it (full screen).
#include <algorithm>
#include <cstdio>
#include "base/picture_fit.h"
#include "platform/raster/gl/gl_device.h"
#include "platform/raster/gl/raster_gl.h"

namespace glraster {

OpenGLRaster::~OpenGLRaster() {
  Current();
  if (loaded) {
    for (Program &p : programs)
      if (p.id != 0) gl.glDeleteProgram(p.id);
    gl.glDeleteBuffers(LayoutCount, buffers);
    gl.glDeleteVertexArrays(LayoutCount, vertexArrays);
    DeleteTargets();
    for (auto &[texture, record] : textures)
      for (GLuint name : {record.id, record.stripId})
        if (name != 0) glDeleteTextures(1, &name);
  }
}

bool OpenGLRaster::Init(int w, int h) {
  Current();
  if (!gl.Load(*surface)) return false;
  loaded = true;
  surface->SetSwapInterval(0);
  // The window's own buffers can take the picture when the clip origin can be turned
  // and they have a depth buffer too.
  if (clipOrigin.Load(*surface)) {
    GLint depthBits = 0;
    gl.glBindFramebuffer(GL_FRAMEBUFFER, 0);
    gl.glGetFramebufferAttachmentParameteriv(GL_FRAMEBUFFER, GL_DEPTH, GL_FRAMEBUFFER_ATTACHMENT_DEPTH_SIZE, &depthBits);
    windowDepth = depthBits >= 16;
    GLint stencilBits = 0;
    gl.glGetFramebufferAttachmentParameteriv(GL_FRAMEBUFFER, GL_STENCIL, GL_FRAMEBUFFER_ATTACHMENT_STENCIL_SIZE,
                                             &stencilBits);
    windowStencil = stencilBits > 0;
  }
  // The level strip's programs only where the profile draws from the strip.
  for (int i = 0; i < (glprofile::LevelStrip ? ProgramCount : StripProgram); ++i)
    if (!Link(i, &programs[i])) return false;
  MakeLayouts();
  glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
  glPixelStorei(GL_PACK_ALIGNMENT, 4);
  const char *version = reinterpret_cast<const char *>(glGetString(GL_VERSION));
  const char *renderer = reinterpret_cast<const char *>(glGetString(GL_RENDERER));
  description = std::string(glprofile::DescriptionStart) + (version ? version : "(no version)") + " on " +
                (renderer ? renderer : "(no renderer)");
  return Resize(w, h);
}

bool OpenGLRaster::Resize(int w, int h) {
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
    if (p.id == 0) continue;
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

void OpenGLRaster::SetPresentInterval(int interval) {
  Current();
  surface->SetSwapInterval(interval);
}

void OpenGLRaster::Present(HWND target) {
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
  if (surface->Shows(target)) {
    if (!direct) {
      // The window is not the picture's size (full screen, or a window resized), or
      // cannot take it straight: the picture is scaled into it, keeping its aspect
      // ratio, black bands around.
      int dw = 0, dh = 0;
      surface->DrawableSize(&dw, &dh);
      const PictureFit fit = FitPicture(dw, dh, width, height);
      const int w = fit.width, h = fit.height, x = fit.x, y = fit.y;
      gl.glBindFramebuffer(GL_READ_FRAMEBUFFER, framebuffer[0]);
      gl.glBindFramebuffer(GL_DRAW_FRAMEBUFFER, 0);
      glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
      // The bands, where the picture leaves any (the browser's canvas it fills).
      if (w != dw || h != dh) {
        glClearColor(0, 0, 0, 1);
        glClear(GL_COLOR_BUFFER_BIT);
      }
      // The target's first row is the picture's top; the window's first row is its bottom.
      // A whole multiple of the picture (a scaled window, a dense screen) keeps every
      // pixel a sharp square; any other size is filtered (base/picture_fit.h says why).
      gl.glBlitFramebuffer(0, 0, width, height, x, y + h, x + w, y, GL_COLOR_BUFFER_BIT,
                           fit.wholeMultiple ? GL_NEAREST : GL_LINEAR);
    }
    surface->Swap();
  } else if (!overrideComplaint) {
    overrideComplaint = true;
    std::fprintf(stderr, "d3d8: hardware device presents only into its own window\n");
  }
  inFrame = false;
}

bool OpenGLRaster::ReadBack(uint32_t *pixels, int w, int h) {
  if (w != width || h != height) return false;
  Current();
  // The copy of the last presented picture; from now on every Present keeps one.
  keepPresented = true;
  if (keptFrame != frames || frames == 0) return false;
  gl.glBindFramebuffer(GL_READ_FRAMEBUFFER, framebuffer[1]);
  glprofile::ReadPicture(w, h, pixels);
  if (inFrame) gl.glBindFramebuffer(GL_READ_FRAMEBUFFER, direct ? 0 : framebuffer[0]);
  return true;
}

// Where the frame is drawn is chosen at its first clear or draw: straight into the
// window's back buffer when the window is exactly the picture's size (a window),
// otherwise into the off-screen target that Present scales into the window (full
// screen on a larger desktop). The window's rows run bottom up; the picture's top
// row lands at its top by the window's clip origin being turned to the upper left.
void OpenGLRaster::BeginFrame() {
  if (inFrame) return;
  inFrame = true;
  direct = false;
  if (windowDepth && clipOrigin) {
    int dw = 0, dh = 0;
    surface->DrawableSize(&dw, &dh);
    direct = dw == width && dh == height;
  }
  gl.glBindFramebuffer(GL_FRAMEBUFFER, direct ? 0 : framebuffer[0]);
  clipOrigin.Set(direct);
  if (direct) glViewport(-guard, height - viewportSize + guard, viewportSize, viewportSize);
  else glViewport(-guard, -guard, viewportSize, viewportSize);
  applied = false;
}

// The scissor for picture rows y0 to y1 (exclusive), in the target's own rows.
void OpenGLRaster::Scissor(int x0, int y0, int x1, int y1) {
  if (direct) glScissor(x0, height - y1, std::max(0, x1 - x0), std::max(0, y1 - y0));
  else glScissor(x0, y0, std::max(0, x1 - x0), std::max(0, y1 - y0));
}

void OpenGLRaster::DeleteTargets() {
  for (int i = 0; i < 2; ++i) {
    if (framebuffer[i] != 0) gl.glDeleteFramebuffers(1, &framebuffer[i]);
    if (colourBuffer[i] != 0) gl.glDeleteRenderbuffers(1, &colourBuffer[i]);
    framebuffer[i] = colourBuffer[i] = 0;
  }
  if (depthBuffer != 0) gl.glDeleteRenderbuffers(1, &depthBuffer);
  depthBuffer = 0;
}

}  // namespace glraster

RasterDevice *CreateOpenGLRaster(HWND window, int width, int height) {
  GlSurface *surface = CreateGlSurface(window);
  if (surface == nullptr) return nullptr;
  auto *raster = new glraster::OpenGLRaster(surface);
  if (!raster->Init(width, height)) {
    delete raster;
    return nullptr;
  }
  return raster;
}
