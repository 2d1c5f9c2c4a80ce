// The reference device on scenes whose pixels can be worked out by hand: blending and
// modulation, the top-left fill rule, lines with their last pixel, colour
// interpolation, sprite corners and turns, mip selection, the depth test and the
// states it starts with, textures and the lost device of a full-screen run. (State
// blocks and batching are checked on the batches themselves, in tests/d3d8.)
#include <gtest/gtest.h>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>
#include "d3d_scene.h"
#include "app/game.h"
#include "platform/drivers/headless/headless.h"

using namespace d3dtest;

namespace {

// a x b / 255, rounded.
int Mul(int a, int b) { return (a * b + 127) / 255; }
// The source-alpha blend of one channel.
int Over(int s, int d, int alpha) { return (s * alpha + d * (255 - alpha) + 127) / 255; }

class ReferenceDevice : public ::testing::Test {
protected:
  void SetUp() override {
    d3d = Direct3DCreate8(120);
    ASSERT_NE(d3d, nullptr);
    D3DPRESENT_PARAMETERS p = WindowedParams();
    ASSERT_EQ(d3d->CreateDevice(0, D3DDEVTYPE_REF, nullptr, D3DCREATE_SOFTWARE_VERTEXPROCESSING, &p, &dev), D3D_OK);
    device = dev;
  }
  void TearDown() override {
    device = nullptr;
    if (dev) {
      EXPECT_EQ(dev->Release(), 0u);
    }
    if (d3d) {
      EXPECT_EQ(d3d->Release(), 0u);
    }
  }
  IDirect3D8 *d3d = nullptr;
  IDirect3DDevice8 *dev = nullptr;
};

TEST_F(ReferenceDevice, BlendingAndModulationGiveTheHandComputedValues) {
  IDirect3DTexture8 *tex = MakeTexture(dev, 4, 1, [](int, int, int) -> DWORD { return 0x80C08040; });
  Picture p = Frame(dev, [&] {
    Quad(dev, 0, 0, 100, 100, 0xFF204060);     // opaque base
    Quad(dev, 50, 0, 100, 100, 0x80FF8000);    // half over the base, half over black
    Quad(dev, 0, 50, 100, 100, 0x80FF8000);
    dev->SetTexture(0, tex);
    Quad(dev, 200, 0, 300, 100, 0xFFFFFFFF);   // texture alone: its alpha blends it
    Quad(dev, 300, 0, 400, 100, 0x80808080);   // texture x vertex colour and alpha
    dev->SetTexture(0, nullptr);
    Quad(dev, 400, 0, 500, 100, 0x80808080);   // no texture: the vertex colour alone
  });
  EXPECT_EQ(p.Red(10, 10), 0x20);
  EXPECT_EQ(p.Green(10, 10), 0x40);
  // Over the base, then over itself: 0x80FF8000 blended twice at (75, 75).
  int r = Over(0xFF, 0x20, 0x80), g = Over(0x80, 0x40, 0x80), b = Over(0x00, 0x60, 0x80);
  EXPECT_EQ(p.Red(75, 25), r);
  EXPECT_EQ(p.Green(75, 25), g);
  EXPECT_EQ(p.Blue(75, 25), b);
  EXPECT_EQ(p.Red(75, 75), Over(0xFF, r, 0x80));
  EXPECT_EQ(p.Blue(75, 75), Over(0x00, b, 0x80));
  EXPECT_EQ(p.Red(250, 50), Over(0xC0, 0, 0x80));
  EXPECT_EQ(p.Green(250, 50), Over(0x80, 0, 0x80));
  int alpha = Mul(0x80, 0x80);
  EXPECT_EQ(p.Red(350, 50), Over(Mul(0xC0, 0x80), 0, alpha));
  EXPECT_EQ(p.Green(350, 50), Over(Mul(0x80, 0x80), 0, alpha));
  EXPECT_EQ(p.Blue(350, 50), Over(Mul(0x40, 0x80), 0, alpha));
  EXPECT_EQ(p.Red(450, 50), Over(0x80, 0, 0x80));
  tex->Release();
}

TEST_F(ReferenceDevice, TheTopLeftRuleSplitsASquareFifteenToTenAndNeverBlendsTwice) {
  Picture p = Frame(dev, [&] {
    DrawTriangle(10, 10, 15, 10, 15, 15, 0xFFFF0000, 0xFFFF0000, 0xFFFF0000);
    DrawTriangle(10, 10, 15, 15, 10, 15, 0xFF00FF00, 0xFF00FF00, 0xFF00FF00);
    // The same square at half alpha: a pixel drawn twice would come out brighter.
    DrawTriangle(30, 10, 35, 10, 35, 15, 0x80FFFFFF, 0x80FFFFFF, 0x80FFFFFF);
    DrawTriangle(30, 10, 35, 15, 30, 15, 0x80FFFFFF, 0x80FFFFFF, 0x80FFFFFF);
  });
  int red = 0, green = 0, other = 0, half = 0;
  for (int y = 5; y < 20; ++y)
    for (int x = 5; x < 40; ++x) {
      DWORD c = p.At(x, y) & 0xFFFFFF;
      bool inside = x >= 10 && x < 15 && y >= 10 && y < 15;
      bool inside2 = x >= 30 && x < 35 && y >= 10 && y < 15;
      if (c == 0xFF0000 && inside) ++red;
      else if (c == 0x00FF00 && inside) ++green;
      else if (c == 0x808080 && inside2) ++half;
      else if (c != 0) ++other;
    }
  EXPECT_EQ(red, 15);    // the upper triangle owns the diagonal: it is its left edge
  EXPECT_EQ(green, 10);
  EXPECT_EQ(half, 25);
  EXPECT_EQ(other, 0);
  EXPECT_EQ(p.Red(10, 10), 255);   // the corner on the top and left edges is drawn
  EXPECT_EQ(p.At(15, 12) & 0xFFFFFF, 0u);
  EXPECT_EQ(p.At(12, 15) & 0xFFFFFF, 0u);
}

TEST_F(ReferenceDevice, AFanWithSharedEdgesAtOddPositionsCoversEachPixelOnce) {
  Picture p = Frame(dev, [&] {
    for (int i = 0; i < 17; ++i) {
      float a0 = i * 0.3696f, a1 = (i + 1) * 0.3696f;   // 17 slices of a full turn
      DrawTriangle(200.37f, 200.61f, 200.37f + 90.3f * std::cos(a0), 200.61f + 90.3f * std::sin(a0),
                   200.37f + 90.3f * std::cos(a1), 200.61f + 90.3f * std::sin(a1), 0x80FFFFFF, 0x80FFFFFF,
                   0x80FFFFFF);
    }
  });
  int once = 0;
  for (int y = 100; y < 300; ++y)
    for (int x = 100; x < 300; ++x) {
      int v = p.Red(x, y);
      ASSERT_TRUE(v == 0 || v == 128) << x << "," << y << " = " << v;
      double dx = x - 200.37, dy = y - 200.61;
      if (dx * dx + dy * dy < 85.0 * 85.0) {
        EXPECT_EQ(v, 128) << "hole at " << x << "," << y;
        ++once;
      }
    }
  EXPECT_GT(once, 20000);
}

// The pixels of `colour` (red, green or blue at 255) in a rectangle, as "x,y" strings.
std::vector<std::string> Lit(const Picture &p, int x0, int y0, int x1, int y1, int shift) {
  std::vector<std::string> lit;
  for (int y = y0; y <= y1; ++y)
    for (int x = x0; x <= x1; ++x)
      if (((p.At(x, y) >> shift) & 255) == 255) lit.push_back(std::to_string(x) + "," + std::to_string(y));
  return lit;
}

std::vector<std::string> Pixels(int x0, int x1, int y0, int y1) {   // a row or column of pixels
  std::vector<std::string> run;
  for (int y = y0; y <= y1; ++y)
    for (int x = x0; x <= x1; ++x) run.push_back(std::to_string(x) + "," + std::to_string(y));
  return run;
}

TEST_F(ReferenceDevice, LinesDrawTheirLastPixelAndInterpolateTheirColour) {
  Picture p = Frame(dev, [&] {
    DrawLine(10, 10, 20, 10, 0xFF000000, 0xFF0000FA);       // blue 0 to 250 over 11 pixels
    DrawLine(30, 20, 30, 40, 0xFFFF0000, 0xFFFF0000);       // downwards
    DrawLine(50, 10, 60, 16, 0xFF00FF00, 0xFF00FF00);       // x-major diagonal
  });
  for (int k = 0; k <= 10; ++k) EXPECT_NEAR(p.Blue(10 + k, 10), 25 * k, 1) << k;
  EXPECT_EQ(p.At(21, 10) & 0xFFFFFF, 0u);
  EXPECT_EQ(p.At(9, 10) & 0xFFFFFF, 0u);
  EXPECT_EQ(Lit(p, 25, 0, 35, 59, 16), Pixels(30, 30, 20, 40));
  int diagonal = 0;
  for (int y = 0; y < 30; ++y)
    for (int x = 40; x < 70; ++x) diagonal += p.Green(x, y) == 255;
  EXPECT_EQ(diagonal, 11);   // one pixel per column, both ends included
  EXPECT_EQ(p.Green(50, 10), 255);
  EXPECT_EQ(p.Green(60, 16), 255);

  // Without the last pixel the end is left out.
  Picture q = Frame(dev, [&] {
    dev->SetRenderState(D3DRS_LASTPIXEL, FALSE);
    DrawLine(10, 10, 20, 10, 0xFFFFFFFF, 0xFFFFFFFF);
  });
  EXPECT_EQ(Lit(q, 0, 5, 30, 15, 16), Pixels(10, 19, 10, 10));
}

// Lines through pixel corners and edges, worked out by the diamond-exit rule with the
// hardware device's ties: a line exactly between two rows takes the upper one when it
// is flat or rises to the right, the lower when it falls; a steep one takes the left
// column. Where a line starts on a pixel's centre line but outside its diamond, which
// way it runs decides whether that pixel is lit.
TEST_F(ReferenceDevice, LinesBetweenTwoRowsOrColumnsAndTheirEndsFollowTheHardwareDevicesTies) {
  Picture p = Frame(dev, [&] {
    DrawLine(10, 45.5f, 20, 45.5f, 0xFFFF0000, 0xFFFF0000);    // flat on a half, to the right
    DrawLine(20, 55.5f, 10, 55.5f, 0xFFFF0000, 0xFFFF0000);    // the same, to the left
    DrawLine(330, 50, 350, 130, 0xFF00FF00, 0xFF00FF00);       // steep, a half every other row
    DrawLine(100, 70.5f, 104, 74.5f, 0xFF0000FF, 0xFF0000FF);  // diagonal, falling
    DrawLine(100, 90.5f, 104, 86.5f, 0xFF0000FF, 0xFF0000FF);  // diagonal, rising
  });
  EXPECT_EQ(Lit(p, 0, 40, 30, 50, 16), Pixels(10, 20, 45, 45));
  // To the left the line starts on the centre line of pixel (20, 55), outside its
  // diamond, and never enters it.
  EXPECT_EQ(Lit(p, 0, 50, 30, 60, 16), Pixels(10, 19, 55, 55));
  std::vector<std::string> steep = Lit(p, 320, 40, 360, 140, 8);
  ASSERT_EQ(steep.size(), 81u);   // one pixel a row, from 50 to 130
  for (int y = 50; y <= 130; ++y) {
    // x = 330 + (y - 50) / 4, rounded: a quarter down, three quarters up, and the
    // half on every fourth row to the left.
    int x = 330 + (y - 50) / 4 + ((y - 50) % 4 == 3);
    EXPECT_EQ(p.Green(x, y), 255) << y;
  }
  EXPECT_EQ(p.Green(331, 52), 0);
  EXPECT_EQ(Lit(p, 95, 65, 110, 79, 0), (std::vector<std::string>{"100,71", "101,72", "102,73", "103,74", "104,75"}));
  EXPECT_EQ(Lit(p, 95, 80, 110, 95, 0), (std::vector<std::string>{"104,86", "103,87", "102,88", "101,89", "100,90"}));
}

// Both ways the same line lights the same pixels in between; each way lights the pixel
// its own far end lies in and leaves the one it starts in, outside that pixel's diamond,
// dark.
TEST_F(ReferenceDevice, ALineDrawnBothWaysDiffersOnlyInWhichEndItLights) {
  Picture p = Frame(dev, [&] {
    DrawLine(10.25f, 10.75f, 30.75f, 17.25f, 0xFFFF0000, 0xFFFF0000);
    DrawLine(30.75f, 47.25f, 10.25f, 40.75f, 0xFFFF0000, 0xFFFF0000);
    // Upwards from a pixel centre: the first pixel stays dark, as on the hardware device.
    DrawLine(60, 40, 60, 20, 0xFF00FF00, 0xFF00FF00);
  });
  auto rowOf = [&](int x, int y0) {
    for (int y = y0; y < y0 + 20; ++y)
      if (p.Red(x, y) == 255) return y - y0;
    return -1;
  };
  EXPECT_EQ(rowOf(10, 5), -1);   // this way the line starts in pixel 10 ...
  EXPECT_EQ(rowOf(31, 5), 12);   // ... and ends in 31
  EXPECT_EQ(rowOf(10, 35), 6);   // the other way round
  EXPECT_EQ(rowOf(31, 35), -1);
  for (int x = 11; x <= 30; ++x) {
    EXPECT_NE(rowOf(x, 5), -1) << x;
    EXPECT_EQ(rowOf(x, 5), rowOf(x, 35)) << x;
  }
  EXPECT_EQ(Lit(p, 55, 10, 65, 45, 8), Pixels(60, 60, 20, 39));
}

TEST_F(ReferenceDevice, LinesShorterThanAPixelLightAtMostTheirOwnPixelAndTheLastPixelRule) {
  Picture p = Frame(dev, [&] {
    DrawLine(100.125f, 100, 100.375f, 100, 0xFFFFFFFF, 0xFFFFFFFF);   // inside one diamond
    DrawLine(200, 200, 200, 200, 0xFFFFFFFF, 0xFFFFFFFF);             // a point
  });
  EXPECT_EQ(Lit(p, 90, 90, 110, 110, 16), Pixels(100, 100, 100, 100));
  EXPECT_EQ(Lit(p, 190, 190, 210, 210, 16), Pixels(200, 200, 200, 200));
  // Without the last pixel neither ever leaves a diamond: nothing is drawn.
  Picture q = Frame(dev, [&] {
    dev->SetRenderState(D3DRS_LASTPIXEL, FALSE);
    DrawLine(100.125f, 100, 100.375f, 100, 0xFFFFFFFF, 0xFFFFFFFF);
    DrawLine(200, 200, 200, 200, 0xFFFFFFFF, 0xFFFFFFFF);
    DrawLine(300.25f, 300, 300.5f, 300, 0xFFFFFFFF, 0xFFFFFFFF);      // leaves its diamond at the corner
  });
  EXPECT_TRUE(Lit(q, 90, 90, 210, 210, 16).empty());
  EXPECT_EQ(Lit(q, 290, 290, 310, 310, 16), Pixels(300, 300, 300, 300));
}

TEST_F(ReferenceDevice, ATriangleInterpolatesItsCornerColours) {
  Picture p = Frame(dev, [&] { DrawTriangle(100, 100, 400, 100, 100, 400, 0xFFFF0000, 0xFF00FF00, 0xFF0000FF); });
  // (x, y) = (100, 100) + s (300, 0) + t (0, 300): red 1 - s - t, green s, blue t.
  for (auto [x, y] : {std::pair{100, 100}, {250, 100}, {100, 250}, {200, 200}, {160, 130}, {130, 330}}) {
    double s = (x - 100) / 300.0, t = (y - 100) / 300.0;
    EXPECT_NEAR(p.Red(x, y), 255 * (1 - s - t), 1.5) << x << "," << y;
    EXPECT_NEAR(p.Green(x, y), 255 * s, 1.5) << x << "," << y;
    EXPECT_NEAR(p.Blue(x, y), 255 * t, 1.5) << x << "," << y;
  }
}

TEST_F(ReferenceDevice, ASpriteShowsItsCellUprightAndTurnsCounterClockwise) {
  IDirect3DTexture8 *sheet = QuadrantSheet(dev);
  // size 40: corners 40 pixels from the centre, a square about 56.6 pixels wide.
  Picture upright = Frame(dev, [&] {
    dev->SetTexture(0, sheet);
    DrawSprite(200, 200, 0.0f, 40.0f, 0, 255);
  });
  Picture turned = Frame(dev, [&] {
    dev->SetTexture(0, sheet);
    DrawSprite(200, 200, 1.570796f, 40.0f, 0, 255);
  });
  auto colour = [](const Picture &p, int x, int y) { return p.At(x, y) & 0xFFFFFF; };
  // Near each corner, well inside the square (half side 28.3).
  EXPECT_EQ(colour(upright, 178, 178), 0xFF0000u);   // top-left: red
  EXPECT_EQ(colour(upright, 222, 178), 0x00FF00u);   // top-right: green
  EXPECT_EQ(colour(upright, 178, 222), 0x0000FFu);   // bottom-left: blue
  EXPECT_EQ(colour(upright, 222, 222), 0xFFFFFFu);
  // A quarter turn counter-clockwise: the cell's top edge faces left.
  EXPECT_EQ(colour(turned, 178, 222), 0xFF0000u);
  EXPECT_EQ(colour(turned, 178, 178), 0x00FF00u);
  EXPECT_EQ(colour(turned, 222, 222), 0x0000FFu);
  EXPECT_EQ(colour(turned, 222, 178), 0xFFFFFFu);
  // The square's extent: 56 or 57 pixels across, nothing outside.
  int across = 0;
  for (int x = 150; x < 250; ++x) across += colour(upright, x, 200) != 0;
  EXPECT_GE(across, 56);
  EXPECT_LE(across, 57);
  sheet->Release();
}

TEST_F(ReferenceDevice, ASpriteAfterALineIsAPlainWhiteSquareAndAlphaZeroDrawsNothing) {
  IDirect3DTexture8 *sheet = QuadrantSheet(dev);
  Picture p = Frame(dev, [&] {
    dev->SetTexture(0, sheet);
    DrawLine(0, 599, 10, 599, 0xFF000000, 0xFF000000);
    DrawSprite(100, 100, 0.3f, 20.0f, 0, 255);
    DrawSprite(300, 100, 0.0f, 20.0f, 0, 0x80);
    dev->SetTexture(0, sheet);
    DrawSprite(500, 100, 0.0f, 20.0f, 0, 0);
  });
  EXPECT_EQ(p.At(100, 100) & 0xFFFFFF, 0xFFFFFFu);
  EXPECT_EQ(p.At(90, 95) & 0xFFFFFF, 0xFFFFFFu);
  EXPECT_EQ(p.Red(300, 100), 128);
  for (int y = 70; y < 130; ++y)
    for (int x = 470; x < 530; ++x) ASSERT_EQ(p.At(x, y) & 0xFFFFFF, 0u);
  sheet->Release();
}

TEST_F(ReferenceDevice, AMinifiedTextureSamplesTheLevelsItsFootprintSelects) {
  // Level 0 red, 1 green, 2 blue, further levels white.
  IDirect3DTexture8 *t = MakeTexture(dev, 64, 0, [](int level, int, int) -> DWORD {
    static const DWORD colours[] = {0xFFFF0000, 0xFF00FF00, 0xFF0000FF};
    return level < 3 ? colours[level] : 0xFFFFFFFF;
  });
  EXPECT_EQ(t->GetLevelCount(), 7u);
  Picture p = Frame(dev, [&] {
    dev->SetTexture(0, t);
    Quad(dev, 0, 0, 128, 128, 0xFFFFFFFF);       // magnified: level 0
    Quad(dev, 200, 0, 264, 64, 0xFFFFFFFF);      // one texel a pixel: level 0
    Quad(dev, 300, 0, 332, 32, 0xFFFFFFFF);      // two texels a pixel: level 1
    Quad(dev, 400, 0, 416, 16, 0xFFFFFFFF);      // four: level 2
    Quad(dev, 500, 0, 524, 24, 0xFFFFFFFF);      // 2.67: between levels 1 and 2
  });
  EXPECT_EQ(p.At(64, 64) & 0xFFFFFF, 0xFF0000u);
  EXPECT_EQ(p.At(230, 30) & 0xFFFFFF, 0xFF0000u);
  EXPECT_EQ(p.At(315, 15) & 0xFFFFFF, 0x00FF00u);
  EXPECT_EQ(p.At(407, 7) & 0xFFFFFF, 0x0000FFu);
  double weight = std::log2(64.0 / 24.0) - 1.0;   // of level 2
  EXPECT_NEAR(p.Green(512, 12), 255 * (1 - weight), 3);
  EXPECT_NEAR(p.Blue(512, 12), 255 * weight, 3);
  EXPECT_EQ(p.Red(512, 12), 0);
  t->Release();
}

TEST_F(ReferenceDevice, TheDepthTestIsLessOrEqualAgainstTheBufferThatClearResets) {
  Picture p = Frame(dev, [&] {
    Quad(dev, 0, 0, 100, 100, 0xFFFF0000, 0.5f);
    Quad(dev, 50, 0, 150, 100, 0xFF00FF00, 0.7f);   // behind: hidden where they overlap
    Quad(dev, 0, 50, 100, 150, 0xFF0000FF, 0.5f);   // equal depth: drawn
  });
  EXPECT_EQ(p.At(75, 25) & 0xFFFFFF, 0xFF0000u);
  EXPECT_EQ(p.At(125, 25) & 0xFFFFFF, 0x00FF00u);
  EXPECT_EQ(p.At(25, 75) & 0xFFFFFF, 0x0000FFu);
  // The next frame's Clear resets the depth: the far quad shows again.
  Picture q = Frame(dev, [&] { Quad(dev, 50, 0, 150, 100, 0xFF00FF00, 0.7f); });
  EXPECT_EQ(q.At(75, 25) & 0xFFFFFF, 0x00FF00u);
  // With the depth test off a far quad covers a near one.
  Picture r = Frame(dev, [&] {
    Quad(dev, 0, 0, 100, 100, 0xFFFF0000, 0.2f);
    dev->SetRenderState(D3DRS_ZENABLE, D3DZB_FALSE);
    Quad(dev, 0, 0, 100, 100, 0xFF00FF00, 0.9f);
  });
  EXPECT_EQ(r.At(50, 50) & 0xFFFFFF, 0x00FF00u);
}

TEST_F(ReferenceDevice, ANewDeviceCullsCounterClockwiseTrianglesAndDoesNotBlend) {
  // Direct3D's defaults, not OpenGL's: clockwise triangles only, no blending, no
  // lighting of pre-transformed vertices, texture x diffuse on the first stage.
  Picture p = Frame(
      dev,
      [&] {
        dev->SetVertexShader(D3DFVF_SCREENVERTEX);
        ScreenVertex clockwise[3] = {{10, 10, 0, 1, 0x40FF0000, 0, 0}, {60, 10, 0, 1, 0x40FF0000, 0, 0},
                                     {10, 60, 0, 1, 0x40FF0000, 0, 0}};
        ScreenVertex counter[3] = {{110, 10, 0, 1, 0xFF00FF00, 0, 0}, {110, 60, 0, 1, 0xFF00FF00, 0, 0},
                                   {160, 10, 0, 1, 0xFF00FF00, 0, 0}};
        dev->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, clockwise, sizeof(ScreenVertex));
        dev->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, counter, sizeof(ScreenVertex));
      },
      false);
  EXPECT_EQ(p.Red(20, 20), 255);   // not blended: alpha 0x40 is ignored
  EXPECT_EQ(p.Green(120, 20), 0);
}

