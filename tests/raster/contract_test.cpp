// What every device behind Direct3D must do whatever its pixels, run on each device
// through the device interface alone: the reference device in memory and in a window of
// the picture's size (where, on X11, it draws into the window's own pixels), and the
// OpenGL device, which needs the test command's X display with GLX (skipped only when
// there is no display at all; a display without a working OpenGL device fails). Then
// the reference device's side of the window surface, against a surface of the test's.
#include <gtest/gtest.h>
#include <cstdlib>
#include <memory>
#include <ostream>
#include <string>
#include <vector>
#include "platform/platform.h"
#include "platform/raster/gl/raster_gl.h"
#include "platform/raster/raster_ref.h"
#include "platform/raster/window_surface.h"

namespace {

constexpr int W = 160, H = 120;
constexpr uint32_t Black = 0xFF000000, Red = 0xFFFF0000, Green = 0xFF00FF00, Blue = 0xFF0000FF,
                   Yellow = 0xFFFFFF00, White = 0xFFFFFFFF;

enum class Kind { Reference, ReferenceInWindow, OpenGL };

const char *KindName(Kind kind) {
  switch (kind) {
  case Kind::Reference: return "Reference";
  case Kind::ReferenceInWindow: return "ReferenceInWindow";
  default: return "OpenGL";
  }
}
void PrintTo(Kind kind, std::ostream *out) { *out << KindName(kind); }
std::string ParamName(const ::testing::TestParamInfo<Kind> &info) { return KindName(info.param); }

// A borderless window of the picture's size.
HWND PictureWindow() {
  WNDCLASSEXA wc = {};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = DefWindowProcA;
  wc.lpszClassName = "rastercontract";
  RegisterClassExA(&wc);
  return CreateWindowExA(0, "rastercontract", "rastercontract", WS_POPUP | WS_VISIBLE, 0, 0, W, H, nullptr, nullptr,
                         nullptr, nullptr);
}

// The vertex colour alone, no depth test, the whole target.
RasterState Flat(int width = W, int height = H) {
  RasterState st;
  st.colorOp = st.alphaOp = OpSelect1;
  st.colorArg1 = st.alphaArg1 = ArgDiffuse;
  st.depthTest = st.depthWrite = false;
  st.clipRight = width;
  st.clipBottom = height;
  return st;
}

// The less-or-equal depth test, writing.
RasterState Depth() {
  RasterState st = Flat();
  st.depthTest = st.depthWrite = true;
  return st;
}

RasterVertex Vertex(float x, float y, uint32_t colour, float z = 0.0f, float u = 0.0f, float v = 0.0f) {
  return {x, y, z, 1.0f, colour, u, v};
}

// A picture of width x height pixels, and what it should be.
struct Picture {
  int width = W, height = H;
  std::vector<uint32_t> pixels = std::vector<uint32_t>((size_t)W * H, Black);
  uint32_t &At(int x, int y) { return pixels[(size_t)y * width + x]; }
  void Fill(int x0, int y0, int x1, int y1, uint32_t colour) {
    for (int y = y0; y < y1; ++y)
      for (int x = x0; x < x1; ++x) At(x, y) = colour;
  }
};

// Where two pictures differ: how many pixels, and the first of them.
std::string Differences(const Picture &got, const Picture &want) {
  int count = 0;
  std::string first;
  for (size_t i = 0; i < want.pixels.size(); ++i)
    if (got.pixels[i] != want.pixels[i] && count++ == 0) {
      char text[96];
      std::snprintf(text, sizeof text, " first at (%d, %d): %08X instead of %08X", (int)(i % want.width),
                    (int)(i / want.width), got.pixels[i], want.pixels[i]);
      first = text;
    }
  return count == 0 ? "" : std::to_string(count) + " pixels differ;" + first;
}

class DeviceContract : public ::testing::TestWithParam<Kind> {
protected:
  void SetUp() override {
    const bool display = std::getenv("DISPLAY") != nullptr;
    if (GetParam() != Kind::Reference) {
      if (!display) GTEST_SKIP() << "no display";
      window = PictureWindow();
      ASSERT_NE(window, nullptr);
    }
    raster.reset(GetParam() == Kind::OpenGL ? CreateOpenGLRaster(window, W, H) : CreateReferenceRaster(window, W, H));
    ASSERT_NE(raster, nullptr) << "no OpenGL device on this display";
    // From the first read-back on, every Present keeps its picture.
    uint32_t none[W * H];
    raster->ReadBack(none, W, H);
  }
  void TearDown() override {
    raster.reset();
    if (window) DestroyWindow(window);
  }

