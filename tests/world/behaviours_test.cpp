// Behaviours of the shots, the stage 1 ships and the first boss: aiming, turning,
// stand-off lines by slot, timed shots, and the order of the random draws.
#include <cmath>
#include <vector>
#include "enemy_world.h"

namespace {

using Behaviours = EnemyWorld;

// The heading that moves along (dx, dy) in the game's convention.
float Heading(float dx, float dy) { return AngleTo(dx, dy) + 1.570796f; }

TEST_F(Behaviours, AngleToGivesHeadingsThatPointAlongTheOffset) {
  EXPECT_EQ(AngleTo(0, 0), 0.0f);
  struct {
    float dx, dy;
  } offsets[] = {{-50, 0}, {50, 0}, {0, 50}, {0, -50}, {30, -40}, {-7, 24}};
  for (auto o : offsets) {
    Enemy e{};
    e.x = 400;
    e.y = 300;
    AdvanceAlong(e, Heading(o.dx, o.dy), 10.0);
    float len = std::sqrt(o.dx * o.dx + o.dy * o.dy);
    EXPECT_NEAR(e.x, 400 + o.dx / len * 10, 1e-3) << o.dx << ", " << o.dy;
    EXPECT_NEAR(e.y, 300 + o.dy / len * 10, 1e-3) << o.dx << ", " << o.dy;
  }
  // Heading 0 is straight left.
  EXPECT_NEAR(Heading(-1, 0), 0.0f, 1e-6);
}

TEST_F(Behaviours, WrapAngleBringsHeadingsIntoOneTurn) {
  float a = 3.2f;
  WrapAngle(a);
  EXPECT_EQ(a, 3.2f - 6.283184f);
  for (float edge : {3.141592f, -3.141592f, 0.0f}) {
    float b = edge;
    WrapAngle(b);
    EXPECT_EQ(b, edge);
  }
  float c = 10.0f;
  WrapAngle(c);
  EXPECT_EQ(c, (10.0f - 6.283184f) - 6.283184f);
  float d = -10.0f;
  WrapAngle(d);
  EXPECT_EQ(d, (-10.0f + 6.283184f) + 6.283184f);
  // Values no whole turn can change must not hang the game.
  float huge = 3.0e20f, inf = INFINITY, nan = NAN;
  WrapAngle(huge);
  EXPECT_LE(std::fabs(huge), 3.141592f);
  WrapAngle(inf);
  WrapAngle(nan);
  EXPECT_TRUE(std::isnan(nan));
}

TEST_F(Behaviours, BulletsFlyStraightAtTheirSpeeds) {
  Enemy &b0 = Put(0, 0, 810, 300);
  Enemy &b8 = Put(1, 8, 500, 100, 1.570796f);
  Enemy &b9 = Put(2, 9, 500, 200, 3.141592f);
  UpdateEnemies(world, report);
  EXPECT_EQ(b0.x, 796.0f);
  EXPECT_EQ(b0.y, 300.0f);
  EXPECT_NEAR(b8.x, 500.0f, 1e-4);
  EXPECT_EQ(b8.y, 110.0f);
  EXPECT_EQ(b9.x, 516.0f);
  EXPECT_NEAR(b9.y, 200.0f, 1e-4);
}

TEST_F(Behaviours, HomingMissileTurnsOneDegreePerUpdateUntilAge60) {
  // The hand far above: the missile keeps turning toward the upward heading.
  PlaceHand(400, -100000);
  Enemy &m = Put(0, 1, 400, 300);
  float expected = 0.0f;
  for (int age = 1; age <= 80; ++age) {
    Step(0);
    if (age < 60) expected = static_cast<float>(expected - 0.0174532890);
    ASSERT_EQ(m.angle, expected) << "age " << age;
  }
  // A glow every third update, 15 pixels behind, lasting one update.
  EXPECT_EQ(CountParticles(), 27);
  EXPECT_EQ(world.ParticleTable[0].life, 1);
  EXPECT_EQ(world.ParticleTable[0].sprite, 6);
}

TEST_F(Behaviours, AMissileOnTheHandTurnsTowardTheDownwardHeading) {
  // After its step of 8 the missile stands exactly on the hand.
  PlaceHand(400, 300);
  Enemy &m = Put(0, 1, 408, 300);
  Step(0);
  EXPECT_EQ(m.x, 400.0f);
  EXPECT_EQ(m.angle, static_cast<float>(0.0 + 0.0174532890));
}

TEST_F(Behaviours, HeavyMissileTurnsUntilAge140WithGlowAndSmoke) {
  PlaceHand(100, 100);
  Enemy &m = Put(0, 2, 600, 400, 0.3f);
  for (int age = 1; age <= 160; ++age) {
    float before = m.angle;
    std::memset(world.ParticleTable, 0, sizeof world.ParticleTable);
    Step(0);
    if (age < 140) {
      bool turnedOneStep = m.angle == static_cast<float>(before + 0.0261799335) ||
                           m.angle == static_cast<float>(before - 0.0261799335);
      ASSERT_TRUE(turnedOneStep) << "age " << age;
    } else {
      ASSERT_EQ(m.angle, before) << "age " << age;
    }
    // The glow pulses 10, 20, 30; a smoke puff joins it when age mod 3 is 1.
    ASSERT_EQ(world.ParticleTable[0].size, static_cast<float>((age % 3) * 10 + 10));
    ASSERT_EQ(CountParticles(), age % 3 == 1 ? 2 : 1);
  }
}

TEST_F(Behaviours, StandOffLinesDependOnTheSlot) {
  PlaceHand(20, 20);
  struct {
    int type, slot;
    float line;
  } cases[] = {
      {3, 7, 660.0f}, {3, 10, 699.0f}, {3, 13, 639.0f}, {4, 1, 670.0f},
      {4, 0, 700.0f}, {5, 0, 598.0f},  {5, 3, 570.0f},  {6, 2, 609.0f},
  };
  for (auto c : cases) {
    std::memset(world.EnemyTable, 0, sizeof world.EnemyTable);
    Enemy &e = Put(c.slot, c.type, 810, 300);
    for (int age = 1; age <= 110; ++age) Step(c.slot);
    EXPECT_EQ(e.x, c.line) << "type " << c.type << " slot " << c.slot;
  }
}

TEST_F(Behaviours, GunshipDriftsByParityAfterAge200) {
  PlaceHand(20, 20);
  Enemy &even = Put(10, 3, 699, 300, 0, 200);
  Enemy &odd = Put(7, 3, 660, 300, 0, 200);
  Step(10);
  Step(7);
  EXPECT_EQ(even.x, 698.0f);
  EXPECT_EQ(even.y, 301.0f);
  EXPECT_EQ(odd.x, 659.0f);
  EXPECT_EQ(odd.y, 299.0f);
}

TEST_F(Behaviours, DroneStrafesBySideParamAndSlot) {
  PlaceHand(20, 20);
  struct {
    int slot, param;
    float dy;
  } cases[] = {{4, 0, 4}, {5, 0, -4}, {4, 1, -4}, {5, 1, -4}, {5, 2, 4}, {4, 7, 4}};
  for (auto c : cases) {
    std::memset(world.EnemyTable, 0, sizeof world.EnemyTable);
    Enemy &d = Put(c.slot, 7, 400, 300, 0, 49, c.param);
    Step(c.slot);
    EXPECT_NEAR(d.y, 300 + c.dy, 1e-4) << "slot " << c.slot << " param " << c.param;
    EXPECT_NEAR(d.x, 400.0f, 1e-4);
    EXPECT_EQ(d.angle, 0.0f);
  }
}

TEST_F(Behaviours, DroneFliesOutAimsAndBacksAwayWithTwoShots) {
  PlaceHand(100, 300);
  Enemy &d = Put(20, 7, 600, 300, 0.5f, 0, 1);
  std::vector<int> shotAges;
  for (int age = 1; age <= 120; ++age) {
    int before = CountLive(0);
    float x = d.x, y = d.y, angle = d.angle;
    Step(20);
    if (CountLive(0) > before) shotAges.push_back(age);
    bool moved = d.x != x || d.y != y;
    bool turned = d.angle != angle;
    bool aiming = (age >= 20 && age < 50) || (age >= 70 && age < 100);
    ASSERT_EQ(moved, !aiming) << "age " << age;
    if (!aiming) {
      ASSERT_FALSE(turned) << "age " << age;
    }
  }
  EXPECT_EQ(shotAges, (std::vector<int>{45, 85}));
}

TEST_F(Behaviours, FighterFiresAtAnAgeSetByItsSlot) {
  PlaceHand(20, 20);
  for (auto [slot, fireAge] : {std::pair{2, 80}, {3, 110}, {4, 95}}) {
    std::memset(world.EnemyTable, 0, sizeof world.EnemyTable);
    Enemy &f = Put(slot, 10, 810, 300);
    int firedAt = 0;
    for (int age = 1; age <= 200; ++age) {
      int before = CountLive(8);
      Step(slot);
      if (CountLive(8) > before) {
        EXPECT_EQ(firedAt, 0) << "fired twice";
        firedAt = age;
      }
    }
    EXPECT_EQ(firedAt, fireAge) << "slot " << slot;
    EXPECT_EQ(f.x, 410.0f);
    EXPECT_EQ(f.y, slot % 2 ? 200.0f : 400.0f);
  }
}

TEST_F(Behaviours, FirstBossTracksTheHandTwoPixelsAtATime) {
  Enemy &boss = Put(0, 11, 700, 300, 0, 100);   // the next update is phase 101
  PlaceHand(100, 301.5f);
  Step(0);
  EXPECT_EQ(boss.y, 300.0f);
  boss.age = 100;
  PlaceHand(100, 302.0f);
  Step(0);
  EXPECT_EQ(boss.y, 302.0f);
  // Outside the window it holds still.
  boss.age = 99;
  PlaceHand(100, 500.0f);
  Step(0);
  EXPECT_EQ(boss.y, 302.0f);
  EXPECT_EQ(boss.x, 700.0f);
}

TEST_F(Behaviours, FirstBossBulletDrawsHeadingFirstThenHeight) {
  PlaceHand(100, 300);
  Enemy &boss = Put(0, 11, 700, 300, 0, 140);   // phase 141, odd: fires
  world.randomSeed = 777;
  int a = Random(world) % 7 - 3;
  int b = Random(world) % 81 - 40;
  world.randomSeed = 777;
  Step(0);
  const Enemy &shot = world.EnemyTable[1];
  ASSERT_EQ(shot.type, 9);
  EXPECT_EQ(shot.angle, static_cast<float>(a) * 0.017453289f);
  EXPECT_EQ(shot.y, boss.y + b * 0.5f);
  EXPECT_EQ(shot.x, 700.0f);
}

TEST_F(Behaviours, FullTableDropsTheRingBulletsAndNoneAreMadeUpLater) {
  PlaceHand(100, 300);
  Enemy &boss = Put(0, 11, 700, 300, 0, 240);
  for (int i = 1; i < EnemySlots; ++i) Put(i, 13, 400, 300);
  world.randomSeed = 99;
  for (int phase = 241; phase < 290; ++phase) Step(0);
  EXPECT_EQ(CountLive(8), 0);
  // One draw per update was still made.
  world.randomSeed = 99;
  for (int n = 0; n < 49; ++n) Random(world);
  unsigned int afterRing = world.randomSeed;
  world.randomSeed = 99;
  for (int phase = 241; phase < 290; ++phase) {
    boss.age = phase - 1;
    Step(0);
  }
  EXPECT_EQ(world.randomSeed, afterRing);
  // Room again: the rest of the cycle brings no late ring bullets.
  for (int i = 1; i < EnemySlots; ++i) world.EnemyTable[i].hp = 0;
  for (int phase = 290; phase < 300; ++phase) Step(0);
  EXPECT_EQ(CountLive(), 1);
  // With room, the ring adds one bullet per update until the table is full.
  boss.age = 240;
  for (int phase = 241; phase < 261; ++phase) Step(0);
  EXPECT_EQ(CountLive(8), 20);
  for (int phase = 261; phase < 290; ++phase) Step(0);
  EXPECT_EQ(CountLive(8), EnemySlots - 1);
}

TEST_F(Behaviours, FirstBossFansAndReinforcements) {
  PlaceHand(100, 300);
  Enemy &boss = Put(0, 11, 700, 300, 0, 39);
  Step(0);
  ASSERT_EQ(CountLive(1), 6);
  for (int k = 0; k < 6; ++k) EXPECT_EQ(world.EnemyTable[1 + k].angle, static_cast<float>(-75 + 30 * k) * 0.017453289f);
  std::memset(world.EnemyTable + 1, 0, sizeof(Enemy) * (EnemySlots - 1));
  boss.age = 2800;   // 2801: not yet
  Step(0);
  EXPECT_EQ(CountLive(15), 0);
  boss.age = 3000;
  Step(0);
  ASSERT_EQ(CountLive(15), 2);
  EXPECT_EQ(world.EnemyTable[1].x, 810.0f);
  EXPECT_EQ(world.EnemyTable[1].y, 150.0f);
  EXPECT_EQ(world.EnemyTable[2].y, 450.0f);
}

}  // namespace
