// The reference device: a software rasterizer that follows Direct3D's rules. Pixel
// centres sit at integer coordinates; a pixel belongs to a triangle when its centre is
// inside, or on a top or left edge (so two triangles sharing an edge never both draw a
// pixel); lines draw one pixel per step along their major axis, the last one included
// when D3DRS_LASTPIXEL says so. Spans of the common cases (a sprite: bilinear or
// trilinear wrapped texels times the vertex colour, alpha-blended, depth less-or-equal)
// run through specialised loops; everything else takes the general per-pixel path.
// This file is the device around the rasterizer (ref_rasterizer.h): its buffers,
// clears, the depth test left out where it cannot fail, and the presented picture,
// shown through the window's surface (window_surface.h) where the driver offers one.
#include "platform/raster/raster_ref.h"
#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <vector>
#include "platform/raster/raster_depth.h"
#include "platform/raster/ref_pixel.h"
#include "platform/raster/ref_rasterizer.h"
#include "platform/raster/window_surface.h"

namespace {

using refraster::Round;
using refraster::Clamp;

class ReferenceRaster final : public RasterDevice {
public:
  ReferenceRaster(HWND presentWindow, WindowSurface *presentSurface) : window(presentWindow), surface(presentSurface) {}

  bool Resize(int w, int h) override {
    width = w;
    height = h;
    color.assign((size_t)w * h, 0xFF000000u);
    backBuffer = color.data();
    depth.assign((size_t)w * h, 0xFFFF);
    depthRecord.Forget();
    presented.assign((size_t)w * h, 0xFF000000u);
    touched = true;
    frames = keptFrame = 0;
    drawn = nullptr;
    bound = false;
    return true;
  }

  void Clear(const RasterState &st, int count, const D3DRECT *rects, DWORD flags, uint32_t value, float z) override {
    uint16_t zv = (uint16_t)std::lround(std::clamp(z, 0.0f, 1.0f) * 65535.0f);
    Bind();
    if (flags & D3DCLEAR_TARGET) touched = true;
    D3DRECT whole = {st.clipLeft, st.clipTop, st.clipRight, st.clipBottom};
    if (flags & D3DCLEAR_ZBUFFER) {
      // A clear of the whole depth buffer starts the record of what it holds afresh, and
      // is itself only done once a draw needs the depths; any other puts in the depths
      // that draws have left out first.
      if (ClearsWholeTarget(st, count, rects, width, height)) {
        depthRecord.Start(zv);
        flags &= ~(DWORD)D3DCLEAR_ZBUFFER;
      } else {
        WriteLeftOutDepth();
      }
    }
    if (count == 0) {
      // The whole target: its depths, if asked for, are left to the record above.
      if (ClearsWholeTarget(st, 0, nullptr, width, height)) {
        if (flags & D3DCLEAR_TARGET) std::fill_n(backBuffer, color.size(), value);
        return;
      }
      count = 1;
      rects = &whole;
    }
    for (int i = 0; i < count; ++i) {
      int x0 = std::max<int>(rects[i].x1, st.clipLeft), x1 = std::min<int>(rects[i].x2, st.clipRight);
      int y0 = std::max<int>(rects[i].y1, st.clipTop), y1 = std::min<int>(rects[i].y2, st.clipBottom);
      x0 = std::max(x0, 0);
      y0 = std::max(y0, 0);
      x1 = std::min(x1, width);
      y1 = std::min(y1, height);
      if (x0 >= x1 || y0 >= y1) continue;
      for (int y = y0; y < y1; ++y) {
        if (flags & D3DCLEAR_TARGET) std::fill_n(&backBuffer[(size_t)y * width + x0], x1 - x0, value);
        if (flags & D3DCLEAR_ZBUFFER) std::fill_n(&depth[(size_t)y * width + x0], x1 - x0, zv);
      }
    }
  }

  void DrawTriangles(const RasterState &st, const RasterVertex *v, int count) override {
    Bind();
    touched = true;
    Rasterize(DepthState(st, v, count, false), v, count, false);
  }

  void DrawLines(const RasterState &st, const RasterVertex *v, int count) override {
    Bind();
    touched = true;
    Rasterize(DepthState(st, v, count, true), v, count, true);
  }

  void Present(HWND target) override {
    // The back buffer survives Present (the copy swap effect), so the picture is read
    // from it until something is drawn; only once the read-back has been used does
    // every Present keep a copy of its own.
    touched = false;
    frames += 1;
    if (keepPresented) {
      std::memcpy(presented.data(), backBuffer, color.size() * 4);
      keptFrame = frames;
    }
    bound = false;
    if (WindowSurface *shown = SurfaceOf(target)) shown->Show(backBuffer, width, height);
  }