// A primitive dropped in the middle of a draw (culled, or with a corner behind the eye)
// takes nothing with it: the picture is the one the primitives either side of it draw
// on their own.
TEST_F(ReferenceDevice, APrimitiveDroppedInTheMiddleOfADrawLeavesTheOthersWhole) {
  struct Vertex {
    float x, y, z;
    D3DCOLOR colour;
  };
  // Pixels to clip space, with w = z: a vertex at z = -1 is behind the eye.
  D3DMATRIX toClip = {{{2.0f / Width, 0, 0, 0, 0, -2.0f / Height, 0, 0, 0, 0, 0, 1, -1, 1, 0, 0}}};
  D3DMATRIX identity = {{{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}}};
  // Clockwise, counter-clockwise (culled by default), clockwise.
  ScreenVertex list[9] = {{10, 10, 0, 1, 0xFFFF0000, 0, 0},  {60, 10, 0, 1, 0xFFFF0000, 0, 0},
                          {10, 60, 0, 1, 0xFFFF0000, 0, 0},  {110, 10, 0, 1, 0xFF00FF00, 0, 0},
                          {110, 60, 0, 1, 0xFF00FF00, 0, 0}, {160, 10, 0, 1, 0xFF00FF00, 0, 0},
                          {210, 10, 0, 1, 0xFF0000FF, 0, 0}, {260, 10, 0, 1, 0xFF0000FF, 0, 0},
                          {210, 60, 0, 1, 0xFF0000FF, 0, 0}};
  Vertex behind[9] = {{10, 110, 1, 0xFFFF0000}, {60, 110, 1, 0xFFFF0000},  {10, 160, 1, 0xFFFF0000},
                      {110, 110, 1, 0xFF00FF00}, {160, 110, -1, 0xFF00FF00}, {110, 160, 1, 0xFF00FF00},
                      {210, 110, 1, 0xFF0000FF}, {260, 110, 1, 0xFF0000FF},  {210, 160, 1, 0xFF0000FF}};
  Vertex lines[6] = {{10, 200, 1, 0xFFFF0000},  {60, 200, 1, 0xFFFF0000}, {110, 200, -1, 0xFF00FF00},
                     {160, 200, 1, 0xFF00FF00}, {210, 200, 1, 0xFF0000FF}, {260, 200, 1, 0xFF0000FF}};
  // Each group in one draw, or only its first and last primitives, each in a draw of its own.
  auto draw = [&](bool whole) {
    return Frame(
        dev,
        [&] {
          dev->SetTransform(D3DTS_WORLD, &identity);
          dev->SetTransform(D3DTS_VIEW, &identity);
          dev->SetTransform(D3DTS_PROJECTION, &toClip);
          dev->SetVertexShader(D3DFVF_SCREENVERTEX);
          if (whole) dev->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 3, list, sizeof(ScreenVertex));
          else for (int i : {0, 6}) dev->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, &list[i], sizeof(ScreenVertex));
          dev->SetVertexShader(D3DFVF_XYZ | D3DFVF_DIFFUSE);
          if (whole) dev->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 3, behind, sizeof(Vertex));
          else for (int i : {0, 6}) dev->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, &behind[i], sizeof(Vertex));
          if (whole) dev->DrawPrimitiveUP(D3DPT_LINELIST, 3, lines, sizeof(Vertex));
          else for (int i : {0, 4}) dev->DrawPrimitiveUP(D3DPT_LINELIST, 1, &lines[i], sizeof(Vertex));
        },
        false);
  };
  Picture whole = draw(true), apart = draw(false);
  int red = 0, blue = 0, differ = 0;
  for (size_t i = 0; i < whole.pixels.size(); ++i) {
    red += whole.pixels[i] == 0xFFFF0000u;
    blue += whole.pixels[i] == 0xFF0000FFu;
    EXPECT_EQ(whole.pixels[i] & 0x00FF00, 0u);   // nothing of the dropped ones
    differ += whole.pixels[i] != apart.pixels[i];
  }
  EXPECT_EQ(differ, 0);
  // Two triangles of about 1,250 pixels and a line of about 50 in each colour.
  EXPECT_GT(red, 2500);
  EXPECT_GT(blue, 2500);
}

