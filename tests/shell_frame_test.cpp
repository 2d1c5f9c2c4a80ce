// The frame driver on the headless backend: the game-state machine and its keys, the
// slow-motion gate, what a reset touches and what it leaves, and the frame pacing and
// frame-rate count on the virtual clock.
#include <gtest/gtest.h>
#include <cstdlib>
#include <cstring>
#include "app/game.h"
#include "headless_game.h"
#include "platform/headless.h"
#include "platform/platform.h"
#include "platform/window_internal.h"
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
    for (const Particle &particle : ParticleTable) live += particle.life != 0;
    return live;
  }

};

TEST_F(FrameDriver, EscapeOnTheTitleEndsTheLoopOnlyWhenNewlyPressed) {
  HeadlessSetKey(VK_ESCAPE, true);
  RunFrame();
  EXPECT_EQ(running, 0);
  EXPECT_EQ(GameState, Title);
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
    GameState = state;
    score = 1234;
    EnemyTable[7].hp = 5;
    std::memset(ParticleTable, 0, sizeof ParticleTable);
    HeadlessSetKey(VK_ESCAPE, true);
    RunFrame();
    EXPECT_EQ(GameState, Title);
    EXPECT_EQ(running, 1);
    EXPECT_EQ(score, 0);
    EXPECT_EQ(EnemyTable[7].hp, 0);
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
  std::memset(keyCur, 0, sizeof keyCur);
  keyCur[VK_LBUTTON] = 0x80;
  randomMode = 1;
  score = 99;
  RunFrame();
  EXPECT_EQ(GameState, Playing);
  EXPECT_EQ(randomMode, 0);
  EXPECT_EQ(score, 0);

  HeadlessReleaseAllKeys();
  GameState = Title;
  HeadlessSetKey(VK_RBUTTON, true);
  RunFrame();
  EXPECT_EQ(GameState, Playing);
  EXPECT_EQ(randomMode, 1);

  HeadlessReleaseAllKeys();
  GameState = Title;
  randomMode = 0;
  HeadlessSetKey(VK_LBUTTON, true);
  HeadlessSetKey(VK_RBUTTON, true);
  RunFrame();
  EXPECT_EQ(GameState, Playing);
  EXPECT_EQ(randomMode, 1);
}

TEST_F(FrameDriver, ButtonsDoNothingOnTheEndScreensAndTheWorldStaysFrozen) {
  for (int state : {GameOver, AllClear}) {
    SCOPED_TRACE(state);
    GameState = state;
    std::memset(ParticleTable, 0, sizeof ParticleTable);
    ParticleTable[3] = Particle{400.0f, 300.0f, -4.0f, 0.0f, 0.0f, 0.0f, 0.0f, 20.0f, 0.0f, 200, 0, -1, 8};
    HeadlessSetKey(VK_LBUTTON, true);
    HeadlessSetKey(VK_RBUTTON, true);
    RunFrame();
    RunFrame();
    EXPECT_EQ(GameState, state);
    EXPECT_EQ(ParticleTable[3].x, 400.0f);
    EXPECT_EQ(LiveParticles(), 1);
    HeadlessReleaseAllKeys();
  }
}

TEST_F(FrameDriver, AButtonHeldWhileEscapeReturnsToTheTitleStartsANewGameInThatFrame) {
  GameState = GameOver;
  randomMode = 0;
  score = 500;
  HeadlessSetKey(VK_RBUTTON, true);
  HeadlessSetKey(VK_ESCAPE, true);
  RunFrame();
  EXPECT_EQ(GameState, Playing);
  EXPECT_EQ(randomMode, 1);
  EXPECT_EQ(score, 0);
  EXPECT_EQ(running, 1);
}

TEST_F(FrameDriver, SlowMotionRunsTheWorldOnlyOnFramesWhoseCountLeavesOneByThree) {
  GameState = Playing;
  // Keeps the sword's slow motion on while it runs.
  HeadlessSetKey(VK_RBUTTON, true);
  slowMotion = 1;
  Player.shield = 0;
  std::memset(ParticleTable, 0, sizeof ParticleTable);
  ParticleTable[0] = Particle{400.0f, 300.0f, -1.0f, 0.0f, 0.0f, 0.0f, 0.0f, 20.0f, 0.0f, 200, 0, -1, 8};
  frameCounter = 1;  // the next frames are 2 and 3: no world update
  RunFrame();
  RunFrame();
  EXPECT_EQ(GameState, Playing);
  EXPECT_EQ(ParticleTable[0].x, 400.0f);
  // Every frame is still rendered and paced.
  const DWORD before = HeadlessTime();
  RunFrame();  // frame 4: the world runs, and the lost shield ends the game
  EXPECT_EQ(GameState, GameOver);
  EXPECT_EQ(ParticleTable[0].x, 399.0f);
  EXPECT_EQ(HeadlessTime() - before, 22u);
}

