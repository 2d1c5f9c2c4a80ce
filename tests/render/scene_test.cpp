// The scene and its text on the reference device: the frame's matrices, the texts each
// game state shows (through a font that records its calls), text placement, shadow,
// clipping, translucency and state, and pictures of the title screen and of a game
// compared with the layout and saved for the README.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "app/game.h"
#include "platform/d3d8/d3d8_readback.h"
#include "platform/d3dx/d3dx.h"
#include "render/between.h"
#include "render/device.h"
#include "render/primitives.h"
#include "render/scene.h"
#include "png/png_writer.h"
#include "world/world.h"

namespace {

constexpr int ScreenW = 800, ScreenH = 600;
using Picture = std::vector<uint32_t>;

struct Box {
  int left = 1 << 30, top = 1 << 30, right = -1, bottom = -1;  // right and bottom exclusive
  bool Empty() const { return right < 0; }
  double CentreX() const { return (left + right) / 2.0; }
};

// Ink: pixels whose brightest channel reaches the level, inside an optional band.
Box InkBox(const Picture &p, int level, int top = 0, int bottom = ScreenH, int left = 0, int right = ScreenW) {
  Box box;
  for (int y = std::max(top, 0); y < std::min(bottom, ScreenH); ++y) {
    for (int x = std::max(left, 0); x < std::min(right, ScreenW); ++x) {
      uint32_t c = p[size_t(y) * ScreenW + x];
      int v = int(std::max({(c >> 16) & 0xFF, (c >> 8) & 0xFF, c & 0xFF}));
      if (v < level) continue;
      box.left = std::min(box.left, x);
      box.top = std::min(box.top, y);
      box.right = std::max(box.right, x + 1);
      box.bottom = std::max(box.bottom, y + 1);
    }
  }
  return box;
}

int Green(uint32_t c) { return int((c >> 8) & 0xFF); }

// The reference device, made once for the whole run and put in the game's slot.
IDirect3D8 *direct3DObject;
IDirect3DDevice8 *referenceDevice;

IDirect3DDevice8 *ReferenceDevice() {
  if (referenceDevice) return referenceDevice;
  direct3DObject = Direct3DCreate8(220);
  if (direct3DObject == nullptr) return nullptr;
  D3DPRESENT_PARAMETERS params = {};
  params.BackBufferWidth = ScreenW;
  params.BackBufferHeight = ScreenH;
  params.BackBufferFormat = D3DFMT_X8R8G8B8;
  params.BackBufferCount = 1;
  params.SwapEffect = D3DSWAPEFFECT_COPY;
  params.Windowed = TRUE;
  params.EnableAutoDepthStencil = TRUE;
  params.AutoDepthStencilFormat = D3DFMT_D16;
  direct3DObject->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_REF, nullptr, D3DCREATE_SOFTWARE_VERTEXPROCESSING,
                               &params, &referenceDevice);
  return referenceDevice;
}

// One frame with the game's frame states, drawn by `draw`, read back after Present.
Picture Frame(const std::function<void()> &draw, float clearDepth = 1.0f) {
  IDirect3DDevice8 *d = device;
  d->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000, clearDepth, 0);
  d->BeginScene();
  SetFrameStates(d);
  d->SetVertexShader(D3DFVF_SCREENVERTEX);
  draw();
  d->EndScene();
  d->Present(nullptr, nullptr, nullptr, nullptr);
  Picture pixels(size_t(ScreenW) * ScreenH);
  EXPECT_TRUE(ReadBackPresented(d, reinterpret_cast<DWORD *>(pixels.data()), ScreenW, ScreenH));
  return pixels;
}

// The same string through the GDI stand-in alone, white on black in an 800 x 600 DIB.
Picture GdiPicture(LONG height, const char *text, RECT rect, UINT format) {
  LOGFONTA logFont = {};
  logFont.lfHeight = height;
  logFont.lfWeight = FW_MEDIUM;
  logFont.lfCharSet = SHIFTJIS_CHARSET;
  logFont.lfOutPrecision = OUT_TT_ONLY_PRECIS;
  logFont.lfQuality = DRAFT_QUALITY;
  logFont.lfPitchAndFamily = FIXED_PITCH;
  std::memcpy(logFont.lfFaceName, "\x82\x6c\x82\x72\x20\x83\x53\x83\x56\x83\x62\x83\x4e", 14);
  BITMAPINFO info = {};
  info.bmiHeader = {sizeof(BITMAPINFOHEADER), ScreenW, -ScreenH, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
  HDC dc = CreateCompatibleDC(nullptr);
  void *bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  HFONT font = CreateFontIndirectA(&logFont);
  SelectObject(dc, bitmap);
  HGDIOBJ previous = SelectObject(dc, font);
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, RGB(255, 255, 255));
  DrawTextA(dc, text, -1, &rect, format);
  Picture pixels(static_cast<uint32_t *>(bits), static_cast<uint32_t *>(bits) + size_t(ScreenW) * ScreenH);
  SelectObject(dc, previous);
  DeleteDC(dc);
  DeleteObject(bitmap);
  DeleteObject(font);
  return pixels;
}

