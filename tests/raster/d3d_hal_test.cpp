// The hardware device against the reference device: the same scenes drawn on both
// agree pixel by pixel within a stated tolerance. Needs an X display with GLX (the
// test script's Xvfb, Mesa's software OpenGL); skipped without a display.
#include <gtest/gtest.h>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <SDL.h>
#include "d3d_scene.h"
#include "platform/d3d8/d3d8_readback.h"
#include "platform/drivers/sdl/sdl_window.h"
#include "platform/user32/window_internal.h"

using namespace d3dtest;

namespace {

// At least 99.5% of the pixels within 3 levels in every channel.
constexpr double RequiredShare = 0.995;
constexpr int Tolerance = 3;

// A borderless window the picture's size, of a class of its own.
HWND PictureWindow(const char *name) {
  WNDCLASSEXA wc = {};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = DefWindowProcA;
  wc.lpszClassName = name;
  RegisterClassExA(&wc);
  return CreateWindowExA(0, name, name, WS_POPUP | WS_VISIBLE, 0, 0, Width, Height, nullptr, nullptr, nullptr,
                         nullptr);
}

class HardwareDevice : public ::testing::Test {
protected:
  void SetUp() override {
    if (std::getenv("DISPLAY") == nullptr) GTEST_SKIP() << "no display";
    window = PictureWindow("d3dhal");
    ASSERT_NE(window, nullptr);
    d3d = Direct3DCreate8(120);
    D3DPRESENT_PARAMETERS p = WindowedParams();
    ASSERT_EQ(d3d->CreateDevice(0, D3DDEVTYPE_HAL, window, D3DCREATE_HARDWARE_VERTEXPROCESSING, &p, &hal), D3D_OK)
        << "no hardware device: is GLX missing on this display?";
    p = WindowedParams();
    ASSERT_EQ(d3d->CreateDevice(0, D3DDEVTYPE_REF, nullptr, D3DCREATE_SOFTWARE_VERTEXPROCESSING, &p, &ref), D3D_OK);
  }
  void TearDown() override {
    device = nullptr;
    if (hal) hal->Release();
    if (ref) ref->Release();
    if (d3d) d3d->Release();
    if (window) DestroyWindow(window);
  }

  // Draws the scene on one device and returns its picture.
  Picture Draw(IDirect3DDevice8 *d, const Scene &scene) {
    device = d;
    IDirect3DTexture8 *sheet = QuadrantSheet(d);
    Picture p = Frame(d, [&] { scene.draw(d, sheet); });
    sheet->Release();
    device = nullptr;
    return p;
  }