TEST_F(ReferenceDevice, UntransformedVerticesGoThroughTheTransformsAndTheViewport) {
  struct Vertex {
    float x, y, z;
    D3DCOLOR colour;
  };
  // World and view identity; the projection halves x: the quad covers the middle
  // quarter of the width and half the height.
  D3DMATRIX projection = {{{0.5f, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}}};
  Picture p = Frame(dev, [&] {
    dev->SetRenderState(D3DRS_ALPHABLENDENABLE, FALSE);
    dev->SetTransform(D3DTS_PROJECTION, &projection);
    dev->SetVertexShader(D3DFVF_XYZ | D3DFVF_DIFFUSE);
    Vertex quad[4] = {{-0.5f, 0.5f, 0.5f, 0xFF00FF00}, {0.5f, 0.5f, 0.5f, 0xFF00FF00},
                      {0.5f, -0.5f, 0.5f, 0xFF00FF00}, {-0.5f, -0.5f, 0.5f, 0xFF00FF00}};
    dev->DrawPrimitiveUP(D3DPT_TRIANGLEFAN, 2, quad, sizeof(Vertex));
  });
  // x from (1 - 0.25) 400 - 0.5 = 299.5 to 499.5; y from 149.5 to 449.5.
  int lit = 0;
  for (int y = 0; y < Height; ++y)
    for (int x = 0; x < Width; ++x) lit += p.Green(x, y) == 255;
  EXPECT_EQ(lit, 200 * 300);
  EXPECT_EQ(p.Green(300, 150), 255);
  EXPECT_EQ(p.Green(499, 449), 255);
  EXPECT_EQ(p.Green(299, 150), 0);
  EXPECT_EQ(p.Green(500, 449), 0);
}