// Largest difference in green (white text: any channel) between two pictures.
int WorstDifference(const Picture &a, const Picture &b) {
  int worst = 0;
  for (size_t i = 0; i < a.size(); ++i) worst = std::max(worst, std::abs(Green(a[i]) - Green(b[i])));
  return worst;
}

void ResetWorld() {
  game.GameState = Title;
  game.randomMode = 0;
  game.score = 0;
  fpsValue = 0;
  game.keysHeld = HeldKeys{};
  std::memset(&game.Player, 0, sizeof game.Player);
  std::memset(&game.StageScript, 0, sizeof game.StageScript);
  game.scriptIndex = 0;
  std::memset(game.EnemyTable, 0, sizeof game.EnemyTable);
  std::memset(game.ParticleTable, 0, sizeof game.ParticleTable);
  std::memset(game.EffectTable, 0, sizeof game.EffectTable);
}

class SceneTest : public ::testing::Test {
protected:
  void SetUp() override {
    ASSERT_NE(ReferenceDevice(), nullptr) << "the reference device cannot be made";
    device = referenceDevice;
    if (fonts[0] == nullptr) CreateGameFont(0, 18);
    if (fonts[1] == nullptr) CreateGameFont(1, 60);
    ASSERT_NE(fonts[0], nullptr);
    ASSERT_NE(fonts[1], nullptr);
    ResetWorld();
  }
};

// A font that only writes down what it was asked to draw, standing in both slots.
struct TextCall {
  std::string text;
  RECT rect;
  DWORD format;
  D3DCOLOR colour;
  int slot;
};

class RecordingFont final : public ID3DXFont {
public:
  RecordingFont(int slot, std::vector<TextCall> *calls) : slot_(slot), calls_(calls) {}
  HRESULT QueryInterface(REFIID, void **) override { return E_NOINTERFACE; }
  ULONG AddRef() override { return 1; }
  ULONG Release() override { return 1; }
  HRESULT GetDevice(IDirect3DDevice8 **) override { return E_FAIL; }
  HRESULT GetLogFont(LOGFONTA *) override { return E_FAIL; }
  HRESULT Begin() override { return S_OK; }
  INT DrawTextA(LPCSTR text, INT count, LPRECT rect, DWORD format, D3DCOLOR colour) override {
    EXPECT_EQ(count, -1);
    calls_->push_back({text, *rect, format, colour, slot_});
    return 0;
  }
  INT DrawTextW(LPCWSTR, INT, LPRECT, DWORD, D3DCOLOR) override { return 0; }
  HRESULT End() override { return S_OK; }

private:
  int slot_;
  std::vector<TextCall> *calls_;
};

class SceneTextsTest : public SceneTest {
protected:
  void SetUp() override {
    SceneTest::SetUp();
    saved_[0] = fonts[0];
    saved_[1] = fonts[1];
    fonts[0] = &small_;
    fonts[1] = &large_;
  }
  void TearDown() override {
    fonts[0] = saved_[0];
    fonts[1] = saved_[1];
  }
  std::vector<TextCall> Draw() {
    calls_.clear();
    Frame([] { DrawScene(game, fpsValue); });
    return calls_;
  }
  static std::vector<std::string> Texts(const std::vector<TextCall> &calls) {
    std::vector<std::string> texts;
    for (const TextCall &c : calls) texts.push_back(c.text);
    return texts;
  }
  std::vector<TextCall> calls_;
  RecordingFont small_{0, &calls_}, large_{1, &calls_};
  ID3DXFont *saved_[2] = {};
};

void ExpectCall(const TextCall &call, const char *text, RECT rect, DWORD format, D3DCOLOR colour, int slot) {
  EXPECT_EQ(call.text, text);
  EXPECT_EQ(call.rect.left, rect.left) << text;
  EXPECT_EQ(call.rect.top, rect.top) << text;
  EXPECT_EQ(call.rect.right, rect.right) << text;
  EXPECT_EQ(call.rect.bottom, rect.bottom) << text;
  EXPECT_EQ(call.format, format) << text;
  EXPECT_EQ(call.colour, colour) << text;
  EXPECT_EQ(call.slot, slot) << text;
}

}  // namespace

