// The hardware device's inside, shared by its files: the class with everything it
// holds, the vertex layouts it hands batches over in and its record of each texture.
// The device draws through the GL context of a GlSurface (gl_surface.h), with the calls
// both GL profiles have (gl_profile.h). Its files: gl_programs.cpp (the shaders),
// gl_textures.cpp (texture uploads and the level strip), gl_batches.cpp (state, clears
// and draws), gl_targets.cpp (render targets, present and read-back).
#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>
#include "platform/raster/gl/gl_profile.h"
#include "platform/raster/gl/gl_surface.h"
#include "platform/raster/raster.h"
#include "platform/raster/raster_depth.h"

namespace glraster {

// A line's vertex as the device hands it over: the colour as four floats, in the order
// of a Direct3D colour's bytes (blue, green, red, alpha), so that the colour carried on
// past the last pixel may run beyond 0..1. Held to 0..1 there, it would bend the colours
// all along the line: a line brightening to full blue over seven pixels would reach
// only 0xE7 at its end.
struct LineVertex {
  float x, y, z, rhw;
  float colour[4];
  float u, v;
};

// A triangle's vertex as the level strip draws it: the vertex, then the rectangles of its
// two levels in the strip (origin and size, in the strip's 0..1 coordinates) and the
// second level's weight, the same at all three corners.
struct StripVertex {
  RasterVertex vertex;
  float level0[4];
  float level1[4];
  float mipWeight;
};

// The fragment programs: 0 to 2 by the stage's combine (see gl_programs.cpp), and the
// level strip's.
constexpr int StripProgram = 3;
// The level strip's program for a batch whose texture coordinates all lie within 0..1,
// where the strip's borders already give what each address mode would: the two levels'
// coordinates come interpolated, with no folding per pixel.
constexpr int StripInsideProgram = 4;
constexpr int ProgramCount = 5;

// The vertex layouts a batch is handed over in.
constexpr int PlainLayout = 0, StripLayout = 1, LineLayout = 2, LayoutCount = 3;

struct Program {
  GLuint id = 0;
  GLint uPerPixel = -1, uOrigin = -1, uHasTexture = -1, uOpaque = -1, uColorOp = -1, uColorArg1 = -1, uColorArg2 = -1;
  GLint uAlphaOp = -1, uAlphaArg1 = -1, uAlphaArg2 = -1, uFactor = -1, uAlphaFunc = -1, uAlphaRef = -1, uAddress = -1;
  GLint uLodBias = -1;
};

// What the device holds for one texture: its GL texture with the version of the texels
// it was last given, and the level strip (see gl_textures.cpp) with the version and the
// address modes its borders were made for. A name of 0 is not made yet.
struct TextureRecord {
  GLuint id = 0;
  uint32_t uploadedVersion = 0;
  GLuint stripId = 0;
  uint32_t stripVersion = 0;
  uint16_t stripAddress = 0;
};

// Each level's rectangle in the level strip of `t` (gl_textures.cpp).
void StripRectangles(const RasterTexture &t, float rect[][4]);

class OpenGLRaster final : public RasterDevice {
public:
  explicit OpenGLRaster(GlSurface *glSurface) : surface(glSurface) {}
  ~OpenGLRaster() override;
  bool Init(int w, int h);

  bool Resize(int w, int h) override;
  void Clear(const RasterState &st, int count, const D3DRECT *rects, DWORD flags, uint32_t value, float z) override;
  void DrawTriangles(const RasterState &st, const RasterVertex *v, int count) override;
  void DrawLines(const RasterState &st, const RasterVertex *v, int count) override;
  void Present(HWND target) override;
  bool ReadBack(uint32_t *pixels, int w, int h) override;
  void ForgetTexture(RasterTexture *t) override;
  const char *Describe() override { return description.c_str(); }
  void SetPresentInterval(int interval) override;

private:
  void Current() { surface->MakeCurrent(); }

  // gl_programs.cpp
  bool Link(int combine, Program *p);
  GLuint Compile(GLenum kind, const char *const *source, int parts);

  // gl_textures.cpp
  TextureRecord &RecordOf(const RasterTexture *t);
  void Upload(const RasterTexture *t);
  void UploadStrip(const RasterTexture *t, uint8_t addressU, uint8_t addressV);
  void SampleAs(const RasterState &st, const Program &p);
  void SampleStripAs(const RasterState &st, const Program &p);

  // gl_batches.cpp
  void DrawTrianglesAs(const RasterState &st, const RasterVertex *v, int count);
  void DrawLinesAs(const RasterState &st, const RasterVertex *v, int count);
  void DrawStripTriangles(const RasterState &st, const RasterVertex *v, int count);
  const RasterState &DepthState(const RasterState &st, const RasterVertex *v, int count, bool lines);
  void WriteLeftOutDepth();
  void UploadVertices(const void *data, size_t bytes);
  void Layout(int layout);
  void MakeLayouts();
  void Apply(const RasterState &st, int strip);

  // gl_targets.cpp
  void BeginFrame();
  void Scissor(int x0, int y0, int x1, int y1);
  void DeleteTargets();

  // The context; dropped last, after everything made in it.
  std::unique_ptr<GlSurface> surface;
  GlFunctions gl;
  glprofile::ClipOrigin clipOrigin;
  Program programs[ProgramCount];
  const Program *current = nullptr;
  GLuint vertexArrays[LayoutCount] = {}, buffers[LayoutCount] = {};
  int boundLayout = PlainLayout;              // the vertex layout bound
  size_t bufferCapacity[LayoutCount] = {};   // the bytes each layout's buffer holds
  int lastStrip = 0;         // the level strip's program the applied state was drawn with, or 0
  GLuint framebuffer[2] = {}, colourBuffer[2] = {}, depthBuffer = 0;
  // Every texture the device has been given, until it is forgotten; the last one looked
  // up is kept at hand, since a run of batches mostly draws with one texture.
  std::unordered_map<const RasterTexture *, TextureRecord> textures;
  const RasterTexture *lastTexture = nullptr;
  TextureRecord *lastRecord = nullptr;
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
  bool overrideComplaint = false;
  std::vector<LineVertex> lineScratch;
  DepthRecord depthRecord;   // what the depth buffer holds, while known
  std::vector<StripVertex> stripScratch;
  std::vector<uint32_t> stripTexels;
  std::string description;
};

}  // namespace glraster
