// Whole games: the frame driver against the world's own step, the script's timing with
// an empty field, a normal game played through to the end by the built-in player, and a
// long random-mode run that must keep every invariant of the world. The long runs step the world
// alone, without drawing.
#include <gtest/gtest.h>
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>
#include "app/game.h"
#include "app/player.h"
#include "headless_game.h"
#include "platform/drivers/headless/headless.h"
#include "platform/platform.h"
#include "world/step.h"
#include "world/world.h"
#include "world/world_check.h"

namespace {

class WholeGame : public HeadlessGame {
protected:
  void SetUp() override {
    ASSERT_TRUE(initialised);
    saved = game.StageScript;
    HeadlessReleaseAllKeys();
    running = 1;
  }
  void TearDown() override {
    game.StageScript = saved;
    HeadlessReleaseAllKeys();
    if (game.GameState != Title) Press(VK_ESCAPE);
  }

  // One frame with the key held, then one frame with it released.
  static void Press(int key) {
    HeadlessSetKey(key, true);
    RunFrame();
    HeadlessSetKey(key, false);
    RunFrame();
  }

  // From the title screen: one frame with the button down starts the game; the next
  // frame, with the button up again, is the first world update.
  static void StartGame(int button) {
    ASSERT_EQ(game.GameState, Title);
    HeadlessSetKey(button, true);
    RunFrame();
    HeadlessSetKey(button, false);
    ASSERT_EQ(game.GameState, Playing);
  }

