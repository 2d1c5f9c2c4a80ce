// The whole process on the headless backend, from the display-mode question to the
// shutdown: what start-up changes only once it cannot fail any more, and what a failed
// start-up leaves alone.
#include <gtest/gtest.h>
#include <algorithm>
#include <cstdlib>
#include <vector>
#include "app/game.h"
#include "platform/d3d8/d3d8_readback.h"
#include "platform/drivers/headless/headless.h"
#include "platform/platform.h"
#include "render/device.h"
#include "render/scene.h"

namespace {

LRESULT CALLBACK SomeoneElsesProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  return DefWindowProcA(window, message, wParam, lParam);
}

class Start : public ::testing::Test {
protected:
  void SetUp() override {
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    HeadlessEnable();
    HeadlessReset();
    HeadlessSetTime(100000);
    mainWindow = nullptr;
    game.frameCounter = 0;
    running = 0;
  }
};

TEST_F(Start, ANormalRunAsksFirstAndPutsTheCursorAndTimerBackAtTheEnd) {
  HeadlessSetMessageBoxAnswer(IDNO);
  // Escape is down from the start: the first title frame ends the program.
  HeadlessSetKey(VK_ESCAPE, true);
  EXPECT_EQ(WinMain(nullptr, nullptr, const_cast<LPSTR>(""), SW_SHOWDEFAULT), 1);
  EXPECT_EQ(HeadlessMessageBoxCount(), 1);
  EXPECT_STREQ(HeadlessLastMessageBoxText(), "FULL SCREEN ?");
  EXPECT_STREQ(HeadlessLastMessageBoxCaption(), "disp mode");
  EXPECT_EQ(fullScreen, 0);
  EXPECT_EQ(game.frameCounter, 1u);
  EXPECT_EQ(game.GameState, Title);
  // Shown and restored, begun and ended; everything released.
  EXPECT_EQ(HeadlessCursorCount(), 0);
  EXPECT_EQ(HeadlessTimerPeriodCount(), 0);
  EXPECT_EQ(fonts[0], nullptr);
  EXPECT_EQ(fonts[1], nullptr);
  EXPECT_EQ(device, nullptr);
  EXPECT_EQ(direct3D, nullptr);
}

TEST_F(Start, TheTitleIsPresentedBeforeTheWindowIsInFrontAndBeforeAnyFrame) {
  // Some desktops show a window, and give it the focus, only once a picture has been
  // presented in it, and the game runs its frames only in the foreground.
  HeadlessSetMessageBoxAnswer(IDNO);
  HeadlessSetForeground(false);
  static long lit;
  static uint32_t framesBefore;
  lit = -1;
  framesBefore = 99;
  HeadlessSetWaitHook([] {
    if (lit >= 0) return;
    std::vector<DWORD> pixels(800 * 600);
    lit = device && ReadBackPresented(device, pixels.data(), 800, 600)
              ? std::count_if(pixels.begin(), pixels.end(), [](DWORD p) { return p != 0xFF000000u; })
              : 0;
    framesBefore = game.frameCounter;
    // The desktop now shows the window and gives it the focus; Escape is down, so the
    // first frame ends the program.
    HeadlessSetForeground(true);
    HeadlessSetKey(VK_ESCAPE, true);
  });
  EXPECT_EQ(WinMain(nullptr, nullptr, const_cast<LPSTR>(""), SW_SHOWDEFAULT), 1);
  EXPECT_GT(lit, 1000) << "the title's lines were not on the screen while the game waited";
  EXPECT_EQ(framesBefore, 0u);
  EXPECT_EQ(game.frameCounter, 1u);
}

TEST_F(Start, WithoutAWindowStartUpEndsBeforeTouchingTheCursorOrTheTimer) {
  // The class name is taken, so the game's window cannot be made.
  WNDCLASSEXA taken = {};
  taken.cbSize = sizeof taken;
  taken.lpfnWndProc = SomeoneElsesProc;
  taken.lpszClassName = "template";
  ASSERT_NE(RegisterClassExA(&taken), 0);
  EXPECT_EQ(WinMain(nullptr, nullptr, const_cast<LPSTR>(""), SW_SHOWDEFAULT), 0);
  EXPECT_EQ(mainWindow, nullptr);
  EXPECT_EQ(game.frameCounter, 0u);
  EXPECT_EQ(HeadlessCursorCount(), 0);
  EXPECT_EQ(HeadlessTimerPeriodCount(), 0);
  EXPECT_EQ(device, nullptr);
}

}  // namespace
