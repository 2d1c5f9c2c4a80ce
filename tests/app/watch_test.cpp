// `quillrun --watch` on the headless backend: the frames before the watched game are
// stepped at once, then the keys steer the playing (speed x1 to x8, Space pausing, the
// right arrow stepping one frame while paused, Escape ending), and the game ends where
// the same run ends it, with the display switched there and back on the way.
#include <cstring>
#include <vector>

#include "app/watch.h"
#include "headless_game.h"
#include "world/step.h"

namespace {

class Watch : public HeadlessGame {};

// A run: some title frames, the left button for two frames, then nothing until the
// ships win. Its game's first and last frames, and the world at the end, as the
// world's own steps give them.
WatchedRun MakeRun(World &end) {
  WatchedRun watched;
  watched.run.seed = 9;
  watched.run.rules = 1;
  StartWorld(end, 9);
  bool began = false;
  for (uint32_t frame = 0; frame < 5000; ++frame) {
    FrameInput input{};
    input.left = frame >= 40 && frame < 42;
    input.dx = frame % 7 == 0 ? 3 : 0;
    watched.run.inputs.push_back(input);
    const int before = end.GameState;
    FrameReport report;
    StepWorld(end, input, report);
    if (before != Playing && end.GameState == Playing) {
      watched.began = frame;
      began = true;
    }
    if (began && end.GameState == GameOver) {
      watched.ended = frame;
      break;
    }
  }
  return watched;
}

void Press(int key) {
  HeadlessSetKey(key, true);
  RunFrame();
  HeadlessSetKey(key, false);
}

TEST_F(Watch, TheKeysSteerThePlayingToTheRunsOwnEnd) {
  StartOnTitle(1000);
  World end;
  const WatchedRun run = MakeRun(end);
  ASSERT_EQ(end.GameState, GameOver) << "the scripted game did not end";
  ASSERT_GT(run.began, 0u);
  StartWatching(run);

  // The first frame steps everything before the game unseen, then the game's first.
  RunFrame();
  EXPECT_EQ(game.frameCounter, run.began + 1);
  EXPECT_EQ(game.GameState, Playing);
  RunFrame();
  EXPECT_EQ(game.frameCounter, run.began + 2);
  Press('4');  // x8
  EXPECT_EQ(game.frameCounter, run.began + 10);
  RunFrame();
  EXPECT_EQ(game.frameCounter, run.began + 18);
  Press('2');  // x2
  EXPECT_EQ(game.frameCounter, run.began + 20);

  // Alt+Enter there and back while watching: the switches step nothing, and the
  // playing goes on at its speed.
  for (const int screen : {1, 0}) {
    EXPECT_EQ(MainWndProc(mainWindow, WM_SYSKEYDOWN, VK_RETURN, (1L << 29) | 1), 0);
    EXPECT_EQ(fullScreen, screen);
    EXPECT_EQ(game.frameCounter, run.began + 20 + (1 - screen) * 2);
    RunFrame();
    EXPECT_EQ(game.frameCounter, run.began + 22 + (1 - screen) * 2);
  }

  // Paused: nothing moves; the right arrow steps one frame per press, not per frame held.
  Press(VK_SPACE);
  const uint32_t paused = game.frameCounter;
  RunFrame();
  RunFrame();
  EXPECT_EQ(game.frameCounter, paused);
  HeadlessSetKey(VK_RIGHT, true);
  RunFrame();
  RunFrame();
  HeadlessSetKey(VK_RIGHT, false);
  RunFrame();  // the release, seen
  EXPECT_EQ(game.frameCounter, paused + 1);
  Press(VK_RIGHT);
  EXPECT_EQ(game.frameCounter, paused + 2);
  Press(VK_SPACE);  // on again, still x2
  EXPECT_EQ(game.frameCounter, paused + 4);

  // To the end, where it stays.
  Press('4');
  for (int i = 0; i < 2000 && game.frameCounter <= run.ended; ++i) RunFrame();
  RunFrame();
  EXPECT_EQ(game.frameCounter, run.ended + 1);
  EXPECT_EQ(game.GameState, GameOver);
  EXPECT_EQ(game.score, end.score);
  EXPECT_EQ(std::memcmp(&game, &end, sizeof end), 0) << "the watched world is not the run's own";
  EXPECT_EQ(running, 1);
  Press(VK_ESCAPE);
  EXPECT_EQ(running, 0);
}

}  // namespace