TEST(FrameMatrices, ProjectionAndViewHoldTheGamesNumbers) {
  D3DXMATRIX m;
  std::memset(&m, 0x7F, sizeof m);  // anything left unwritten would show
  EXPECT_EQ(D3DXMatrixPerspectiveFovLH(&m, 1.0471973f, 1.3333334f, 0.1f, 100.0f), &m);
  const float expected[4][4] = {
      {1.2990384f, 0, 0, 0}, {0, 1.7320513f, 0, 0}, {0, 0, 1.0010010f, 1}, {0, 0, -0.1001001f, 0}};
  for (int r = 0; r < 4; ++r)
    for (int c = 0; c < 4; ++c) EXPECT_NEAR(m.m[r][c], expected[r][c], 2e-6) << r << "," << c;

  D3DXVECTOR3 eye(0, 0, 0), at(0, 0, 1), up(0, 1, 0);
  std::memset(&m, 0x7F, sizeof m);
  EXPECT_EQ(D3DXMatrixLookAtLH(&m, &eye, &at, &up), &m);
  for (int r = 0; r < 4; ++r)
    for (int c = 0; c < 4; ++c) EXPECT_EQ(m.m[r][c], r == c ? 1.0f : 0.0f) << r << "," << c;

  // From elsewhere, looking along +x: the target lands straight ahead at its distance,
  // and a point above the eye lands above.
  D3DXVECTOR3 eye2(1, 2, 3), at2(5, 2, 3), up2(0, 1, 0);
  D3DXMatrixLookAtLH(&m, &eye2, &at2, &up2);
  auto transform = [&](float x, float y, float z, int column) {
    return x * m.m[0][column] + y * m.m[1][column] + z * m.m[2][column] + m.m[3][column];
  };
  EXPECT_NEAR(transform(5, 2, 3, 0), 0.0f, 1e-6);
  EXPECT_NEAR(transform(5, 2, 3, 1), 0.0f, 1e-6);
  EXPECT_NEAR(transform(5, 2, 3, 2), 4.0f, 1e-6);
  EXPECT_NEAR(transform(1, 3, 3, 1), 1.0f, 1e-6);
}

TEST_F(SceneTextsTest, TitleScreenShowsExactlyItsSixTextsInOrder) {
  game.keysHeld.enter = true;  // the caption line never shows on the title screen
  std::vector<TextCall> calls = Draw();
  ASSERT_EQ(calls.size(), 6u);
  ExpectCall(calls[0], "QUILLRUN", {0, 183, 806, 600}, DT_CENTER, 0x5064C8FF, 1);
  ExpectCall(calls[1], "QUILLRUN", {0, 180, 800, 600}, DT_CENTER, 0xA064C8FF, 1);
  ExpectCall(calls[2], "version 0.14", {0, 260, 800, 600}, DT_CENTER, 0xFFB4C8FF, 0);
  ExpectCall(calls[3], "PRESS LEFT BUTTON TO NORMAL GAME START", {0, 370, 800, 600}, DT_CENTER, 0xFFB4C8FF, 0);
  ExpectCall(calls[4], "PRESS RIGHT BUTTON TO RANDOM GAME START", {0, 400, 800, 600}, DT_CENTER, 0xFFB4C8FF, 0);
  ExpectCall(calls[5], "(C) 2026 quillrun developers", {0, 460, 800, 600}, DT_CENTER, 0xFFB4C8FF, 0);
}

TEST_F(SceneTextsTest, HudPrintsTruncatedPercentageAndSignedShield) {
  game.GameState = Playing;
  game.score = 1234;
  game.Player.shield = -5;
  struct {
    int16_t power;
    const char *text;
  } powers[] = {{399, "99%"}, {400, "100%"}, {0, "0%"}, {3, "0%"}, {4, "1%"}};
  for (const auto &p : powers) {
    game.Player.power = p.power;
    std::vector<TextCall> calls = Draw();
    ASSERT_EQ(calls.size(), 2u);
    ExpectCall(calls[0], p.text, {510, 20, 800, 600}, DT_LEFT | DT_TOP, 0xFF64C8FF, 0);
    ExpectCall(calls[1], "SCORE 1234   SHIELD -5", {20, 20, 800, 600}, DT_LEFT | DT_TOP, 0xFFFFFFFF, 0);
  }
  game.Player.shield = -128;
  EXPECT_EQ(Draw()[1].text, "SCORE 1234   SHIELD -128");
}

TEST_F(SceneTextsTest, CaptionLineShowsOnlyWhileEnterIsHeld) {
  game.GameState = Playing;
  fpsValue = 45;
  game.keysHeld.enter = false;
  EXPECT_EQ(Draw().size(), 2u);
  game.keysHeld.enter = true;
  std::vector<TextCall> calls = Draw();
  ASSERT_EQ(calls.size(), 3u);
  ExpectCall(calls[2], "quillrun [version 0.14] / by mossgate / frame rate 45 FPS", {0, 200, 800, 600}, DT_CENTER,
             0xFFFFFFFF, 0);
}