TEST_F(ReferenceDevice, EachPartOfAVertexIsReadWhereItsFormatPutsIt) {
  // Point size and specular colour come before and between the parts the device uses:
  // the texture coordinates must be read after both. The specular colour's bits are a
  // float of 0.75, so coordinates read from it would land in the texture's green half.
  struct Sized {
    float x, y, z, rhw, size;
    D3DCOLOR diffuse, specular;
    float u, v;
  };
  // Blend weights and a normal before the colour of an untransformed vertex, all zero:
  // a colour read from them would be black.
  struct Weighted {
    float x, y, z, weights[2], normal[3];
    D3DCOLOR diffuse;
  };
  IDirect3DTexture8 *halves = MakeTexture(dev, 64, 1, [](int, int x, int) -> DWORD {
    return x < 32 ? 0xFFFF0000 : 0xFF00FF00;
  });
  const DWORD trap = 0x3F400000;
  const DWORD positionAndTwoWeights = 0x0008;   // the format's position code for x, y, z and two weights
  Picture p = Frame(dev, [&] {
    dev->SetRenderState(D3DRS_ALPHABLENDENABLE, FALSE);
    dev->SetTexture(0, halves);
    dev->SetVertexShader(D3DFVF_XYZRHW | D3DFVF_PSIZE | D3DFVF_DIFFUSE | D3DFVF_SPECULAR | D3DFVF_TEX1);
    Sized sized[4] = {{100, 100, 0, 1, 9, 0xFFFFFFFF, trap, 0.0f, 0.0f},
                      {200, 100, 0, 1, 9, 0xFFFFFFFF, trap, 0.25f, 0.0f},
                      {200, 200, 0, 1, 9, 0xFFFFFFFF, trap, 0.25f, 1.0f},
                      {100, 200, 0, 1, 9, 0xFFFFFFFF, trap, 0.0f, 1.0f}};
    dev->DrawPrimitiveUP(D3DPT_TRIANGLEFAN, 2, sized, sizeof(Sized));
    dev->SetTexture(0, nullptr);
    dev->SetVertexShader(positionAndTwoWeights | D3DFVF_NORMAL | D3DFVF_DIFFUSE);
    Weighted weighted[4] = {{0.25f, 0.5f, 0.5f, {0, 0}, {0, 0, 0}, 0xFF0000FF},
                            {0.75f, 0.5f, 0.5f, {0, 0}, {0, 0, 0}, 0xFF0000FF},
                            {0.75f, -0.5f, 0.5f, {0, 0}, {0, 0, 0}, 0xFF0000FF},
                            {0.25f, -0.5f, 0.5f, {0, 0}, {0, 0, 0}, 0xFF0000FF}};
    dev->DrawPrimitiveUP(D3DPT_TRIANGLEFAN, 2, weighted, sizeof(Weighted));
  });
  EXPECT_EQ(p.At(150, 150) & 0xFFFFFF, 0xFF0000u);
  EXPECT_EQ(p.At(199, 199) & 0xFFFFFF, 0xFF0000u);
  // x from (1 + 0.25) 400 - 0.5 = 499.5 to 699.5, y from 149.5 to 449.5.
  EXPECT_EQ(p.At(550, 300) & 0xFFFFFF, 0x0000FFu);
  EXPECT_EQ(p.At(699, 449) & 0xFFFFFF, 0x0000FFu);
  EXPECT_EQ(p.At(700, 300) & 0xFFFFFF, 0u);
  halves->Release();
}

