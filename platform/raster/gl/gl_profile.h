// The two GL profiles the hardware device runs on, and everything that differs between
// them: desktop OpenGL 3.3 core in the SDL driver's context, and OpenGL ES 3.00 as WebGL
// 2 on the page's canvas. The rest of raster/gl/ is written once, with what both have.
// The differences: the GL header and how the calls beyond OpenGL 1.1 are reached; the
// shaders' version line and precision; how texels go up (BGRA on the desktop; as they
// lie in memory in the browser, which has no BGRA, with the shaders reading them
// swizzled) and how the picture comes back; the level bias (a texture setting on the
// desktop, a shader argument in the browser); the depth clear's call; turning the clip
// origin to the upper left (the desktop, when its driver offers it; the browser never,
// so it always draws off-screen); and whether mipmapped sprites are drawn from a strip
// of their levels (the desktop, for a software OpenGL's sake).
#pragma once
#include <cstdint>
#include <cstdio>
// Before the GL header, whose APIENTRY makes way for the Win32 types' own.
#include "platform/raster/gl/gl_surface.h"
#ifdef __EMSCRIPTEN__
#include <GLES3/gl3.h>
#else
#include <GL/gl.h>
#include <GL/glext.h>
#endif

// The GL calls beyond OpenGL 1.1, which every GL library exports; the device makes them
// through a GlFunctions table, `gl.glCreateShader(...)`.
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

#ifdef __EMSCRIPTEN__
// The browser's GL calls are linked in: the table names them, and a call through it is
// a plain call. Nothing is looked up.
struct GlFunctions {
#define QR_GL_MEMBER(type, name) static constexpr type name = ::name;
  QR_GL_FUNCTIONS(QR_GL_MEMBER)
#undef QR_GL_MEMBER
  bool Load(GlSurface &) { return true; }
};
#else
// The desktop's calls beyond OpenGL 1.1, looked up in the context once it exists.
struct GlFunctions {
#define QR_GL_MEMBER(type, name) type name = nullptr;
  QR_GL_FUNCTIONS(QR_GL_MEMBER)
#undef QR_GL_MEMBER
  bool Load(GlSurface &surface) {
#define QR_GL_LOAD(type, name)                                                           \
  name = reinterpret_cast<type>(surface.ProcAddress(#name));                             \
  if (name == nullptr) {                                                                 \
    std::fprintf(stderr, "d3d8: hardware device unavailable: OpenGL lacks %s\n", #name); \
    return false;                                                                        \
  }
    QR_GL_FUNCTIONS(QR_GL_LOAD)
#undef QR_GL_LOAD
    return true;
  }
};
#endif

namespace glprofile {

#ifdef __EMSCRIPTEN__

// The first lines of every shader.
inline constexpr const char *ShaderVersion = "#version 300 es\nprecision highp float;\nprecision highp int;\n";
// How a fragment program reads a texel of `tex`: texels went up as they lie in memory
// (see TexelOrder) and the level bias is the shader's, there being no texture setting for
// it.
inline constexpr const char *TexelRead = "uniform float lodBias;\n#define TEXEL(c) texture(tex, c, lodBias).bgra\n";
// The order of a texel's bytes as the device hands them to GL and reads the picture
// back: WebGL has no BGRA, so an 0xAARRGGBB texel's bytes in memory (B, G, R, A) go up
// as R, G, B, A, and the shaders swizzle them back.
inline constexpr GLenum TexelOrder = GL_RGBA;
// Starts the device's description, before the GL version string (which names WebGL).
inline constexpr const char *DescriptionStart = "";
// Whether mipmapped sprites are drawn from their texture's level strip (gl_textures.cpp),
// the levels chosen per triangle on our thread. That spares a software OpenGL its own
// choice per pixel; a browser's GL makes that choice at no cost to the page's thread,
// so there the sprites keep the GL's own choice of levels.
inline constexpr bool LevelStrip = false;

// The level bias for the bound texture, through the program's lodBias at `uniform`.
inline void SetLodBias(GLint uniform, float bias) {
  if (uniform >= 0) glUniform1f(uniform, bias);
}
inline void ClearDepth(double z) { glClearDepthf((float)z); }

// WebGL cannot turn the clip origin: the device always draws off-screen.
struct ClipOrigin {
  bool Load(GlSurface &) { return false; }
  explicit operator bool() const { return false; }
  void Set(bool) {}
};

#else

inline constexpr const char *ShaderVersion = "#version 330 core\n";
inline constexpr const char *TexelRead = "#define TEXEL(c) texture(tex, c)\n";
inline constexpr GLenum TexelOrder = GL_BGRA;
inline constexpr const char *DescriptionStart = "OpenGL ";
inline constexpr bool LevelStrip = true;

inline void SetLodBias(GLint, float bias) { glTexParameterf(GL_TEXTURE_2D, GL_TEXTURE_LOD_BIAS, bias); }
inline void ClearDepth(double z) { glClearDepth(z); }

// Turning the window's clip origin to the upper left, so that the picture can be drawn
// straight into the window's bottom-up rows: OpenGL 4.5, where the driver has it.
struct ClipOrigin {
  typedef void (*Proc)(GLenum origin, GLenum depth);
  Proc clipControl = nullptr;
  bool Load(GlSurface &surface) {
    clipControl = reinterpret_cast<Proc>(surface.ProcAddress("glClipControl"));
    return clipControl != nullptr;
  }
  explicit operator bool() const { return clipControl != nullptr; }
  void Set(bool upperLeft) {
    if (clipControl != nullptr) clipControl(upperLeft ? GL_UPPER_LEFT : GL_LOWER_LEFT, GL_NEGATIVE_ONE_TO_ONE);
  }
};

#endif

// Puts up one level of 0xAARRGGBB texels into the bound texture.
inline void UploadTexels(GLint level, int width, int height, const uint32_t *texels) {
  glTexImage2D(GL_TEXTURE_2D, level, GL_RGBA8, width, height, 0, TexelOrder, GL_UNSIGNED_BYTE, texels);
}

// Reads the bound read framebuffer as opaque 0xAARRGGBB pixels, first row first.
inline void ReadPicture(int width, int height, uint32_t *pixels) {
  glReadPixels(0, 0, width, height, TexelOrder, GL_UNSIGNED_BYTE, pixels);
  for (int i = 0; i < width * height; ++i) {
    uint32_t p = pixels[i];
    // R, G, B, A in memory to 0xAARRGGBB.
    if constexpr (TexelOrder == GL_RGBA) p = (p & 0x0000FF00u) | ((p & 0xFFu) << 16) | ((p >> 16) & 0xFFu);
    pixels[i] = p | 0xFF000000u;
  }
}

}  // namespace glprofile