TEST_F(SceneTextsTest, EndTextsStageTitleAndRandomTagAreEachTestedOnTheirOwn) {
  // A stage title current when the game ends stays under the end texts.
  game.GameState = GameOver;
  game.scriptIndex = 7;
  game.StageScript.op[7] = StageTitle;
  game.StageScript.arg[7] = 3;
  std::vector<TextCall> calls = Draw();
  ASSERT_EQ(calls.size(), 5u);
  ExpectCall(calls[2], "GAME OVER", {0, 250, 800, 600}, DT_CENTER, 0xC8FFFFFF, 1);
  ExpectCall(calls[3], "PRESS ESC KEY TO BACK", {0, 340, 800, 600}, DT_CENTER, 0xC8FFFFFF, 0);
  ExpectCall(calls[4], "STAGE-3", {0, 260, 800, 600}, DT_CENTER, 0x7864C8FF, 1);

  game.GameState = AllClear;
  game.StageScript.arg[7] = 5;  // no such stage: no title
  calls = Draw();
  ASSERT_EQ(calls.size(), 5u);
  ExpectCall(calls[2], "ALL CLEAR", {0, 250, 800, 600}, DT_CENTER, 0xC8FFFFFF, 1);
  ExpectCall(calls[3], "Congratulations! thx 4 playing!", {0, 320, 800, 600}, DT_CENTER, 0xC8FFFFFF, 0);
  ExpectCall(calls[4], "PRESS ESC KEY TO BACK", {0, 380, 800, 600}, DT_CENTER, 0xC8FFFFFF, 0);

  game.GameState = Playing;
  game.randomMode = 1;
  game.StageScript.op[7] = Spawn;
  calls = Draw();
  ASSERT_EQ(calls.size(), 3u);
  ExpectCall(calls[2], "RANDOM MODE", {20, 570, 800, 600}, DT_LEFT | DT_TOP, 0xFFFFFFFF, 0);

  // Every stage number the script can name, and an index outside the script.
  game.randomMode = 0;
  game.StageScript.op[7] = StageTitle;
  for (int stage = 1; stage <= 4; ++stage) {
    game.StageScript.arg[7] = int16_t(stage);
    EXPECT_EQ(Texts(Draw()).back(), "STAGE-" + std::to_string(stage));
  }
  game.scriptIndex = StageSteps;
  EXPECT_EQ(Draw().size(), 2u);
}

TEST_F(SceneTest, EmptyFontSlotsDrawNothing) {
  ID3DXFont *saved[2] = {fonts[0], fonts[1]};
  fonts[0] = fonts[1] = nullptr;
  game.GameState = GameOver;
  Picture picture = Frame([] { DrawScene(game, fpsValue); });
  fonts[0] = saved[0];
  fonts[1] = saved[1];
  EXPECT_TRUE(InkBox(picture, 1, 240, 420).Empty());
  DrawTextAt("x", 0, 0, 0xFFFFFFFF, 2);  // no such slot
  DrawTextAt("x", 0, 0, 0xFFFFFFFF, -1);
}

TEST_F(SceneTest, TextLandsWhereGdiPutsItPixelForPixel) {
  struct Case {
    const char *text;
    LONG height;
    RECT rect;
    UINT format;
  } cases[] = {
      {"QUILLRUN", 60, {0, 180, 800, 600}, DT_CENTER},
      {"SCORE 123456   SHIELD -7", 18, {20, 20, 800, 600}, DT_LEFT},
      {"PRESS RIGHT BUTTON TO RANDOM GAME START", 18, {0, 400, 800, 600}, DT_CENTER},
      {"g&&j|Q", 18, {333, 77, 501, 95}, DT_CENTER},
  };
  for (const Case &c : cases) {
    int slot = c.height == 60 ? 1 : 0;
    RECT rect = c.rect;
    Picture drawn = Frame([&] { fonts[slot]->DrawTextA(c.text, -1, &rect, c.format, 0xFFFFFFFF); });
    Picture gdi = GdiPicture(c.height, c.text, c.rect, c.format);
    EXPECT_LE(WorstDifference(drawn, gdi), 1) << c.text;
    EXPECT_FALSE(InkBox(drawn, 128).Empty()) << c.text;
  }
}