TEST_F(ReferenceDevice, TexturesKeepTheirLevelsAndRefuseWhatTheDeviceCannotHold) {
  IDirect3DTexture8 *t = nullptr;
  ASSERT_EQ(dev->CreateTexture(64, 16, 0, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &t), D3D_OK);
  EXPECT_EQ(t->GetLevelCount(), 7u);   // 64x16, 32x8, 16x4, 8x2, 4x1, 2x1, 1x1
  D3DSURFACE_DESC desc;
  ASSERT_EQ(t->GetLevelDesc(4, &desc), D3D_OK);
  EXPECT_EQ(desc.Width, 4u);
  EXPECT_EQ(desc.Height, 1u);
  EXPECT_EQ(desc.Format, D3DFMT_A8R8G8B8);
  EXPECT_EQ(desc.Pool, D3DPOOL_MANAGED);
  EXPECT_EQ(t->GetLevelDesc(7, &desc), D3DERR_INVALIDCALL);
  D3DLOCKED_RECT locked;
  ASSERT_EQ(t->LockRect(2, &locked, nullptr, 0), D3D_OK);
  EXPECT_EQ(locked.Pitch, 64);
  EXPECT_EQ(t->LockRect(2, &locked, nullptr, 0), D3DERR_INVALIDCALL);   // already locked
  EXPECT_EQ(t->UnlockRect(2), D3D_OK);
  EXPECT_EQ(t->UnlockRect(2), D3DERR_INVALIDCALL);
  EXPECT_EQ(t->LockRect(9, &locked, nullptr, 0), D3DERR_INVALIDCALL);
  IDirect3DDevice8 *owner = nullptr;
  ASSERT_EQ(t->GetDevice(&owner), D3D_OK);
  EXPECT_EQ(owner, dev);
  owner->Release();
  EXPECT_EQ(t->Release(), 0u);

  D3DCAPS8 caps;
  dev->GetDeviceCaps(&caps);
  EXPECT_TRUE(caps.TextureCaps & D3DPTEXTURECAPS_POW2);
  IDirect3DTexture8 *bad = nullptr;
  EXPECT_EQ(dev->CreateTexture(48, 48, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &bad), D3DERR_INVALIDCALL);
  EXPECT_EQ(dev->CreateTexture(caps.MaxTextureWidth * 2, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &bad),
            D3DERR_INVALIDCALL);
  EXPECT_EQ(dev->CreateTexture(64, 64, 8, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &bad), D3DERR_INVALIDCALL);
  EXPECT_EQ(dev->CreateTexture(64, 64, 1, 0, D3DFMT_DXT1, D3DPOOL_MANAGED, &bad), D3DERR_INVALIDCALL);
  EXPECT_EQ(bad, nullptr);

  // A texture released while bound leaves the stage empty: the sprite turns white.
  IDirect3DTexture8 *sheet = QuadrantSheet(dev);
  Picture p = Frame(dev, [&] {
    dev->SetTexture(0, sheet);
    sheet->Release();
    DrawSprite(100, 100, 0.0f, 20.0f, 0, 255);
  });
  EXPECT_EQ(p.At(90, 90) & 0xFFFFFF, 0xFF0000u);   // the device held on to it
  dev->SetTexture(0, nullptr);
}

