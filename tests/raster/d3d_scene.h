// Helpers shared by the device tests: a device of either kind set up with the game's
// frame states, a frame that is drawn, presented and read back, and small textures
// whose texels the tests know.
#pragma once
#include <gtest/gtest.h>
#include <cmath>
#include <cstdint>
#include <functional>
#include <vector>
#include "platform/d3d8/d3d8_readback.h"
#include "platform/platform.h"
#include "render/device.h"
#include "render/primitives.h"

namespace d3dtest {

constexpr int Width = 800;
constexpr int Height = 600;

struct Picture {
  std::vector<DWORD> pixels = std::vector<DWORD>((size_t)Width * Height);
  DWORD At(int x, int y) const { return pixels[(size_t)y * Width + x]; }
  int Red(int x, int y) const { return (At(x, y) >> 16) & 255; }
  int Green(int x, int y) const { return (At(x, y) >> 8) & 255; }
  int Blue(int x, int y) const { return At(x, y) & 255; }
};

inline D3DPRESENT_PARAMETERS WindowedParams() {
  D3DPRESENT_PARAMETERS p = {};
  p.BackBufferWidth = Width;
  p.BackBufferHeight = Height;
  p.BackBufferFormat = D3DFMT_X8R8G8B8;
  p.BackBufferCount = 1;
  p.SwapEffect = D3DSWAPEFFECT_COPY;
  p.Windowed = TRUE;
  p.EnableAutoDepthStencil = TRUE;
  p.AutoDepthStencilFormat = D3DFMT_D16;
  return p;
}

// The states RenderFrame sets before the scene, and the screen-space vertex format.
inline void GameStates(IDirect3DDevice8 *d) {
  SetFrameStates(d);
  d->SetVertexShader(D3DFVF_SCREENVERTEX);
}

// Clears to opaque black, draws, presents and reads the picture back.
inline Picture Frame(IDirect3DDevice8 *d, const std::function<void()> &draw, bool gameStates = true) {
  d->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000, 1.0f, 0);
  d->BeginScene();
  if (gameStates) GameStates(d);
  draw();
  d->EndScene();
  EXPECT_EQ(d->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
  Picture p;
  EXPECT_TRUE(ReadBackPresented(d, p.pixels.data(), Width, Height));
  return p;
}

inline void Quad(IDirect3DDevice8 *d, float x0, float y0, float x1, float y1, D3DCOLOR colour, float z = 0.0f,
                 float u0 = 0.0f, float v0 = 0.0f, float u1 = 1.0f, float v1 = 1.0f) {
  ScreenVertex v[4] = {{x0, y0, z, 1.0f, colour, u0, v0},
                       {x1, y0, z, 1.0f, colour, u1, v0},
                       {x1, y1, z, 1.0f, colour, u1, v1},
                       {x0, y1, z, 1.0f, colour, u0, v1}};
  d->DrawPrimitiveUP(D3DPT_TRIANGLEFAN, 2, v, sizeof(ScreenVertex));
}

// A texture whose every level is filled by `texel`(level, x, y).
inline IDirect3DTexture8 *MakeTexture(IDirect3DDevice8 *d, UINT size, UINT levels,
                                      const std::function<DWORD(int, int, int)> &texel) {
  IDirect3DTexture8 *t = nullptr;
  EXPECT_EQ(d->CreateTexture(size, size, levels, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &t), D3D_OK);
  if (t == nullptr) return nullptr;
  for (UINT level = 0; level < t->GetLevelCount(); ++level) {
    D3DSURFACE_DESC desc;
    t->GetLevelDesc(level, &desc);
    D3DLOCKED_RECT locked;
    EXPECT_EQ(t->LockRect(level, &locked, nullptr, 0), D3D_OK);
    for (UINT y = 0; y < desc.Height; ++y)
      for (UINT x = 0; x < desc.Width; ++x)
        reinterpret_cast<DWORD *>(static_cast<BYTE *>(locked.pBits) + y * locked.Pitch)[x] = texel((int)level, (int)x, (int)y);
    t->UnlockRect(level);
  }
  return t;
}

// Cell 0 of a 64 x 64 sheet: red, green, blue and white quadrants (top-left,
// top-right, bottom-left, bottom-right); the other cells grey.
inline IDirect3DTexture8 *QuadrantSheet(IDirect3DDevice8 *d) {
  return MakeTexture(d, 64, 0, [](int level, int x, int y) -> DWORD {
    int cell = 16 >> level;
    if (cell < 1 || x >= cell || y >= cell) return 0xFF808080;
    bool right = x >= cell / 2, bottom = y >= cell / 2;
    if (!right && !bottom) return 0xFFFF0000;
    if (right && !bottom) return 0xFF00FF00;
    if (!right && bottom) return 0xFF0000FF;
    return 0xFFFFFFFF;
  });
}

// Every scene the two devices are compared on; each draws with the global `device`.
struct Scene {
  const char *name;
  std::function<void(IDirect3DDevice8 *, IDirect3DTexture8 *)> draw;
};

// The line scene: one line to a 40 x 40 cell, 20 x 15 cells. Its end points fall on
// whole, half and quarter pixels, its directions cover all eight octants with the
// axes and diagonals between them, and every line is drawn twice, in neighbouring
// cells, once each way. Solid white, so a pixel is lit or not.
constexpr int LineCell = 40;
constexpr int LineCellsAcross = Width / LineCell;
constexpr int LineCellCount = LineCellsAcross * (Height / LineCell);

struct LineCase {
  float x1, y1, x2, y2;
};

inline std::vector<LineCase> LineCases() {
  std::vector<LineCase> lines;
  unsigned seed = 2024;
  auto draw = [&](int n) {
    seed = seed * 214013u + 2531011u;
    return (int)((seed >> 16) & 0x7FFF) % n;
  };
  static const float fractions[4] = {0.0f, 0.5f, 0.25f, 0.75f};
  for (int pair = 0; pair < LineCellCount / 2; ++pair) {
    // Major and minor lengths; every eighth pair lies on an axis, the next on a diagonal.
    int major = 1 + draw(26);
    int minor = pair % 8 == 0 ? 0 : (pair % 8 == 1 ? major : draw(major + 1));
    int octant = (pair / 2) % 8;
    float dx = (float)(octant & 1 ? minor : major), dy = (float)(octant & 1 ? major : minor);
    if (octant & 2) dx = -dx;
    if (octant & 4) dy = -dy;
    float fx1 = fractions[draw(4)], fy1 = fractions[draw(4)], fx2 = fractions[draw(4)], fy2 = fractions[draw(4)];
    // Short lines too: now and then the far end only a fraction of a pixel away.
    if (pair % 16 == 5) dx = dy = 0.0f;
    float x1 = 20.0f - std::trunc(dx / 2) + fx1, y1 = 20.0f - std::trunc(dy / 2) + fy1;
    float x2 = x1 - fx1 + dx + fx2, y2 = y1 - fy1 + dy + fy2;
    for (int way = 0; way < 2; ++way) {
      int cell = pair * 2 + way;
      float ox = (float)(cell % LineCellsAcross * LineCell), oy = (float)(cell / LineCellsAcross * LineCell);
      if (way == 0) lines.push_back({ox + x1, oy + y1, ox + x2, oy + y2});
      else lines.push_back({ox + x2, oy + y2, ox + x1, oy + y1});
    }
  }
  return lines;
}

inline Scene LineScene() {
  return {"lines on whole, half and quarter pixels", [](IDirect3DDevice8 *, IDirect3DTexture8 *) {
            for (const LineCase &l : LineCases()) DrawLine(l.x1, l.y1, l.x2, l.y2, 0xFFFFFFFF, 0xFFFFFFFF);
          }};
}

inline std::vector<Scene> ComparisonScenes() {
  return {
      {"blended quads",
       [](IDirect3DDevice8 *d, IDirect3DTexture8 *) {
         Quad(d, 10, 10, 300, 200, 0xFF204060);
         Quad(d, 100, 50, 400, 350, 0x80FF8000);
         Quad(d, 350, 300, 700, 580, 0x40FFFFFF);
       }},
      {"split squares and a fan",
       [](IDirect3DDevice8 *, IDirect3DTexture8 *) {
         for (int i = 0; i < 12; ++i) {
           float x = 20.0f + i * 60.0f, y = 40.0f + (i % 3) * 0.37f;
           DrawTriangle(x, y, x + 45.3f, y, x + 45.3f, y + 45.3f, 0xFFFF0000, 0xFFFF0000, 0xFFFF0000);
           DrawTriangle(x, y, x + 45.3f, y + 45.3f, x, y + 45.3f, 0xFF00FF00, 0xFF00FF00, 0xFF00FF00);
         }
         for (int i = 0; i < 24; ++i) {
           float a0 = i * 0.2618f, a1 = (i + 1) * 0.2618f;
           DrawTriangle(400.3f, 400.6f, 400.3f + 150 * std::cos(a0), 400.6f + 150 * std::sin(a0),
                        400.3f + 150 * std::cos(a1), 400.6f + 150 * std::sin(a1), 0x80FFFFFF, 0x80FFFFFF, 0x80FFFFFF);
         }
       }},
      {"interpolated triangle and lines",
       [](IDirect3DDevice8 *, IDirect3DTexture8 *) {
         DrawTriangle(50, 550, 400, 60, 750, 500, 0xFFFF0000, 0xFF00FF00, 0xFF0000FF);
         for (int i = 0; i < 40; ++i) {
           float a = i * 0.157f;
           DrawLine(200, 300, 200 + 150 * std::cos(a), 300 + 150 * std::sin(a), 0xFFFFFF00, 0xFF00FFFF);
         }
         DrawLine(10, 590, 790, 590, 0xFFFF0000, 0xFF0000FF);
       }},
      {"point sampling, clamping and the alpha test",
       [](IDirect3DDevice8 *d, IDirect3DTexture8 *sheet) {
         // A 64 x 16 page drawn the way text is: point filters, clamped, no mips.
         IDirect3DTexture8 *page = nullptr;
         if (FAILED(d->CreateTexture(64, 16, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &page))) return;
         D3DLOCKED_RECT locked;
         page->LockRect(0, &locked, nullptr, 0);
         for (int y = 0; y < 16; ++y)
           for (int x = 0; x < 64; ++x)
             reinterpret_cast<DWORD *>(static_cast<BYTE *>(locked.pBits) + y * locked.Pitch)[x] =
                 (DWORD)(((x * 37 + y * 11) % 5) * 60) << 24 | 0xFFFFFF;
         page->UnlockRect(0);
         d->SetTextureStageState(0, D3DTSS_MINFILTER, D3DTEXF_POINT);
         d->SetTextureStageState(0, D3DTSS_MAGFILTER, D3DTEXF_POINT);
         d->SetTextureStageState(0, D3DTSS_MIPFILTER, D3DTEXF_NONE);
         d->SetTextureStageState(0, D3DTSS_ADDRESSU, D3DTADDRESS_CLAMP);
         d->SetTextureStageState(0, D3DTSS_ADDRESSV, D3DTADDRESS_CLAMP);
         d->SetRenderState(D3DRS_ZENABLE, D3DZB_FALSE);
         d->SetTexture(0, page);
         // Edges a third of a pixel off, so no pixel centre samples exactly on a texel
         // boundary, where either neighbour is right.
         Quad(d, 20.3f, 20.3f, 276.3f, 84.3f, 0xFFFFC080, 0.0f, -0.25f, -0.25f, 1.25f, 1.25f);
         Quad(d, 300.3f, 20.3f, 364.3f, 36.3f, 0xC0FFFFFF);
         // The alpha test and the stage selecting the diffuse colour over a texture.
         d->SetRenderState(D3DRS_ALPHATESTENABLE, TRUE);
         d->SetRenderState(D3DRS_ALPHAREF, 0x80);
         d->SetRenderState(D3DRS_ALPHAFUNC, D3DCMP_GREATEREQUAL);
         Quad(d, 20.3f, 120.3f, 276.3f, 184.3f, 0xFF80FFFF);
         d->SetRenderState(D3DRS_ALPHATESTENABLE, FALSE);
         d->SetTexture(0, sheet);
         d->SetTextureStageState(0, D3DTSS_ADDRESSU, D3DTADDRESS_WRAP);
         d->SetTextureStageState(0, D3DTSS_ADDRESSV, D3DTADDRESS_MIRROR);
         d->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG2);
         Quad(d, 300, 120, 556, 376, 0xFF4080C0, 0.0f, 0.0f, 0.0f, 2.0f, 2.0f);
         d->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
         d->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_SELECTARG2);
         Quad(d, 580, 120, 780, 320, 0xFFFFFFFF, 0.0f, -1.0f, 0.5f, 1.5f, 2.0f);
         d->SetTexture(0, nullptr);
         page->Release();
       }},
      {"mipmapped quads shrunk, wrapped, mirrored and clamped",
       [](IDirect3DDevice8 *d, IDirect3DTexture8 *) {
         // Every level its own tint over a checkerboard of 4-texel squares, so a wrong
         // level, a wrong blend between two, or a wrong texel at an edge all show.
         IDirect3DTexture8 *tiles = MakeTexture(d, 64, 0, [](int level, int x, int y) -> DWORD {
           static const DWORD tint[7] = {0xFFFF4040, 0xFF40FF40, 0xFF4040FF, 0xFFFFFF40, 0xFF40FFFF, 0xFFFF40FF, 0xFFFFFFFF};
           return ((x / 4 + y / 4) & 1) ? tint[level] : 0x80202020;
         });
         if (tiles == nullptr) return;
         d->SetTexture(0, tiles);
         static const DWORD modes[3] = {D3DTADDRESS_WRAP, D3DTADDRESS_MIRROR, D3DTADDRESS_CLAMP};
         for (int row = 0; row < 3; ++row) {
           d->SetTextureStageState(0, D3DTSS_ADDRESSU, modes[row]);
           d->SetTextureStageState(0, D3DTSS_ADDRESSV, modes[(row + 1) % 3]);
           // From magnified to a sixteenth, across whole and fractional levels.
           float x = 10.3f;
           for (float size : {150.0f, 90.0f, 61.0f, 45.0f, 29.0f, 17.0f, 11.0f, 7.0f}) {
             Quad(d, x, 10.3f + row * 190.0f, x + size, 10.3f + row * 190.0f + size, 0xFFFFFFFF, 0.0f, -0.6f, -0.3f,
                  1.7f, 2.1f);
             x += size + 8.0f;
           }
         }
         // The nearest level instead of a blend of two.
         d->SetTextureStageState(0, D3DTSS_MIPFILTER, D3DTEXF_POINT);
         Quad(d, 600.3f, 560.3f, 637.3f, 597.3f, 0xC0FFFFFF);
         d->SetTexture(0, nullptr);
         tiles->Release();
       }},
      {"depths that pass, then ones that do not",
       [](IDirect3DDevice8 *d, IDirect3DTexture8 *sheet) {
         // Nearer and nearer quads pass everywhere; a farther one is then hidden where
         // they lie, and so are a line and an alpha-tested sprite behind them.
         Quad(d, 20, 20, 300, 300, 0xFF802020, 0.6f);
         Quad(d, 100, 100, 400, 400, 0xFF208020, 0.4f);
         d->SetTexture(0, sheet);
         d->SetRenderState(D3DRS_ALPHATESTENABLE, TRUE);
         d->SetRenderState(D3DRS_ALPHAREF, 0x80);
         d->SetRenderState(D3DRS_ALPHAFUNC, D3DCMP_GREATEREQUAL);
         Quad(d, 420, 20, 560, 160, 0xFFFFFFFF, 0.3f, 0.0f, 0.0f, 0.25f, 0.25f);
         d->SetRenderState(D3DRS_ALPHATESTENABLE, FALSE);
         d->SetTexture(0, nullptr);
         DrawLine(10, 250, 600, 250, 0xFF2020FF, 0xFF2020FF);   // at depth 0
         Quad(d, 50, 50, 580, 200, 0xFFFFFF00, 0.5f);
         ScreenVertex far[2] = {{10, 260, 0.5f, 1, 0xFFFF00FF, 0, 0}, {600, 270, 0.5f, 1, 0xFFFF00FF, 0, 0}};
         d->DrawPrimitiveUP(D3DPT_LINELIST, 1, far, sizeof(ScreenVertex));
         // Greater-or-equal after a clear of one part of the buffer.
         D3DRECT part = {450, 300, 780, 580};
         d->Clear(1, &part, D3DCLEAR_ZBUFFER, 0, 0.2f, 0);
         d->SetRenderState(D3DRS_ZFUNC, D3DCMP_GREATEREQUAL);
         Quad(d, 500, 350, 700, 550, 0xFF00FFFF, 0.3f);
         Quad(d, 420, 420, 760, 480, 0xFFFF8000, 0.25f);
         d->SetRenderState(D3DRS_ZFUNC, D3DCMP_LESSEQUAL);
       }},
      {"sprites",
       [](IDirect3DDevice8 *d, IDirect3DTexture8 *sheet) {
         d->SetTexture(0, sheet);
         for (int i = 0; i < 30; ++i)
           DrawSprite(60.0f + (i % 10) * 75.0f, 80.0f + (i / 10) * 180.0f, i * 0.21f, 8.0f + i * 1.5f, i % 16,
                      255 - i * 5);
       }},
      {"across the picture's edges and far beyond them",
       [](IDirect3DDevice8 *d, IDirect3DTexture8 *sheet) {
         // Corners a little, far and very far past the picture: what a device keeps of
         // each must not depend on how much of it lies outside.
         DrawTriangle(-5000, 120, 420, -9000, 900, 700, 0xFFFF0000, 0xFF00FF00, 0xFF0000FF);
         DrawTriangle(-4e5f, 590, 790, 5e5f, 790, 590, 0xC0FFFFFF, 0xC0FFFFFF, 0xC0FFFFFF);
         DrawLine(-40.5f, 30, 300, 10.25f, 0xFFFFFF00, 0xFFFFFF00);
         DrawLine(600, -7000.5f, 760.5f, 580, 0xFF00FFFF, 0xFF00FFFF);
         // Sprites on every edge and corner, each half or more outside.
         d->SetTexture(0, sheet);
         const float at[8][2] = {{0, 300}, {800, 250}, {400, 0}, {330, 600}, {0, 0}, {800, 0}, {0, 600}, {800, 600}};
         for (int i = 0; i < 8; ++i) DrawSprite(at[i][0], at[i][1], i * 0.4f, 30.0f + i * 6.0f, i * 2, 255);
       }},
      {"batches far larger than the ones before and after them",
       [](IDirect3DDevice8 *d, IDirect3DTexture8 *sheet) {
         // Small batches of sprites and triangles, then 700 sprites and 1,400 lines in
         // one batch each, then a small one again: a device that keeps its vertices in
         // buffers from batch to batch must make room for the large ones.
         d->SetTexture(0, sheet);
         for (int i = 0; i < 3; ++i) DrawSprite(30.0f + i * 40, 30, i * 0.5f, 14, i, 255);
         DrawTriangle(200, 10, 260, 10, 200, 60, 0xFFFF8000, 0xFFFF8000, 0xFFFF8000);
         d->SetTexture(0, sheet);
         for (int i = 0; i < 700; ++i)
           DrawSprite(20.0f + (i % 35) * 22.3f, 80.0f + (i / 35) * 19.7f, i * 0.37f, 6.0f + (i % 5), i % 16, 255);
         // Short lines whose colours run all the way to 0 and to 255, drawn either way.
         for (int i = 0; i < 1400; ++i) {
           float x = 8.0f + (i % 70) * 11.0f, y = 480.0f + (i / 70) * 5.5f, x2 = x + 7.0f, y2 = y + (float)(i % 3);
           if (i % 2) DrawLine(x, y, x2, y2, 0xFF00FF40, 0xFFFF00FF);
           else DrawLine(x2, y2, x, y, 0xFFFF00FF, 0xFF00FF40);
         }
         d->SetTexture(0, sheet);
         for (int i = 0; i < 3; ++i) DrawSprite(400.0f + i * 40, 30, i * 0.5f, 14, i + 4, 255);
       }},
  };
}

}  // namespace d3dtest