TEST_F(SceneTest, CentredTextIsCentredAndTheTitleShadowSitsThreeRightThreeDown) {
  for (int right : {800, 513}) {
    Picture p = Frame([&] { DrawTextCentered("HHHHHH", 100, right, 300, 0xFFFFFFFF, 0); });
    EXPECT_NEAR(InkBox(p, 128).CentreX(), (100 + right) / 2.0, 1.0) << right;
  }
  Picture title = Frame([] { DrawTextCentered("QUILLRUN", 0, 800, 180, 0xFFFFFFFF, 1); });
  Picture shadow = Frame([] { DrawTextCentered("QUILLRUN", 0, 806, 183, 0xFFFFFFFF, 1); });
  Box a = InkBox(title, 1), b = InkBox(shadow, 1);
  ASSERT_FALSE(a.Empty());
  EXPECT_EQ(b.left - a.left, 3);
  EXPECT_EQ(b.top - a.top, 3);
  EXPECT_EQ(b.right - a.right, 3);
  EXPECT_EQ(b.bottom - a.bottom, 3);
  for (int y = a.top; y < a.bottom; ++y)
    for (int x = a.left; x < a.right; ++x)
      ASSERT_EQ(title[size_t(y) * ScreenW + x], shadow[size_t(y + 3) * ScreenW + x + 3]) << x << "," << y;
  EXPECT_NEAR(a.CentreX(), 400.0, 2.0);
  EXPECT_GE(a.top, 180);
}

TEST_F(SceneTest, TextIsClippedAtTheScreenEdgeAndAtItsRectangle) {
  Picture edge = Frame([] { DrawTextAt("WWWWWWWWWWWWWWWW", 740, 590, 0xFFFFFFFF, 0); });
  Box ink = InkBox(edge, 64);
  EXPECT_EQ(ink.right, ScreenW);
  EXPECT_EQ(ink.bottom, ScreenH);
  EXPECT_GE(ink.left, 740);
  EXPECT_GE(ink.top, 590);

  RECT rect = {300, 100, 340, 110};
  Picture boxed = Frame([&] { fonts[1]->DrawTextA("MMMMMMMM", -1, &rect, DT_LEFT, 0xFFFFFFFF); });
  ink = InkBox(boxed, 1);
  EXPECT_GE(ink.left, 300);
  EXPECT_LE(ink.right, 340);
  EXPECT_LE(ink.bottom, 110);
  EXPECT_FALSE(ink.Empty());
}

TEST_F(SceneTest, ColourAndAlphaApplyOnTopOfGlyphCoverage) {
  auto channelPeaks = [](const Picture &p, int shift) {
    int peak = 0, partial = 0;
    for (uint32_t c : p) {
      int v = int((c >> shift) & 0xFF);
      peak = std::max(peak, v);
    }
    for (uint32_t c : p) {
      int v = int((c >> shift) & 0xFF);
      if (v > 0 && v < peak) ++partial;
    }
    return std::pair<int, int>(peak, partial);
  };
  Picture opaque = Frame([] { DrawTextCentered("GAME OVER", 0, 800, 250, 0xFFFFFFFF, 1); });
  Picture translucent = Frame([] { DrawTextCentered("GAME OVER", 0, 800, 250, 0xC8FFFFFF, 1); });
  EXPECT_EQ(channelPeaks(opaque, 8).first, 255);
  auto [peak, partial] = channelPeaks(translucent, 8);
  EXPECT_NEAR(peak, 200, 1);
  EXPECT_GT(partial, 50) << "antialiased edges keep their coverage";
  // Same shape, every pixel scaled by 200/255.
  for (size_t i = 0; i < opaque.size(); ++i) {
    ASSERT_NEAR(Green(translucent[i]), Green(opaque[i]) * 200 / 255.0, 1.5) << i;
  }
  Picture coloured = Frame([] { DrawTextAt("100%", 510, 20, 0xFF64C8FF, 0); });
  EXPECT_NEAR(channelPeaks(coloured, 16).first, 0x64, 1);
  EXPECT_NEAR(channelPeaks(coloured, 8).first, 0xC8, 1);
  EXPECT_EQ(channelPeaks(coloured, 0).first, 0xFF);
}

