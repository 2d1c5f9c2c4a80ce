// Alt+Enter on the real display, with the game's own window, device and frames: 20
// switches there and back in a game held in slow motion, with motion made every frame
// and during each switch; what the world stepped during the switches and what input did
// not reach its frames once (both should be 0), and how long one switch takes (the
// Reset with the window's change, and until the next frame has been presented). Then the
// cost of a frame drawn into a window of 1600 x 1200 (the picture scaled twice) against
// one of 800 x 600, timed in alternating blocks in the same run, as a ratio. The device
// is the one the game gets on the display: the hardware one with GLX, the reference one
// without (run it under both: `Xvfb :5 -screen 0 1920x1440x24 -extension GLX`).
#include <SDL.h>
#include <unistd.h>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>
#include "app/game.h"
#include "app/record.h"
#include "platform/drivers/sdl/sdl_window.h"
#include "platform/user32/input_internal.h"
#include "render/device.h"

namespace {

double Milliseconds(std::chrono::steady_clock::time_point from) {
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - from).count();
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.empty() ? 0.0 : v[v.size() / 2];
}

// The messages the game's loop would handle between frames.
void HandleMessages() {
  MSG msg;
  while (PeekMessageA(&msg, mainWindow, 0, 0, PM_REMOVE)) {
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
}

void Frames(int count, int dx) {
  for (int i = 0; i < count; i++) {
    InputMouseMotion(dx, 0);
    HandleMessages();
    RunFrame();
  }
}

// The window's size on the display, waited for.
bool SizeWindow(int width, int height) {
  SDL_Window *sdl = SdlWindowOf(mainWindow);
  if (sdl == nullptr) return false;
  SDL_SetWindowSize(sdl, width, height);
  for (int i = 0; i < 200; i++) {
    HandleMessages();
    int w = 0, h = 0;
    SDL_GetWindowSize(sdl, &w, &h);
    if (w == width && h == height) return true;
    SDL_Delay(5);
  }
  return false;
}

}  // namespace

int main(int argc, char **argv) {
  int switches = 20, rounds = 15, block = 20;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string name = argv[i];
    const int value = std::atoi(argv[i + 1]);
    if (name == "--switches") switches = value;
    else if (name == "--rounds") rounds = value;
    else if (name == "--block") block = value;
  }
  const std::string recordPath = "/tmp/qr-bench-switch-" + std::to_string(getpid()) + ".txt";
  if (!OpenRecording(recordPath.c_str())) return 1;
  fullScreen = 0;
  smoothPacing = 0;
  CreateMainWindow(nullptr, SW_SHOWNORMAL);
  if (!mainWindow || !InitGame()) {
    std::fprintf(stderr, "bench_display_switch: the game could not start (no display?)\n");
    return 1;
  }
  const bool hardware = SDL_GL_GetCurrentContext() != nullptr;
  std::printf("device: %s\n", hardware ? "hardware" : "reference");

  // A game in slow motion, then the switches, 10 frames apart, each with motion made
  // while it runs.
  Frames(10, 0);
  InputKeyEvent(VK_LBUTTON, true);
  Frames(1, 0);
  InputKeyEvent(VK_LBUTTON, false);
  InputKeyEvent(VK_RBUTTON, true);
  constexpr int Motion = 3, MotionInSwitch = 7;
  int made = 0;
  uint32_t stepped = 0;
  std::vector<double> switchMs[2], untilPresentedMs[2];
  const uint32_t firstFrame = game.frameCounter;
  for (int i = 0; i < switches * 2; i++) {
    Frames(10, Motion);
    made += 10 * Motion;
    InputMouseMotion(MotionInSwitch, 0);
    made += MotionInSwitch;
    const uint32_t before = game.frameCounter;
    const int to = fullScreen ? 0 : 1;
    const auto start = std::chrono::steady_clock::now();
    MainWndProc(mainWindow, WM_SYSKEYDOWN, VK_RETURN, (1L << 29) | 1);
    switchMs[to].push_back(Milliseconds(start));
    stepped += game.frameCounter - before;
    if (fullScreen != to) std::printf("switch %d did not take\n", i + 1);
    HandleMessages();
    RunFrame();
    untilPresentedMs[to].push_back(Milliseconds(start));
  }
  Frames(10, 0);
  InputKeyEvent(VK_RBUTTON, false);
  Frames(2, 0);
  const uint32_t frames = game.frameCounter - firstFrame;

  // The frames' own input, as recorded: the motion taken and the slow motion held.
  std::ifstream recorded(recordPath);
  std::string line;
  int taken = 0, held = 0, heldFrom = -1, heldTo = -1, index = 0;
  while (std::getline(recorded, line)) {
    if (line.empty() || line[0] == '#') continue;
    std::istringstream in(line);
    int dx = 0, dy = 0, left = 0, right = 0;
    in >> dx >> dy >> left >> right;
    taken += dx;
    if (right) {
      held += 1;
      if (heldFrom < 0) heldFrom = index;
      heldTo = index;
    }
    index += 1;
  }
  std::remove(recordPath.c_str());
  const int letGo = heldFrom < 0 ? 0 : (heldTo - heldFrom + 1) - held;
  std::printf("%d switches there and back: %u frames stepped during them; motion made %d, taken %d (lost %d); "
              "slow motion let go in %d of %u frames\n",
              switches, stepped, made, taken, made - taken, letGo, frames);
  std::printf("one switch: to full screen %.1f ms (%.1f ms until presented), back %.1f ms (%.1f ms until presented), "
              "medians\n",
              Median(switchMs[1]), Median(untilPresentedMs[1]), Median(switchMs[0]), Median(untilPresentedMs[0]));

  // A frame at 800 x 600 against one at 1600 x 1200, in alternating blocks.
  std::vector<double> perFrame[2];
  const int sizes[2][2] = {{800, 600}, {1600, 1200}};
  for (int round = 0; round < rounds; round++) {
    for (int s = 0; s < 2; s++) {
      if (!SizeWindow(sizes[s][0], sizes[s][1])) {
        std::printf("the window could not be made %dx%d (a screen of 1920x1440 is needed)\n", sizes[s][0], sizes[s][1]);
        return 1;
      }
      for (int i = 0; i < 3; i++) RenderFrame(game, 0);
      const auto start = std::chrono::steady_clock::now();
      for (int i = 0; i < block; i++) RenderFrame(game, 0);
      perFrame[s].push_back(Milliseconds(start) / block);
    }
  }
  const double small = Median(perFrame[0]), large = Median(perFrame[1]);
  std::printf("a frame drawn and presented: %.2f ms at 800x600, %.2f ms at 1600x1200: %.2f times (medians of %d "
              "blocks of %d)\n",
              small, large, small > 0 ? large / small : 0.0, rounds, block);
  ShutdownGame();
  return 0;
}
