// The stage script: when its steps run, what a Spawn puts on the field, how a
// WaitClear holds and what it leaves behind for later games, the end of the game,
// and the random mode's dice.
#include <vector>
#include "enemy_world.h"

namespace {

class Script : public EnemyWorld {
protected:
  void SetUp() override {
    EnemyWorld::SetUp();
    saved = world.StageScript;
    world.scriptIndex = 0;
    world.scriptTimer = 0;
    world.randomMode = 0;
    world.GameState = Playing;
  }
  void TearDown() override {
    world.StageScript = saved;
    world.randomMode = 0;
    world.GameState = Title;
  }

  // Steps the script until it stands on `step`; returns how many updates that took.
  static int UpdatesUntil(int step, bool clearField, int limit = 20000) {
    for (int n = 1; n <= limit; ++n) {
      StepStageScript(world);
      if (clearField) std::memset(world.EnemyTable, 0, sizeof world.EnemyTable);
      if (world.scriptIndex == step) return n;
    }
    return -1;
  }

  StageScriptTable saved;
};

TEST_F(Script, StageOneRunsOnTheTableTimes) {
  StepStageScript(world);
  EXPECT_EQ(world.scriptTimer, 1);
  EXPECT_EQ(world.scriptIndex, 0);
  // The first title runs at the 50th update; later steps at the times the table's
  // waits add up to (title of stage 1 plus the listed offsets).
  EXPECT_EQ(UpdatesUntil(1, true) + 1, 50);
  EXPECT_EQ(world.StageScript.op[world.scriptIndex], StageTitle);
  EXPECT_EQ(world.StageScript.arg[world.scriptIndex], 1);
  struct {
    int step, at;
  } times[] = {{2, 150}, {9, 900}, {13, 1450}, {22, 2200}, {23, 2250}, {24, 2251}, {25, 2252}, {26, 2302}};
  int update = 50;
  for (auto t : times) {
    update += UpdatesUntil(t.step, true);
    EXPECT_EQ(update, t.at) << "step " << t.step;
  }
  EXPECT_EQ(world.StageScript.op[26], StageTitle);
  EXPECT_EQ(world.StageScript.arg[26], 2);
}

TEST_F(Script, SpawnStepsEnterAtTheRightEdge) {
  UpdatesUntil(1, false);
  UpdatesUntil(2, false);
  const Enemy &e = world.EnemyTable[0];
  EXPECT_EQ(e.hp, 1);
  EXPECT_EQ(e.type, 10);
  EXPECT_EQ(e.x, 810.0f);
  EXPECT_EQ(e.y, 200.0f);
  EXPECT_EQ(e.angle, 0.0f);
  EXPECT_EQ(e.param, 0);
  // A Spawn passes only the low byte of its arg.
  world.StageScript.arg[3] = 0x100 + 4;
  UpdatesUntil(3, false);
  EXPECT_EQ(world.EnemyTable[1].type, 4);
  EXPECT_EQ(world.EnemyTable[1].y, 400.0f);
}

TEST_F(Script, WaitClearHoldsWhileAnythingLivesAndTheNextTitleFollows50UpdatesLater) {
  world.scriptIndex = 61;
  world.scriptTimer = 0;
  UpdatesUntil(62, false);   // the stage 3 boss enters
  ASSERT_EQ(world.EnemyTable[0].type, 13);
  world.EnemyTable[0].hp = 0;
  Put(30, 0, 100, 100);      // a lone bullet is enough to hold the stage
  for (int n = 1; n < 100; ++n) StepStageScript(world);
  EXPECT_EQ(world.scriptIndex, 62);
  EXPECT_EQ(world.scriptTimer, 99);
  EXPECT_EQ(world.StageScript.wait[62], 100);
  // The first test: the script steps back onto the boss's step, without running it.
  StepStageScript(world);
  EXPECT_EQ(CountLive(13), 0);
  for (int n = 0; n < 500; ++n) {
    StepStageScript(world);
    ASSERT_EQ(world.scriptIndex, 62);
    ASSERT_EQ(world.scriptTimer, 0);
  }
  EXPECT_EQ(world.StageScript.wait[62], 0);
  world.EnemyTable[30].hp = 0;
  StepStageScript(world);
  EXPECT_EQ(world.scriptIndex, 63);   // the step before is not run again: no new boss
  EXPECT_EQ(CountLive(), 0);
  EXPECT_EQ(UpdatesUntil(64, false), 50);
  EXPECT_EQ(world.StageScript.op[64], StageTitle);
  EXPECT_EQ(world.StageScript.arg[64], 4);
}

TEST_F(Script, TheRewrittenWaitLastsIntoTheNextGame) {
  world.scriptIndex = 81;
  UpdatesUntil(82, false);
  ASSERT_EQ(world.EnemyTable[0].type, 17);
  for (int n = 0; n < 101; ++n) StepStageScript(world);
  EXPECT_EQ(world.scriptIndex, 82);
  EXPECT_EQ(world.scriptTimer, 0);
  EXPECT_EQ(world.StageScript.wait[82], 0);
  // A new game (the reset rewinds only the index and the timer): step 83 now comes
  // one update after the final boss enters.
  std::memset(world.EnemyTable, 0, sizeof world.EnemyTable);
  world.scriptIndex = 81;
  world.scriptTimer = 0;
  UpdatesUntil(82, true);
  EXPECT_EQ(UpdatesUntil(83, true), 1);
  // A WaitClear that never had to hold leaves the wait before it alone.
  EXPECT_EQ(world.StageScript.wait[61], 200);
}

TEST_F(Script, FinishEndsTheGameAndTheScriptStaysThere) {
  world.scriptIndex = 83;
  EXPECT_EQ(UpdatesUntil(84, false), 50);
  EXPECT_EQ(world.GameState, AllClear);
  for (int n = 0; n < 10; ++n) StepStageScript(world);
  EXPECT_EQ(world.scriptIndex, 84);
}

TEST_F(Script, RandomModeRollsSevenTypesAndLeavesTheScriptAlone) {
  world.randomMode = 1;
  world.randomSeed = 2024;
  // The same dice thrown by hand: a roll of 1 brings a ship at a random height.
  static const int chance[7] = {290, 370, 310, 440, 270, 390, 410};
  static const int type[7] = {3, 4, 5, 6, 10, 15, 16};
  struct Entry {
    int type, y;
  };
  std::vector<Entry> expected;
  const int updates = 3000;
  for (int n = 0; n < updates; ++n) {
    for (int r = 0; r < 7; ++r) {
      if (Random(world) % chance[r] == 1) expected.push_back({type[r], Random(world) % 500 + 50});
    }
  }
  world.randomSeed = 2024;
  std::vector<Entry> got;
  for (int n = 0; n < updates; ++n) {
    StepStageScript(world);
    for (Enemy &e : world.EnemyTable) {
      if (e.hp <= 0) continue;
      EXPECT_EQ(e.x, 810.0f);
      got.push_back({e.type, static_cast<int>(e.y)});
      e.hp = 0;
    }
    ASSERT_EQ(world.scriptIndex, 0);
    ASSERT_EQ(world.scriptTimer, 0);
  }
  ASSERT_EQ(got.size(), expected.size());
  ASSERT_GT(got.size(), 50u);
  for (size_t i = 0; i < got.size(); ++i) {
    EXPECT_EQ(got[i].type, expected[i].type) << i;
    EXPECT_EQ(got[i].y, expected[i].y) << i;
  }
}

}  // namespace