TEST_F(ReferenceDevice, HostileVerticesDrawNothingWrongAndTheViewportClipsEverything) {
  IDirect3DTexture8 *sheet = QuadrantSheet(dev);
  const float nan = std::nanf(""), inf = HUGE_VALF;
  Picture p = Frame(dev, [&] {
    DrawTriangle(nan, 10, 50, 10, 50, 50, 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF);
    DrawTriangle(inf, 10, 50, 10, 50, 50, 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF);
    DrawLine(nan, 5, 20, 5, 0xFFFFFFFF, 0xFFFFFFFF);
    // Far outside the screen on both sides: only the 800 visible pixels of the row.
    DrawLine(-100000, 300, 100000, 300, 0xFFFF0000, 0xFFFF0000);
    dev->SetTexture(0, sheet);
    Quad(dev, 100, 400, 200, 500, 0xFFFFFFFF, 0.0f, -1e30f, -1e30f, 1e30f, 1e30f);
    ScreenVertex zeroW[3] = {{300, 400, 0, 0, 0xFFFFFFFF, 0, 0}, {400, 400, 0, 1, 0xFFFFFFFF, 1, 0},
                             {300, 500, 0, 1, 0xFFFFFFFF, 0, 1}};
    dev->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, zeroW, sizeof(ScreenVertex));
    // Good positions, everything else broken: depth, rhw and texture coordinates.
    ScreenVertex broken[3] = {{500, 400, nan, nan, 0xFFFFFFFF, nan, inf}, {600, 400, inf, 1, 0xFFFFFFFF, 1, nan},
                              {500, 500, -inf, 2, 0xFFFFFFFF, -inf, 1}};
    dev->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, broken, sizeof(ScreenVertex));
    dev->DrawPrimitiveUP(D3DPT_LINELIST, 1, broken, sizeof(ScreenVertex));
  });
  int row = 0;
  for (int x = 0; x < Width; ++x) row += p.Red(x, 300) == 255;
  EXPECT_EQ(row, Width);
  EXPECT_EQ(p.At(30, 5) & 0xFFFFFF, 0u);
  EXPECT_EQ(p.At(45, 20) & 0xFFFFFF, 0u);

  // A viewport in the middle: Clear and drawing stay inside it.
  D3DVIEWPORT8 viewport = {100, 100, 200, 150, 0.0f, 1.0f};
  ASSERT_EQ(dev->SetViewport(&viewport), D3D_OK);
  dev->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF0000FF, 1.0f, 0);
  dev->BeginScene();
  GameStates(dev);
  dev->SetTexture(0, nullptr);
  Quad(dev, 0, 0, 800, 600, 0xFF00FF00);
  dev->EndScene();
  dev->Present(nullptr, nullptr, nullptr, nullptr);
  Picture q;
  ASSERT_TRUE(ReadBackPresented(dev, q.pixels.data(), Width, Height));
  EXPECT_EQ(q.At(100, 100) & 0xFFFFFF, 0x00FF00u);
  EXPECT_EQ(q.At(299, 249) & 0xFFFFFF, 0x00FF00u);
  // Outside, the back buffer keeps the last frame (black there): neither cleared nor drawn.
  EXPECT_EQ(q.At(300, 150) & 0xFFFFFF, 0u);
  EXPECT_EQ(q.At(99, 150) & 0xFFFFFF, 0u);
  EXPECT_EQ(q.At(150, 250) & 0xFFFFFF, 0u);
  D3DVIEWPORT8 tooBig = {700, 0, 200, 600, 0.0f, 1.0f};
  EXPECT_EQ(dev->SetViewport(&tooBig), D3DERR_INVALIDCALL);
  sheet->Release();
}

