// The particle table: lowest-free-slot spawns, motion, fades, bounds and lifetimes.
#include <gtest/gtest.h>
#include <cstdlib>
#include <cstring>
#include "test_world.h"
#include "world/world.h"

namespace {

class Particles : public ::testing::Test {
protected:
  void SetUp() override { std::memset(world.ParticleTable, 0, sizeof world.ParticleTable); }

  // A still particle that lives until told otherwise.
  static void SpawnAt(float x, float y, float vx = 0, float vy = 0, uint8_t alpha = 200, int8_t alphaStep = 0,
                      int16_t life = -1) {
    SpawnParticle(world, x, y, vx, vy, 0, 0, 0, 20, 0, alpha, alphaStep, life, 8);
  }

  static int LiveCount() {
    int n = 0;
    for (const Particle &p : world.ParticleTable) n += p.life != 0;
    return n;
  }
};

TEST_F(Particles, FullTableDropsSpawnsAndReusesTheLowestFreedSlot) {
  for (int i = 0; i < ParticleSlots; ++i) SpawnAt(static_cast<float>(i), 100);
  // Slot 33 fades out in the next update; slot 50 counts its life down to 0.
  world.ParticleTable[33].alpha = 1;
  world.ParticleTable[33].alphaStep = -1;
  world.ParticleTable[50].life = 1;
  SpawnAt(999, 1);  // dropped: nothing is evicted
  EXPECT_EQ(LiveCount(), ParticleSlots);
  for (int i = 0; i < ParticleSlots; ++i) EXPECT_EQ(world.ParticleTable[i].x, static_cast<float>(i)) << i;

  UpdateParticles(world);
  EXPECT_EQ(LiveCount(), ParticleSlots - 2);
  SpawnAt(500, 7);
  EXPECT_EQ(world.ParticleTable[33].x, 500.0f);
  EXPECT_EQ(world.ParticleTable[33].y, 7.0f);
  SpawnAt(501, 8);
  EXPECT_EQ(world.ParticleTable[50].x, 501.0f);
  SpawnAt(502, 9);
  EXPECT_EQ(LiveCount(), ParticleSlots);
}

TEST_F(Particles, SpawnWithLifeZeroLeavesTheSlotFree) {
  SpawnAt(10, 10, 0, 0, 200, 0, 0);
  SpawnAt(20, 20);
  EXPECT_EQ(world.ParticleTable[0].x, 20.0f);
  EXPECT_EQ(LiveCount(), 1);
}

TEST_F(Particles, MovesWithTheOldVelocityThenAcceleratesAndGrows) {
  SpawnParticle(world, 100, 200, 3, -2, 0.5f, 0.25f, 1.5f, 30, 2, 100, -10, -1, 4);
  UpdateParticles(world);
  const Particle &p = world.ParticleTable[0];
  EXPECT_EQ(p.x, 103.0f);
  EXPECT_EQ(p.y, 198.0f);
  EXPECT_EQ(p.vx, 3.5f);
  EXPECT_EQ(p.vy, -1.75f);
  EXPECT_EQ(p.size, 32.0f);
  EXPECT_EQ(p.alpha, 90);
  EXPECT_EQ(p.angle, 1.5f);
  EXPECT_EQ(p.life, -1);
  UpdateParticles(world);
  EXPECT_EQ(p.x, 106.5f);
  EXPECT_EQ(p.y, 196.25f);
  EXPECT_EQ(p.size, 34.0f);
}

TEST_F(Particles, ABoundIsInsideAndHalfAPixelBeyondIsOut) {
  struct Case {
    float x, y, vx, vy;
    bool stays;
  } cases[] = {
      {819, 300, 1, 0, true},     {819, 300, 1.5f, 0, false},  {-19, 300, -1, 0, true},  {-19, 300, -1.5f, 0, false},
      {400, 619, 0, 1, true},     {400, 619, 0, 1.5f, false},  {400, -19, 0, -1, true},  {400, -19, 0, -1.5f, false},
  };
  for (const Case &c : cases) {
    SetUp();
    SpawnAt(c.x, c.y, c.vx, c.vy);
    UpdateParticles(world);
    EXPECT_EQ(world.ParticleTable[0].life != 0, c.stays) << c.x << "," << c.y << " moving " << c.vx << "," << c.vy;
  }
}

TEST_F(Particles, FadeEndsExactlyWhenTheSumReachesZero) {
  SpawnAt(100, 100, 0, 0, 20, -20);
  SpawnAt(100, 100, 0, 0, 21, -20);
  UpdateParticles(world);
  EXPECT_EQ(world.ParticleTable[0].life, 0);
  EXPECT_EQ(world.ParticleTable[0].alpha, 20) << "a fade that ends the particle leaves its alpha alone";
  EXPECT_EQ(world.ParticleTable[1].life, -1);
  EXPECT_EQ(world.ParticleTable[1].alpha, 1);
  UpdateParticles(world);
  EXPECT_EQ(world.ParticleTable[1].life, 0);
}

TEST_F(Particles, FadeCountsOfTheGamesFlashesAndBursts) {
  // The hand's flash shows at 180, 140, 100, 60, 20; a 120/-15 burst shows 8 times.
  struct Case {
    uint8_t alpha;
    int8_t step;
    int shown;
  } cases[] = {{180, -40, 5}, {120, -15, 8}, {200, -20, 10}, {200, -10, 20}, {255, -128, 2}};
  for (const Case &c : cases) {
    SetUp();
    SpawnAt(400, 300, 0, 0, c.alpha, c.step);
    int shown = 0;
    while (world.ParticleTable[0].life != 0 && shown < 1000) {
      ++shown;
      UpdateParticles(world);
    }
    EXPECT_EQ(shown, c.shown) << int(c.alpha) << " step " << int(c.step);
  }
}

TEST_F(Particles, LivesOfOneAndTwoUpdates) {
  SpawnAt(100, 100, 0, 0, 120, 0, 1);
  SpawnAt(100, 100, 0, 0, 120, 0, 2);
  UpdateParticles(world);
  EXPECT_EQ(world.ParticleTable[0].life, 0);
  EXPECT_EQ(world.ParticleTable[1].life, 1);
  UpdateParticles(world);
  EXPECT_EQ(world.ParticleTable[1].life, 0);
}

TEST_F(Particles, DeathByFadeOrBoundsLeavesLifeAtZero) {
  SpawnAt(100, 100, 0, 0, 10, -10, 5);    // fades while life would count 5 -> 4
  SpawnAt(819, 100, 5, 0, 100, 0, 5);     // leaves while life would count down
  SpawnAt(100, 100, 0, 0, 10, -10, -1);   // no time limit, fades out
  UpdateParticles(world);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(world.ParticleTable[i].life, 0) << i;
}

TEST_F(Particles, AStarAtFiveAPixelLivesFor167Updates) {
  SpawnAt(810, 300, -5, 0, 220, 0, -1);
  int updates = 0;
  while (world.ParticleTable[0].life != 0 && updates < 1000) {
    UpdateParticles(world);
    ++updates;
    if (updates == 166) {
      EXPECT_EQ(world.ParticleTable[0].x, -20.0f);
      EXPECT_EQ(world.ParticleTable[0].life, -1);
    }
  }
  EXPECT_EQ(updates, 167);
  EXPECT_EQ(world.ParticleTable[0].x, -25.0f);
}

TEST_F(Particles, ABrighteningStepStopsAtFullOpacity) {
  SpawnAt(100, 100, 0, 0, 250, 10);
  UpdateParticles(world);
  EXPECT_EQ(world.ParticleTable[0].alpha, 255);
  UpdateParticles(world);
  EXPECT_EQ(world.ParticleTable[0].alpha, 255);
  EXPECT_EQ(world.ParticleTable[0].life, -1);
}

TEST_F(Particles, ALifeBelowMinusOneNeverWrapsToAPositiveCount) {
  SpawnAt(100, 100, 0, 0, 200, 0, -2);
  SpawnAt(100, 100, 0, 0, 200, 0, INT16_MIN);
  UpdateParticles(world);
  EXPECT_EQ(world.ParticleTable[0].life, -3);
  EXPECT_EQ(world.ParticleTable[1].life, INT16_MIN);
  UpdateParticles(world);
  EXPECT_EQ(world.ParticleTable[1].life, INT16_MIN);
}

TEST_F(Particles, StarsDrawTheirCellThenTheirSpeedThenTheirRow) {
  world.randomSeed = 31337;
  int r[6];
  for (int &v : r) v = Random(world);
  world.randomSeed = 31337;
  SpawnTitleStar(world);
  SpawnTitleStar(world);
  for (int i = 0; i < 2; ++i) {
    const Particle &p = world.ParticleTable[i];
    EXPECT_EQ(p.sprite, 8 + r[3 * i] % 3) << i;
    EXPECT_EQ(p.vx, static_cast<float>(-(r[3 * i + 1] % 15 + 5))) << i;
    EXPECT_EQ(p.y, static_cast<float>(r[3 * i + 2] % 600)) << i;
    EXPECT_EQ(p.x, 810.0f);
    EXPECT_EQ(p.size, 20.0f);
    EXPECT_EQ(p.alpha, 220);
    EXPECT_EQ(p.alphaStep, 0);
    EXPECT_EQ(p.life, -1);
  }

  // Behind a game: a coin toss first, and on heads a slower, dimmer star.
  SetUp();
  int spawned = 0;
  for (int i = 0; i < 60; ++i) {
    unsigned int seed = 1000 + i;
    world.randomSeed = seed;
    int toss = Random(world);
    int cell = Random(world);
    int speed = Random(world);
    int row = Random(world);
    world.randomSeed = seed;
    SpawnBackgroundStar(world);
    const Particle &p = world.ParticleTable[spawned];
    if (toss % 2 == 1) {
      ASSERT_NE(p.life, 0) << i;
      EXPECT_EQ(p.sprite, 8 + cell % 3);
      EXPECT_EQ(p.vx, static_cast<float>(-(speed % 10 + 5)));
      EXPECT_EQ(p.y, static_cast<float>(row % 600));
      EXPECT_EQ(p.alpha, 200);
      ++spawned;
    } else {
      EXPECT_EQ(p.life, 0) << i;
    }
  }
  EXPECT_GT(spawned, 10);
  EXPECT_LT(spawned, 50);
}

}  // namespace
