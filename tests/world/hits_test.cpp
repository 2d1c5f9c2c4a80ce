// Sword hits and contacts: the blade triangle test, hit points and shield lost, the
// sparks, smoke, bursts, rings and sounds of every enemy type, and the score.
#include <gtest/gtest.h>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <utility>
#include <vector>
#include "test_world.h"
#include "world/world.h"

namespace {

class Hits : public ::testing::Test {
protected:
  void SetUp() override {
    std::memset(world.ParticleTable, 0, sizeof world.ParticleTable);
    std::memset(world.EffectTable, 0, sizeof world.EffectTable);
    std::memset(world.EnemyTable, 0, sizeof world.EnemyTable);
    std::memset(&world.Player, 0, sizeof world.Player);
    world.Player.shield = 3;
    world.Player.power = 400;
    MoveHand(600, 500);
    world.score = 0;
    report.soundCount = 0;
    world.randomSeed = 12345;
  }

  // The hand at (x, y) with no blade: all corners of the current triangle on it.
  static void MoveHand(float x, float y) {
    world.Player.x = x;
    world.Player.y = y;
    world.Player.trail[0] = {{x, y}, {x, y}, {x, y}};
  }
  static void SetBlade(SwordPoint base, SwordPoint previousTip, SwordPoint tip) {
    world.Player.trail[0] = {base, previousTip, tip};
  }
  // The blade of the worked example: a right triangle with its long edge from
  // (200, 100) to (100, 200).
  static void ExampleBlade() { SetBlade({100, 100}, {200, 100}, {100, 200}); }

  static Enemy &Place(int slot, int type, float x, float y) {
    Enemy &e = world.EnemyTable[slot];
    e.x = x;
    e.y = y;
    e.type = static_cast<int8_t>(type);
    e.hp = EnemyTypeInfo[type].hp;
    e.age = 1;
    return e;
  }

