// The frame driver on the headless backend: the game-state machine and its keys, the
// slow-motion gate, what a reset touches and what it leaves, and the frame pacing and
// frame-rate count on the virtual clock.
#include <gtest/gtest.h>
#include <cstdlib>
#include <cstring>
#include "app/game.h"
#include <vector>
#include "headless_game.h"
#include "platform/d3d8/d3d8_readback.h"
#include "platform/drivers/headless/headless.h"
#include "platform/platform.h"
#include "platform/user32/window_internal.h"
#include "render/device.h"
#include "sound/sound.h"
#include "world/world.h"

namespace {

class FrameDriver : public HeadlessGame {
protected:
  void SetUp() override { StartOnTitle(500000); }

  // One frame with the key held, then one with it released.
  static void Tap(int key) {
    HeadlessSetKey(key, true);
    RunFrame();
    HeadlessSetKey(key, false);
    RunFrame();
  }

  static int LiveParticles() {
    int live = 0;
    for (const Particle &particle : game.ParticleTable) live += particle.life != 0;
    return live;
  }

};

TEST_F(FrameDriver, EscapeOnTheTitleEndsTheLoopOnlyWhenNewlyPressed) {
  HeadlessSetKey(VK_ESCAPE, true);
  RunFrame();
  EXPECT_EQ(running, 0);
  EXPECT_EQ(game.GameState, Title);
  // The frame in which Escape went down still ran to its end.
  EXPECT_EQ(lastFrameTime, HeadlessTime());

  // Still held in the next frame: not a new press.
  running = 1;
  RunFrame();
  EXPECT_EQ(running, 1);

  HeadlessSetKey(VK_ESCAPE, false);
  RunFrame();
  HeadlessSetKey(VK_ESCAPE, true);
  RunFrame();
  EXPECT_EQ(running, 0);
}

TEST_F(FrameDriver, EscapeReturnsToTheTitleFromEveryOtherStateAndHoldingItDoesNotQuit) {
  for (int state : {Playing, GameOver, AllClear}) {
    SCOPED_TRACE(state);
    game.GameState = state;
    game.score = 1234;
    game.EnemyTable[7].hp = 5;
    std::memset(game.ParticleTable, 0, sizeof game.ParticleTable);
    HeadlessSetKey(VK_ESCAPE, true);
    RunFrame();
    EXPECT_EQ(game.GameState, Title);
    EXPECT_EQ(running, 1);
    EXPECT_EQ(game.score, 0);
    EXPECT_EQ(game.EnemyTable[7].hp, 0);
    // The title screen's own work ran in the same frame: its star is already there.
    EXPECT_EQ(LiveParticles(), 1);

    // Escape still held on the title screen must not end the program.
    RunFrame();
    EXPECT_EQ(running, 1);
    HeadlessSetKey(VK_ESCAPE, false);
    RunFrame();
  }
}

TEST_F(FrameDriver, TitleButtonsAreLevelTriggeredAndBothPickTheRandomMode) {
  // A button already held in the previous frame still starts a game.
  HeadlessSetKey(VK_LBUTTON, true);
  game.keysHeld = HeldKeys{true, false, false, false};
  game.randomMode = 1;
  game.score = 99;
  RunFrame();
  EXPECT_EQ(game.GameState, Playing);
  EXPECT_EQ(game.randomMode, 0);
  EXPECT_EQ(game.score, 0);

  HeadlessReleaseAllKeys();
  game.GameState = Title;
  HeadlessSetKey(VK_RBUTTON, true);
  RunFrame();
  EXPECT_EQ(game.GameState, Playing);
  EXPECT_EQ(game.randomMode, 1);

  HeadlessReleaseAllKeys();
  game.GameState = Title;
  game.randomMode = 0;
  HeadlessSetKey(VK_LBUTTON, true);
  HeadlessSetKey(VK_RBUTTON, true);
  RunFrame();
  EXPECT_EQ(game.GameState, Playing);
  EXPECT_EQ(game.randomMode, 1);
}

TEST_F(FrameDriver, ButtonsDoNothingOnTheEndScreensAndTheWorldStaysFrozen) {
  for (int state : {GameOver, AllClear}) {
    SCOPED_TRACE(state);
    game.GameState = state;
    std::memset(game.ParticleTable, 0, sizeof game.ParticleTable);
    game.ParticleTable[3] = Particle{400.0f, 300.0f, -4.0f, 0.0f, 0.0f, 0.0f, 0.0f, 20.0f, 0.0f, 200, 0, -1, 8};
    HeadlessSetKey(VK_LBUTTON, true);
    HeadlessSetKey(VK_RBUTTON, true);
    RunFrame();
    RunFrame();
    EXPECT_EQ(game.GameState, state);
    EXPECT_EQ(game.ParticleTable[3].x, 400.0f);
    EXPECT_EQ(LiveParticles(), 1);
    HeadlessReleaseAllKeys();
  }
}

TEST_F(FrameDriver, AButtonHeldWhileEscapeReturnsToTheTitleStartsANewGameInThatFrame) {
  game.GameState = GameOver;
  game.randomMode = 0;
  game.score = 500;
  HeadlessSetKey(VK_RBUTTON, true);
  HeadlessSetKey(VK_ESCAPE, true);
  RunFrame();
  EXPECT_EQ(game.GameState, Playing);
  EXPECT_EQ(game.randomMode, 1);
  EXPECT_EQ(game.score, 0);
  EXPECT_EQ(running, 1);
}

TEST_F(FrameDriver, SlowMotionRunsTheWorldOnlyOnFramesWhoseCountLeavesOneByThree) {
  game.GameState = Playing;
  // Keeps the sword's slow motion on while it runs.
  HeadlessSetKey(VK_RBUTTON, true);
  game.slowMotion = 1;
  game.Player.shield = 0;
  std::memset(game.ParticleTable, 0, sizeof game.ParticleTable);
  game.ParticleTable[0] = Particle{400.0f, 300.0f, -1.0f, 0.0f, 0.0f, 0.0f, 0.0f, 20.0f, 0.0f, 200, 0, -1, 8};
  game.frameCounter = 1;  // the next frames are 2 and 3: no world update
  RunFrame();
  RunFrame();
  EXPECT_EQ(game.GameState, Playing);
  EXPECT_EQ(game.ParticleTable[0].x, 400.0f);
  // Every frame is still rendered and paced.
  const DWORD before = HeadlessTime();
  RunFrame();  // frame 4: the world runs, and the lost shield ends the game
  EXPECT_EQ(game.GameState, GameOver);
  EXPECT_EQ(game.ParticleTable[0].x, 399.0f);
  EXPECT_EQ(HeadlessTime() - before, 22u);
}

TEST_F(FrameDriver, WithoutSlowMotionTheWorldRunsEveryFrameAndTheScriptStepsInTheLosingFrame) {
  game.GameState = Playing;
  game.randomMode = 0;
  std::memset(game.ParticleTable, 0, sizeof game.ParticleTable);
  game.ParticleTable[0] = Particle{400.0f, 300.0f, -1.0f, 0.0f, 0.0f, 0.0f, 0.0f, 20.0f, 0.0f, 200, 0, -1, 8};
  game.frameCounter = 1;
  RunFrame();
  RunFrame();
  EXPECT_EQ(game.ParticleTable[0].x, 398.0f);
  const int16_t timer = game.scriptTimer, index = game.scriptIndex;
  game.Player.shield = 0;
  RunFrame();
  EXPECT_EQ(game.GameState, GameOver);
  EXPECT_TRUE(game.scriptTimer != timer || game.scriptIndex != index);
}

TEST_F(FrameDriver, ResetGameTouchesExactlyTheStartPositionOfAGame) {
  std::memset(&game.Player, 0x5A, sizeof game.Player);
  std::memset(game.ParticleTable, 0x5A, sizeof game.ParticleTable);
  std::memset(game.EffectTable, 0x5A, sizeof game.EffectTable);
  std::memset(game.EnemyTable, 0x5A, sizeof game.EnemyTable);
  game.score = 321;
  game.slowMotion = 1;
  game.scriptTimer = 17;
  game.scriptIndex = 42;
  game.randomMode = 1;
  game.GameState = AllClear;
  game.frameCounter = 777;
  game.keysHeld = HeldKeys{true, false, true, false};
  game.pendingDx = 37;
  game.pendingDy = -12;

  ResetGame(game);

  EXPECT_EQ(game.Player.x, 200.0f);
  EXPECT_EQ(game.Player.y, 300.0f);
  EXPECT_EQ(game.Player.vx, 0.0f);
  EXPECT_EQ(game.Player.vy, 0.0f);
  EXPECT_EQ(game.Player.shield, 3);
  EXPECT_EQ(game.Player.power, 400);
  for (const SwordTriangle &triangle : game.Player.trail) {
    for (const SwordPoint &corner : {triangle.base, triangle.previousTip, triangle.tip}) {
      EXPECT_EQ(corner.x, 200.0f);
      EXPECT_EQ(corner.y, 300.0f);
    }
  }
  // Motion made before the game began is thrown away.
  EXPECT_EQ(game.pendingDx, 0);
  EXPECT_EQ(game.pendingDy, 0);

  float garbage;
  std::memset(&garbage, 0x5A, sizeof garbage);
  for (const Particle &particle : game.ParticleTable) {
    EXPECT_EQ(particle.life, 0);
    EXPECT_EQ(particle.x, garbage);
    EXPECT_EQ(particle.alpha, 0x5A);
  }
  for (const Effect &effect : game.EffectTable) {
    EXPECT_EQ(effect.alpha, 0);
    EXPECT_EQ(effect.x0, garbage);
    EXPECT_EQ(effect.red, 0x5A);
  }
  for (const Enemy &enemy : game.EnemyTable) {
    EXPECT_EQ(enemy.hp, 0);
    EXPECT_EQ(enemy.x, garbage);
    EXPECT_EQ(enemy.type, 0x5A);
  }
  EXPECT_EQ(game.score, 0);
  EXPECT_EQ(game.slowMotion, 0);
  EXPECT_EQ(game.scriptTimer, 0);
  EXPECT_EQ(game.scriptIndex, 0);
  EXPECT_EQ(game.randomMode, 1);
  EXPECT_EQ(game.GameState, AllClear);
  EXPECT_EQ(game.frameCounter, 777u);
  EXPECT_TRUE(game.keysHeld.left);
  EXPECT_TRUE(game.keysHeld.escape);
}

TEST_F(FrameDriver, FramesArePacedTo22MillisecondsAndLateFramesLoseTheirTime) {
  // The first frame after start-up does not wait.
  RunFrame();
  EXPECT_EQ(HeadlessTime(), 500000u);
  EXPECT_EQ(lastFrameTime, 500000u);

  // A quick frame waits until 22 ms after the end of the last wait, exactly.
  HeadlessSetTime(500003);
  WaitFrame();
  EXPECT_EQ(lastFrameTime, 500022u);
  EXPECT_EQ(HeadlessTime(), 500022u);

  // A frame that ends right on its deadline does not wait either.
  HeadlessSetTime(500044);
  WaitFrame();
  EXPECT_EQ(lastFrameTime, 500044u);

  // A frame 30 ms late starts the next one from its own end: no catch-up.
  HeadlessSetTime(500096);
  WaitFrame();
  EXPECT_EQ(lastFrameTime, 500096u);
  RunFrame();
  EXPECT_EQ(lastFrameTime, 500118u);
}

TEST_F(FrameDriver, TheFrameRateIsTheFrameCountOfEachCompletedSecond) {
  fpsFrameCount = 0;
  fpsValue = 0;
  fpsWindowStart = 500000;
  HeadlessSetTime(500000);
  lastFrameTime = 500000 - 22;
  // Frames end at 500000, 500022, ... ; the one at 501012 completes the first second.
  int frames = 0;
  while (HeadlessTime() < 501012) {
    RunFrame();
    frames += 1;
    if (HeadlessTime() < 501000) {
      EXPECT_EQ(fpsValue, 0u);
    }
  }
  EXPECT_EQ(frames, 47);
  EXPECT_EQ(fpsValue, 47u);
  EXPECT_EQ(fpsFrameCount, 0u);
  EXPECT_EQ(fpsWindowStart, 501012u);
  for (int i = 0; i < 46; i++) RunFrame();
  EXPECT_EQ(fpsValue, 46u);
}

TEST_F(FrameDriver, InTheBackgroundNoFrameRunsAndTheReturnDoesNotCatchUp) {
  static int waits;
  waits = 0;
  HeadlessSetForeground(false);
  HeadlessSetWaitHook([] {
    waits += 1;
    if (waits == 3) {
      // A minute away, then back with Escape down on the title screen.
      HeadlessSetTime(HeadlessTime() + 60000);
      HeadlessSetForeground(true);
      HeadlessSetKey(VK_ESCAPE, true);
    }
  });
  RunFrame();
  const uint32_t frames = game.frameCounter;
  const DWORD back = HeadlessTime() + 60000;
  RunMessageLoop();
  EXPECT_EQ(waits, 3);
  EXPECT_EQ(game.frameCounter, frames + 1);
  EXPECT_EQ(lastFrameTime, back);
}

std::vector<DWORD> PresentedPicture() {
  std::vector<DWORD> pixels(800 * 600);
  EXPECT_TRUE(ReadBackPresented(device, pixels.data(), 800, 600));
  return pixels;
}

// Something that is not the game's picture on the screen, as a window covered by another
// keeps until it is painted again.
void PresentRed() {
  device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFFFF0000, 1.0f, 0);
  device->Present(nullptr, nullptr, nullptr, nullptr);
}

