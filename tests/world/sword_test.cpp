// The sword hand: mouse smoothing, edges, the blade triangle and its trail, the power
// gauge and its costs, the slow motion with its sparks, and the hand's flashes and glow.
#include <gtest/gtest.h>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <utility>
#include <vector>
#include "test_world.h"
#include "world/world.h"

namespace {

class Sword : public ::testing::Test {
protected:
  void SetUp() override {
    std::memset(world.ParticleTable, 0, sizeof world.ParticleTable);
    std::memset(world.EffectTable, 0, sizeof world.EffectTable);
    std::memset(&world.Player, 0, sizeof world.Player);
    world.Player.x = 400;
    world.Player.y = 300;
    world.Player.shield = 3;
    world.Player.power = 400;
    for (SwordTriangle &t : world.Player.trail) t = {{400, 300}, {400, 300}, {400, 300}};
    world.keysHeld = HeldKeys{};
    world.slowMotion = 0;
    world.frameCounter = 2;
    world.pendingDx = world.pendingDy = 0;
    report.soundCount = 0;
    world.randomSeed = 4242;
  }

  enum Button { Left, Right };
  static void Hold(Button button, bool held = true) { (button == Left ? world.keysHeld.left : world.keysHeld.right) = held; }
  static void Step(int dx = 0, int dy = 0) {
    world.pendingDx += dx;
    world.pendingDy += dy;
    UpdateSword(world, report);
  }
  static std::vector<const Particle *> LiveParticles() {
    std::vector<const Particle *> out;
    for (const Particle &p : world.ParticleTable)
      if (p.life != 0) out.push_back(&p);
    return out;
  }
  static int LiveSparks() {
    int n = 0;
    for (const Effect &e : world.EffectTable) n += e.alpha != 0;
    return n;
  }
};

TEST_F(Sword, OneMouseStepIsSmoothedIntoAHalvingGlide) {
  Step(20, 0);
  EXPECT_EQ(world.Player.vx, 10.0f);
  EXPECT_EQ(world.Player.x, 410.0f);
  // The hand took all the motion.
  EXPECT_EQ(world.pendingDx, 0);
  EXPECT_EQ(world.pendingDy, 0);
  float expected = 410;
  float step = 10;
  for (int i = 0; i < 20; ++i) {
    Step();
    step *= 0.5f;
    expected += step;
    EXPECT_EQ(world.Player.vx, step) << i;
    EXPECT_EQ(world.Player.x, expected) << i;
  }
  EXPECT_NEAR(world.Player.x, 420.0f, 1e-3);
  EXPECT_EQ(world.Player.y, 300.0f);
  EXPECT_EQ(world.Player.vy, 0.0f);
}

TEST_F(Sword, EdgesStopTheHandButKeepItsVelocity) {
  world.Player.x = 780;
  world.Player.y = 20;
  Step(40, -40);   // velocity (20, -20): x 800 -> 790, y 0 -> 10
  EXPECT_EQ(world.Player.x, 790.0f);
  EXPECT_EQ(world.Player.y, 10.0f);
  EXPECT_EQ(world.Player.vx, 20.0f);
  EXPECT_EQ(world.Player.vy, -20.0f);
  Step(40, -40);
  EXPECT_EQ(world.Player.x, 790.0f);
  EXPECT_EQ(world.Player.y, 10.0f);
  EXPECT_EQ(world.Player.vx, 30.0f);
  // The hand is fast though it stands: flashes keep appearing at the edge.
  auto flashes = LiveParticles();
  ASSERT_EQ(flashes.size(), 2u);
  EXPECT_EQ(flashes[0]->x, 780.0f);
  EXPECT_EQ(flashes[0]->y, 20.0f);
  EXPECT_EQ(flashes[1]->x, 790.0f);
  EXPECT_EQ(flashes[1]->y, 10.0f);
  for (const Particle *p : flashes)
    EXPECT_TRUE(p->size == 40.0f && p->alpha == 180 && p->alphaStep == -40 && p->life == -1 && p->sprite == 0);
  EXPECT_EQ(world.Player.power, 400);

  SetUp();
  world.Player.x = 15;
  world.Player.y = 580;
  Step(-30, 30);
  EXPECT_EQ(world.Player.x, 10.0f);
  EXPECT_EQ(world.Player.y, 590.0f);
  EXPECT_EQ(world.Player.vx, -15.0f);
  EXPECT_EQ(world.Player.vy, 15.0f);
}

TEST_F(Sword, TheBladeReachesSevenTimesTheMoveAhead) {
  Hold(Left);
  // First update of the swing: the previous tip is the hand, so the blade is flat.
  Step(20, 0);
  const SwordTriangle &blade = world.Player.trail[0];
  EXPECT_EQ(blade.base.x, 400.0f);
  EXPECT_EQ(blade.base.y, 300.0f);
  EXPECT_EQ(blade.previousTip.x, 400.0f);
  EXPECT_EQ(blade.previousTip.y, 300.0f);
  EXPECT_EQ(blade.tip.x, 480.0f);
  EXPECT_EQ(blade.tip.y, 300.0f);
  EXPECT_EQ(world.Player.power, 398);
  // Second update: the hand goes on from 410 to 425 downward-right.
  Step(20, 30);
  EXPECT_EQ(blade.base.x, 410.0f);
  EXPECT_EQ(blade.previousTip.x, 480.0f);
  EXPECT_EQ(blade.previousTip.y, 300.0f);
  EXPECT_EQ(world.Player.x, 425.0f);
  EXPECT_EQ(world.Player.y, 315.0f);
  EXPECT_EQ(blade.tip.x, 425.0f + 15 * 7);
  EXPECT_EQ(blade.tip.y, 315.0f + 15 * 7);
  EXPECT_EQ(world.Player.power, 396);
  // The older blades move down the trail, newest first.
  EXPECT_EQ(world.Player.trail[1].tip.x, 480.0f);
  EXPECT_EQ(world.Player.trail[2].tip.x, 400.0f);

  // Releasing the button leaves a blade of one point at the hand.
  Hold(Left, false);
  Step();
  EXPECT_EQ(blade.base.x, world.Player.x);
  EXPECT_EQ(blade.previousTip.x, world.Player.x);
  EXPECT_EQ(blade.tip.x, world.Player.x);
  EXPECT_EQ(blade.tip.y, world.Player.y);
  EXPECT_EQ(world.Player.trail[1].tip.x, 530.0f);
}

TEST_F(Sword, TheTrailKeepsEightBladesOldestDroppedFirst) {
  Hold(Left);
  for (int i = 0; i < 10; ++i) Step(2, 0);
  // Every blade is newer than the one behind it, further to the right.
  for (int i = 0; i < 7; ++i) EXPECT_GT(world.Player.trail[i].base.x, world.Player.trail[i + 1].base.x) << i;
  for (int i = 0; i < 7; ++i) EXPECT_EQ(world.Player.trail[i].previousTip.x, world.Player.trail[i + 1].tip.x) << i;
}

TEST_F(Sword, PowerCostsOfTheBladeAndTheSlowMotion) {
  struct Case {
    bool left, right;
    int power;
    int after;
    bool blade, slow;
  } cases[] = {
      {true, false, 400, 398, true, false}, {false, true, 400, 395, false, true}, {true, true, 400, 393, true, true},
      {true, true, 6, 4, true, false},      {true, true, 7, 0, true, true},       {true, false, 1, 1, false, false},
      {false, true, 4, 4, false, false},    {true, false, 2, 0, true, false},
  };
  for (const Case &c : cases) {
    SetUp();
    world.slowMotion = 1;
    world.Player.power = static_cast<int16_t>(c.power);
    Hold(Left, c.left);
    Hold(Right, c.right);
    Step(4, 0);  // a slow move: no flash, and no recharge with a button held
    const SwordTriangle &blade = world.Player.trail[0];
    bool hasBlade = !(blade.base.x == blade.tip.x && blade.base.y == blade.tip.y);
    EXPECT_EQ(world.Player.power, c.after) << c.left << c.right << " " << c.power;
    EXPECT_EQ(hasBlade, c.blade) << c.left << c.right << " " << c.power;
    EXPECT_EQ(world.slowMotion, c.slow ? 1 : 0) << c.left << c.right << " " << c.power;
    EXPECT_EQ(LiveSparks(), c.slow ? 2 : 0);
    EXPECT_TRUE(LiveParticles().empty());
  }
}

TEST_F(Sword, RechargeByFourAtRestAndByOneWhileMoving) {
  world.Player.power = 390;
  Step();
  EXPECT_EQ(world.Player.power, 394);
  auto glow = LiveParticles();
  ASSERT_EQ(glow.size(), 1u);
  EXPECT_EQ(glow[0]->size, 55.0f);  // 394 % 3 = 1
  EXPECT_TRUE(glow[0]->alpha == 120 && glow[0]->alphaStep == 0 && glow[0]->life == 1 && glow[0]->sprite == 6);
  EXPECT_EQ(glow[0]->x, 400.0f);
  UpdateParticles(world);  // a one-update glow
  EXPECT_TRUE(LiveParticles().empty());

  Step();
  EXPECT_EQ(world.Player.power, 398);
  UpdateParticles(world);
  Step();  // 402 does not fit: the gauge is full and the hand stops glowing
  EXPECT_EQ(world.Player.power, 400);
  EXPECT_TRUE(LiveParticles().empty());

  SetUp();
  world.Player.power = 398;
  Step(2, 0);  // moved, slowly: one point
  EXPECT_EQ(world.Player.power, 399);
  glow = LiveParticles();
  ASSERT_EQ(glow.size(), 1u);
  EXPECT_EQ(glow[0]->size, 35.0f);  // 399 % 3 = 0
  EXPECT_EQ(glow[0]->alpha, 80);
  EXPECT_EQ(glow[0]->x, 400.0f);  // at the old position
  UpdateParticles(world);
  Step(0, 2);  // exactly full still glows
  EXPECT_EQ(world.Player.power, 400);
  ASSERT_EQ(LiveParticles().size(), 1u);
  EXPECT_EQ(LiveParticles()[0]->size, 43.0f);
  UpdateParticles(world);
  Step(0, 2);
  EXPECT_EQ(world.Player.power, 400);
  EXPECT_TRUE(LiveParticles().empty());

  // The glow pulses: 45, 55, 65 as the gauge climbs by four.
  SetUp();
  world.Player.power = 100;
  std::vector<float> sizes;
  for (int i = 0; i < 3; ++i) {
    Step();
    sizes.push_back(LiveParticles().at(0)->size);
    UpdateParticles(world);
  }
  EXPECT_EQ(sizes, (std::vector<float>{65, 45, 55}));  // 104, 108, 112
}

TEST_F(Sword, SpeedsOfExactlyFifteenAndTwenty) {
  // Fifteen is not fast: no flash, and the moving hand recharges.
  world.Player.power = 300;
  Step(30, 0);
  EXPECT_EQ(world.Player.vx, 15.0f);
  EXPECT_EQ(world.Player.power, 301);
  ASSERT_EQ(LiveParticles().size(), 1u);
  EXPECT_EQ(LiveParticles()[0]->sprite, 6);

  // Twenty swings silently; anything faster whooshes, every update.
  SetUp();
  Hold(Left);
  Step(40, 0);
  EXPECT_EQ(world.Player.vx, 20.0f);
  EXPECT_TRUE(Heard().empty());
  ASSERT_EQ(LiveParticles().size(), 1u);
  EXPECT_EQ(LiveParticles()[0]->sprite, 0);  // but it is fast enough to flash
  Step(21, 0);  // 10 + 10.5
  EXPECT_EQ(world.Player.vx, 20.5f);
  Step(21, 0);  // 10.25 + 10.5
  EXPECT_EQ(Heard(), (std::vector<std::pair<int, int>>{{4, 75}, {4, 75}}));

  // Without the blade there is no swing sound, however fast.
  SetUp();
  Step(100, 0);
  EXPECT_TRUE(Heard().empty());
}

TEST_F(Sword, SlowMotionSparksFlyBackAlongThePathAndBeepOnOddFrames) {
  Hold(Right);
  world.randomSeed = 99;
  int draws[4];
  for (int &r : draws) r = Random(world);
  world.randomSeed = 99;
  world.frameCounter = 7;
  Step(12, -8);  // the hand moves by (6, -4)
  EXPECT_EQ(world.slowMotion, 1);
  EXPECT_EQ(Heard(), (std::vector<std::pair<int, int>>{{6, 65}}));
  for (int i = 0; i < 2; ++i) {
    const Effect &e = world.EffectTable[i];
    // The vertical draw comes first.
    EXPECT_FLOAT_EQ(e.vy, static_cast<float>(2 + (draws[2 * i] % 81 - 40) * 0.2)) << i;
    EXPECT_FLOAT_EQ(e.vx, static_cast<float>(-3 + (draws[2 * i + 1] % 81 - 40) * 0.2)) << i;
    EXPECT_TRUE(std::fabs(e.vx + 3) <= 8.0f && std::fabs(e.vy - 2) <= 8.0f);
    EXPECT_TRUE(e.x0 == 400.0f && e.y0 == 300.0f && e.ay == 0.4f && e.alpha == 255 && e.alphaStep == -20);
    EXPECT_TRUE(e.red == 50 && e.green == 200 && e.blue == 255);
  }
  report.soundCount = 0;
  world.frameCounter = 10;
  Step();
  EXPECT_TRUE(Heard().empty());
  EXPECT_EQ(world.Player.power, 390);
  Hold(Right, false);
  Step();
  EXPECT_EQ(world.slowMotion, 0);
}

}  // namespace
