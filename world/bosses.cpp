// The bosses of stages 2 to 4 and the ships and shots that come with them: the fast
// shot that turns toward the hand once, the fighter that side-steps and retreats, the
// gunship that drifts back out, and the final boss, which fights harder once it is
// down to 14 hit points. The bosses repeat a 300-update attack cycle for as long as
// they live and call reinforcements when the player takes too long.
#include <cmath>
#include "platform/platform.h"
#include "sound/sound.h"
#include "world/world.h"

namespace {

// Fixed angles, single precision, built on 3.141592.
constexpr float Deg15 = 0.26179934f;
constexpr float Deg30 = 0.52359867f;
constexpr float Deg40 = 0.69813156f;
constexpr float Deg50 = 0.87266445f;
constexpr float Deg60 = 1.0471973f;
constexpr float Deg80 = 1.3962631f;
constexpr float Deg90 = 1.570796f;
constexpr float Deg180 = 3.141592f;

constexpr double FighterTurnStep = 0.0610865116;   // 3.5 degrees per update

float Degrees(int n) { return static_cast<float>(n) * DegreeFactor; }

void Shot(const Enemy &e, int type, float heading) { SpawnEnemy(e.x, e.y, heading, static_cast<int8_t>(type), 0); }

// n shots at base + (k * step - offset) degrees, k = 0 .. n - 1.
void ShotFan(const Enemy &e, int type, float base, int count, int step, int offset) {
  for (int k = 0; k < count; ++k) Shot(e, type, base + Degrees(k * step - offset));
}

// Two launched ships that side-step apart: the lower one down, the upper one up.
void Pair(const Enemy &e, int type, float spread) {
  SpawnEnemy(e.x, e.y + 10.0f, e.angle + spread, static_cast<int8_t>(type), 2);
  SpawnEnemy(e.x, e.y - 10.0f, e.angle - spread, static_cast<int8_t>(type), 1);
}

void Reinforcements(int type) {
  SpawnEnemy(810.0f, 150.0f, 0.0f, static_cast<int8_t>(type), 0);
  SpawnEnemy(810.0f, 450.0f, 0.0f, static_cast<int8_t>(type), 0);
}

// A one-update glow on the enemy, turned at random.
void Glow(const Enemy &e, float size) {
  int r = rand() % 360;
  SpawnParticle(e.x, e.y, 0, 0, 0, 0, Degrees(r), size, 0, 120, 0, 1, 6);
}

void SecondBoss(Enemy &e) {
  int a = e.age % 300;
  if (e.x > 700.0f) e.x -= 3.0f;
  if (a == 40) Pair(e, 7, Deg40);
  if (a == 50) Pair(e, 7, Deg80);
  if (a > 60 && a < 120 && e.age % 3 == 1) {
    float aim = AimAtPlayer(e);
    int n = rand() % 11 - 5;
    Shot(e, 0, aim + Degrees(n));
  }
  if (a == 140) ShotFan(e, 9, e.angle, 5, 30, 60);
  // Swings out to the left and comes back to its line.
  if (a > 170 && a < 220) e.x -= 2.0f;
  if (a > 250) e.x += 2.0f;
  if (a == 230) ShotFan(e, 2, 0.0f, 6, 60, 0);
  if (a == 240) {
    for (int k = 0; k < 6; ++k) Shot(e, 2, Degrees(k * 60) + Deg30);
  }
  if (e.age > 3000 && e.age % 200 == 1) Reinforcements(15);
}

void ThirdBoss(Enemy &e) {
  int a = e.age % 300;
  if (e.x > 500.0f) e.x -= 2.0f;
  // The charge before each volley: a shrinking glow and the charge sound.
  if (a > 50 && a < 60) {
    Glow(e, static_cast<float>(120 - (a - 50) * 12));
    if (a == 51) DSplay(5, 85);
  }
  if (a == 60 || a == 80) ShotFan(e, 9, AimAtPlayer(e), 5, 20, 40);
  if (a == 70) ShotFan(e, 9, AimAtPlayer(e), 6, 20, 50);
  if (a == 120) ShotFan(e, 14, 0.0f, 6, 60, 0);
  if (a == 140) {
    for (int k = 0; k < 6; ++k) Shot(e, 14, Degrees(k * 60) + Deg30);
  }
  if (a > 180 && a < 190) {
    Glow(e, static_cast<float>(120 - (a - 180) * 12));
    if (a == 181) DSplay(5, 85);
  }
  if (a > 190 && a < 240 && (e.age & 1)) {
    float aim = AimAtPlayer(e);
    int r1 = rand() % 81 - 40;
    int r2 = rand() % 81 - 40;
    SpawnEnemy(static_cast<float>(e.x + r2 * 0.5), static_cast<float>(e.y + r1 * 0.5), aim, 9, 0);
  }
  if (a == 280) ShotFan(e, 8, 0.0f, 12, 30, 0);
  if (a == 290) {
    for (int k = 0; k < 12; ++k) Shot(e, 8, Degrees(k * 30) + Deg15);
  }
  if (e.age > 3000 && e.age % 200 == 1) Reinforcements(15);
}

void FastShot(Enemy &e) {
  AdvanceAlong(e, e.angle, 12.0);
  if (e.age == 20) {
    // Turns toward the hand once, with a flash.
    e.angle = AimAtPlayer(e);
    int r = rand() % 360;
    SpawnParticle(e.x, e.y, 0, 0, 0, 0, Degrees(r), 40.0f, 0, 200, 0, 2, 6);
  }
}

void LateFighter(Enemy &e, int slot) {
  if (e.age < 30) {
    AdvanceAlong(e, e.angle, 5.0);
  } else if (e.age < 60) {
    TurnToPlayer(e, FighterTurnStep);
  } else if (e.age < 80) {
    bool up = e.param == 1 || (e.param == 0 && (slot & 1));
    AdvanceAlong(e, e.angle + (up ? -Deg90 : Deg90), 4.0);
  } else if (e.age < 110) {
    TurnToPlayer(e, FighterTurnStep);
  } else {
    AdvanceAlong(e, e.angle + Deg180, 4.0);   // retreats the way it came
  }
  if (e.age == 50 || e.age == 58 || e.age == 100 || e.age == 108) Shot(e, 9, e.angle);
}

void RandomBullet(const Enemy &e) {
  int n = rand() % 21 - 10;
  Shot(e, 9, e.angle + Degrees(n));
}

void LateGunship(Enemy &e, int slot) {
  float line = static_cast<float>(700 - (slot % 3) * 10);
  if (e.x > line) e.x -= 4.0f;
  if (e.age == 70 || e.age == 80 || e.age == 90) RandomBullet(e);
  if (e.age == 130) {
    Shot(e, 14, e.angle - Deg30);
    Shot(e, 14, e.angle + Deg30);
  }
  if (e.age == 170 || e.age == 180 || e.age == 190) RandomBullet(e);
  if (e.age > 210) {
    // Drifts back out to the right, odd slots upward.
    e.x += 1.0f;
    if (slot & 1) {
      e.y -= 1.0f;
    } else {
      e.y += 1.0f;
    }
    if (e.age % 30 == 1) Shot(e, 9, e.angle);
  }
}

void FinalBoss(Enemy &e) {
  int a = e.age % 300;
  if (e.x > 700.0f) e.x -= 2.0f;
  if (e.hp >= 15) {
    if (a == 40) ShotFan(e, 2, e.angle, 8, 20, 70);
    if (a > 90 && a < 150 && e.age % 5 == 1) Shot(e, 14, AimAtPlayer(e));
    if (a > 190 && a < 260 && (e.age & 1)) {
      int n = rand() % 201 - 100;
      Shot(e, 9, e.angle + Degrees(n));
    }
    if (a == 290) Pair(e, 15, Deg50);
  } else {
    // Badly damaged: it smokes and fires faster and wider.
    if (e.age % 10 == 1) {
      int n1 = rand() % 360;
      int n2 = rand() % 31 - 15;
      int n3 = rand() % 31 - 15;
      SpawnParticle(e.x + static_cast<float>(n3), e.y + static_cast<float>(n2), 0, -0.8f, 0, 0, Degrees(n1), 40.0f,
                    5.0f, 180, -20, -1, 5);
    }
    if (a > 50 && a < 120 && (e.age & 1)) {
      float aim = AimAtPlayer(e);
      int n = rand() % 41 - 20;
      Shot(e, 9, aim + Degrees(n));
    }
    if (a == 180) Pair(e, 15, Deg40);
    if (a == 200) Pair(e, 15, Deg60);
    if (a == 240) ShotFan(e, 2, e.angle, 13, 15, 90);
    if (a == 290) ShotFan(e, 14, e.angle, 8, 20, 70);
  }
  if (e.age > 5000 && e.age % 350 == 1) Reinforcements(6);
}

}  // namespace

void RunBossBehaviour(int slot) {
  Enemy &e = EnemyTable[slot];
  switch (e.type) {
    case 12: SecondBoss(e); break;
    case 13: ThirdBoss(e); break;
    case 14: FastShot(e); break;
    case 15: LateFighter(e, slot); break;
    case 16: LateGunship(e, slot); break;
    case 17: FinalBoss(e); break;
    default: break;
  }
}