TEST(ReferenceDeviceCreation, BadParametersAndVersionsFailCleanly) {
  EXPECT_EQ(Direct3DCreate8(100), nullptr);
  IDirect3D8 *d3d = Direct3DCreate8(220);
  ASSERT_NE(d3d, nullptr);
  IDirect3DDevice8 *dev = nullptr;
  D3DPRESENT_PARAMETERS p = WindowedParams();
  p.BackBufferFormat = D3DFMT_A4R4G4B4;
  EXPECT_EQ(d3d->CreateDevice(0, D3DDEVTYPE_REF, nullptr, D3DCREATE_SOFTWARE_VERTEXPROCESSING, &p, &dev),
            D3DERR_INVALIDCALL);
  p = WindowedParams();
  EXPECT_EQ(d3d->CreateDevice(0, D3DDEVTYPE_REF, nullptr, 0, &p, &dev), D3DERR_INVALIDCALL);
  EXPECT_EQ(d3d->CreateDevice(1, D3DDEVTYPE_REF, nullptr, D3DCREATE_SOFTWARE_VERTEXPROCESSING, &p, &dev),
            D3DERR_INVALIDCALL);
  // No window to draw in: the hardware device is not available, and says so.
  EXPECT_EQ(d3d->CreateDevice(0, D3DDEVTYPE_HAL, nullptr, D3DCREATE_HARDWARE_VERTEXPROCESSING, &p, &dev),
            D3DERR_NOTAVAILABLE);
  EXPECT_EQ(dev, nullptr);
  EXPECT_EQ(d3d->Release(), 0u);
}

