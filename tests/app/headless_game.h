// The game started once per test program on the headless backend (no display, no sound
// output, keys and clock set by the test), and a fresh title screen for each test.
#pragma once
#include <gtest/gtest.h>
#include <cstdlib>
#include <cstring>
#include "app/game.h"
#include "platform/drivers/headless/headless.h"
#include "platform/platform.h"

class HeadlessGame : public ::testing::Test {
protected:
  static void SetUpTestSuite() {
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    HeadlessEnable();
    HeadlessReset();
    CreateMainWindow(nullptr, SW_SHOWDEFAULT);
    initialised = InitGame();
  }
  static void TearDownTestSuite() {
    if (initialised) ShutdownGame();
    initialised = false;
  }

  // The title screen as the game shows it after start-up, with nothing held, the window
  // in front and the virtual clock at `now`.
  static void StartOnTitle(DWORD now) {
    ASSERT_TRUE(initialised);
    HeadlessReleaseAllKeys();
    HeadlessSetForeground(true);
    HeadlessSetWaitHook(nullptr);
    HeadlessSetTime(now);
    game.keysHeld = HeldKeys{};
    ResetGame(game);
    // The program seeds the world from the clock; a test plays the same world every run.
    game.randomSeed = 1;
    SetCursorPos(400, 300);
    game.GameState = Title;
    game.randomMode = 0;
    game.frameCounter = 0;
    lastFrameTime = 0;
    running = 1;
  }

  static inline bool initialised = false;
};
