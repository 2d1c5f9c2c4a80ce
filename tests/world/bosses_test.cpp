// The later bosses and their company: stop lines and swings, the stage 3 boss's
// charge glow and sound, the final boss's two phases, reinforcements, the fast shot's
// single turn, the fighter's side-step and the gunship's stop line by slot.
#include <algorithm>
#include <cmath>
#include <utility>
#include <vector>
#include "enemy_world.h"

namespace {


class Bosses : public EnemyWorld {
protected:
  void SetUp() override {
    EnemyWorld::SetUp();
    report.soundCount = 0;
  }

  // Frees every slot but the given one: the shots a boss fired are of no interest.
  static void ClearOthers(int keep) {
    for (int i = 0; i < EnemySlots; ++i) {
      if (i != keep) world.EnemyTable[i].hp = 0;
    }
  }
};

TEST_F(Bosses, SecondBossStopsAt699AndSwingsTo601AndBack) {
  PlaceHand(100, 300);
  Enemy &boss = Put(0, 12, 810, 300);
  float low = 1000, high = 0;
  for (int age = 1; age <= 600; ++age) {
    Step(0);
    ClearOthers(0);
    if (age == 36) {
      EXPECT_EQ(boss.x, 702.0f);
    }
    if (age == 37 || age == 170 || age == 299 || age == 470) {
      EXPECT_EQ(boss.x, 699.0f) << age;
    }
    if (age == 219 || age == 250 || age == 519) {
      EXPECT_EQ(boss.x, 601.0f) << age;
    }
    if (age >= 37) {
      low = std::min(low, boss.x);
      high = std::max(high, boss.x);
    }
  }
  EXPECT_EQ(low, 601.0f);
  EXPECT_EQ(high, 699.0f);
}

TEST_F(Bosses, StopLinesOfTheStage3BossFinalBossAndGunships) {
  PlaceHand(100, 300);
  Enemy &third = Put(0, 13, 810, 300);
  for (int age = 1; age <= 200; ++age) {
    Step(0);
    ClearOthers(0);
    if (age == 154) {
      EXPECT_EQ(third.x, 502.0f);
    }
  }
  EXPECT_EQ(third.x, 500.0f);

  std::memset(world.EnemyTable, 0, sizeof world.EnemyTable);
  Enemy &last = Put(0, 17, 810, 300);
  for (int age = 1; age <= 55; ++age) Step(0);
  EXPECT_EQ(last.x, 700.0f);
  Step(0);
  EXPECT_EQ(last.x, 700.0f);

  for (auto [slot, line] : {std::pair{0, 698.0f}, {4, 690.0f}, {8, 678.0f}}) {
    std::memset(world.EnemyTable, 0, sizeof world.EnemyTable);
    Enemy &gunship = Put(slot, 16, 810, 300);
    for (int age = 1; age <= 200; ++age) Step(slot);
    EXPECT_EQ(gunship.x, line) << "slot " << slot;
    EXPECT_EQ(gunship.y, 300.0f);
  }
}

TEST_F(Bosses, GunshipDriftsOutAfterAge210) {
  PlaceHand(100, 300);
  Enemy &odd = Put(5, 16, 680, 300, 0, 210);
  Enemy &even = Put(6, 16, 700, 300, 0, 210);
  Step(5);
  Step(6);
  EXPECT_EQ(odd.x, 681.0f);
  EXPECT_EQ(odd.y, 299.0f);
  EXPECT_EQ(even.x, 701.0f);
  EXPECT_EQ(even.y, 301.0f);
  // age 211 is 1 mod 30: one straight type-9 shot each.
  EXPECT_EQ(CountLive(9), 2);
}

TEST_F(Bosses, ChargeGlowShrinksAndTheChargeSoundPlaysOncePerGlow) {
  PlaceHand(100, 300);
  Enemy &boss = Put(0, 13, 500, 300);
  std::vector<int> glowSizes;
  std::vector<int> soundAges;
  for (int age = 1; age <= 300; ++age) {
    std::memset(world.ParticleTable, 0, sizeof world.ParticleTable);
    int heard = report.soundCount;
    Step(0);
    ClearOthers(0);
    for (const Particle &p : world.ParticleTable) {
      if (p.life == 0) continue;
      EXPECT_EQ(p.life, 1);
      EXPECT_EQ(p.alpha, 120);
      EXPECT_EQ(p.sprite, 6);
      EXPECT_EQ(p.x, boss.x);
      glowSizes.push_back(static_cast<int>(p.size));
    }
    if (report.soundCount > heard) soundAges.push_back(age);
  }
  std::vector<int> oneGlow = {108, 96, 84, 72, 60, 48, 36, 24, 12};
  std::vector<int> both = oneGlow;
  both.insert(both.end(), oneGlow.begin(), oneGlow.end());
  EXPECT_EQ(glowSizes, both);
  EXPECT_EQ(soundAges, (std::vector<int>{51, 181}));
  EXPECT_EQ(Heard(), (std::vector<std::pair<int, int>>{{5, 85}, {5, 85}}));
}

TEST_F(Bosses, ThirdBossVolleysAreAimedAndRingsAreAbsolute) {
  PlaceHand(100, 300);
  Enemy &boss = Put(0, 13, 500, 300, 0.25f, 59);
  Step(0);   // a = 60: five aimed shots, 20 degrees apart around the hand
  ASSERT_EQ(CountLive(9), 5);
  float aim = AngleTo(100 - 500, 0) + 1.570796f;
  for (int k = 0; k < 5; ++k) {
    EXPECT_EQ(world.EnemyTable[1 + k].angle, aim + static_cast<float>(k * 20 - 40) * 0.017453289f) << k;
  }
  ClearOthers(0);
  boss.age = 289;
  Step(0);   // a = 290: twelve slow bullets at 15, 45, ... degrees, whatever the heading
  ASSERT_EQ(CountLive(8), 12);
  for (int k = 0; k < 12; ++k) {
    EXPECT_EQ(world.EnemyTable[1 + k].angle, static_cast<float>(k * 30) * 0.017453289f + 0.26179934f) << k;
  }
}

TEST_F(Bosses, FinalBossSwitchesToItsSecondPhaseAt14HitPoints) {
  PlaceHand(100, 300);
  // a = 40 in phase 1 is a fan of eight heavy missiles; phase 2 has nothing then.
  Enemy &boss = Put(0, 17, 700, 300, 0, 39);
  boss.hp = 15;
  Step(0);
  EXPECT_EQ(CountLive(2), 8);
  EXPECT_EQ(CountParticles(), 0);
  ClearOthers(0);
  boss.age = 39;
  boss.hp = 14;
  Step(0);
  EXPECT_EQ(CountLive(), 1);
  // Phase 2 smokes on every update with age mod 10 = 1, and only then.
  std::memset(world.ParticleTable, 0, sizeof world.ParticleTable);
  int smokes = 0;
  for (int age = 41; age <= 100; ++age) {
    int before = CountParticles();
    Step(0);
    ClearOthers(0);
    int added = CountParticles() - before;
    EXPECT_EQ(added, age % 10 == 1 ? 1 : 0) << age;
    smokes += added;
  }
  EXPECT_EQ(smokes, 6);
  const Particle &smoke = world.ParticleTable[0];
  EXPECT_EQ(smoke.sprite, 5);
  EXPECT_EQ(smoke.life, -1);
  EXPECT_EQ(smoke.vy, -0.8f);
  // Back above 14 (as a test can set it), phase 1 is chosen again.
  boss.hp = 15;
  boss.age = 339;
  Step(0);
  EXPECT_EQ(CountLive(2), 8);
}

TEST_F(Bosses, ReinforcementsComeAfter3000UpdatesOrAfter5000ForTheFinalBoss) {
  PlaceHand(100, 300);
  struct {
    int type, quietAge, callAge, reinforcement;
  } cases[] = {{12, 2801, 3001, 15}, {13, 2801, 3401, 15}, {17, 4901, 5251, 6}};
  for (auto c : cases) {
    std::memset(world.EnemyTable, 0, sizeof world.EnemyTable);
    Enemy &boss = Put(0, c.type, 600, 300, 0, c.quietAge - 1);
    Step(0);
    EXPECT_EQ(CountLive(c.reinforcement), 0) << c.type;
    ClearOthers(0);
    boss.age = c.callAge - 1;
    Step(0);
    ASSERT_EQ(CountLive(c.reinforcement), 2) << c.type;
    EXPECT_EQ(world.EnemyTable[1].x, 810.0f);
    EXPECT_EQ(world.EnemyTable[1].y, 150.0f);
    EXPECT_EQ(world.EnemyTable[2].y, 450.0f);
    EXPECT_EQ(world.EnemyTable[1].angle, 0.0f);
  }
}

TEST_F(Bosses, FastShotTurnsTowardTheHandOnceAtAge20) {
  PlaceHand(100, 500);
  Enemy &shot = Put(0, 14, 600, 300);
  for (int age = 1; age <= 20; ++age) Step(0);
  EXPECT_EQ(shot.x, 360.0f);
  EXPECT_EQ(shot.angle, AngleTo(100 - 360, 500 - 300) + 1.570796f);
  EXPECT_EQ(CountParticles(), 1);
  EXPECT_EQ(world.ParticleTable[0].life, 2);
  float turned = shot.angle;
  PlaceHand(700, 50);
  for (int age = 21; age <= 25; ++age) Step(0);
  EXPECT_EQ(shot.angle, turned);
}

TEST_F(Bosses, FighterSideStepsByParamAndSlotThenRetreats) {
  PlaceHand(100, 300);
  struct {
    int slot, param;
    float dy;
  } cases[] = {{3, 0, -4}, {4, 0, 4}, {4, 1, -4}, {3, 2, 4}, {3, 9, 4}};
  for (auto c : cases) {
    std::memset(world.EnemyTable, 0, sizeof world.EnemyTable);
    Enemy &f = Put(c.slot, 15, 500, 300, 0, 59, c.param);
    Step(c.slot);
    EXPECT_NEAR(f.y, 300 + c.dy, 1e-4) << "slot " << c.slot << " param " << c.param;
  }
  // Shots at 50, 58, 100 and 108; from 110 on it backs away to the right.
  std::memset(world.EnemyTable, 0, sizeof world.EnemyTable);
  Enemy &f = Put(10, 15, 810, 300);
  std::vector<int> shotAges;
  for (int age = 1; age <= 130; ++age) {
    int before = CountLive(9);
    Step(10);
    if (CountLive(9) > before) shotAges.push_back(age);
  }
  EXPECT_EQ(shotAges, (std::vector<int>{50, 58, 100, 108}));
  float x = f.x;
  Step(10);
  EXPECT_GT(f.x, x + 3.5f);
}

TEST_F(Bosses, SecondBossDrawsItsAimedSpreadOncePerThirdUpdate) {
  PlaceHand(100, 300);
  Enemy &boss = Put(0, 12, 699, 300, 0, 60);
  world.randomSeed = 4242;
  std::vector<int> expected;
  for (int age = 61; age < 120; ++age) {
    if (age % 3 == 1) expected.push_back(Random(world) % 11 - 5);
  }
  world.randomSeed = 4242;
  std::vector<int> got;
  for (int age = 61; age < 120; ++age) {
    Step(0);
    for (int i = 1; i < EnemySlots; ++i) {
      if (world.EnemyTable[i].hp <= 0) continue;
      float aim = AngleTo(100 - boss.x, 300 - boss.y) + 1.570796f;
      float n = (world.EnemyTable[i].angle - aim) / 0.017453289f;
      got.push_back(static_cast<int>(std::lround(n)));
      world.EnemyTable[i].hp = 0;
    }
  }
  EXPECT_EQ(got, expected);
  EXPECT_EQ(got.size(), 20u);
}

}  // namespace