TEST_F(SceneTest, TextIgnoresTheDepthTestAndPutsTheStatesBack) {
  IDirect3DTexture8 *bound = nullptr;
  ASSERT_TRUE(SUCCEEDED(device->CreateTexture(4, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &bound)));
  DWORD zEnable = 0, zFunc = 0, minFilter = 0, shader = 0, blend = 0;
  IDirect3DBaseTexture8 *after = nullptr;
  // With the depth buffer cleared to 0 and "less" testing, nothing depth-tested passes.
  Picture p = Frame(
      [&] {
        device->SetRenderState(D3DRS_ZFUNC, D3DCMP_LESS);
        device->SetTexture(0, bound);
        DrawTextCentered("QUILLRUN", 0, 800, 180, 0xFFFFFFFF, 1);
        device->GetRenderState(D3DRS_ZENABLE, &zEnable);
        device->GetRenderState(D3DRS_ZFUNC, &zFunc);
        device->GetRenderState(D3DRS_ALPHABLENDENABLE, &blend);
        device->GetTextureStageState(0, D3DTSS_MINFILTER, &minFilter);
        device->GetVertexShader(&shader);
        device->GetTexture(0, &after);
        device->SetRenderState(D3DRS_ZFUNC, D3DCMP_LESSEQUAL);
      },
      0.0f);
  EXPECT_FALSE(InkBox(p, 128).Empty());
  EXPECT_EQ(zEnable, DWORD(D3DZB_TRUE));
  EXPECT_EQ(zFunc, DWORD(D3DCMP_LESS));
  EXPECT_EQ(blend, DWORD(TRUE));
  EXPECT_EQ(minFilter, DWORD(D3DTEXF_LINEAR));
  EXPECT_EQ(shader, DWORD(D3DFVF_SCREENVERTEX));
  EXPECT_EQ(after, static_cast<IDirect3DBaseTexture8 *>(bound));
  if (after) after->Release();
  device->SetTexture(0, nullptr);
  bound->Release();
}

TEST_F(SceneTest, FullGlyphPagesAreRefilledWithoutSpoilingText) {
  // Glyphs of a 150-pixel font fill the pages after a few dozen letters; drawing more
  // than fit (off screen) forces the pages to be cleared, even in the middle of a string.
  LOGFONTA logFont = {};
  fonts[0]->GetLogFont(&logFont);
  logFont.lfHeight = 150;
  ID3DXFont *big = nullptr;
  ASSERT_TRUE(SUCCEEDED(D3DXCreateFontIndirect(device, &logFont, &big)));
  Picture before = Frame([] { DrawTextAt("SCORE 42", 20, 20, 0xFFFFFFFF, 0); });
  Picture after = Frame([&] {
    RECT away = {0, 700, 800, 900};
    big->DrawTextA("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789", -1, &away, DT_NOCLIP, 0xFFFFFFFF);
    DrawTextAt("SCORE 42", 20, 20, 0xFFFFFFFF, 0);
    RECT here = {0, 300, 800, 600};
    big->DrawTextA("Qq", -1, &here, DT_CENTER, 0xFFFFFFFF);
  });
  EXPECT_EQ(WorstDifference(Picture(before.begin(), before.begin() + 60 * ScreenW),
                            Picture(after.begin(), after.begin() + 60 * ScreenW)),
            0);
  Picture gdi = GdiPicture(150, "Qq", {0, 300, 800, 600}, DT_CENTER);
  EXPECT_LE(WorstDifference(Picture(after.begin() + 300 * ScreenW, after.end()),
                            Picture(gdi.begin() + 300 * ScreenW, gdi.end())),
            1);
  EXPECT_EQ(big->Release(), 0u);
}

TEST_F(SceneTest, FontObjectsShareOneRendererAndCountReferences) {
  LOGFONTA logFont = {};
  EXPECT_TRUE(SUCCEEDED(fonts[1]->GetLogFont(&logFont)));
  EXPECT_EQ(logFont.lfHeight, 60);
  EXPECT_EQ(logFont.lfWeight, FW_MEDIUM);
  EXPECT_EQ(logFont.lfCharSet, SHIFTJIS_CHARSET);
  IDirect3DDevice8 *owner = nullptr;
  EXPECT_TRUE(SUCCEEDED(fonts[0]->GetDevice(&owner)));
  EXPECT_EQ(owner, device);
  owner->Release();
  ID3DXFont *same = nullptr;
  EXPECT_TRUE(SUCCEEDED(fonts[0]->QueryInterface(IID_ID3DXFont, reinterpret_cast<void **>(&same))));
  EXPECT_EQ(same, fonts[0]);
  EXPECT_EQ(same->Release(), 1u);
  ID3DXFont *none = nullptr;
  EXPECT_EQ(D3DXCreateFontIndirect(nullptr, &logFont, &none), D3DERR_INVALIDCALL);
  EXPECT_EQ(D3DXCreateFontIndirect(device, nullptr, &none), D3DERR_INVALIDCALL);
  EXPECT_EQ(D3DXCreateFontIndirect(device, &logFont, nullptr), D3DERR_INVALIDCALL);
  EXPECT_EQ(none, nullptr);
  // Empty and odd arguments draw nothing and do not crash.
  RECT rect = {0, 0, 800, 600};
  EXPECT_EQ(fonts[0]->DrawTextA(nullptr, -1, &rect, 0, 0xFFFFFFFF), 0);
  EXPECT_EQ(fonts[0]->DrawTextA("x", -1, nullptr, 0, 0xFFFFFFFF), 0);
  EXPECT_EQ(fonts[0]->DrawTextA("x", -5, &rect, 0, 0xFFFFFFFF), 0);
  EXPECT_EQ(fonts[0]->DrawTextA("two\nlines", -1, &rect, DT_CALCRECT, 0xFFFFFFFF), 36);
}