  bool ReadBack(uint32_t *pixels, int w, int h) override {
    if (w != width || h != height) return false;
    keepPresented = true;
    const uint32_t *picture;
    if (keptFrame == frames && frames > 0) picture = presented.data();
    else if (!touched && frames > 0) picture = backBuffer;
    else return false;
    for (size_t i = 0; i < presented.size(); ++i) pixels[i] = picture[i] | 0xFF000000u;
    return true;
  }

  void ForgetTexture(RasterTexture *) override {}
  const char *Describe() override { return "our software rasterizer"; }

private:
  // Chooses where the frame is drawn, at its first clear or draw. Where the window's
  // surface offers pixels of the picture's size (a window as large as the picture on
  // X11) the frame is drawn into them directly: Present then has nothing to copy.
  // Anything else (a scaled or full screen window, another display system, no window)
  // draws into the device's own pixels, which Present has copied or scaled into the
  // window. The back buffer keeps its picture when it moves between the two.
  void Bind() {
    if (bound) return;
    bound = true;
    uint32_t *pixels = surface != nullptr ? surface->DirectPixels(width, height) : nullptr;
    if (pixels == nullptr) {
      // The window's pixels given before are still there: the picture moves out.
      if (drawn != nullptr) Leave();
      return;
    }
    if (drawn == pixels) return;
    // Into the window's pixels: from our own, the picture comes along. (Pixels that the
    // window replaced without a change of size are gone; the new ones are drawn on as
    // they are.)
    if (drawn == nullptr) std::memcpy(pixels, color.data(), color.size() * 4);
    drawn = pixels;
    backBuffer = pixels;
  }

  // Back to the device's own pixels, bringing the picture from the window's.
  void Leave() {
    std::memcpy(color.data(), backBuffer, color.size() * 4);
    backBuffer = color.data();
    drawn = nullptr;
  }

  // The surface a Present shows the picture in: the device's window's, or that of the
  // window it was asked to show it in instead (made at its first Present there).
  WindowSurface *SurfaceOf(HWND target) {
    if (target == window) return surface.get();
    if (!otherKnown || target != otherWindow) {
      other.reset(CreateWindowSurface(target));
      otherWindow = target;
      otherKnown = true;
    }
    return other.get();
  }

  void Rasterize(const RasterState &st, const RasterVertex *v, int count, bool lines) {
    refraster::Draw({backBuffer, depth.data(), width, height}, st, v, count, lines);
  }

  // The state a batch is drawn with: without its depth test where it cannot fail (see
  // platform/raster/raster_depth.h), which spares reading and writing the depth buffer.
  // Depths are compared as stored, 0 to 65535, give or take one for the rounding of a
  // depth stepped across a triangle.
  const RasterState &DepthState(const RasterState &st, const RasterVertex *v, int count, bool lines) {
    bool writeFirst = false;
    const RasterState &use = depthRecord.Consider(
        st, v, count, lines, [](float z) { return (double)Round(Clamp(z, 0.0, 1.0) * 65535.0); }, 1.0, &writeFirst);
    if (writeFirst) WriteLeftOutDepth();
    return use;
  }

  // Does the whole clear that waited and writes the depths of the batches drawn without
  // their test, in order; then draws test as asked until the next clear of the whole buffer.
  void WriteLeftOutDepth() {
    if (!depthRecord.Known()) return;
    if (depthRecord.ClearPending()) std::fill(depth.begin(), depth.end(), (uint16_t)depthRecord.Cleared());
    depthRecord.Replay([this](const RasterState &depthOnly, const RasterVertex *v, int count, bool lines) {
      Rasterize(depthOnly, v, count, lines);
    });
    depthRecord.Forget();
  }

  HWND window;
  std::unique_ptr<WindowSurface> surface;   // the window's, or null: the picture is shown nowhere
  std::unique_ptr<WindowSurface> other;     // the last window shown in instead, if any
  HWND otherWindow = nullptr;
  bool otherKnown = false;
  int width = 0, height = 0;
  std::vector<uint32_t> color;        // the back buffer's own pixels
  uint32_t *backBuffer = nullptr;     // the pixels drawn into: `color`, or the window's own
  uint32_t *drawn = nullptr;          // the window's pixels, while they hold the back buffer
  bool bound = false;                 // this frame's back buffer has been chosen
  std::vector<uint16_t> depth;
  DepthRecord depthRecord;   // what the depth buffer holds, while known
  std::vector<uint32_t> presented;   // a copy of the last picture, once the read-back is used
  bool keepPresented = false;
  bool touched = true;                // drawn into since the last Present
  unsigned long frames = 0, keptFrame = 0;
};

}  // namespace

RasterDevice *CreateReferenceRaster(HWND window, WindowSurface *surface, int width, int height) {
  auto *raster = new ReferenceRaster(window, surface);
  raster->Resize(width, height);
  return raster;
}

RasterDevice *CreateReferenceRaster(HWND window, int width, int height) {
  return CreateReferenceRaster(window, CreateWindowSurface(window), width, height);
}
