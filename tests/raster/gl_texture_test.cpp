// The hardware device's own record of the textures it is given: a texture whose texels
// change goes up again, plain or drawn from its level strip; a texture forgotten and a
// new one made at the same address is the new one; textures taken in turn each draw as
// themselves. Drawn on the device itself in a small window. Needs an X display with GLX
// (the test script's Xvfb, Mesa's software OpenGL); skipped without a display.
#include <gtest/gtest.h>
#include <cstdlib>
#include <algorithm>
#include <vector>
#include "platform/platform.h"
#include "platform/raster/gl/raster_gl.h"

namespace {

constexpr int Size = 64;

// A texture of `size` x `size` texels with every level filled with `colour`.
struct Texels {
  std::vector<uint32_t> memory;
  RasterTexture texture;
  Texels(int size, int levels, uint32_t colour) {
    memory.assign((size_t)size * size * 2, colour);
    texture.width = texture.height = size;
    texture.levels = levels;
    uint32_t *next = memory.data();
    for (int i = 0, s = size; i < levels; ++i, s = s > 1 ? s / 2 : 1) {
      texture.level[i] = next;
      texture.levelWidth[i] = texture.levelHeight[i] = s;
      next += (size_t)s * s;
    }
  }
  // The texels change as a locked level's do: every level, and the version grows.
  void Fill(uint32_t colour) {
    std::fill(memory.begin(), memory.end(), colour);
    texture.version += 1;
  }
};

class HardwareDeviceTextures : public ::testing::Test {
protected:
  void SetUp() override {
    if (std::getenv("DISPLAY") == nullptr) GTEST_SKIP() << "no display";
    WNDCLASSEXA wc = {};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = DefWindowProcA;
    wc.lpszClassName = "gltextures";
    RegisterClassExA(&wc);
    window = CreateWindowExA(0, "gltextures", "gltextures", WS_POPUP | WS_VISIBLE, 0, 0, Size, Size, nullptr, nullptr,
                             nullptr, nullptr);
    ASSERT_NE(window, nullptr);
    device = CreateOpenGLRaster(window, Size, Size);
    ASSERT_NE(device, nullptr) << "no hardware device: is GLX missing on this display?";
  }
  void TearDown() override {
    delete device;
    if (window) DestroyWindow(window);
  }

  // A texture x white state; `strip` asks for what the device draws from the level
  // strip: two levels blended, one filter for both.
  static RasterState StateFor(const RasterTexture *t, bool strip) {
    RasterState st;
    st.texture = t;
    st.clipRight = st.clipBottom = Size;
    st.alphaOp = OpModulate;
    if (strip) {
      st.magFilter = st.minFilter = st.mipFilter = D3DTEXF_LINEAR;
      st.maxMipLevel = 0;
    }
    return st;
  }

  // One frame of quads, each 16 pixels square along the top row with its own texture;
  // the colour at each quad's centre.
  std::vector<uint32_t> Frame(const std::vector<const RasterTexture *> &textures, bool strip) {
    RasterState plain;
    plain.clipRight = plain.clipBottom = Size;
    device->Clear(plain, 0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000, 1.0f);
    for (size_t i = 0; i < textures.size(); ++i) {
      const float x0 = 16.0f * (float)i, x1 = x0 + 16.0f;
      const RasterVertex v[6] = {{x0, 0, 0, 1, 0xFFFFFFFF, 0, 0},  {x1, 0, 0, 1, 0xFFFFFFFF, 1, 0},
                                 {x1, 16, 0, 1, 0xFFFFFFFF, 1, 1}, {x0, 0, 0, 1, 0xFFFFFFFF, 0, 0},
                                 {x1, 16, 0, 1, 0xFFFFFFFF, 1, 1}, {x0, 16, 0, 1, 0xFFFFFFFF, 0, 1}};
      device->DrawTriangles(StateFor(textures[i], strip), v, 6);
    }
    device->Present(window);
    std::vector<uint32_t> picture((size_t)Size * Size);
    EXPECT_TRUE(device->ReadBack(picture.data(), Size, Size));
    std::vector<uint32_t> centres;
    for (size_t i = 0; i < textures.size(); ++i) centres.push_back(picture[(size_t)8 * Size + 16 * i + 8] & 0xFFFFFF);
    return centres;
  }

  HWND window = nullptr;
  RasterDevice *device = nullptr;
};

TEST_F(HardwareDeviceTextures, ChangedTexelsGoUpAgain) {
  for (bool strip : {false, true}) {
    Texels t(8, strip ? 4 : 1, 0xFFFF0000);
    EXPECT_EQ(Frame({&t.texture}, strip), std::vector<uint32_t>{0xFF0000}) << "strip " << strip;
    t.Fill(0xFF0000FF);
    EXPECT_EQ(Frame({&t.texture}, strip), std::vector<uint32_t>{0x0000FF}) << "strip " << strip;
    device->ForgetTexture(&t.texture);
  }
}

TEST_F(HardwareDeviceTextures, ANewTextureWhereAForgottenOneWasIsTheNewOne) {
  for (bool strip : {false, true}) {
    Texels slot(8, strip ? 4 : 1, 0xFFFF0000);
    EXPECT_EQ(Frame({&slot.texture}, strip), std::vector<uint32_t>{0xFF0000}) << "strip " << strip;
    device->ForgetTexture(&slot.texture);
    // A new texture in its place: the same address and the same first version, other texels.
    slot = Texels(8, strip ? 4 : 1, 0xFF00FF00);
    ASSERT_EQ(slot.texture.version, 1u);
    EXPECT_EQ(Frame({&slot.texture}, strip), std::vector<uint32_t>{0x00FF00}) << "strip " << strip;
    device->ForgetTexture(&slot.texture);
  }
}

TEST_F(HardwareDeviceTextures, TexturesTakenInTurnEachDrawAsThemselves) {
  for (bool strip : {false, true}) {
    Texels red(8, strip ? 4 : 1, 0xFFFF0000), green(8, strip ? 4 : 1, 0xFF00FF00);
    EXPECT_EQ(Frame({&red.texture, &green.texture, &red.texture, &green.texture}, strip),
              (std::vector<uint32_t>{0xFF0000, 0x00FF00, 0xFF0000, 0x00FF00}))
        << "strip " << strip;
    // Forgetting one leaves the other as it was.
    device->ForgetTexture(&red.texture);
    EXPECT_EQ(Frame({&green.texture}, strip), std::vector<uint32_t>{0x00FF00}) << "strip " << strip;
    device->ForgetTexture(&green.texture);
  }
}

}  // namespace