  HWND window = nullptr;
  IDirect3D8 *d3d = nullptr;
  IDirect3DDevice8 *hal = nullptr;
  IDirect3DDevice8 *ref = nullptr;
};

TEST_F(HardwareDevice, EveryComparisonSceneAgreesWithTheReferenceDevice) {
  D3DCAPS8 caps;
  hal->GetDeviceCaps(&caps);
  EXPECT_EQ(caps.DeviceType, D3DDEVTYPE_HAL);
  for (const Scene &scene : ComparisonScenes()) {
    Picture a = Draw(hal, scene), b = Draw(ref, scene);
    int close = 0, lit = 0, worst = 0;
    for (size_t i = 0; i < a.pixels.size(); ++i) {
      int diff = 0;
      for (int shift = 0; shift < 24; shift += 8)
        diff = std::max(diff, std::abs((int)((a.pixels[i] >> shift) & 255) - (int)((b.pixels[i] >> shift) & 255)));
      close += diff <= Tolerance;
      lit += (b.pixels[i] & 0xFFFFFF) != 0;
      worst = std::max(worst, diff);
    }
    double share = (double)close / a.pixels.size();
    std::printf("%-44s agreement %.4f%% (%d lit pixels, largest difference %d)\n", scene.name, share * 100.0, lit,
                worst);
    EXPECT_GT(lit, 1000) << scene.name;   // the scene drew something
    EXPECT_GE(share, RequiredShare) << scene.name;
  }
}

// Lines follow one rule on both devices: of the pixels either device lights, at least
// 99.9% are lit by the other too. A cell that differs is listed with its line, so a
// broken tie shows which one.
TEST_F(HardwareDevice, LinesLightTheSamePixelsOnBothDevices) {
  Picture a = Draw(hal, LineScene()), b = Draw(ref, LineScene());
  std::vector<LineCase> lines = LineCases();
  int either = 0, both = 0, listed = 0;
  for (int cell = 0; cell < LineCellCount; ++cell) {
    std::string hal, ref;
    int ox = cell % LineCellsAcross * LineCell, oy = cell / LineCellsAcross * LineCell;
    for (int y = oy; y < oy + LineCell; ++y)
      for (int x = ox; x < ox + LineCell; ++x) {
        bool litA = (a.At(x, y) & 0xFFFFFF) != 0, litB = (b.At(x, y) & 0xFFFFFF) != 0;
        either += litA || litB;
        both += litA && litB;
        if (litA && !litB) hal += " (" + std::to_string(x) + "," + std::to_string(y) + ")";
        if (litB && !litA) ref += " (" + std::to_string(x) + "," + std::to_string(y) + ")";
      }
    if ((!hal.empty() || !ref.empty()) && listed++ < 400) {
      const LineCase &l = lines[cell];
      std::printf("(%g, %g) to (%g, %g): only the hardware device%s; only the reference device%s\n", l.x1, l.y1,
                  l.x2, l.y2, hal.c_str(), ref.c_str());
    }
  }
  double share = (double)both / either;
  std::printf("%d pixels lit by either device, %d by both: %.4f%%\n", either, both, share * 100.0);
  EXPECT_GT(either, 3000);
  EXPECT_GE(share, 0.999);
}

TEST_F(HardwareDevice, TheSplitSquareAndTheLineEndsMatchExactly) {
  Scene scene{"5x5", [](IDirect3DDevice8 *, IDirect3DTexture8 *) {
                DrawTriangle(10, 10, 15, 10, 15, 15, 0xFFFF0000, 0xFFFF0000, 0xFFFF0000);
                DrawTriangle(10, 10, 15, 15, 10, 15, 0xFF00FF00, 0xFF00FF00, 0xFF00FF00);
                DrawLine(30, 10, 40, 10, 0xFFFFFFFF, 0xFFFFFFFF);
                DrawLine(50, 20, 50, 10, 0xFFFFFFFF, 0xFFFFFFFF);
              }};
  Picture a = Draw(hal, scene);
  int red = 0, green = 0;
  for (int y = 10; y < 15; ++y)
    for (int x = 10; x < 15; ++x) {
      red += (a.At(x, y) & 0xFFFFFF) == 0xFF0000;
      green += (a.At(x, y) & 0xFFFFFF) == 0x00FF00;
    }
  EXPECT_EQ(red, 15);
  EXPECT_EQ(green, 10);
  EXPECT_EQ(a.Red(40, 10), 255);   // last pixel drawn
  EXPECT_EQ(a.Red(41, 10), 0);
  EXPECT_EQ(a.Red(50, 10), 255);
  EXPECT_EQ(a.Red(50, 9), 0);
}

// A short line whose colours run to the ends of their range, either way: every pixel,
// the last one too, has the colour its place along the line gives, on both devices.
TEST_F(HardwareDevice, AShortLineFadesEvenlyAllTheWayToFullAndToNothing) {
  Scene scene{"fades", [](IDirect3DDevice8 *, IDirect3DTexture8 *) {
                DrawLine(8, 100, 15, 100, 0xFF00FF40, 0xFFFF00FF);
                DrawLine(15, 110, 8, 110, 0xFF00FF40, 0xFFFF00FF);
                DrawLine(30, 100, 30, 107, 0xFFFF00FF, 0xFF00FF40);
              }};
  for (IDirect3DDevice8 *d : {hal, ref}) {
    Picture p = Draw(d, scene);
    const char *name = d == hal ? "hardware" : "reference";
    for (int k = 0; k <= 7; ++k) {
      // Red 0 to 255, green 255 to 0, blue 0x40 to 255, over seven pixel steps.
      const int red = 255 * k / 7, green = 255 - red, blue = 0x40 + (255 - 0x40) * k / 7;
      for (auto [x, y] : {std::pair{8 + k, 100}, std::pair{15 - k, 110}}) {
        EXPECT_NEAR(p.Red(x, y), red, 2) << name << " at " << x << "," << y;
        EXPECT_NEAR(p.Green(x, y), green, 2) << name << " at " << x << "," << y;
        EXPECT_NEAR(p.Blue(x, y), blue, 2) << name << " at " << x << "," << y;
      }
      EXPECT_NEAR(p.Red(30, 100 + k), 255 - red, 2) << name << " down, " << k;
      EXPECT_NEAR(p.Blue(30, 100 + k), 255 - (blue - 0x40), 2) << name << " down, " << k;
    }
  }
}

TEST_F(HardwareDevice, TexturesUploadAgainAfterTheyChange) {
  IDirect3DTexture8 *t = MakeTexture(hal, 4, 1, [](int, int, int) -> DWORD { return 0xFFFF0000; });
  device = hal;
  Picture a = Frame(hal, [&] {
    hal->SetTexture(0, t);
    Quad(hal, 0, 0, 50, 50, 0xFFFFFFFF);
  });
  D3DLOCKED_RECT locked;
  ASSERT_EQ(t->LockRect(0, &locked, nullptr, 0), D3D_OK);
  for (int i = 0; i < 16; ++i) static_cast<DWORD *>(locked.pBits)[i] = 0xFF0000FF;
  t->UnlockRect(0);
  Picture b = Frame(hal, [&] {
    hal->SetTexture(0, t);
    Quad(hal, 0, 0, 50, 50, 0xFFFFFFFF);
  });
  EXPECT_EQ(a.At(25, 25) & 0xFFFFFF, 0xFF0000u);
  EXPECT_EQ(b.At(25, 25) & 0xFFFFFF, 0x0000FFu);
  hal->SetTexture(0, nullptr);
  t->Release();
}

// The reference device in a window of its own size draws straight into the window's
// pixels; when the window changes size the picture moves to the device's own pixels
// (and is scaled into the window), and back again, without losing what was drawn.
TEST(ReferenceDeviceInAWindow, ShowsItsPictureAndKeepsItWhenTheWindowChangesSize) {
  if (std::getenv("DISPLAY") == nullptr) GTEST_SKIP() << "no display";
  HWND window = PictureWindow("d3drefwindow");
  ASSERT_NE(window, nullptr);
  SDL_Window *sdl = SdlWindowOf(window);
  ASSERT_NE(sdl, nullptr);
  IDirect3D8 *d3d = Direct3DCreate8(120);
  D3DPRESENT_PARAMETERS p = WindowedParams();
  IDirect3DDevice8 *ref = nullptr;
  ASSERT_EQ(d3d->CreateDevice(0, D3DDEVTYPE_REF, window, D3DCREATE_SOFTWARE_VERTEXPROCESSING, &p, &ref), D3D_OK);
  device = ref;
  // One frame that draws a quad over what the last one left (no clear).
  auto frameOver = [&](float x, D3DCOLOR colour) {
    ref->BeginScene();
    GameStates(ref);
    Quad(ref, x, 100, x + 100, 200, colour);
    ref->EndScene();
    EXPECT_EQ(ref->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
    Picture picture;
    EXPECT_TRUE(ReadBackPresented(ref, picture.pixels.data(), Width, Height));
    return picture;
  };
  // What the window shows at a picture pixel, when the window is the picture's size.
  auto shown = [&](int x, int y) -> DWORD {
    SDL_Surface *surface = SDL_GetWindowSurface(sdl);
    if (surface == nullptr || surface->w != Width || surface->h != Height) return 0;
    return static_cast<const DWORD *>(surface->pixels)[(size_t)y * (surface->pitch / 4) + x] & 0xFFFFFF;
  };

  Picture red = Frame(ref, [&] { Quad(ref, 100, 100, 200, 200, 0xFFFF0000); });
  EXPECT_EQ(red.At(150, 150) & 0xFFFFFF, 0xFF0000u);
  EXPECT_EQ(shown(150, 150), 0xFF0000u);
  EXPECT_EQ(shown(50, 50), 0u);

  SDL_SetWindowSize(sdl, 640, 480);
  SDL_PumpEvents();
  Picture green = frameOver(300, 0xFF00FF00);
  EXPECT_EQ(green.At(150, 150) & 0xFFFFFF, 0xFF0000u) << "the picture was lost when the window shrank";
  EXPECT_EQ(green.At(350, 150) & 0xFFFFFF, 0x00FF00u);

  SDL_SetWindowSize(sdl, Width, Height);
  SDL_PumpEvents();
  Picture blue = frameOver(500, 0xFF0000FF);
  EXPECT_EQ(blue.At(150, 150) & 0xFFFFFF, 0xFF0000u) << "the picture was lost when the window grew back";
  EXPECT_EQ(blue.At(350, 150) & 0xFFFFFF, 0x00FF00u);
  EXPECT_EQ(blue.At(550, 150) & 0xFFFFFF, 0x0000FFu);
  EXPECT_EQ(blue.At(50, 50) & 0xFFFFFF, 0u);
  EXPECT_EQ(shown(150, 150), 0xFF0000u);
  EXPECT_EQ(shown(550, 150), 0x0000FFu);

  device = nullptr;
  ref->Release();
  d3d->Release();
  DestroyWindow(window);
}

// Quads of different depths in one run of draws (one batch for the device): the depth
// test still decides between them, on the hardware device as on the reference one.
TEST_F(HardwareDevice, DepthsWithinOneBatchStillHideWhatIsBehind) {
  for (IDirect3DDevice8 *d : {hal, ref}) {
    device = d;
    Picture p = Frame(d, [&] {
      Quad(d, 0, 0, 100, 100, 0xFFFF0000, 0.5f);
      Quad(d, 50, 0, 150, 100, 0xFF00FF00, 0.7f);   // behind: hidden where they overlap
      Quad(d, 0, 50, 100, 150, 0xFF0000FF, 0.5f);   // equal depth: drawn
      Quad(d, 120, 50, 200, 150, 0xFFFFFFFF, 0.3f);
      Quad(d, 100, 50, 180, 150, 0xFF00FFFF, 0.4f);   // behind the white one where they overlap
    });
    const char *name = d == hal ? "hardware device" : "reference device";
    EXPECT_EQ(p.At(75, 25) & 0xFFFFFF, 0xFF0000u) << name;
    EXPECT_EQ(p.At(125, 25) & 0xFFFFFF, 0x00FF00u) << name;
    EXPECT_EQ(p.At(25, 75) & 0xFFFFFF, 0x0000FFu) << name;
    EXPECT_EQ(p.At(150, 100) & 0xFFFFFF, 0xFFFFFFu) << name;
    EXPECT_EQ(p.At(110, 100) & 0xFFFFFF, 0x00FFFFu) << name;
    // A near quad alone in its batch, drawn without its test while nothing can fail: its
    // depths must still be there for a far quad in a later batch, and a clear of part of
    // the depth buffer must keep them outside the part it clears.
    Picture q = Frame(d, [&] {
      Quad(d, 0, 200, 200, 300, 0xFFFF0000, 0.5f);
      d->SetTexture(0, nullptr);
      d->SetRenderState(D3DRS_ALPHABLENDENABLE, FALSE);   // a new batch
      D3DRECT part = {100, 200, 200, 300};
      d->Clear(1, &part, D3DCLEAR_ZBUFFER, 0, 1.0f, 0);
      Quad(d, 50, 200, 250, 300, 0xFF00FF00, 0.7f);
    });
    EXPECT_EQ(q.At(75, 250) & 0xFFFFFF, 0xFF0000u) << name << ": the near quad's depths were lost";
    EXPECT_EQ(q.At(150, 250) & 0xFFFFFF, 0x00FF00u) << name << ": the cleared part still hides the far quad";
    EXPECT_EQ(q.At(225, 250) & 0xFFFFFF, 0x00FF00u) << name;
    device = nullptr;
  }
}

}  // namespace
