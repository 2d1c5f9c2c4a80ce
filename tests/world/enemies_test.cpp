// The enemy table: lowest-free-slot spawns, the in-order update pass and its effect on
// freshly fired shots, and the removal just beyond the playfield's margin.
#include "enemy_world.h"

namespace {

using Enemies = EnemyWorld;

TEST_F(Enemies, SpawnFillsTheLowestFreeSlotFromTheTypeTable) {
  Put(0, 13, 400, 100);
  Put(2, 13, 400, 200);
  SpawnEnemy(world, 810, 321, 0.5f, 17, 3);
  const Enemy &e = world.EnemyTable[1];
  EXPECT_EQ(e.x, 810.0f);
  EXPECT_EQ(e.y, 321.0f);
  EXPECT_EQ(e.angle, 0.5f);
  EXPECT_EQ(e.type, 17);
  EXPECT_EQ(e.param, 3);
  EXPECT_EQ(e.hp, 50);
  EXPECT_EQ(e.age, 0);
  // A slot whose hp went negative counts as free too.
  world.EnemyTable[0].hp = -3;
  SpawnEnemy(world, 1, 2, 0, 16, 0);
  EXPECT_EQ(world.EnemyTable[0].type, 16);
  EXPECT_EQ(world.EnemyTable[0].hp, 4);
  // A type without a row in the table (a script arg whose low byte is out of range)
  // is dropped rather than read past the table.
  SpawnEnemy(world, 1, 2, 0, 18, 0);
  SpawnEnemy(world, 1, 2, 0, -56, 0);
  EXPECT_EQ(CountLive(), 3);
}

TEST_F(Enemies, FullTableDropsTheSpawnAndTheFreedSlotIsTakenNext) {
  for (int i = 0; i < EnemySlots; ++i) Put(i, 13, 100.0f + i, 100);
  SpawnEnemy(world, 810, 300, 0, 0, 0);
  for (int i = 0; i < EnemySlots; ++i) {
    EXPECT_EQ(world.EnemyTable[i].type, 13) << i;
    EXPECT_EQ(world.EnemyTable[i].x, 100.0f + i) << i;
  }
  world.EnemyTable[30].hp = 0;
  SpawnEnemy(world, 810, 300, 0, 8, 0);
  EXPECT_EQ(world.EnemyTable[30].type, 8);
  EXPECT_EQ(world.EnemyTable[30].x, 810.0f);
  EXPECT_EQ(CountLive(), EnemySlots);
}

TEST_F(Enemies, ShotsFiredIntoHigherSlotsMoveInTheSamePassLowerSlotsWait) {
  // A spreader in slot 3 fires its first fan of three bullets at age 20.
  Put(0, 13, 100, 100);
  Put(2, 13, 100, 200);
  Enemy &spreader = Put(3, 5, 500, 300, 0, 19);
  UpdateEnemies(world, report);
  EXPECT_EQ(spreader.age, 20);
  // Slot 1 was free: the first bullet waits there unmoved; the other two landed
  // above slot 3 and have already flown one step.
  EXPECT_EQ(world.EnemyTable[1].type, 0);
  EXPECT_EQ(world.EnemyTable[1].age, 0);
  EXPECT_EQ(world.EnemyTable[1].x, 500.0f);
  for (int slot : {4, 5}) {
    EXPECT_EQ(world.EnemyTable[slot].type, 0) << slot;
    EXPECT_EQ(world.EnemyTable[slot].age, 1) << slot;
    EXPECT_LT(world.EnemyTable[slot].x, 490.0f) << slot;
  }
  UpdateEnemies(world, report);
  EXPECT_EQ(world.EnemyTable[1].age, 1);
  EXPECT_EQ(world.EnemyTable[4].age, 2);
}

TEST_F(Enemies, ASlotFreedInThePassIsReusedByALaterSlotsShot) {
  // A bullet in slot 0 leaves the playfield in this update; the fighter in slot 2
  // (slot 2 fires at age 80) then puts its bullet into slot 0.
  Put(0, 0, -10, 300);
  Put(1, 13, 100, 100);
  Put(2, 10, 400, 300, 0, 79);
  UpdateEnemies(world, report);
  EXPECT_EQ(world.EnemyTable[0].type, 8);
  EXPECT_EQ(world.EnemyTable[0].hp, 1);
  EXPECT_EQ(world.EnemyTable[0].age, 0);
  EXPECT_EQ(world.EnemyTable[0].x, 398.0f);
}

TEST_F(Enemies, RemovalStartsJustBeyondTheMargin) {
  // The stage 3 boss stands still in its first updates once it is left of 500.
  struct Case {
    float x, y;
    bool stays;
  } cases[] = {
      {-20.0f, 300, true},  {-20.5f, 300, false}, {300, 620.0f, true},  {300, 620.5f, false},
      {300, -20.0f, true},  {300, -20.5f, false}, {822.0f, 300, true},  {822.5f, 300, false},
  };
  for (int i = 0; i < 8; ++i) Put(i, 13, cases[i].x, cases[i].y);
  UpdateEnemies(world, report);
  for (int i = 0; i < 8; ++i) {
    EXPECT_EQ(world.EnemyTable[i].hp > 0, cases[i].stays) << cases[i].x << ", " << cases[i].y;
  }
  EXPECT_EQ(world.EnemyTable[6].x, 820.0f);
  // Removal gives nothing.
  EXPECT_EQ(world.score, 0);
}

}  // namespace
