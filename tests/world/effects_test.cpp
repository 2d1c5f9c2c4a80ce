// The spark table: lowest-free-slot spawns, the three-point history, falls and fades.
#include <gtest/gtest.h>
#include <cstring>
#include "test_world.h"
#include "world/world.h"

namespace {

class Sparks : public ::testing::Test {
protected:
  void SetUp() override { std::memset(world.EffectTable, 0, sizeof world.EffectTable); }

  static void SpawnAt(float x, float y, float vx = 0, float vy = 0, float ay = 0, uint8_t alpha = 255,
                      int8_t alphaStep = -10) {
    SpawnEffect(world, x, y, vx, vy, 0, ay, alpha, alphaStep, 255, 200, 0);
  }

  static int LiveCount() {
    int n = 0;
    for (const Effect &e : world.EffectTable) n += e.alpha != 0;
    return n;
  }

  // Updates until the spark in slot 0 is gone; how many updates it was drawn after.
  static int UpdatesShown() {
    int shown = 0;
    while (world.EffectTable[0].alpha != 0 && shown < 1000) {
      ++shown;
      UpdateEffects(world);
    }
    return shown;
  }
};

TEST_F(Sparks, FullTableDropsSpawnsAndReusesTheLowestFreedSlot) {
  for (int i = 0; i < EffectSlots; ++i) SpawnAt(static_cast<float>(i), 0);
  world.EffectTable[41].alpha = 5;
  world.EffectTable[41].alphaStep = -5;
  SpawnAt(999, 999);
  EXPECT_EQ(LiveCount(), EffectSlots);
  for (int i = 0; i < EffectSlots; ++i) EXPECT_EQ(world.EffectTable[i].x2, static_cast<float>(i)) << i;
  UpdateEffects(world);
  EXPECT_EQ(LiveCount(), EffectSlots - 1);
  SpawnEffect(world, 7, 8, 1, 2, 3, 4, 200, -3, 50, 60, 70);
  const Effect &e = world.EffectTable[41];
  // All three points of the history start at the spawn.
  EXPECT_TRUE(e.x0 == 7.0f && e.x1 == 7.0f && e.x2 == 7.0f && e.y0 == 8.0f && e.y1 == 8.0f && e.y2 == 8.0f);
  EXPECT_TRUE(e.vx == 1.0f && e.vy == 2.0f && e.ax == 3.0f && e.ay == 4.0f);
  EXPECT_TRUE(e.alpha == 200 && e.alphaStep == -3 && e.red == 50 && e.green == 60 && e.blue == 70);
}

TEST_F(Sparks, SpawnWithAlphaZeroLeavesTheSlotFree) {
  SpawnAt(1, 1, 0, 0, 0, 0);
  SpawnAt(2, 2);
  EXPECT_EQ(world.EffectTable[0].x0, 2.0f);
  EXPECT_EQ(LiveCount(), 1);
}

TEST_F(Sparks, HistoryAfterOneAndTwoUpdates) {
  SpawnAt(100, 100, 10, 0, 0.6f);
  UpdateEffects(world);
  const Effect &e = world.EffectTable[0];
  EXPECT_EQ(e.x0, 110.0f);
  EXPECT_EQ(e.y0, 100.0f);
  EXPECT_EQ(e.x1, 100.0f);
  EXPECT_EQ(e.y1, 100.0f);
  EXPECT_EQ(e.x2, 100.0f);
  EXPECT_EQ(e.y2, 100.0f);
  EXPECT_EQ(e.vy, 0.6f);
  UpdateEffects(world);
  EXPECT_EQ(e.x0, 120.0f);
  EXPECT_FLOAT_EQ(e.y0, 100.6f);
  EXPECT_EQ(e.x1, 110.0f);
  EXPECT_EQ(e.y1, 100.0f);
  EXPECT_EQ(e.x2, 100.0f);
  EXPECT_EQ(e.y2, 100.0f);
  EXPECT_EQ(e.vy, 0.6f + 0.6f);
  EXPECT_EQ(e.alpha, 235);
}

TEST_F(Sparks, FadeEndsExactlyWhenTheSumReachesZero) {
  SpawnAt(0, 0, 0, 0, 0, 30, -29);
  SpawnAt(0, 0, 0, 0, 0, 29, -29);
  UpdateEffects(world);
  EXPECT_EQ(world.EffectTable[0].alpha, 1);
  EXPECT_EQ(world.EffectTable[1].alpha, 0);
  UpdateEffects(world);
  EXPECT_EQ(world.EffectTable[0].alpha, 0);
}

TEST_F(Sparks, FullBrightSparksLastAsLongAsTheirStepAllows) {
  struct Case {
    int8_t step;
    int shown;
  } cases[] = {{-20, 13}, {-10, 26}, {-29, 9}, {-128, 2}};
  for (const Case &c : cases) {
    SetUp();
    SpawnAt(0, 0, 0, 0, 0, 255, c.step);
    EXPECT_EQ(UpdatesShown(), c.shown) << int(c.step);
  }
}

TEST_F(Sparks, FarOffScreenASparkKeepsFlyingUntilItFades) {
  SpawnAt(-5000, 9000, -50, 40, 0.6f, 255, -10);
  for (int i = 0; i < 25; ++i) UpdateEffects(world);
  EXPECT_EQ(world.EffectTable[0].alpha, 5);
  EXPECT_EQ(world.EffectTable[0].x0, -5000.0f - 25 * 50);
  UpdateEffects(world);
  EXPECT_EQ(world.EffectTable[0].alpha, 0);
}

TEST_F(Sparks, ABrighteningStepStopsAtFullOpacity) {
  SpawnAt(0, 0, 0, 0, 0, 250, 10);
  UpdateEffects(world);
  EXPECT_EQ(world.EffectTable[0].alpha, 255);
  UpdateEffects(world);
  EXPECT_EQ(world.EffectTable[0].alpha, 255);
}

}  // namespace