TEST_F(SceneTest, TheNewestTrailTriangleIsNearlyOpaqueAndTheOldestFaint) {
  // One triangle at a time, the rest collapsed to a point; blended over black, the
  // centre shows the average of its three corner alphas times the trail colour.
  game.GameState = Playing;
  ID3DXFont *saved[2] = {fonts[0], fonts[1]};
  fonts[0] = fonts[1] = nullptr;  // no HUD over the picture
  // (base + previous tip + tip) / 3 for triangles 0, 3 and 7: (238 + 222 + 254) / 3, ...
  const std::pair<int, int> averages[] = {{0, 238}, {3, 142}, {7, 15}};
  for (auto [i, alpha] : averages) {
    std::memset(game.Player.trail, 0, sizeof game.Player.trail);
    game.Player.trail[i] = {{100, 500}, {400, 100}, {700, 500}};
    game.Player.x = game.Player.y = -100;  // the hand out of the picture
    Picture p = Frame([] { DrawScene(game, fpsValue); });
    uint32_t centre = p[size_t(366) * ScreenW + 400];
    EXPECT_NEAR(int((centre >> 16) & 0xFF), alpha, 4) << i;
    EXPECT_NEAR(int((centre >> 8) & 0xFF), 60 * alpha / 255, 3) << i;
    EXPECT_NEAR(int(centre & 0xFF), 180 * alpha / 255, 3) << i;
  }
  fonts[0] = saved[0];
  fonts[1] = saved[1];
}

// Between updates the hand is drawn ahead of the newest update by the motion made since
// (in slow motion up to 66 ms of it); the newest blade still grows out of the trail, no
// black gap along the edge it shares with the blade before it, and reaches past the hand.
TEST_F(SceneTest, TheNewestBladeStaysJoinedToTheTrailWhileTheHandLeads) {
  game.GameState = Playing;
  ID3DXFont *saved[2] = {fonts[0], fonts[1]};
  fonts[0] = fonts[1] = nullptr;
  // The hand came from (200, 320) by (250, 300) to (300, 300), each blade reaching seven
  // moves ahead, the newest from where the one before it ended.
  game.Player.x = game.Player.y = 300;
  game.Player.vx = 50;
  game.Player.trail[1] = {{200, 320}, {470, 150}, {600, 160}};
  game.Player.trail[0] = {{250, 300}, {600, 160}, {650, 300}};
  auto red = [](const Picture &p, int x, int y) { return int((p[size_t(y) * ScreenW + x] >> 16) & 0xFF); };
  for (double lead : {0.0, 20.0, 60.0, -40.0}) {
    const SceneMoment moment{&game, &game, 0.0f, LeadingHand(game, 0.0f, 0.0, lead)};
    Picture p = Frame([&] { DrawSceneAt(moment, fpsValue); });
    for (int x = 380; x <= 500; x += 10)   // just below the shared edge: the newest blade
      for (int y = static_cast<int>(320 - 0.4 * (x - 200)) + 3, below = 0; below < 2; ++below, y += 2)
        EXPECT_GT(red(p, x, y), 100) << "a gap at (" << x << ", " << y << "), the hand led by " << lead;
    EXPECT_GT(red(p, static_cast<int>(moment.hand.x) + 104, static_cast<int>(moment.hand.y) - 4), 100) << lead;
  }
  fonts[0] = saved[0];
  fonts[1] = saved[1];
}

// Pictures of the two screens, checked against where the texts belong and saved.
namespace {

void SavePicture(const Picture &p, const char *name) {
  std::filesystem::path dir;
  if (const char *chosen = std::getenv("QR_SCREENSHOT_DIR")) {
    dir = chosen;
  } else {
    const char *build = std::getenv("QR_BUILD_DIR");
    dir = std::filesystem::path(build ? build : ".") / "screenshots";
  }
  std::filesystem::create_directories(dir);
  EXPECT_TRUE(WritePng((dir / name).c_str(), ScreenW, ScreenH, p.data())) << (dir / name);
}

// The ink of one text row: present, and centred on the screen when asked.
void ExpectRow(const Picture &p, int top, int height, bool centred, const char *what) {
  Box ink = InkBox(p, 100, top, top + height);
  ASSERT_FALSE(ink.Empty()) << what;
  EXPECT_GE(ink.top, top) << what;
  EXPECT_LE(ink.bottom, top + height) << what;
  if (centred) {
    EXPECT_NEAR(ink.CentreX(), 400.0, 3.0) << what;
  }
}

bool LoadGameTextures() {
  const char *build = std::getenv("QR_BUILD_DIR");
  std::string data = std::string(build ? build : ".") + "/data/";
  for (int slot = 0; slot < 2; ++slot) {
    if (textures[slot]) continue;
    std::string file = data + (slot == 0 ? "qrtex1.dds" : "qrtex2.dds");
    D3DXCreateTextureFromFileExA(device, file.c_str(), 0, 0, 0, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED,
                                 D3DX_FILTER_LINEAR, D3DX_FILTER_LINEAR, 0, nullptr, nullptr, &textures[slot]);
  }
  return textures[0] && textures[1];
}

}  // namespace

