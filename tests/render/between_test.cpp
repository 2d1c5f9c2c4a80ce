// Pictures between two world updates: which slots are blended and how, the hand's lead,
// and that the moment of one world is exactly the picture of that world.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "app/game.h"
#include "platform/d3d8/d3d8_readback.h"
#include "render/between.h"
#include "render/device.h"
#include "render/scene.h"
#include "world/step.h"
#include "world/world.h"

namespace {

constexpr float Pi = 3.14159265f;

Enemy Ship(float x, float y, float angle, int age, int8_t type = 3) {
  Enemy e{};
  e.x = x;
  e.y = y;
  e.angle = angle;
  e.hp = 5;
  e.type = type;
  e.age = age;
  return e;
}

TEST(Between, AShipMovingStraightIsDrawnHalfwayAtOneHalfAndAtItsEndsExactly) {
  const Enemy before = Ship(300.0f, 200.0f, 0.25f, 7), after = Ship(290.0f, 204.0f, 0.25f, 8);
  const Enemy half = EnemyBetween(before, after, 0.5f);
  EXPECT_FLOAT_EQ(half.x, 295.0f);
  EXPECT_FLOAT_EQ(half.y, 202.0f);
  EXPECT_FLOAT_EQ(half.angle, 0.25f);
  const Enemy start = EnemyBetween(before, after, 0.0f);
  EXPECT_EQ(start.x, before.x);
  EXPECT_EQ(start.y, before.y);
  EXPECT_EQ(start.angle, before.angle);
  const Enemy end = EnemyBetween(before, after, 1.0f);
  EXPECT_EQ(end.x, after.x);
  EXPECT_EQ(end.y, after.y);
  // Out-of-range fractions stay at the ends; one that is not a number draws the previous.
  EXPECT_EQ(EnemyBetween(before, after, 3.0f).x, after.x);
  EXPECT_EQ(EnemyBetween(before, after, -1.0f).x, before.x);
  EXPECT_EQ(EnemyBetween(before, after, std::nanf("")).x, before.x);
  // A quarter of the way is a quarter of the move: even steps for constant motion.
  EXPECT_FLOAT_EQ(EnemyBetween(before, after, 0.25f).x, 297.5f);
}

TEST(Between, ASlotReusedForAnotherThingIsNotBlended) {
  const Enemy old = Ship(50.0f, 100.0f, 0.0f, 30, 3);
  // Another type in the slot, a new ship of the same type (age 1), a dead one.
  for (const Enemy &fresh : {Ship(700.0f, 400.0f, 1.0f, 31, 4), Ship(700.0f, 400.0f, 1.0f, 1, 3)}) {
    const Enemy drawn = EnemyBetween(old, fresh, 0.5f);
    EXPECT_EQ(drawn.x, 700.0f);
    EXPECT_EQ(drawn.y, 400.0f);
    EXPECT_EQ(drawn.angle, 1.0f);
  }
  Enemy dead = old;
  dead.hp = 0;
  EXPECT_EQ(EnemyBetween(dead, Ship(700.0f, 400.0f, 1.0f, 31, 3), 0.5f).x, 700.0f);
  EXPECT_EQ(EnemyBetween(old, dead, 0.5f).hp, 0);

  // A particle freed and taken again in one update: live in both, same sprite and fade,
  // but not where its velocity would have put it.
  Particle star{};
  star.x = -15.0f;
  star.y = 30.0f;
  star.vx = -8.0f;
  star.alpha = 220;
  star.life = -1;
  star.sprite = 9;
  star.size = 20.0f;
  Particle moved = star;
  moved.x = -23.0f;
  EXPECT_TRUE(SameParticle(star, moved));
  EXPECT_FLOAT_EQ(ParticleBetween(star, moved, 0.5f).x, -19.0f);
  Particle reborn = star;
  reborn.x = 810.0f;
  EXPECT_FALSE(SameParticle(star, reborn));
  EXPECT_EQ(ParticleBetween(star, reborn, 0.5f).x, 810.0f);
  Particle otherSprite = moved;
  otherSprite.sprite = 8;
  EXPECT_FALSE(SameParticle(star, otherSprite));
  // A fading flash: blended only when its fade moved by exactly one step.
  Particle flash = star;
  flash.vx = 0.0f;
  flash.alpha = 180;
  flash.alphaStep = -40;
  Particle faded = flash;
  faded.alpha = 140;
  EXPECT_TRUE(SameParticle(flash, faded));
  EXPECT_EQ(ParticleBetween(flash, faded, 0.5f).alpha, 160);
  faded.alpha = 180;
  EXPECT_FALSE(SameParticle(flash, faded));
}

TEST(Between, SparksBlendTheirWholeTraceOnlyWhenTheyMovedByOneUpdate) {
  World w{};
  StartWorld(w, 1);
  SpawnEffect(w, 100.0f, 100.0f, 10.0f, -4.0f, 0.0f, 0.4f, 255, -20, 50, 200, 255);
  UpdateEffects(w);
  const World before = w;
  UpdateEffects(w);
  const Effect &a = before.EffectTable[0], &b = w.EffectTable[0];
  ASSERT_TRUE(SameEffect(a, b));
  const Effect half = EffectBetween(a, b, 0.5f);
  EXPECT_FLOAT_EQ(half.x0, (a.x0 + b.x0) / 2);
  EXPECT_FLOAT_EQ(half.x1, (a.x1 + b.x1) / 2);
  EXPECT_FLOAT_EQ(half.y2, (a.y2 + b.y2) / 2);
  // Freed and spawned again elsewhere in the same update.
  Effect respawned = b;
  respawned.x1 = respawned.x0 = 500.0f;
  EXPECT_FALSE(SameEffect(a, respawned));
  EXPECT_EQ(EffectBetween(a, respawned, 0.5f).x0, 500.0f);
}

TEST(Between, HeadingsTakeTheShortWayRound) {
  const float from = Pi - 0.05f, to = -Pi + 0.05f;
  const float half = HeadingBetween(from, to, 0.5f);
  // Across the half turn: halfway is at plus or minus pi, not near 0.
  EXPECT_NEAR(std::fabs(half), Pi, 1e-4);
  EXPECT_NEAR(std::remainder(HeadingBetween(from, to, 0.25f) - from, 2 * Pi), 0.025f, 1e-4);
  EXPECT_NEAR(std::remainder(HeadingBetween(to, from, 0.25f) - to, 2 * Pi), -0.025f, 1e-4);
  // An ordinary turn is plain.
  EXPECT_FLOAT_EQ(HeadingBetween(0.5f, 1.0f, 0.5f), 0.75f);
  EXPECT_EQ(HeadingBetween(from, to, 1.0f), to);
  EXPECT_EQ(HeadingBetween(from, to, 0.0f), from);
  // Through a blended ship.
  const Enemy turned = EnemyBetween(Ship(0, 0, from, 2), Ship(0, 0, to, 3), 0.5f);
  EXPECT_NEAR(std::fabs(turned.angle), Pi, 1e-4);
}

TEST(Between, TheHandLeadsByTheUpdatesOwnRuleAndStaysOnTheField) {
  World w{};
  StartWorld(w, 3);
  w.GameState = Playing;
  w.Player.x = 400.0f;
  w.Player.y = 300.0f;
  w.Player.vx = 12.0f;
  w.Player.vy = -6.0f;
  // No time, no motion: the newest hand exactly.
  SwordPoint at = LeadingHand(w, 0.0f, 0.0, 0.0);
  EXPECT_EQ(at.x, 400.0f);
  EXPECT_EQ(at.y, 300.0f);
  // The whole frame with the whole frame's motion is where the update puts the hand.
  World next = w;
  FrameReport report;
  next.pendingDx = 20;
  next.pendingDy = 10;
  UpdateSword(next, report);
  at = LeadingHand(w, 1.0f, 20.0, 10.0);
  EXPECT_FLOAT_EQ(at.x, next.Player.x);
  EXPECT_FLOAT_EQ(at.y, next.Player.y);
  // A steady mouse moves it evenly: halfway at half the time with half the motion.
  at = LeadingHand(w, 0.5f, 10.0, 5.0);
  EXPECT_FLOAT_EQ(at.x, (400.0f + next.Player.x) / 2);
  // Held within the field as the update holds it.
  at = LeadingHand(w, 1.0f, 2000.0, -2000.0);
  EXPECT_EQ(at.x, 790.0f);
  EXPECT_EQ(at.y, 10.0f);
  // Off a game nothing moves the hand.
  w.GameState = GameOver;
  at = LeadingHand(w, 1.0f, 20.0, 10.0);
  EXPECT_EQ(at.x, 400.0f);
}

// ---- Pictures on the reference device ---------------------------------------------
using Picture = std::vector<uint32_t>;
IDirect3D8 *direct3DObject;
IDirect3DDevice8 *referenceDevice;

class BetweenPicture : public ::testing::Test {
protected:
  void SetUp() override {
    if (referenceDevice == nullptr) {
      direct3DObject = Direct3DCreate8(220);
      ASSERT_NE(direct3DObject, nullptr);
      D3DPRESENT_PARAMETERS params = {};
      params.BackBufferWidth = 800;
      params.BackBufferHeight = 600;
      params.BackBufferFormat = D3DFMT_X8R8G8B8;
      params.BackBufferCount = 1;
      params.SwapEffect = D3DSWAPEFFECT_COPY;
      params.Windowed = TRUE;
      params.EnableAutoDepthStencil = TRUE;
      params.AutoDepthStencilFormat = D3DFMT_D16;
      direct3DObject->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_REF, nullptr, D3DCREATE_SOFTWARE_VERTEXPROCESSING,
                                   &params, &referenceDevice);
    }
    ASSERT_NE(referenceDevice, nullptr);
    device = referenceDevice;
  }
  Picture Draw(const SceneMoment &moment) {
    device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000, 1.0f, 0);
    device->BeginScene();
    SetFrameStates(device);
    DrawSceneAt(moment, 45);
    device->EndScene();
    device->Present(nullptr, nullptr, nullptr, nullptr);
    Picture pixels(800 * 600);
    EXPECT_TRUE(ReadBackPresented(device, reinterpret_cast<DWORD *>(pixels.data()), 800, 600));
    return pixels;
  }
};