TEST_F(FrameDriver, WithoutSlowMotionTheWorldRunsEveryFrameAndTheScriptStepsInTheLosingFrame) {
  GameState = Playing;
  randomMode = 0;
  std::memset(ParticleTable, 0, sizeof ParticleTable);
  ParticleTable[0] = Particle{400.0f, 300.0f, -1.0f, 0.0f, 0.0f, 0.0f, 0.0f, 20.0f, 0.0f, 200, 0, -1, 8};
  frameCounter = 1;
  RunFrame();
  RunFrame();
  EXPECT_EQ(ParticleTable[0].x, 398.0f);
  const int16_t timer = scriptTimer, index = scriptIndex;
  Player.shield = 0;
  RunFrame();
  EXPECT_EQ(GameState, GameOver);
  EXPECT_TRUE(scriptTimer != timer || scriptIndex != index);
}

TEST_F(FrameDriver, ResetGameTouchesExactlyTheStartPositionOfAGame) {
  std::memset(&Player, 0x5A, sizeof Player);
  std::memset(ParticleTable, 0x5A, sizeof ParticleTable);
  std::memset(EffectTable, 0x5A, sizeof EffectTable);
  std::memset(EnemyTable, 0x5A, sizeof EnemyTable);
  score = 321;
  slowMotion = 1;
  scriptTimer = 17;
  scriptIndex = 42;
  randomMode = 1;
  GameState = AllClear;
  frameCounter = 777;
  keyCur[VK_LBUTTON] = 0x80;
  keyPrev[VK_ESCAPE] = 0x80;
  SetCursorPos(100, 100);

  ResetGame();

  EXPECT_EQ(Player.x, 200.0f);
  EXPECT_EQ(Player.y, 300.0f);
  EXPECT_EQ(Player.vx, 0.0f);
  EXPECT_EQ(Player.vy, 0.0f);
  EXPECT_EQ(Player.shield, 3);
  EXPECT_EQ(Player.power, 400);
  for (const SwordTriangle &triangle : Player.trail) {
    for (const SwordPoint &corner : {triangle.base, triangle.previousTip, triangle.tip}) {
      EXPECT_EQ(corner.x, 200.0f);
      EXPECT_EQ(corner.y, 300.0f);
    }
  }
  POINT cursor;
  GetCursorPos(&cursor);
  EXPECT_EQ(cursor.x, 400);
  EXPECT_EQ(cursor.y, 300);

  float garbage;
  std::memset(&garbage, 0x5A, sizeof garbage);
  for (const Particle &particle : ParticleTable) {
    EXPECT_EQ(particle.life, 0);
    EXPECT_EQ(particle.x, garbage);
    EXPECT_EQ(particle.alpha, 0x5A);
  }
  for (const Effect &effect : EffectTable) {
    EXPECT_EQ(effect.alpha, 0);
    EXPECT_EQ(effect.x0, garbage);
    EXPECT_EQ(effect.red, 0x5A);
  }
  for (const Enemy &enemy : EnemyTable) {
    EXPECT_EQ(enemy.hp, 0);
    EXPECT_EQ(enemy.x, garbage);
    EXPECT_EQ(enemy.type, 0x5A);
  }
  EXPECT_EQ(score, 0);
  EXPECT_EQ(slowMotion, 0);
  EXPECT_EQ(scriptTimer, 0);
  EXPECT_EQ(scriptIndex, 0);
  EXPECT_EQ(randomMode, 1);
  EXPECT_EQ(GameState, AllClear);
  EXPECT_EQ(frameCounter, 777u);
  EXPECT_EQ(keyCur[VK_LBUTTON], 0x80);
  EXPECT_EQ(keyPrev[VK_ESCAPE], 0x80);
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
  const uint32_t frames = frameCounter;
  const DWORD back = HeadlessTime() + 60000;
  RunMessageLoop();
  EXPECT_EQ(waits, 3);
  EXPECT_EQ(frameCounter, frames + 1);
  EXPECT_EQ(lastFrameTime, back);
}

TEST_F(FrameDriver, ClosingTheWindowEndsTheLoopBeforeAnyFurtherFrame) {
  HeadlessCloseWindow(mainWindow);
  RunMessageLoop();
  EXPECT_EQ(running, 0);
  EXPECT_EQ(frameCounter, 0u);
  EXPECT_FALSE(IsHeadlessWindow(mainWindow));
  EXPECT_EQ(GetForegroundWindow(), nullptr);
  // A new window of the same class for the tests that follow.
  mainWindow = CreateWindowExA(0, "template", "quillrun", WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX, 0, 0, 806,
                               625, nullptr, nullptr, nullptr, nullptr);
  ASSERT_TRUE(IsHeadlessWindow(mainWindow));
}

}  // namespace
