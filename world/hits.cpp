// Where the sword meets an enemy and an enemy meets the hand: the blade test, the hit
// points and shield points lost, the sparks, smoke, bursts, rings and sounds of hits
// and explosions, and the points a destroyed enemy brings. Bullets are enemies too,
// so the blade cuts them and a bullet that reaches the hand costs shield.
#include <cmath>
#include <cstdint>
#include "world/step.h"
#include "world/world.h"

namespace {

constexpr float DegreesToRadians = 0.017453289f;

struct BurstLook {
  int16_t size;       // 0: none
  int16_t sizeStep;
  uint8_t alpha;
  int8_t alphaStep;
  int8_t sprite;
};

struct SmokeLook {
  int16_t size;       // 0: none
  uint8_t alpha;
  int8_t alphaStep;
};

struct RingLook {
  int8_t count;       // 0: none; 6 or 8 particles, evenly round
  int16_t speed;
  int16_t size;
  int16_t sizeStep;
  uint8_t alpha;
  int8_t alphaStep;
};

struct SoundCall {
  int8_t id;          // -1: none
  int8_t level;
};

// What one enemy type shows and plays when it is hit. The first four columns run on
// every hit, in this order; the last three only when the hit destroyed it.
struct HitOutcome {
  int8_t debris;      // number of debris sparks
  bool blueDebris;    // the cold blue debris of the type-9 missile
  SmokeLook smoke;
  BurstLook burst[2];
  SoundCall sound;
  BurstLook deathBurst;
  RingLook ring;
  SoundCall deathSound[2];
};

constexpr SoundCall Quiet = {-1, 0};
constexpr BurstLook NoBurst = {0, 0, 0, 0, 0};
constexpr SmokeLook NoSmoke = {0, 0, 0};
constexpr RingLook NoRing = {0, 0, 0, 0, 0, 0};

// Types 0, 1, 7, 8, 10 and 14 have one hit point, so their hit is their end and they
// play their explosion with the hit itself.
const HitOutcome Outcomes[EnemyTypes] = {
    /* 0 */ {0, false, NoSmoke, {{35, 5, 120, -15, 3}, {15, 4, 120, -15, 3}}, {2, 80}, NoBurst, NoRing, {Quiet, Quiet}},
    /* 1 */ {0, false, {30, 160, -8}, {{30, 5, 200, -20, 5}, NoBurst}, {0, 85}, NoBurst, NoRing, {Quiet, Quiet}},
    /* 2 */ {8, false, {40, 200, -10}, {NoBurst, NoBurst}, Quiet, {40, 7, 220, -20, 5}, NoRing, {{0, 95}, Quiet}},
    /* 3 */ {10, false, {50, 200, -10}, {NoBurst, NoBurst}, Quiet, {40, 5, 200, -20, 5}, NoRing, {{0, 90}, Quiet}},
    /* 4 */ {12, false, {50, 200, -10}, {NoBurst, NoBurst}, Quiet, {40, 8, 220, -20, 5}, NoRing, {{0, 95}, Quiet}},
    /* 5 */ {10, false, {50, 200, -10}, {NoBurst, NoBurst}, Quiet, {40, 5, 200, -20, 5}, NoRing, {{0, 90}, Quiet}},
    /* 6 */ {14, false, {50, 220, -10}, {NoBurst, NoBurst}, Quiet, {50, 5, 220, -20, 5}, NoRing, {{0, 100}, Quiet}},
    /* 7 */ {0, false, {30, 160, -8}, {{35, 5, 200, -20, 5}, NoBurst}, {0, 85}, NoBurst, NoRing, {Quiet, Quiet}},
    /* 8 */ {0, false, NoSmoke, {{20, 5, 180, -20, 6}, NoBurst}, {2, 80}, NoBurst, NoRing, {Quiet, Quiet}},
    /* 9 */ {8, true, NoSmoke, {NoBurst, NoBurst}, Quiet, {30, 8, 200, -20, 6}, NoRing, {{2, 85}, Quiet}},
    /* 10 */ {0, false, {30, 160, -8}, {{30, 5, 180, -20, 5}, NoBurst}, {0, 85}, NoBurst, NoRing, {Quiet, Quiet}},
    /* 11 */ {15, false, {60, 220, -10}, {NoBurst, NoBurst}, Quiet, {50, 8, 250, -25, 5}, {6, 10, 30, 5, 140, -15},
              {{0, 100}, Quiet}},
    /* 12 */ {15, false, {60, 220, -10}, {NoBurst, NoBurst}, Quiet, {50, 8, 250, -20, 5}, {6, 12, 30, 5, 140, -15},
              {{0, 100}, Quiet}},
    /* 13 */ {15, false, {60, 220, -10}, {NoBurst, NoBurst}, Quiet, {50, 10, 250, -20, 5}, {8, 15, 30, 5, 140, -15},
              {{0, 100}, Quiet}},
    /* 14 */ {0, false, NoSmoke, {{20, 8, 180, -20, 6}, NoBurst}, {2, 80}, NoBurst, NoRing, {Quiet, Quiet}},
    /* 15 */ {10, false, {50, 200, -10}, {NoBurst, NoBurst}, Quiet, {40, 5, 220, -20, 5}, NoRing, {{0, 90}, Quiet}},
    /* 16 */ {12, false, {50, 200, -10}, {NoBurst, NoBurst}, Quiet, {40, 8, 220, -20, 5}, NoRing, {{0, 95}, Quiet}},
    /* 17 */ {16, false, {65, 220, -10}, {NoBurst, NoBurst}, Quiet, {50, 10, 250, -15, 5}, {8, 18, 40, 8, 140, -15},
              {{0, 100}, {1, 100}}},
};

// A random whole number of degrees as a sprite rotation.
float RandomTurn(World &w) { return static_cast<float>(Random(w) % 360) * DegreesToRadians; }

void Play(FrameReport &report, SoundCall call) {
  if (call.id >= 0) PlaySound(report, call.id, call.level);
}

void SpawnBurst(World &w, const Enemy &e, const BurstLook &look) {
  if (look.size == 0) return;
  SpawnParticle(w, e.x, e.y, 0.0f, 0.0f, 0.0f, 0.0f, RandomTurn(w), look.size, look.sizeStep, look.alpha, look.alphaStep,
                -1, look.sprite);
}

// Debris and the sparks at the hand share one shape: they scatter up to 10 pixels
// per update each way and fall.
void SpawnScatterSpark(World &w, float x, float y, float ay, uint8_t red, uint8_t green, uint8_t blue) {
  int r1 = Random(w);
  int r2 = Random(w);
  int r3 = Random(w);
  float vx = static_cast<float>((r3 % 41 - 20) * 0.5);
  float vy = static_cast<float>((r2 % 41 - 20) * 0.5);
  SpawnEffect(w, x, y, vx, vy, 0.0f, ay, 255, static_cast<int8_t>(-10 - r1 % 20), red, green, blue);
}

void SpawnSmoke(World &w, const Enemy &e, const SmokeLook &look) {
  if (look.size == 0) return;
  SpawnParticle(w, e.x, e.y, 0.0f, -0.8f, 0.0f, 0.0f, RandomTurn(w), look.size, 1.0f, look.alpha, look.alphaStep, -1, 1);
}

void SpawnRing(World &w, const Enemy &e, const RingLook &look) {
  if (look.count == 0) return;
  const int stepDegrees = 360 / look.count;
  for (int k = 0; k < look.count; ++k) {
    float heading = static_cast<float>(k * stepDegrees) * DegreesToRadians;
    float vx = static_cast<float>(std::cos(static_cast<double>(heading)) * look.speed);
    float vy = static_cast<float>(std::sin(static_cast<double>(heading)) * look.speed);
    SpawnParticle(w, e.x, e.y, vx, vy, 0.0f, 0.0f, RandomTurn(w), look.size, look.sizeStep, look.alpha, look.alphaStep, -1,
                  5);
  }
}

}  // namespace