TEST_F(SceneTest, TitleScreenPicture) {
  EXPECT_TRUE(LoadGameTextures()) << "the game's textures are missing from the build's data folder";
  Picture empty = Frame([] { DrawScene(game, fpsValue); });
  // Only the texts, in their rows: nothing else on an empty title screen.
  ExpectRow(empty, 180, 63, true, "title and its shadow");
  ExpectRow(empty, 260, 18, true, "version");
  ExpectRow(empty, 370, 18, true, "left button line");
  ExpectRow(empty, 400, 18, true, "right button line");
  ExpectRow(empty, 460, 18, true, "copyright line");
  for (auto [top, bottom] : {std::pair{0, 180}, {243, 260}, {278, 370}, {388, 400}, {418, 460}, {478, 600}}) {
    EXPECT_TRUE(InkBox(empty, 1, top, bottom).Empty()) << top << " to " << bottom;
  }
  // The picture for the README, with stars drifting behind the title.
  for (int i = 0; i < 40; ++i) {
    float x = float((i * 97) % 800), y = float((i * 53 + 17) % 600);
    SpawnParticle(game, x, y, -5.0f, 0.0f, 0.0f, 0.0f, 0.0f, 20.0f, 0.0f, uint8_t(120 + (i * 37) % 100), 0, -1,
                  int8_t(8 + i % 3));
  }
  SavePicture(Frame([] { DrawScene(game, fpsValue); }), "title.png");
}

TEST_F(SceneTest, GameFramePicture) {
  EXPECT_TRUE(LoadGameTextures()) << "the game's textures are missing from the build's data folder";
  game.GameState = Playing;
  game.score = 12840;
  game.Player.shield = 87;
  game.Player.power = 296;
  game.Player.x = 260;
  game.Player.y = 330;
  // A swing up and to the right, fanning out behind the hand.
  for (int i = 0; i < 8; ++i) {
    float a = 0.9f - i * 0.16f, b = a + 0.16f;
    game.Player.trail[i].base = {260.0f - i * 3.0f, 330.0f + i * 2.0f};
    game.Player.trail[i].previousTip = {260.0f + 190.0f * std::cos(b), 330.0f - 190.0f * std::sin(b)};
    game.Player.trail[i].tip = {260.0f + 190.0f * std::cos(a), 330.0f - 190.0f * std::sin(a)};
  }
  SpawnEnemy(game, 620, 180, 0.0f, 6, 0);
  SpawnEnemy(game, 700, 420, 0.0f, 3, 0);
  SpawnEnemy(game, 540, 300, 0.3f, 0, 0);
  SpawnEnemy(game, 500, 260, -0.2f, 8, 0);
  SpawnEnemy(game, 720, 300, 0.0f, 11, 0);
  for (int i = 0; i < 12; ++i) {
    SpawnParticle(game, float((i * 131) % 800), float((i * 71 + 40) % 600), -3.0f, 0, 0, 0, 0, 20.0f, 0, 150, 0, -1,
                  int8_t(8 + i % 3));
  }
  for (int i = 0; i < 6; ++i) {
    SpawnEffect(game, 480.0f + i * 6, 250.0f + i * 4, 4.0f - i, -3.0f + i, 0, 0.3f, 220, -10, 255, 100, 200);
  }
  game.scriptIndex = 1;
  game.StageScript.op[1] = StageTitle;
  game.StageScript.arg[1] = 1;
  Picture p = Frame([] { DrawScene(game, fpsValue); });
  // The HUD line at the top left, the percentage right of the gauge, the stage title.
  Box hud = InkBox(p, 100, 20, 38, 0, 300);
  ASSERT_FALSE(hud.Empty());
  EXPECT_GE(hud.left, 20);
  EXPECT_LE(hud.left, 24);
  Box percent = InkBox(p, 100, 20, 38, 505, 800);
  ASSERT_FALSE(percent.Empty());
  EXPECT_GE(percent.left, 510);
  EXPECT_LE(percent.left, 514);
  ExpectRow(p, 260, 60, false, "stage title");
  SavePicture(p, "game.png");
}
