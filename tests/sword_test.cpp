// The sword hand: mouse smoothing, edges, the blade triangle and its trail, the power
// gauge and its costs, the slow motion with its sparks, and the hand's flashes and glow.
#include <gtest/gtest.h>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <utility>
#include <vector>
#include "app/game.h"
#include "platform/headless.h"
#include "platform/platform.h"
#include "sound/sound.h"
#include "world/world.h"

namespace {

std::vector<std::pair<int, int>> sounds;
void RecordSound(int id, int level) { sounds.emplace_back(id, level); }

class Sword : public ::testing::Test {
protected:
  static void SetUpTestSuite() { HeadlessEnable(); }

  void SetUp() override {
    std::memset(ParticleTable, 0, sizeof ParticleTable);
    std::memset(EffectTable, 0, sizeof EffectTable);
    std::memset(&Player, 0, sizeof Player);
    Player.x = 400;
    Player.y = 300;
    Player.shield = 3;
    Player.power = 400;
    for (SwordTriangle &t : Player.trail) t = {{400, 300}, {400, 300}, {400, 300}};
    std::memset(keyCur, 0, sizeof keyCur);
    slowMotion = 0;
    frameCounter = 2;
    SetCursorPos(400, 300);
    sounds.clear();
    soundPlayObserver = RecordSound;
    srand(4242);
  }
  void TearDown() override { soundPlayObserver = nullptr; }

