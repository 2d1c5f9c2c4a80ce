// A rasterizer that draws nothing and records, in order, everything the Direct3D 8
// front end hands it: each clear, each batch of triangles or lines with its resolved
// state and its vertices, each present, resize and forgotten texture. With the front
// end put over it the tests check the batches themselves instead of pixels. Also small
// helpers that draw the game's kind of screen-space primitives through the front end.
#pragma once
#include <gtest/gtest.h>
#include <cstdint>
#include <utility>
#include <vector>
#include "platform/d3d8/d3d8_internal.h"
#include "platform/platform.h"

namespace d3d8test {

enum class Call { Clear, Triangles, Lines, Present, Forget, Resize };

struct Recorded {
  explicit Recorded(Call kind, const RasterState &batchState = RasterState(), std::vector<RasterVertex> batch = {})
      : call(kind), state(batchState), vertices(std::move(batch)) {}
  Call call;
  RasterState state;                   // a batch's state; a clear's clip
  std::vector<RasterVertex> vertices;  // a batch's vertices
  std::vector<D3DRECT> rects;          // a clear's rectangles, its flags, colour and depth
  DWORD flags = 0;
  uint32_t color = 0;
  float z = 0.0f;
  HWND window = nullptr;                     // a present's window
  const RasterTexture *texture = nullptr;    // a forgotten texture
  int width = 0, height = 0;                 // a resize
  bool IsBatch() const { return call == Call::Triangles || call == Call::Lines; }
};

class RecordingDevice final : public RasterDevice {
public:
  bool Resize(int width, int height) override {
    Recorded r{Call::Resize};
    r.width = width;
    r.height = height;
    calls.push_back(r);
    return true;
  }
  void Clear(const RasterState &state, int count, const D3DRECT *rects, DWORD flags, uint32_t color,
             float z) override {
    Recorded r{Call::Clear, state};
    r.rects.assign(rects, rects + (rects != nullptr ? count : 0));
    r.flags = flags;
    r.color = color;
    r.z = z;
    calls.push_back(r);
  }
  void DrawTriangles(const RasterState &state, const RasterVertex *vertices, int count) override {
    EXPECT_EQ(count % 3, 0);
    calls.emplace_back(Call::Triangles, state, std::vector<RasterVertex>(vertices, vertices + count));
  }
  void DrawLines(const RasterState &state, const RasterVertex *vertices, int count) override {
    EXPECT_EQ(count % 2, 0);
    calls.emplace_back(Call::Lines, state, std::vector<RasterVertex>(vertices, vertices + count));
  }
  void Present(HWND window) override {
    Recorded r{Call::Present};
    r.window = window;
    calls.push_back(r);
  }
  bool ReadBack(uint32_t *, int, int) override { return false; }
  void ForgetTexture(RasterTexture *texture) override {
    Recorded r{Call::Forget};
    r.texture = texture;
    calls.push_back(r);
  }
  const char *Describe() override { return "recording device"; }
  void SetPresentInterval(int interval) override { presentInterval = interval; }

  // The batches alone, in order.
  std::vector<Recorded> Batches() const {
    std::vector<Recorded> out;
    for (const Recorded &r : calls)
      if (r.IsBatch()) out.push_back(r);
    return out;
  }
  std::vector<Call> Kinds() const {
    std::vector<Call> out;
    for (const Recorded &r : calls) out.push_back(r.call);
    return out;
  }