  void Quad(const RasterState &st, float x0, float y0, float x1, float y1, uint32_t colour, float z = 0.0f) {
    const RasterVertex v[6] = {Vertex(x0, y0, colour, z, 0, 0), Vertex(x1, y0, colour, z, 1, 0),
                               Vertex(x1, y1, colour, z, 1, 1), Vertex(x0, y0, colour, z, 0, 0),
                               Vertex(x1, y1, colour, z, 1, 1), Vertex(x0, y1, colour, z, 0, 1)};
    raster->DrawTriangles(st, v, 6);
  }
  void ClearAll(uint32_t colour, int width = W, int height = H) {
    raster->Clear(Flat(width, height), 0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, colour, 1.0f);
  }
  Picture Presented(int width = W, int height = H) {
    raster->Present(window);
    return ReadBack(width, height);
  }
  Picture ReadBack(int width = W, int height = H) {
    Picture p;
    p.width = width;
    p.height = height;
    p.pixels.assign((size_t)width * height, 0);
    EXPECT_TRUE(raster->ReadBack(p.pixels.data(), width, height));
    return p;
  }

  HWND window = nullptr;
  std::unique_ptr<RasterDevice> raster;
};

TEST_P(DeviceContract, ReadsBackAtTheSizeItWasLastGiven) {
  ASSERT_TRUE(raster->Resize(100, 70));
  ClearAll(Green, 100, 70);
  Picture small = Presented(100, 70);
  Picture want;
  want.width = 100;
  want.height = 70;
  want.pixels.assign(100 * 70, Green);
  EXPECT_EQ(Differences(small, want), "");
  std::vector<uint32_t> old((size_t)W * H);
  EXPECT_FALSE(raster->ReadBack(old.data(), W, H)) << "read back at the size before the resize";

  ASSERT_TRUE(raster->Resize(W, H));
  ClearAll(Blue);
  Picture whole = Presented();
  want = Picture();
  want.Fill(0, 0, W, H, Blue);
  EXPECT_EQ(Differences(whole, want), "");
}

TEST_P(DeviceContract, ClearsTheWholeTargetOrItsRectanglesWithinTheClip) {
  ClearAll(Red);
  Picture want;
  want.Fill(0, 0, W, H, Red);
  EXPECT_EQ(Differences(Presented(), want), "") << "the whole target";

  RasterState clipped = Flat();
  clipped.clipLeft = 20, clipped.clipTop = 10, clipped.clipRight = 120, clipped.clipBottom = 90;
  raster->Clear(clipped, 0, nullptr, D3DCLEAR_TARGET, Green, 1.0f);
  want.Fill(20, 10, 120, 90, Green);
  EXPECT_EQ(Differences(Presented(), want), "") << "no rectangle: the clip";

  // One rectangle across the clip's corner, one inside it, one past the target's edges.
  const D3DRECT rects[3] = {{0, 0, 40, 30}, {60, 40, 70, 50}, {100, 80, W + 50, H + 50}};
  raster->Clear(clipped, 3, rects, D3DCLEAR_TARGET, Blue, 1.0f);
  want.Fill(20, 10, 40, 30, Blue);
  want.Fill(60, 40, 70, 50, Blue);
  want.Fill(100, 80, 120, 90, Blue);
  EXPECT_EQ(Differences(Presented(), want), "") << "rectangles";
}

TEST_P(DeviceContract, DrawsTrianglesAndLinesInsideTheClipOnly) {
  ClearAll(Black);
  RasterState clipped = Flat();
  clipped.clipLeft = 30, clipped.clipTop = 20, clipped.clipRight = 130, clipped.clipBottom = 100;
  Quad(clipped, -50, -50, W + 50, H + 50, Red);
  Picture want;
  want.Fill(30, 20, 130, 100, Red);
  EXPECT_EQ(Differences(Presented(), want), "") << "a quad over everything";

  ClearAll(Black);
  // A row and a column through the whole target, and a diagonal from corner to corner.
  const RasterVertex lines[6] = {Vertex(-20, 50, White), Vertex(W + 20, 50, White), Vertex(70, -20, White),
                                 Vertex(70, H + 20, White), Vertex(-10, -10, White), Vertex(W + 10, H + 10, White)};
  raster->DrawLines(clipped, lines, 6);
  Picture got = Presented();
  int inside = 0;
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x) {
      const bool lit = got.At(x, y) != Black, clip = x >= 30 && x < 130 && y >= 20 && y < 100;
      if (lit && !clip) ADD_FAILURE() << "lit outside the clip at " << x << "," << y;
      inside += lit;
    }
  for (int x = 30; x < 130; ++x) EXPECT_EQ(got.At(x, 50), White) << "the row at " << x;
  for (int y = 20; y < 100; ++y) EXPECT_EQ(got.At(70, y), White) << "the column at " << y;
  EXPECT_GE(inside, 100 + 80 - 1 + 100 - 2) << "the diagonal: a pixel in every column of the clip";
}