// A played world with ships, shots, stars and sparks, and the one an update later.
void PlayedWorlds(World &before, World &after) {
  StartWorld(before, 5);
  FrameInput input{};
  FrameReport report;
  input.left = true;
  StepWorld(before, input, report);
  input = FrameInput{};
  for (int frame = 0; frame < 400; ++frame) {
    input.dx = frame % 40 < 20 ? 9 : -9;
    input.dy = frame % 60 < 30 ? 4 : -4;
    input.left = frame % 7 < 4;
    StepWorld(before, input, report);
  }
  after = before;
  StepWorld(after, input, report);
}

TEST_F(BetweenPicture, TheMomentOfOneWorldIsItsPictureAndDrawingChangesNeitherWorld) {
  static World before, after;
  PlayedWorlds(before, after);
  const World keptBefore = before, keptAfter = after;
  // The worlds have things to blend and things that are not the same.
  int sameShips = 0, sameParticles = 0;
  for (int i = 0; i < EnemySlots; ++i) sameShips += SameEnemy(before.EnemyTable[i], after.EnemyTable[i]);
  for (int i = 0; i < ParticleSlots; ++i)
    sameParticles += SameParticle(before.ParticleTable[i], after.ParticleTable[i]);
  ASSERT_EQ(after.GameState, Playing);
  EXPECT_GT(sameShips, 0);
  EXPECT_GT(sameParticles, 0);
  const Picture today = Draw(MomentOf(after));
  SceneMoment same{&after, &after, 0.0f, {after.Player.x, after.Player.y}};
  EXPECT_EQ(Draw(same), today);
  // Blended, the things move; the worlds do not.
  SceneMoment half{&before, &after, 0.5f, LeadingHand(after, 0.5f, 4.0, 2.0)};
  EXPECT_NE(Draw(half), today);
  EXPECT_EQ(std::memcmp(&before, &keptBefore, sizeof before), 0);
  EXPECT_EQ(std::memcmp(&after, &keptAfter, sizeof after), 0);
  // At 0 the things stand where the update before had them.
  SceneMoment start{&before, &after, 0.0f, {after.Player.x, after.Player.y}};
  World mixed = after;
  std::memcpy(mixed.EnemyTable, before.EnemyTable, sizeof mixed.EnemyTable);
  std::memcpy(mixed.ParticleTable, before.ParticleTable, sizeof mixed.ParticleTable);
  std::memcpy(mixed.EffectTable, before.EffectTable, sizeof mixed.EffectTable);
  // Slots that are not the same thing are drawn as the newest has them.
  for (int i = 0; i < EnemySlots; ++i)
    if (!SameEnemy(before.EnemyTable[i], after.EnemyTable[i])) mixed.EnemyTable[i] = after.EnemyTable[i];
  for (int i = 0; i < ParticleSlots; ++i)
    if (!SameParticle(before.ParticleTable[i], after.ParticleTable[i])) mixed.ParticleTable[i] = after.ParticleTable[i];
  for (int i = 0; i < EffectSlots; ++i)
    if (!SameEffect(before.EffectTable[i], after.EffectTable[i])) mixed.EffectTable[i] = after.EffectTable[i];
  EXPECT_EQ(Draw(start), Draw(MomentOf(mixed)));
}

}  // namespace