  static std::vector<const Effect *> LiveSparks() {
    std::vector<const Effect *> out;
    for (const Effect &e : world.EffectTable)
      if (e.alpha != 0) out.push_back(&e);
    return out;
  }
  static std::vector<const Particle *> LiveParticles() {
    std::vector<const Particle *> out;
    for (const Particle &p : world.ParticleTable)
      if (p.life != 0) out.push_back(&p);
    return out;
  }
  static void ClearSpawns() {
    std::memset(world.ParticleTable, 0, sizeof world.ParticleTable);
    std::memset(world.EffectTable, 0, sizeof world.EffectTable);
    report.soundCount = 0;
  }
};

TEST_F(Hits, BladeTriangleHitsStrictlyInsideInEitherWinding) {
  struct Case {
    float x, y;
    int inside;
  } points[] = {{120, 120, 1}, {103, 120, 1}, {142, 150, 1}, {150, 150, 0} /* on the long edge */,
                {100, 150, 0} /* on the base edge */, {160, 150, 0}, {80, 80, 0}, {95, 120, 0},
                {250, 50, 0} /* beyond an edge's extension */, {100, 100, 0} /* a corner */};
  for (int winding = 0; winding < 2; ++winding) {
    if (winding == 0)
      ExampleBlade();
    else
      SetBlade({100, 100}, {100, 200}, {200, 100});
    for (const Case &c : points) EXPECT_EQ(SwordHitTest(world, c.x, c.y), c.inside) << c.x << "," << c.y << " winding " << winding;
  }
}

TEST_F(Hits, NoBladeOrAFlatBladeNeverHits) {
  MoveHand(300, 300);
  EXPECT_EQ(SwordHitTest(world, 300, 300), 0);
  EXPECT_EQ(SwordHitTest(world, 300.5f, 300), 0);
  SetBlade({100, 100}, {150, 150}, {200, 200});
  for (float t : {100.0f, 120.0f, 150.0f, 175.5f}) EXPECT_EQ(SwordHitTest(world, t, t), 0) << t;
  // The first update of a swing: base and previous tip coincide.
  SetBlade({100, 100}, {100, 100}, {200, 150});
  EXPECT_EQ(SwordHitTest(world, 150, 125), 0);
  EXPECT_EQ(SwordHitTest(world, 150, 126), 0);

  // With the button released, an enemy beside the hand is never cut.
  MoveHand(400, 300);
  Place(0, 3, 425, 300);
  ResolveHits(world, 0, report);
  EXPECT_EQ(world.EnemyTable[0].hp, 2);
  EXPECT_TRUE(LiveSparks().empty());
  EXPECT_TRUE(Heard().empty());
}

TEST_F(Hits, ProbesEightPixelsAroundTheCentreFindTheBlade) {
  struct Case {
    float x, y;
    bool cut;
  } centres[] = {{120, 120, true}, {95, 120, true}, {150, 150, true}, {160, 150, false}, {80, 80, false},
                 {120, 93, true} /* only the probe below reaches in */, {92, 92, false}};
  for (const Case &c : centres) {
    SetUp();
    ExampleBlade();
    Place(3, 3, c.x, c.y);
    ResolveHits(world, 3, report);
    EXPECT_EQ(world.EnemyTable[3].hp, c.cut ? 1 : 2) << c.x << "," << c.y;
    EXPECT_EQ(LiveSparks().size(), c.cut ? 3u + 10u : 0u) << c.x << "," << c.y;
  }
}

TEST_F(Hits, ATwoPointMissileCutInTwoUpdates) {
  ExampleBlade();
  Place(0, 2, 120, 120);
  ResolveHits(world, 0, report);
  EXPECT_EQ(world.EnemyTable[0].hp, 1);
  EXPECT_EQ(LiveSparks().size(), 3u + 8u);
  auto particles = LiveParticles();
  ASSERT_EQ(particles.size(), 1u);
  const Particle &smoke = *particles[0];  // drifts up, grows, fades over 20 updates
  EXPECT_TRUE(smoke.x == 120.0f && smoke.y == 120.0f && smoke.vx == 0.0f && smoke.vy == -0.8f);
  EXPECT_TRUE(smoke.size == 40.0f && smoke.sizeStep == 1.0f && smoke.alpha == 200 && smoke.alphaStep == -10);
  EXPECT_TRUE(smoke.life == -1 && smoke.sprite == 1);
  EXPECT_EQ(Heard(), (std::vector<std::pair<int, int>>{{3, 90}}));
  EXPECT_EQ(world.score, 0);

  ClearSpawns();
  ResolveHits(world, 0, report);
  EXPECT_EQ(world.EnemyTable[0].hp, 0);
  EXPECT_EQ(LiveSparks().size(), 3u + 8u);
  particles = LiveParticles();
  ASSERT_EQ(particles.size(), 2u);
  EXPECT_EQ(particles[0]->size, 40.0f);  // smoke
  EXPECT_EQ(particles[0]->sprite, 1);
  const Particle &burst = *particles[1];
  EXPECT_TRUE(burst.size == 40.0f && burst.sizeStep == 7.0f && burst.alpha == 220 && burst.alphaStep == -20);
  EXPECT_TRUE(burst.sprite == 5 && burst.vx == 0.0f && burst.vy == 0.0f && burst.life == -1);
  EXPECT_EQ(Heard(), (std::vector<std::pair<int, int>>{{0, 95}}));
  EXPECT_EQ(world.score, 40);
}

TEST_F(Hits, ContactReachesExactlyTwentyPixels) {
  MoveHand(200, 300);
  Place(0, 0, 220, 300);
  Place(1, 0, 212, 316);      // 12 and 16 apart: 20 on the diagonal
  Place(2, 0, 220.01f, 300);
  Place(3, 0, 200, 279.99f);
  for (int i = 0; i < 4; ++i) ResolveHits(world, i, report);
  EXPECT_EQ(world.EnemyTable[0].hp, 0);
  EXPECT_EQ(world.EnemyTable[1].hp, 0);
  EXPECT_EQ(world.EnemyTable[2].hp, 1);
  EXPECT_EQ(world.EnemyTable[3].hp, 1);
  EXPECT_EQ(world.Player.shield, 1);
  EXPECT_EQ(world.score, 20);
}

TEST_F(Hits, ABulletReachingTheHand) {
  MoveHand(200, 300);
  Place(5, 0, 210, 305);
  ResolveHits(world, 5, report);
  EXPECT_EQ(world.Player.shield, 2);
  EXPECT_EQ(world.EnemyTable[5].hp, 0);
  EXPECT_EQ(world.score, 10);
  EXPECT_EQ(Heard(), (std::vector<std::pair<int, int>>{{2, 80}}));
  // Five yellow sparks burst from the hand and fall.
  auto sparks = LiveSparks();
  ASSERT_EQ(sparks.size(), 5u);
  for (const Effect *s : sparks) {
    EXPECT_TRUE(s->x0 == 200.0f && s->y0 == 300.0f && s->ay == 0.6f && s->alpha == 255);
    EXPECT_TRUE(s->alphaStep <= -10 && s->alphaStep >= -29) << int(s->alphaStep);
    EXPECT_TRUE(std::fabs(s->vx) <= 10.0f && std::fabs(s->vy) <= 10.0f);
    EXPECT_TRUE(s->red == 255 && s->green == 200 && s->blue == 0);
  }
  // Two bursts at the bullet, both on sprite 3.
  auto particles = LiveParticles();
  ASSERT_EQ(particles.size(), 2u);
  EXPECT_EQ(particles[0]->x, 210.0f);
  EXPECT_EQ(particles[0]->size, 35.0f);
  EXPECT_EQ(particles[0]->sizeStep, 5.0f);
  EXPECT_EQ(particles[1]->size, 15.0f);
  EXPECT_EQ(particles[1]->sizeStep, 4.0f);
  for (const Particle *p : particles) {
    EXPECT_EQ(p->alpha, 120);
    EXPECT_EQ(p->alphaStep, -15);
    EXPECT_EQ(p->sprite, 3);
  }
}

TEST_F(Hits, TheFinalBossTouchingTheHand) {
  MoveHand(300, 300);
  Place(0, 17, 310, 300);
  ASSERT_EQ(world.EnemyTable[0].hp, 50);
  ResolveHits(world, 0, report);
  EXPECT_EQ(world.Player.shield, -47);
  EXPECT_EQ(world.EnemyTable[0].hp, 0);
  EXPECT_EQ(world.score, 5000);
  EXPECT_EQ(Heard(), (std::vector<std::pair<int, int>>{{0, 100}, {1, 100}}));
  EXPECT_EQ(LiveSparks().size(), 5u + 16u);
  auto particles = LiveParticles();
  ASSERT_EQ(particles.size(), 1u + 1u + 8u);
  EXPECT_EQ(particles[0]->size, 65.0f);  // smoke
  EXPECT_EQ(particles[1]->size, 50.0f);  // burst
  EXPECT_EQ(particles[1]->sizeStep, 10.0f);
  EXPECT_EQ(particles[1]->alphaStep, -15);
  // A ring of eight flies out 45 degrees apart at 18 pixels per update.
  for (int k = 0; k < 8; ++k) {
    const Particle &p = *particles[2 + k];
    double heading = k * 45 * 3.141592 / 180;
    EXPECT_NEAR(p.vx, std::cos(heading) * 18, 1e-4) << k;
    EXPECT_NEAR(p.vy, std::sin(heading) * 18, 1e-4) << k;
    EXPECT_EQ(p.size, 40.0f);
    EXPECT_EQ(p.sizeStep, 8.0f);
    EXPECT_EQ(p.alpha, 140);
    EXPECT_EQ(p.alphaStep, -15);
    EXPECT_EQ(p.sprite, 5);
  }
  // Rotations are random whole degrees, turned into radians by the float factor.
  for (const Particle *p : particles) {
    double degrees = p->angle / 0.017453289f;
    EXPECT_NEAR(degrees, std::round(degrees), 1e-3);
    EXPECT_GE(degrees, 0.0);
    EXPECT_LT(degrees, 359.5);
  }
}

TEST_F(Hits, TheShieldStopsAtItsLowestValueInsteadOfWrapping) {
  MoveHand(300, 300);
  for (int slot = 0; slot < 4; ++slot) Place(slot, 17, 300, 300 + slot);
  ResolveHits(world, 0, report);
  EXPECT_EQ(world.Player.shield, -47);
  ResolveHits(world, 1, report);
  EXPECT_EQ(world.Player.shield, -97);
  ResolveHits(world, 2, report);
  EXPECT_EQ(world.Player.shield, -128);  // -147 does not fit; wrapping would give +109
  ResolveHits(world, 3, report);
  EXPECT_EQ(world.Player.shield, -128);
  EXPECT_EQ(world.score, 4 * 5000);
}

TEST_F(Hits, ACutThatEndsTheEnemyLeavesNothingToTouch) {
  MoveHand(120, 125);
  ExampleBlade();
  Place(0, 0, 120, 120);
  ResolveHits(world, 0, report);
  EXPECT_EQ(world.Player.shield, 3);
  EXPECT_EQ(world.EnemyTable[0].hp, 0);
  EXPECT_EQ(LiveSparks().size(), 3u) << "pink hit sparks only, no contact sparks";
  EXPECT_EQ(world.score, 10);

  // A cut that leaves hit points: the touch takes the rest.
  SetUp();
  MoveHand(120, 125);
  ExampleBlade();
  Place(0, 16, 120, 120);
  ResolveHits(world, 0, report);
  EXPECT_EQ(world.Player.shield, 0);
  EXPECT_EQ(world.EnemyTable[0].hp, 0);
  EXPECT_EQ(LiveSparks().size(), 3u + 5u + 12u);
  EXPECT_EQ(world.score, 450);
  EXPECT_EQ(Heard(), (std::vector<std::pair<int, int>>{{0, 95}}));
}

TEST_F(Hits, HitSparksFlyAgainstTheTipsMotionWithTheirDrawsInOrder) {
  SetBlade({200, 50}, {300, 100}, {100, 100});
  Place(0, 6, 200, 90);
  ASSERT_EQ(SwordHitTest(world, 200, 90), 1);
  world.randomSeed = 777;
  int draws[4][3];
  for (auto &spark : draws)
    for (int &r : spark) r = Random(world);
  world.randomSeed = 777;
  ResolveHits(world, 0, report);
  auto sparks = LiveSparks();
  ASSERT_EQ(sparks.size(), 3u + 14u);
  for (int i = 0; i < 3; ++i) {
    const Effect &s = *sparks[i];
    // r1 sets the fade, r2 the vertical jitter, r3 the horizontal one.
    EXPECT_EQ(s.alphaStep, -10 - draws[i][0] % 10) << i;
    EXPECT_FLOAT_EQ(s.vy, static_cast<float>((draws[i][1] % 41 - 20) * 0.2)) << i;
    EXPECT_FLOAT_EQ(s.vx, static_cast<float>(10 + (draws[i][2] % 41 - 20) * 0.2)) << i;
    EXPECT_LE(std::fabs(s.vx - 10.0f), 4.0f);
    EXPECT_LE(std::fabs(s.vy), 4.0f);
    EXPECT_EQ(s.x0, 200.0f);
    EXPECT_EQ(s.y0, 90.0f);
    EXPECT_EQ(s.ay, 0.4f);
    EXPECT_EQ(s.red, 255);
    EXPECT_EQ(s.green, 60);
    EXPECT_EQ(s.blue, 180);
  }
  // The first debris spark comes next, with the same order of draws and wider jitter.
  const Effect &debris = *sparks[3];
  EXPECT_EQ(debris.alphaStep, -10 - draws[3][0] % 20);
  EXPECT_EQ(debris.vy, (draws[3][1] % 41 - 20) * 0.5f);
  EXPECT_EQ(debris.vx, (draws[3][2] % 41 - 20) * 0.5f);
  EXPECT_EQ(debris.ay, 0.6f);

  float vy = sparks[0]->vy;
  UpdateEffects(world);
  EXPECT_FLOAT_EQ(sparks[0]->vy, vy + 0.4f);
}

TEST_F(Hits, BlueDebrisOfTheFastMissile) {
  ExampleBlade();
  Place(0, 9, 120, 120);
  ResolveHits(world, 0, report);
  auto sparks = LiveSparks();
  ASSERT_EQ(sparks.size(), 3u + 8u);
  for (size_t i = 3; i < sparks.size(); ++i) {
    EXPECT_EQ(sparks[i]->red, 20);
    EXPECT_EQ(sparks[i]->green, 180);
    EXPECT_EQ(sparks[i]->blue, 255);
    EXPECT_EQ(sparks[i]->ay, 0.4f);
  }
  EXPECT_TRUE(LiveParticles().empty());
  EXPECT_EQ(Heard(), (std::vector<std::pair<int, int>>{{3, 90}}));
}

// Each type's explosion, brought about by a touch of the hand so the test does not
// depend on the blade: sparks (5 at the hand plus the debris), particle sizes in
// spawn order, and the sounds.
TEST_F(Hits, EveryTypesExplosion) {
  struct Row {
    int type;
    unsigned debris;
    std::vector<float> sizes;
    std::vector<std::pair<int, int>> sounds;
  } rows[] = {
      {0, 0, {35, 15}, {{2, 80}}},
      {1, 0, {30, 30}, {{0, 85}}},
      {2, 8, {40, 40}, {{0, 95}}},
      {3, 10, {50, 40}, {{0, 90}}},
      {4, 12, {50, 40}, {{0, 95}}},
      {5, 10, {50, 40}, {{0, 90}}},
      {6, 14, {50, 50}, {{0, 100}}},
      {7, 0, {30, 35}, {{0, 85}}},
      {8, 0, {20}, {{2, 80}}},
      {9, 8, {30}, {{2, 85}}},
      {10, 0, {30, 30}, {{0, 85}}},
      {11, 15, {60, 50, 30, 30, 30, 30, 30, 30}, {{0, 100}}},
      {12, 15, {60, 50, 30, 30, 30, 30, 30, 30}, {{0, 100}}},
      {13, 15, {60, 50, 30, 30, 30, 30, 30, 30, 30, 30}, {{0, 100}}},
      {14, 0, {20}, {{2, 80}}},
      {15, 10, {50, 40}, {{0, 90}}},
      {16, 12, {50, 40}, {{0, 95}}},
      {17, 16, {65, 50, 40, 40, 40, 40, 40, 40, 40, 40}, {{0, 100}, {1, 100}}},
  };
  for (const Row &row : rows) {
    SetUp();
    world.Player.shield = 100;
    MoveHand(400, 300);
    Place(0, row.type, 400, 300);
    int hp = world.EnemyTable[0].hp;
    ResolveHits(world, 0, report);
    EXPECT_EQ(world.Player.shield, 100 - hp) << row.type;
    EXPECT_EQ(world.score, EnemyTypeInfo[row.type].score) << row.type;
    EXPECT_EQ(LiveSparks().size(), 5u + row.debris) << row.type;
    std::vector<float> sizes;
    for (const Particle *p : LiveParticles()) sizes.push_back(p->size);
    EXPECT_EQ(sizes, row.sizes) << row.type;
    EXPECT_EQ(Heard(), row.sounds) << row.type;
  }
  // The stage 1 boss's ring has six, 60 degrees apart, at 10 pixels per update.
  SetUp();
  MoveHand(400, 300);
  Place(0, 11, 400, 300);
  ResolveHits(world, 0, report);
  auto ring = LiveParticles();
  ASSERT_EQ(ring.size(), 8u);
  EXPECT_NEAR(ring[3]->vx, 5.0f, 1e-4);
  EXPECT_NEAR(ring[3]->vy, 10 * std::sin(60 * 3.141592 / 180), 1e-4);
  EXPECT_NEAR(ring[5]->vx, -10.0f, 1e-4);
}

TEST_F(Hits, TheScoreStopsAtItsHighestValue) {
  world.score = 2147483647 - 100;
  MoveHand(400, 300);
  Place(0, 17, 400, 300);
  ResolveHits(world, 0, report);
  EXPECT_EQ(world.score, 2147483647);
}

TEST_F(Hits, FullTablesDropTheLooksButNotTheDamage) {
  for (int i = 0; i < EffectSlots; ++i) SpawnEffect(world, 0, 0, 0, 0, 0, 0, 255, -1, 1, 1, 1);
  for (int i = 0; i < ParticleSlots; ++i) SpawnParticle(world, 0, 0, 0, 0, 0, 0, 0, 1, 0, 255, 0, -1, 0);
  MoveHand(400, 300);
  Place(0, 4, 400, 300);
  ResolveHits(world, 0, report);
  EXPECT_EQ(world.EnemyTable[0].hp, 0);
  EXPECT_EQ(world.Player.shield, 0);
  EXPECT_EQ(world.score, 300);
  EXPECT_EQ(Heard(), (std::vector<std::pair<int, int>>{{0, 95}}));
}

}  // namespace