TEST_F(FrameDriver, InTheBackgroundEachPaintPresentsTheWorldAsItStandsWithoutAFrame) {
  for (int i = 0; i < 30; i++) RunFrame();  // stars on the title screen
  static std::vector<DWORD> title, red;
  title = PresentedPicture();
  PresentRed();
  red = PresentedPicture();
  ASSERT_NE(title, red);
  static World before;
  before = game;
  const uint32_t frameTime = lastFrameTime, fpsFrames = fpsFrameCount;
  const DWORD now = HeadlessTime();
  static int played;
  played = 0;
  soundPlayObserver = [](int, int) { played += 1; };

  static int waits;
  waits = 0;
  HeadlessSetForeground(false);
  InvalidateRect(mainWindow, nullptr, FALSE);
  HeadlessSetWaitHook([] {
    waits += 1;
    const std::vector<DWORD> shown = PresentedPicture();
    if (waits == 1) {
      EXPECT_EQ(shown, title) << "the first wait: the paint showed the world";
      PresentRed();
    } else if (waits == 2) {
      EXPECT_EQ(shown, red) << "the second wait: nothing was owed, so nothing was presented";
      InvalidateRect(mainWindow, nullptr, FALSE);  // uncovered again
    } else {
      EXPECT_EQ(shown, title) << "the third wait: painted again";
      running = 0;
    }
  });
  RunMessageLoop();
  soundPlayObserver = nullptr;
  EXPECT_EQ(waits, 3);
  EXPECT_EQ(std::memcmp(&before, &game, sizeof game), 0) << "a paint stepped the world";
  EXPECT_EQ(played, 0);
  EXPECT_EQ(lastFrameTime, frameTime);
  EXPECT_EQ(fpsFrameCount, fpsFrames);
  EXPECT_EQ(HeadlessTime(), now);
}

TEST_F(FrameDriver, ClosingTheWindowEndsTheLoopBeforeAnyFurtherFrame) {
  HeadlessCloseWindow(mainWindow);
  RunMessageLoop();
  EXPECT_EQ(running, 0);
  EXPECT_EQ(game.frameCounter, 0u);
  EXPECT_FALSE(IsHeadlessWindow(mainWindow));
  EXPECT_EQ(GetForegroundWindow(), nullptr);
  // A new window of the same class for the tests that follow.
  mainWindow = CreateWindowExA(0, "template", "quillrun", WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX, 0, 0, 806,
                               625, nullptr, nullptr, nullptr, nullptr);
  ASSERT_TRUE(IsHeadlessWindow(mainWindow));
}

}  // namespace