int SwordHitTest(const World &w, float px, float py) {
  return SwordBlade(w.Player.trail[0]).Contains(px, py) ? 1 : 0;
}

void ResolveHits(World &w, int slot, FrameReport &report) { ResolveHits(w, slot, SwordBlade(w.Player.trail[0]), report); }

void ResolveHits(World &w, int slot, const SwordBlade &blade, FrameReport &report) {
  Enemy &e = w.EnemyTable[slot];
  PlayerRecord &player = w.Player;
  bool hit = false;

  // The blade is tested at the centre and 8 pixels to each side.
  const bool cut = blade.drawn && (blade.Contains(e.x, e.y) || blade.Contains(e.x + 8, e.y) ||
                                   blade.Contains(e.x - 8, e.y) || blade.Contains(e.x, e.y + 8) ||
                                   blade.Contains(e.x, e.y - 8));
  if (cut) {
    e.hp = static_cast<int16_t>(e.hp - 1);
    // Pink sparks fly off against the tip's motion.
    const SwordPoint b = player.trail[0].previousTip, t = player.trail[0].tip;
    for (int i = 0; i < 3; ++i) {
      int r1 = Random(w);
      int r2 = Random(w);
      int r3 = Random(w);
      float vx = static_cast<float>((b.x - t.x) * 0.05 + (r3 % 41 - 20) * 0.2);
      float vy = static_cast<float>((b.y - t.y) * 0.05 + (r2 % 41 - 20) * 0.2);
      SpawnEffect(w, e.x, e.y, vx, vy, 0.0f, 0.4f, 255, static_cast<int8_t>(-10 - r1 % 10), 255, 60, 180);
    }
    hit = true;
  }

  // Touching the hand costs as many shield points as the enemy has hit points left and
  // ends it. The shield stops at the bottom of its 8 bits instead of wrapping round.
  double dx = static_cast<double>(player.x) - e.x;
  double dy = static_cast<double>(player.y) - e.y;
  // Beyond 401 the root is past 20 whatever its rounding: no root to take.
  const double squared = dx * dx + dy * dy;
  if (squared <= 401.0 && std::sqrt(squared) <= 20.0 && e.hp > 0) {
    int shield = player.shield - e.hp;
    player.shield = static_cast<int8_t>(shield < INT8_MIN ? INT8_MIN : shield);
    e.hp = 0;
    for (int i = 0; i < 5; ++i) SpawnScatterSpark(w, player.x, player.y, 0.6f, 255, 200, 0);
    hit = true;
  }

  // Every spawner keeps to the 18 types; a slot holding anything else has no looks
  // and no points to read, so it only loses its hit points.
  if (!hit || e.type < 0 || e.type >= EnemyTypes) return;

  const HitOutcome &look = Outcomes[e.type];
  for (int i = 0; i < look.debris; ++i) {
    if (look.blueDebris)
      SpawnScatterSpark(w, e.x, e.y, 0.4f, 20, 180, 255);
    else
      SpawnScatterSpark(w, e.x, e.y, 0.6f, 255, 200, 0);
  }
  SpawnSmoke(w, e, look.smoke);
  SpawnBurst(w, e, look.burst[0]);
  SpawnBurst(w, e, look.burst[1]);
  Play(report, look.sound);

  if (e.hp <= 0) {
    SpawnBurst(w, e, look.deathBurst);
    SpawnRing(w, e, look.ring);
    Play(report, look.deathSound[0]);
    Play(report, look.deathSound[1]);
    // The score stops at the top of its 32 bits rather than turning negative.
    int64_t total = static_cast<int64_t>(w.score) + EnemyTypeInfo[e.type].score;
    w.score = static_cast<int>(total > INT32_MAX ? INT32_MAX : total < INT32_MIN ? INT32_MIN : total);
  } else {
    PlaySound(report, 3, 90);
  }
}