  StageScriptTable saved;
};

bool IsBoss(int type) { return type == 11 || type == 12 || type == 13 || type == 17; }

std::string Describe(const WorldFault &f) {
  return std::string(f.table) + " " + std::to_string(f.slot) + " " + f.field;
}

// One frame of the world alone, as the frame driver steps it, without the picture.
void Play(const FrameInput &input = FrameInput{}) {
  static FrameReport report;
  StepWorld(game, input, report);
}

TEST_F(WholeGame, TheFrameDriverAdvancesTheWorldAsItsStepDoes) {
  // A random game played twice from one start: through the frame driver, which reads
  // the keys and the cursor and draws, and on a copy stepped alone with the same
  // inputs, with the hand swinging now and then and the world slowed for a while.
  StartGame(VK_RBUTTON);
  game.randomSeed = 31337;
  World bare = game;
  FrameReport report;
  for (int frame = 0; frame < 150; ++frame) {
    FrameInput input{};
    if (frame % 7 == 0) {
      input.dx = frame % 3 == 0 ? 25 : -20;
      input.dy = frame % 2 ? 15 : -18;
      HeadlessMoveMouse(input.dx, input.dy);
    }
    input.left = frame % 5 < 3;
    input.right = frame >= 60 && frame < 90;
    HeadlessSetKey(VK_LBUTTON, input.left);
    HeadlessSetKey(VK_RBUTTON, input.right);
    RunFrame();
    StepWorld(bare, input, report);
    ASSERT_EQ(std::memcmp(&game, &bare, sizeof bare), 0) << "frame " << frame;
  }
  HeadlessReleaseAllKeys();
  int live = 0;
  for (const Enemy &e : bare.EnemyTable) live += e.hp > 0;
  EXPECT_GT(live + bare.score, 0);   // something happened
}

TEST_F(WholeGame, StageTwoTitleComesWhenTheTablePredictsWithAnEmptyField) {
  // Step 0 stands from the start; each step runs max(wait, 1) updates after the one
  // before; the WaitClear of stage 1 passes at once on an empty field.
  int predicted = 0;
  for (int step = 0; step <= 25; ++step) predicted += std::max<int>(game.StageScript.wait[step], 1);
  EXPECT_EQ(predicted, 2302);

  StartGame(VK_LBUTTON);
  int firstTitle = 0, secondTitle = 0;
  for (int update = 1; update <= 5000 && secondTitle == 0; ++update) {
    Play();
    for (Enemy &e : game.EnemyTable) e.hp = 0;
    if (game.StageScript.op[game.scriptIndex] == StageTitle) {
      if (game.StageScript.arg[game.scriptIndex] == 1 && firstTitle == 0) firstTitle = update;
      if (game.StageScript.arg[game.scriptIndex] == 2) secondTitle = update;
    }
    ASSERT_EQ(game.GameState, Playing);
  }
  EXPECT_EQ(firstTitle, 50);
  EXPECT_EQ(secondTitle, predicted);
}

TEST_F(WholeGame, TheDemoPlaysUntilEscapeAndLeavesTheTitleToThePerson) {
  // The frame driver with the demo on: no key and no motion from outside, yet a normal
  // game starts and the hand moves. Escape hands over: the title comes back with none
  // of the player's buttons held, and stays until the person presses one.
  ASSERT_EQ(game.GameState, Title);
  demoMode = 1;
  int moved = 0;
  for (int frame = 0; frame < 250; ++frame) {
    const float x = game.Player.x, y = game.Player.y;
    RunFrame();
    moved += game.Player.x != x || game.Player.y != y;
  }
  EXPECT_EQ(game.GameState, Playing);
  EXPECT_EQ(game.randomMode, 0);
  EXPECT_GT(moved, 0);
  EXPECT_GE(game.Player.shield, 1);
  HeadlessSetKey(VK_ESCAPE, true);
  RunFrame();
  EXPECT_EQ(demoMode, 0);
  EXPECT_EQ(game.GameState, Title);
  EXPECT_FALSE(game.keysHeld.left || game.keysHeld.right);
  EXPECT_TRUE(running);   // Escape leaves the game, not the program
  HeadlessSetKey(VK_ESCAPE, false);
  for (int frame = 0; frame < 100; ++frame) RunFrame();
  EXPECT_EQ(game.GameState, Title);
  StartGame(VK_LBUTTON);
}

// The built-in player plays a whole normal game from the title screen, on a world of its
// own with nothing drawn: every stage comes in turn, the four bosses fall to the blade
// (the shield never drops in the update a boss dies, so none was rammed) and the game
// ends in ALL CLEAR. Meanwhile the player must leave the world it reads as it was, and
// the inputs it chose, replayed on a fresh world from the same seed, give the same
// world byte for byte. Every frame keeps the world's invariants.
TEST(BuiltInPlayerGame, ClearsANormalGameWithTheBladeAndNeverWritesTheWorld) {
  static World world, before, replayed;
  static FrameReport report;
  static BuiltInPlayer player;
  StartWorld(world, 5);
  std::vector<FrameInput> inputs;
  int titles[5] = {};
  int bossesCut = 0, bossesSeen = 0;
  bool bossAlive[EnemySlots] = {};
  long frame = 0;
  while (world.GameState != AllClear && world.GameState != GameOver && frame < 40000) {
    std::memcpy(static_cast<void *>(&before), &world, sizeof world);
    const FrameInput input = player.Decide(world);
    ASSERT_EQ(std::memcmp(&before, &world, sizeof world), 0) << "the player wrote the world at frame " << frame;
    ASSERT_LE(std::abs(input.dx), PlayerMotionLimit);
    ASSERT_LE(std::abs(input.dy), PlayerMotionLimit);
    ASSERT_FALSE(input.escape || input.enter);
    inputs.push_back(input);
    const int shield = world.Player.shield;
    StepWorld(world, input, report);
    ++frame;
    WorldFault fault = CheckWorld(world);
    if (!fault) fault = CheckStep(before, world);
    ASSERT_FALSE(fault) << Describe(fault) << " at frame " << frame;
    for (int i = 0; i < EnemySlots; ++i) {
      const Enemy &e = world.EnemyTable[i];
      const bool alive = e.hp > 0 && IsBoss(e.type);
      if (alive && !bossAlive[i]) ++bossesSeen;
      if (!alive && bossAlive[i] && world.Player.shield == shield) ++bossesCut;
      bossAlive[i] = alive;
    }
    if (world.GameState == Playing && world.StageScript.op[world.scriptIndex] == StageTitle) {
      const int stage = world.StageScript.arg[world.scriptIndex];
      if (stage >= 1 && stage <= 4 && titles[stage] == 0) titles[stage] = static_cast<int>(frame);
    }
  }
  EXPECT_EQ(world.GameState, AllClear) << "after " << frame << " frames, shield " << int(world.Player.shield);
  EXPECT_GE(world.Player.shield, 1);
  EXPECT_EQ(world.scriptIndex, 84);
  EXPECT_LT(titles[1], titles[2]);
  EXPECT_LT(titles[2], titles[3]);
  EXPECT_LT(titles[3], titles[4]);
  EXPECT_GT(titles[1], 0);
  EXPECT_EQ(bossesSeen, 4);
  EXPECT_EQ(bossesCut, 4);
  EXPECT_GE(world.score, 1200 + 2000 + 3000 + 5000);

  StartWorld(replayed, 5);
  for (const FrameInput &input : inputs) StepWorld(replayed, input, report);
  EXPECT_EQ(std::memcmp(&replayed, &world, sizeof world), 0);

  // The end is frozen: further frames of the player change nothing in the world.
  std::memcpy(static_cast<void *>(&before), &world, sizeof world);
  for (int n = 0; n < 3; ++n) StepWorld(world, player.Decide(world), report);
  EXPECT_EQ(std::memcmp(before.EnemyTable, world.EnemyTable, sizeof world.EnemyTable), 0);
  EXPECT_EQ(world.score, before.score);
  EXPECT_EQ(world.GameState, AllClear);
}

TEST_F(WholeGame, HundredThousandRandomModeUpdatesStayInRange) {
  game.randomSeed = 20261207;
  StartGame(VK_RBUTTON);
  // A restless player with its own generator, so the game's draws stay the game's.
  unsigned int pilotSeed = 99;
  auto next = [&pilotSeed](int n) {
    pilotSeed = pilotSeed * 1103515245u + 12345u;
    return static_cast<int>((pilotSeed >> 16) % static_cast<unsigned int>(n));
  };
  static World before;
  long updates = 0, games = 1, frames = 0;
  int seenTypes[EnemyTypes] = {};
  while (updates < 100000) {
    if (game.GameState == GameOver) {
      // A new random game, as the right button on the title screen starts one.
      ResetGame(game);
      game.randomMode = 1;
      game.GameState = Playing;
      ++games;
      continue;
    }
    FrameInput input{};
    input.dx = next(61) - 30;
    input.dy = next(61) - 30;
    input.left = next(4) != 0;
    input.right = next(50) == 0;
    bool worldRuns = !game.slowMotion || (game.frameCounter + 1) % 3 == 1;
    before = game;
    Play(input);
    ++frames;
    if (worldRuns) ++updates;
    for (const Enemy &e : game.EnemyTable) {
      if (e.hp > 0 && e.type >= 0 && e.type < EnemyTypes) seenTypes[e.type] = 1;
    }
    WorldFault fault = CheckWorld(game);
    if (!fault) fault = CheckStep(before, game);
    ASSERT_FALSE(fault) << Describe(fault) << " after update " << updates;
  }
  EXPECT_EQ(game.randomMode, 1);
  EXPECT_GT(games, 1);
  // The seven random-mode types and what they fire all showed up.
  for (int type : {3, 4, 5, 6, 10, 15, 16, 0, 1, 2, 7, 8, 9, 14}) EXPECT_TRUE(seenTypes[type]) << "type " << type;
  for (int type : {11, 12, 13, 17}) EXPECT_FALSE(seenTypes[type]) << "type " << type;
}

}  // namespace