TEST_P(DeviceContract, TestsAndWritesDepth) {
  ClearAll(Black);
  Quad(Depth(), 9.5f, 9.5f, 59.5f, 59.5f, Red, 0.3f);
  // Behind the red quad where they overlap.
  Quad(Depth(), 39.5f, 9.5f, 89.5f, 59.5f, Green, 0.7f);
  // Without writing its depth: the yellow quad after it covers it where nothing nearer is.
  RasterState noWrite = Depth();
  noWrite.depthWrite = false;
  Quad(noWrite, 9.5f, 69.5f, 89.5f, 109.5f, Blue, 0.2f);
  Quad(Depth(), 49.5f, 69.5f, 129.5f, 109.5f, Yellow, 0.6f);
  // Without the test: drawn over the nearer red quad.
  Quad(Flat(), 19.5f, 19.5f, 29.5f, 29.5f, White, 0.9f);
  Picture want;
  want.Fill(10, 10, 60, 60, Red);
  want.Fill(60, 10, 90, 60, Green);
  want.Fill(10, 70, 50, 110, Blue);
  want.Fill(50, 70, 130, 110, Yellow);
  want.Fill(20, 20, 30, 30, White);
  EXPECT_EQ(Differences(Presented(), want), "");

  // The depths stay for the next frame until the depth buffer is cleared; clearing only
  // the target leaves them.
  raster->Clear(Flat(), 0, nullptr, D3DCLEAR_TARGET, Black, 1.0f);
  Quad(Depth(), 0, 0, W, H, Blue, 0.5f);
  want = Picture();
  want.Fill(0, 0, W, H, Blue);
  want.Fill(10, 10, 60, 60, Black);   // the red quad's depth, 0.3, is nearer
  EXPECT_EQ(Differences(Presented(), want), "");
}

TEST_P(DeviceContract, DrawsWithANewTextureWhereAForgottenOneWas) {
  // The texture record lives on: a new texture may be made in the same memory.
  auto record = std::make_unique<RasterTexture>();
  std::vector<uint32_t> red(4 * 4, Red), blue(8 * 8, Blue);
  auto make = [&](std::vector<uint32_t> &texels, int size) {
    *record = RasterTexture();
    record->width = record->height = record->levelWidth[0] = record->levelHeight[0] = size;
    record->levels = 1;
    record->level[0] = texels.data();
  };
  RasterState textured = Flat();
  textured.texture = record.get();
  textured.colorArg1 = textured.alphaArg1 = ArgTexture;

  make(red, 4);
  ClearAll(Black);
  Quad(textured, 9.5f, 9.5f, 49.5f, 49.5f, White);
  Picture want;
  want.Fill(10, 10, 50, 50, Red);
  EXPECT_EQ(Differences(Presented(), want), "");

  // Forgotten while it is still the texture of the last draw.
  raster->ForgetTexture(record.get());
  make(blue, 8);
  ClearAll(Black);
  Quad(textured, 9.5f, 9.5f, 49.5f, 49.5f, White);
  want = Picture();
  want.Fill(10, 10, 50, 50, Blue);
  EXPECT_EQ(Differences(Presented(), want), "");
  raster->ForgetTexture(record.get());
}

TEST_P(DeviceContract, ReadsBackThePictureAsItWasPresented) {
  ClearAll(Red);
  raster->Present(window);
  // The next frame starts drawing: the read-back still has the one presented.
  ClearAll(Green);
  Quad(Flat(), 9.5f, 9.5f, 49.5f, 49.5f, Blue);
  Picture want;
  want.Fill(0, 0, W, H, Red);
  EXPECT_EQ(Differences(ReadBack(), want), "") << "after drawing on";
  EXPECT_EQ(Differences(ReadBack(), want), "") << "read twice";
  want.Fill(0, 0, W, H, Green);
  want.Fill(10, 10, 50, 50, Blue);
  EXPECT_EQ(Differences(Presented(), want), "") << "the next frame";
  // A frame that only presents again shows the same picture.
  EXPECT_EQ(Differences(Presented(), want), "") << "presented again";
}

INSTANTIATE_TEST_SUITE_P(EveryDevice, DeviceContract,
                         ::testing::Values(Kind::Reference, Kind::ReferenceInWindow, Kind::OpenGL), ParamName);

// A window surface of the test's: its own pixels to offer, or none, and every picture
// it was asked to show.
struct FakeSurface : WindowSurface {
  bool offer = false;
  std::vector<uint32_t> pixels = std::vector<uint32_t>((size_t)W * H, 0);
  int asked = 0;
  struct Shown {
    const uint32_t *at;
    int width, height;
    std::vector<uint32_t> picture;
  };
  std::vector<Shown> shown;