  static void Hold(int button, bool held = true) { keyCur[button] = held ? 0x80 : 0; }
  static void Step(int dx = 0, int dy = 0) {
    HeadlessMoveMouse(dx, dy);
    UpdateSword();
  }
  static std::vector<const Particle *> LiveParticles() {
    std::vector<const Particle *> out;
    for (const Particle &p : ParticleTable)
      if (p.life != 0) out.push_back(&p);
    return out;
  }
  static int LiveSparks() {
    int n = 0;
    for (const Effect &e : EffectTable) n += e.alpha != 0;
    return n;
  }
};

TEST_F(Sword, OneMouseStepIsSmoothedIntoAHalvingGlide) {
  Step(20, 0);
  EXPECT_EQ(Player.vx, 10.0f);
  EXPECT_EQ(Player.x, 410.0f);
  POINT cursor;
  GetCursorPos(&cursor);
  EXPECT_EQ(cursor.x, 400);
  EXPECT_EQ(cursor.y, 300);
  float expected = 410;
  float step = 10;
  for (int i = 0; i < 20; ++i) {
    Step();
    step *= 0.5f;
    expected += step;
    EXPECT_EQ(Player.vx, step) << i;
    EXPECT_EQ(Player.x, expected) << i;
  }
  EXPECT_NEAR(Player.x, 420.0f, 1e-3);
  EXPECT_EQ(Player.y, 300.0f);
  EXPECT_EQ(Player.vy, 0.0f);
}

TEST_F(Sword, EdgesStopTheHandButKeepItsVelocity) {
  Player.x = 780;
  Player.y = 20;
  Step(40, -40);   // velocity (20, -20): x 800 -> 790, y 0 -> 10
  EXPECT_EQ(Player.x, 790.0f);
  EXPECT_EQ(Player.y, 10.0f);
  EXPECT_EQ(Player.vx, 20.0f);
  EXPECT_EQ(Player.vy, -20.0f);
  Step(40, -40);
  EXPECT_EQ(Player.x, 790.0f);
  EXPECT_EQ(Player.y, 10.0f);
  EXPECT_EQ(Player.vx, 30.0f);
  // The hand is fast though it stands: flashes keep appearing at the edge.
  auto flashes = LiveParticles();
  ASSERT_EQ(flashes.size(), 2u);
  EXPECT_EQ(flashes[0]->x, 780.0f);
  EXPECT_EQ(flashes[0]->y, 20.0f);
  EXPECT_EQ(flashes[1]->x, 790.0f);
  EXPECT_EQ(flashes[1]->y, 10.0f);
  for (const Particle *p : flashes)
    EXPECT_TRUE(p->size == 40.0f && p->alpha == 180 && p->alphaStep == -40 && p->life == -1 && p->sprite == 0);
  EXPECT_EQ(Player.power, 400);

  SetUp();
  Player.x = 15;
  Player.y = 580;
  Step(-30, 30);
  EXPECT_EQ(Player.x, 10.0f);
  EXPECT_EQ(Player.y, 590.0f);
  EXPECT_EQ(Player.vx, -15.0f);
  EXPECT_EQ(Player.vy, 15.0f);
}

TEST_F(Sword, TheBladeReachesSevenTimesTheMoveAhead) {
  Hold(VK_LBUTTON);
  // First update of the swing: the previous tip is the hand, so the blade is flat.
  Step(20, 0);
  const SwordTriangle &blade = Player.trail[0];
  EXPECT_EQ(blade.base.x, 400.0f);
  EXPECT_EQ(blade.base.y, 300.0f);
  EXPECT_EQ(blade.previousTip.x, 400.0f);
  EXPECT_EQ(blade.previousTip.y, 300.0f);
  EXPECT_EQ(blade.tip.x, 480.0f);
  EXPECT_EQ(blade.tip.y, 300.0f);
  EXPECT_EQ(Player.power, 398);
  // Second update: the hand goes on from 410 to 425 downward-right.
  Step(20, 30);
  EXPECT_EQ(blade.base.x, 410.0f);
  EXPECT_EQ(blade.previousTip.x, 480.0f);
  EXPECT_EQ(blade.previousTip.y, 300.0f);
  EXPECT_EQ(Player.x, 425.0f);
  EXPECT_EQ(Player.y, 315.0f);
  EXPECT_EQ(blade.tip.x, 425.0f + 15 * 7);
  EXPECT_EQ(blade.tip.y, 315.0f + 15 * 7);
  EXPECT_EQ(Player.power, 396);
  // The older blades move down the trail, newest first.
  EXPECT_EQ(Player.trail[1].tip.x, 480.0f);
  EXPECT_EQ(Player.trail[2].tip.x, 400.0f);

  // Releasing the button leaves a blade of one point at the hand.
  Hold(VK_LBUTTON, false);
  Step();
  EXPECT_EQ(blade.base.x, Player.x);
  EXPECT_EQ(blade.previousTip.x, Player.x);
  EXPECT_EQ(blade.tip.x, Player.x);
  EXPECT_EQ(blade.tip.y, Player.y);
  EXPECT_EQ(Player.trail[1].tip.x, 530.0f);
}

TEST_F(Sword, TheTrailKeepsEightBladesOldestDroppedFirst) {
  Hold(VK_LBUTTON);
  for (int i = 0; i < 10; ++i) Step(2, 0);
  // Every blade is newer than the one behind it, further to the right.
  for (int i = 0; i < 7; ++i) EXPECT_GT(Player.trail[i].base.x, Player.trail[i + 1].base.x) << i;
  for (int i = 0; i < 7; ++i) EXPECT_EQ(Player.trail[i].previousTip.x, Player.trail[i + 1].tip.x) << i;
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
    slowMotion = 1;
    Player.power = static_cast<int16_t>(c.power);
    Hold(VK_LBUTTON, c.left);
    Hold(VK_RBUTTON, c.right);
    Step(4, 0);  // a slow move: no flash, and no recharge with a button held
    const SwordTriangle &blade = Player.trail[0];
    bool hasBlade = !(blade.base.x == blade.tip.x && blade.base.y == blade.tip.y);
    EXPECT_EQ(Player.power, c.after) << c.left << c.right << " " << c.power;
    EXPECT_EQ(hasBlade, c.blade) << c.left << c.right << " " << c.power;
    EXPECT_EQ(slowMotion, c.slow ? 1 : 0) << c.left << c.right << " " << c.power;
    EXPECT_EQ(LiveSparks(), c.slow ? 2 : 0);
    EXPECT_TRUE(LiveParticles().empty());
  }
}

