// The world as a value: copies of a world stepped with the same inputs stay one game,
// nothing outside the world moves its generator, and one step does exactly what a
// frame of the game does with its input (the Escape edge, the quit request, the mouse
// motion kept for the hand across frames without a world update, the frame's sounds).
#include <gtest/gtest.h>
#include <cstdlib>
#include <cstring>
#include <vector>
#include "world/step.h"
#include "world/world.h"

namespace {

// A restless player with a generator of its own: swings, slows the world now and then,
// starts a game from the title and comes back to it with Escape after a loss.
struct Restless {
  unsigned int seed;
  int Next(int n) {
    seed = seed * 1103515245u + 12345u;
    return static_cast<int>((seed >> 16) % static_cast<unsigned int>(n));
  }
  FrameInput Input(const World &w) {
    FrameInput in{};
    in.dx = Next(61) - 30;
    in.dy = Next(61) - 30;
    in.left = Next(4) != 0;
    in.right = Next(40) == 0;
    in.escape = w.GameState == GameOver || w.GameState == AllClear;
    return in;
  }
};

bool Same(const World &a, const World &b) { return std::memcmp(&a, &b, sizeof a) == 0; }

TEST(WorldValue, CopiesSteppedWithTheSameInputsStayOneGame) {
  World original;
  StartWorld(original, 424242);
  World twin = original;
  World midGame;
  FrameReport a, b;
  Restless player{7};
  std::vector<FrameInput> inputs;
  int maxScore = 0;
  for (int frame = 0; frame < 6000; ++frame) {
    FrameInput in = player.Input(original);
    in.right = in.right || (frame < 2);   // starts a random game from the title
    inputs.push_back(in);
    StepWorld(original, in, a);
    StepWorld(twin, in, b);
    ASSERT_TRUE(Same(original, twin)) << "frame " << frame;
    ASSERT_EQ(a.soundCount, b.soundCount);
    ASSERT_EQ(std::memcmp(a.sounds, b.sounds, sizeof(FrameSound) * static_cast<size_t>(a.soundCount)), 0);
    if (frame == 2500) midGame = original;
    if (original.score > maxScore) maxScore = original.score;
  }
  EXPECT_GT(maxScore, 0);   // ships were cut: the game really ran

  // The copy taken mid-game, stepped alone through the rest of the inputs, ends where
  // the original ended; and it is a game of its own: stepping it changed nothing else.
  World ended = original;
  FrameReport report;
  for (size_t i = 2501; i < inputs.size(); ++i) StepWorld(midGame, inputs[i], report);
  EXPECT_TRUE(Same(midGame, ended));
  EXPECT_TRUE(Same(original, ended));
}

TEST(WorldValue, RandCallsOutsideTheWorldChangeNothingInTheGame) {
  // The same game twice; in the second, a library draws from the process's generator
  // (and reseeds it) between every two frames.
  auto play = [](bool libraryDraws, World *out) {
    StartWorld(*out, 99);
    Restless player{3};
    FrameReport report;
    for (int frame = 0; frame < 3000; ++frame) {
      FrameInput in = player.Input(*out);
      in.left = in.left || frame == 0;
      StepWorld(*out, in, report);
      if (libraryDraws) {
        std::srand(static_cast<unsigned int>(frame));
        for (int n = 0; n < 5; ++n) (void)std::rand();
      }
    }
  };
  static World quiet, busy;
  play(false, &quiet);
  play(true, &busy);
  EXPECT_TRUE(Same(quiet, busy));
  EXPECT_NE(quiet.frameCounter, 0u);
}

TEST(WorldValue, TheGeneratorIsTheRuntimesSequenceAndEachWorldHasItsOwn) {
  World one, other;
  StartWorld(one, 1);
  StartWorld(other, 0);
  for (int value : {41, 18467, 6334, 26500, 19169}) EXPECT_EQ(Random(one), value);
  EXPECT_EQ(Random(other), 38);
  // The generator's whole state is the one number: a copy draws what the original draws.
  World copy = one;
  EXPECT_EQ(Random(copy), Random(one));
}

class OneStep : public ::testing::Test {
protected:
  void SetUp() override { StartWorld(w, 5); }
  void Step(FrameInput in) { StepWorld(w, in, report); }
  static FrameInput Move(int dx, int dy) {
    FrameInput in{};
    in.dx = dx;
    in.dy = dy;
    return in;
  }
  World w;
  FrameReport report;
};

TEST_F(OneStep, EscapeActsOnItsPressAndOnTheTitleAsksToQuit) {
  FrameInput escape{};
  escape.escape = true;
  Step(escape);
  EXPECT_TRUE(report.quit);
  EXPECT_EQ(w.GameState, Title);
  Step(escape);   // still held: no new press
  EXPECT_FALSE(report.quit);

  // In a game the press goes back to the title; a button held with it starts a new game
  // in the same frame.
  FrameInput left{};
  left.left = true;
  Step(left);
  ASSERT_EQ(w.GameState, Playing);
  w.score = 500;
  FrameInput both = left;
  both.escape = true;
  Step(both);
  EXPECT_FALSE(report.quit);
  EXPECT_EQ(w.GameState, Playing);
  EXPECT_EQ(w.score, 0);
}

TEST_F(OneStep, MotionWaitsForTheHandAndAResetThrowsItAway) {
  // On the title the motion builds up, and starting a game throws it away.
  Step(Move(30, 40));
  Step(Move(5, 5));
  EXPECT_EQ(w.pendingDx, 35);
  EXPECT_EQ(w.pendingDy, 45);
  FrameInput start = Move(3, 3);
  start.left = true;
  Step(start);
  ASSERT_EQ(w.GameState, Playing);
  EXPECT_EQ(w.pendingDx, 0);
  EXPECT_EQ(w.Player.x, 200.0f);

  // In slow motion the frames without an update keep their motion, and the next
  // update takes all of it at once.
  w.slowMotion = 1;
  while (w.frameCounter % 3 != 0) Step(FrameInput{});   // the next frame updates
  Step(Move(0, 0));                                     // updates: slow motion ends
  ASSERT_EQ(w.slowMotion, 0);
  const float x = w.Player.x, vx = w.Player.vx;
  w.slowMotion = 1;
  Step(Move(8, 0));   // no update
  Step(Move(4, 0));   // no update
  EXPECT_EQ(w.Player.x, x);
  EXPECT_EQ(w.pendingDx, 12);
  Step(Move(0, 0));   // updates with the 12 pixels
  EXPECT_EQ(w.pendingDx, 0);
  EXPECT_EQ(w.Player.vx, static_cast<float>(vx * 0.5 + 12 * 0.5));
}

TEST_F(OneStep, AFrameReportsOnlyItsOwnSounds) {
  FrameInput start{};
  start.left = true;
  Step(start);
  // A fast swing with the left button held: the swing's sound, once, in its frame.
  FrameInput swing = Move(60, 0);
  swing.left = true;
  Step(swing);
  ASSERT_EQ(report.soundCount, 1);
  EXPECT_EQ(report.sounds[0].id, 4);
  EXPECT_EQ(report.sounds[0].level, 75);
  Step(FrameInput{});
  EXPECT_EQ(report.soundCount, 0);
}

}  // namespace