  std::vector<Recorded> calls;
  int presentInterval = -1;
};

inline D3DPRESENT_PARAMETERS WindowedParams() {
  D3DPRESENT_PARAMETERS p = {};
  p.BackBufferWidth = 800;
  p.BackBufferHeight = 600;
  p.BackBufferFormat = D3DFMT_X8R8G8B8;
  p.BackBufferCount = 1;
  p.SwapEffect = D3DSWAPEFFECT_COPY;
  p.Windowed = TRUE;
  p.EnableAutoDepthStencil = TRUE;
  p.AutoDepthStencilFormat = D3DFMT_D16;
  return p;
}

// The Direct3D object and a device over a recording device; both must be released to
// nothing when the test ends. `recorder` stays valid as long as the device lives.
class RecordedDevice : public ::testing::Test {
protected:
  void SetUp() override { Open(WindowedParams(), nullptr); }
  void TearDown() override {
    if (dev != nullptr) {
      EXPECT_EQ(dev->Release(), 0u);
    }
    if (d3d != nullptr) {
      EXPECT_EQ(d3d->Release(), 0u);
    }
  }
  void Open(D3DPRESENT_PARAMETERS p, HWND window) {
    if (dev != nullptr) dev->Release();
    if (d3d == nullptr) d3d = Direct3DCreate8(220);
    ASSERT_NE(d3d, nullptr);
    recorder = new RecordingDevice;
    ASSERT_EQ(CreateDevice8Over(d3d, D3DDEVTYPE_REF, window, &p, recorder, &dev), D3D_OK);
    dev->SetVertexShader(Fvf);
  }
  // What has reached the recording device since the last call.
  std::vector<Recorded> Take() {
    std::vector<Recorded> out;
    out.swap(recorder->calls);
    return out;
  }
  std::vector<Recorded> TakeBatches() {
    std::vector<Recorded> out = recorder->Batches();
    recorder->calls.clear();
    return out;
  }

  // The state of the one batch a triangle drawn in a scene of its own goes out with.
  RasterState DrawnState() {
    dev->BeginScene();
    Triangle(0, 0);
    dev->EndScene();
    std::vector<Recorded> batches = TakeBatches();
    EXPECT_EQ(batches.size(), 1u);
    return batches.empty() ? RasterState() : batches[0].state;
  }

  // A screen-space vertex of the game's kind.
  struct Vertex {
    float x, y, z, rhw;
    D3DCOLOR colour;
    float u, v;
  };
  static constexpr DWORD Fvf = D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1;

  // A triangle 10 pixels across at (x, y), clockwise on screen (kept by the default culling).
  void Triangle(float x, float y, D3DCOLOR colour = 0xFFFFFFFF) {
    Vertex v[3] = {{x, y, 0, 1, colour, 0, 0}, {x + 10, y, 0, 1, colour, 1, 0}, {x, y + 10, 0, 1, colour, 0, 1}};
    EXPECT_EQ(dev->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, v, sizeof(Vertex)), D3D_OK);
  }
  // A sprite: a quad of two triangles as one fan, with whatever texture is set.
  void Sprite(float x, float y) {
    Vertex v[4] = {{x, y, 0, 1, 0xFFFFFFFF, 0, 0},
                   {x + 10, y, 0, 1, 0xFFFFFFFF, 1, 0},
                   {x + 10, y + 10, 0, 1, 0xFFFFFFFF, 1, 1},
                   {x, y + 10, 0, 1, 0xFFFFFFFF, 0, 1}};
    EXPECT_EQ(dev->DrawPrimitiveUP(D3DPT_TRIANGLEFAN, 2, v, sizeof(Vertex)), D3D_OK);
  }
  void Line(float x, float y, D3DCOLOR colour = 0xFFFFFFFF) {
    Vertex v[2] = {{x, y, 0, 1, colour, 0, 0}, {x + 10, y, 0, 1, colour, 0, 0}};
    EXPECT_EQ(dev->DrawPrimitiveUP(D3DPT_LINELIST, 1, v, sizeof(Vertex)), D3D_OK);
  }
  IDirect3DTexture8 *Texture() {
    IDirect3DTexture8 *t = nullptr;
    EXPECT_EQ(dev->CreateTexture(4, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &t), D3D_OK);
    return t;
  }
  // The texture record a batch drawn with `t` points at.
  static const RasterTexture *RasterOf(IDirect3DTexture8 *t) { return &static_cast<Texture8 *>(t)->raster; }

  IDirect3D8 *d3d = nullptr;
  IDirect3DDevice8 *dev = nullptr;
  RecordingDevice *recorder = nullptr;
};

}  // namespace d3d8test
