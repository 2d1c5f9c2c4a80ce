// What the HUD text of a running game costs on the hardware device, against the whole
// frame: a frame with the fonts in place and a frame with the font slots empty (text
// calls then do nothing) are rendered alternately, and the median of the paired
// differences is the text's share (pairing keeps the load of a shared machine out). The time spent inside the text calls
// themselves is measured too. Needs a display (under Xvfb: DISPLAY=:n).
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "app/game.h"
#include "platform/d3dx/d3dx.h"
#include "render/device.h"
#include "render/scene.h"
#include "world/world.h"

namespace {

using Clock = std::chrono::steady_clock;

double Milliseconds(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values.empty() ? 0.0 : values[values.size() / 2];
}

void PumpMessages() {
  MSG message;
  while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
}

// A game in full swing: ships, stars, a swing of the sword, a gauge that keeps moving
// so the percentage text changes from frame to frame.
void SetUpRunningGame() {
  game.GameState = Playing;
  game.score = 48210;
  game.Player.shield = 64;
  game.Player.x = 260;
  game.Player.y = 330;
  for (int i = 0; i < 8; ++i) {
    game.Player.trail[i].base = {260.0f, 330.0f};
    game.Player.trail[i].previousTip = {300.0f + 20 * i, 150.0f + 15 * i};
    game.Player.trail[i].tip = {320.0f + 20 * i, 160.0f + 15 * i};
  }
  for (int i = 0; i < 10; ++i) SpawnEnemy(game, 450.0f + 30 * i, 80.0f + 45 * i, 0.0f, int8_t(i % 11), 0);
  for (int i = 0; i < 60; ++i) SpawnBackgroundStar(game);
  game.scriptIndex = 0;
}

double FrameTime(int frame) {
  game.Player.power = int16_t(400 - frame % 401);
  Clock::time_point start = Clock::now();
  RenderFrame(game, fpsValue);
  PumpMessages();
  return Milliseconds(Clock::now() - start);
}

// The two HUD texts alone, as DrawScene draws them, timed inside a frame of their own.
double HudTextTime(int frame) {
  char text[100];
  game.Player.power = int16_t(400 - frame % 401);
  device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000, 1.0f, 0);
  device->BeginScene();
  device->SetVertexShader(D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1);
  Clock::time_point start = Clock::now();
  std::snprintf(text, sizeof text, "%d%%", int(float(game.Player.power) * 0.25f));
  DrawTextAt(text, 510, 20, 0xFF64C8FF, 0);
  std::snprintf(text, sizeof text, "SCORE %d   SHIELD %d", game.score, int(game.Player.shield));
  DrawTextAt(text, 20, 20, 0xFFFFFFFF, 0);
  double spent = Milliseconds(Clock::now() - start);
  device->EndScene();
  RECT destination = {0, 0, 800, 600};
  device->Present(nullptr, &destination, mainWindow, nullptr);
  PumpMessages();
  return spent;
}

}  // namespace

int main() {
  if (std::getenv("DISPLAY") == nullptr) {
    std::printf("bench_text: needs a display for the hardware device (run under Xvfb with DISPLAY set)\n");
    return 0;
  }
  fullScreen = 0;
  if (!CreateMainWindow(nullptr, SW_SHOW) || !InitDirect3D(mainWindow, fullScreen)) {
    std::printf("bench_text: no device\n");
    return 1;
  }
  CreateGameFont(0, 18);
  CreateGameFont(1, 60);
  if (fonts[0] == nullptr) {
    std::printf("bench_text: no font\n");
    return 1;
  }
  SetUpRunningGame();
  for (int frame = 0; frame < 60; ++frame) FrameTime(frame);  // glyphs cached, device warm

  ID3DXFont *withFonts[2] = {fonts[0], fonts[1]};
  std::vector<double> withText, withoutText, differences, textCalls;
  const int pairs = 600;
  for (int frame = 0; frame < pairs; ++frame) {
    fonts[0] = withFonts[0];
    fonts[1] = withFonts[1];
    double full = FrameTime(frame);
    textCalls.push_back(HudTextTime(frame));
    fonts[0] = fonts[1] = nullptr;
    double bare = FrameTime(frame);
    withText.push_back(full);
    withoutText.push_back(bare);
    differences.push_back(full - bare);
  }
  fonts[0] = withFonts[0];
  fonts[1] = withFonts[1];

  double full = Median(withText), bare = Median(withoutText), calls = Median(textCalls);
  double text = std::max(0.0, Median(differences));
  std::printf("HUD of a running game on the %s device, %d frame pairs (medians):\n",
              presentParams.Windowed ? "hardware (windowed)" : "hardware", pairs);
  std::printf("  frame with HUD text       %8.3f ms\n", full);
  std::printf("  frame without text        %8.3f ms  (baseline)\n", bare);
  std::printf("  text's share of a frame   %8.3f ms  = %.1f%% of the frame\n", text, full > 0 ? 100.0 * text / full : 0.0);
  std::printf("  inside the two text calls %8.3f ms  = %.1f%% of the frame\n", calls, full > 0 ? 100.0 * calls / full : 0.0);
  for (ID3DXFont *&font : fonts) {
    if (font) font->Release();
    font = nullptr;
  }
  ReleaseDirect3D();
  return 0;
}