  uint32_t *DirectPixels(int width, int height) override {
    ++asked;
    return offer && width == W && height == H ? pixels.data() : nullptr;
  }
  void Show(const uint32_t *at, int width, int height) override {
    shown.push_back({at, width, height, std::vector<uint32_t>(at, at + (size_t)width * height)});
  }
};

class ReferenceSurface : public ::testing::Test {
protected:
  void SetUp() override {
    surface = new FakeSurface;
    raster.reset(CreateReferenceRaster(nullptr, surface, W, H));
  }
  void Frame(uint32_t clear, bool clearFirst, float x, uint32_t colour) {
    if (clearFirst) raster->Clear(Flat(), 0, nullptr, D3DCLEAR_TARGET, clear, 1.0f);
    const RasterVertex v[3] = {Vertex(x, 10, colour), Vertex(x + 20, 10, colour), Vertex(x, 30, colour)};
    raster->DrawTriangles(Flat(), v, 3);
    raster->Present(nullptr);
  }
  FakeSurface *surface = nullptr;   // the device's
  std::unique_ptr<RasterDevice> raster;
};

TEST_F(ReferenceSurface, ShowsItsOwnPicturesWhenTheSurfaceOffersNoPixels) {
  Frame(Red, true, 50, Blue);
  ASSERT_EQ(surface->shown.size(), 1u);
  const FakeSurface::Shown &first = surface->shown[0];
  EXPECT_EQ(first.width, W);
  EXPECT_EQ(first.height, H);
  EXPECT_NE(first.at, surface->pixels.data());
  EXPECT_EQ(first.picture[0], Red);
  EXPECT_EQ(first.picture[15 * W + 55], Blue);
  EXPECT_GE(surface->asked, 1);
  // The device's own pixels stay as they are between frames.
  Frame(Red, false, 100, Green);
  ASSERT_EQ(surface->shown.size(), 2u);
  EXPECT_EQ(surface->shown[1].picture[15 * W + 55], Blue);
  EXPECT_EQ(surface->shown[1].picture[15 * W + 105], Green);
  EXPECT_EQ(surface->pixels[0], 0u) << "drew into pixels it was not offered";
}

TEST_F(ReferenceSurface, DrawsIntoThePixelsTheSurfaceOffersAndMovesOutWhenItStops) {
  surface->offer = true;
  Frame(Red, true, 50, Blue);
  ASSERT_EQ(surface->shown.size(), 1u);
  EXPECT_EQ(surface->shown[0].at, surface->pixels.data()) << "shown from elsewhere than the pixels offered";
  EXPECT_EQ(surface->pixels[0], Red);
  EXPECT_EQ(surface->pixels[15 * W + 55], Blue);
  std::vector<uint32_t> read((size_t)W * H);
  ASSERT_TRUE(raster->ReadBack(read.data(), W, H));
  EXPECT_EQ(read[15 * W + 55], Blue);

  // No longer offered (the window changed size): the picture comes along into the
  // device's own pixels, and the offered ones are left alone.
  surface->offer = false;
  Frame(Red, false, 100, Green);
  ASSERT_EQ(surface->shown.size(), 2u);
  EXPECT_NE(surface->shown[1].at, surface->pixels.data());
  EXPECT_EQ(surface->shown[1].picture[15 * W + 55], Blue);
  EXPECT_EQ(surface->shown[1].picture[15 * W + 105], Green);
  EXPECT_EQ(surface->pixels[15 * W + 105], Red);

  // Offered again: the picture goes back into them, and the read-back keeps each frame.
  surface->offer = true;
  Frame(Red, false, 130, Yellow);
  ASSERT_EQ(surface->shown.size(), 3u);
  EXPECT_EQ(surface->shown[2].at, surface->pixels.data());
  EXPECT_EQ(surface->pixels[15 * W + 55], Blue);
  EXPECT_EQ(surface->pixels[15 * W + 105], Green);
  EXPECT_EQ(surface->pixels[15 * W + 135], Yellow);
  raster->Clear(Flat(), 0, nullptr, D3DCLEAR_TARGET, Black, 1.0f);
  ASSERT_TRUE(raster->ReadBack(read.data(), W, H));
  EXPECT_EQ(read[15 * W + 135], Yellow) << "the read-back changed with the next frame's drawing";
}

TEST(ReferenceWithoutWindow, PresentsNowhereAndStillReadsBack) {
  EXPECT_EQ(CreateWindowSurface(nullptr), nullptr);
  std::unique_ptr<RasterDevice> raster(CreateReferenceRaster(nullptr, W, H));
  raster->Clear(Flat(), 0, nullptr, D3DCLEAR_TARGET, Green, 1.0f);
  raster->Present(nullptr);
  std::vector<uint32_t> read((size_t)W * H);
  ASSERT_TRUE(raster->ReadBack(read.data(), W, H));
  EXPECT_EQ(read[W * H / 2], Green);
}

}  // namespace