// The game's own start, frame and recovery on the headless backend.
class GameDevice : public ::testing::Test {
protected:
  void SetUp() override {
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    HeadlessEnable();
    HeadlessSetForeground(true);
    WNDCLASSEXA wc = {};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = DefWindowProcA;
    wc.lpszClassName = "d3dtest";
    RegisterClassExA(&wc);
    mainWindow = CreateWindowExA(0, "d3dtest", "d3dtest", WS_POPUP | WS_VISIBLE, 0, 0, 800, 600, nullptr, nullptr,
                                 nullptr, nullptr);
    ASSERT_NE(mainWindow, nullptr);
  }
  void TearDown() override {
    ReleaseDirect3D();
    DestroyWindow(mainWindow);
    mainWindow = nullptr;
    fullScreen = 0;
  }
};

TEST_F(GameDevice, HeadlessStartFallsBackToTheReferenceDeviceWithTheDesktopFormat) {
  fullScreen = 0;
  ASSERT_EQ(InitDirect3D(mainWindow, fullScreen), 1);
  D3DCAPS8 caps;
  device->GetDeviceCaps(&caps);
  EXPECT_EQ(caps.DeviceType, D3DDEVTYPE_REF);
  D3DDISPLAYMODE mode;
  direct3D->GetAdapterDisplayMode(0, &mode);
  EXPECT_EQ(presentParams.BackBufferFormat, mode.Format);
  EXPECT_EQ(presentParams.Windowed, TRUE);
  EXPECT_EQ(presentParams.SwapEffect, D3DSWAPEFFECT_COPY);
  ReleaseDirect3D();
  EXPECT_EQ(device, nullptr);
  EXPECT_EQ(direct3D, nullptr);
  ReleaseDirect3D();   // safe twice
}

TEST_F(GameDevice, AFullScreenRunLosesTheDeviceOnceWhenTheFocusComesBackAndResetRecovers) {
  fullScreen = 1;
  ASSERT_EQ(InitDirect3D(mainWindow, fullScreen), 1);
  EXPECT_EQ(presentParams.BackBufferFormat, D3DFMT_R5G6B5);
  int boxes = HeadlessMessageBoxCount();
  RenderFrame(game, fpsValue);
  EXPECT_EQ(device->TestCooperativeLevel(), D3D_OK);

  HeadlessSetForeground(false);
  HeadlessSetForeground(true);
  // The frame after the return presents, is told the device is lost, and resets.
  EXPECT_EQ(device->TestCooperativeLevel(), D3DERR_DEVICENOTRESET);
  RenderFrame(game, fpsValue);
  EXPECT_EQ(device->TestCooperativeLevel(), D3D_OK);
  EXPECT_EQ(HeadlessMessageBoxCount(), boxes);

  // Frames go on and present again: one lost result, not one per frame.
  device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF123456, 1.0f, 0);
  EXPECT_EQ(device->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
  Picture p;
  ASSERT_TRUE(ReadBackPresented(device, p.pixels.data(), Width, Height));
  EXPECT_EQ(p.At(5, 5) & 0xFFFFFF, 0x123456u);

  // A windowed device never loses its device.
  ReleaseDirect3D();
  fullScreen = 0;
  ASSERT_EQ(InitDirect3D(mainWindow, fullScreen), 1);
  HeadlessSetForeground(false);
  HeadlessSetForeground(true);
  EXPECT_EQ(device->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
}

}  // namespace