TEST_F(Sword, RechargeByFourAtRestAndByOneWhileMoving) {
  Player.power = 390;
  Step();
  EXPECT_EQ(Player.power, 394);
  auto glow = LiveParticles();
  ASSERT_EQ(glow.size(), 1u);
  EXPECT_EQ(glow[0]->size, 55.0f);  // 394 % 3 = 1
  EXPECT_TRUE(glow[0]->alpha == 120 && glow[0]->alphaStep == 0 && glow[0]->life == 1 && glow[0]->sprite == 6);
  EXPECT_EQ(glow[0]->x, 400.0f);
  UpdateParticles();  // a one-update glow
  EXPECT_TRUE(LiveParticles().empty());

  Step();
  EXPECT_EQ(Player.power, 398);
  UpdateParticles();
  Step();  // 402 does not fit: the gauge is full and the hand stops glowing
  EXPECT_EQ(Player.power, 400);
  EXPECT_TRUE(LiveParticles().empty());

  SetUp();
  Player.power = 398;
  Step(2, 0);  // moved, slowly: one point
  EXPECT_EQ(Player.power, 399);
  glow = LiveParticles();
  ASSERT_EQ(glow.size(), 1u);
  EXPECT_EQ(glow[0]->size, 35.0f);  // 399 % 3 = 0
  EXPECT_EQ(glow[0]->alpha, 80);
  EXPECT_EQ(glow[0]->x, 400.0f);  // at the old position
  UpdateParticles();
  Step(0, 2);  // exactly full still glows
  EXPECT_EQ(Player.power, 400);
  ASSERT_EQ(LiveParticles().size(), 1u);
  EXPECT_EQ(LiveParticles()[0]->size, 43.0f);
  UpdateParticles();
  Step(0, 2);
  EXPECT_EQ(Player.power, 400);
  EXPECT_TRUE(LiveParticles().empty());

  // The glow pulses: 45, 55, 65 as the gauge climbs by four.
  SetUp();
  Player.power = 100;
  std::vector<float> sizes;
  for (int i = 0; i < 3; ++i) {
    Step();
    sizes.push_back(LiveParticles().at(0)->size);
    UpdateParticles();
  }
  EXPECT_EQ(sizes, (std::vector<float>{65, 45, 55}));  // 104, 108, 112
}

TEST_F(Sword, SpeedsOfExactlyFifteenAndTwenty) {
  // Fifteen is not fast: no flash, and the moving hand recharges.
  Player.power = 300;
  Step(30, 0);
  EXPECT_EQ(Player.vx, 15.0f);
  EXPECT_EQ(Player.power, 301);
  ASSERT_EQ(LiveParticles().size(), 1u);
  EXPECT_EQ(LiveParticles()[0]->sprite, 6);

  // Twenty swings silently; anything faster whooshes, every update.
  SetUp();
  Hold(VK_LBUTTON);
  Step(40, 0);
  EXPECT_EQ(Player.vx, 20.0f);
  EXPECT_TRUE(sounds.empty());
  ASSERT_EQ(LiveParticles().size(), 1u);
  EXPECT_EQ(LiveParticles()[0]->sprite, 0);  // but it is fast enough to flash
  Step(21, 0);  // 10 + 10.5
  EXPECT_EQ(Player.vx, 20.5f);
  Step(21, 0);  // 10.25 + 10.5
  EXPECT_EQ(sounds, (std::vector<std::pair<int, int>>{{4, 75}, {4, 75}}));

  // Without the blade there is no swing sound, however fast.
  SetUp();
  Step(100, 0);
  EXPECT_TRUE(sounds.empty());
}

TEST_F(Sword, SlowMotionSparksFlyBackAlongThePathAndBeepOnOddFrames) {
  Hold(VK_RBUTTON);
  srand(99);
  int draws[4];
  for (int &r : draws) r = rand();
  srand(99);
  frameCounter = 7;
  Step(12, -8);  // the hand moves by (6, -4)
  EXPECT_EQ(slowMotion, 1);
  EXPECT_EQ(sounds, (std::vector<std::pair<int, int>>{{6, 65}}));
  for (int i = 0; i < 2; ++i) {
    const Effect &e = EffectTable[i];
    // The vertical draw comes first.
    EXPECT_FLOAT_EQ(e.vy, static_cast<float>(2 + (draws[2 * i] % 81 - 40) * 0.2)) << i;
    EXPECT_FLOAT_EQ(e.vx, static_cast<float>(-3 + (draws[2 * i + 1] % 81 - 40) * 0.2)) << i;
    EXPECT_TRUE(std::fabs(e.vx + 3) <= 8.0f && std::fabs(e.vy - 2) <= 8.0f);
    EXPECT_TRUE(e.x0 == 400.0f && e.y0 == 300.0f && e.ay == 0.4f && e.alpha == 255 && e.alphaStep == -20);
    EXPECT_TRUE(e.red == 50 && e.green == 200 && e.blue == 255);
  }
  sounds.clear();
  frameCounter = 10;
  Step();
  EXPECT_TRUE(sounds.empty());
  EXPECT_EQ(Player.power, 390);
  Hold(VK_RBUTTON, false);
  Step();
  EXPECT_EQ(slowMotion, 0);
}

}  // namespace
