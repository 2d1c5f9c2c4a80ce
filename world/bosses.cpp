// The bosses of stages 2 to 4 and the ships and shots that come with them: the fast
// shot that turns toward the hand once, the fighter that side-steps and retreats, the
// gunship that drifts back out, and the final boss, which fights harder once it is
// down to 14 hit points. The bosses repeat a 300-update attack cycle for as long as
// they live and call reinforcements when the player takes too long.
#include <cmath>
#include "world/step.h"
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

void Shot(World &w, const Enemy &e, int type, float heading) {
  SpawnEnemy(w, e.x, e.y, heading, static_cast<int8_t>(type), 0);
}

// n shots at base + (k * step - offset) degrees, k = 0 .. n - 1.
void ShotFan(World &w, const Enemy &e, int type, float base, int count, int step, int offset) {
  for (int k = 0; k < count; ++k) Shot(w, e, type, base + Degrees(k * step - offset));
}

// Two launched ships that side-step apart: the lower one down, the upper one up.
void Pair(World &w, const Enemy &e, int type, float spread) {
  SpawnEnemy(w, e.x, e.y + 10.0f, e.angle + spread, static_cast<int8_t>(type), 2);
  SpawnEnemy(w, e.x, e.y - 10.0f, e.angle - spread, static_cast<int8_t>(type), 1);
}

void Reinforcements(World &w, int type) {
  SpawnEnemy(w, 810.0f, 150.0f, 0.0f, static_cast<int8_t>(type), 0);
  SpawnEnemy(w, 810.0f, 450.0f, 0.0f, static_cast<int8_t>(type), 0);
}

// A one-update glow on the enemy, turned at random.
void Glow(World &w, const Enemy &e, float size) {
  int r = Random(w) % 360;
  SpawnParticle(w, e.x, e.y, 0, 0, 0, 0, Degrees(r), size, 0, 120, 0, 1, 6);
}

void SecondBoss(World &w, Enemy &e) {
  int a = e.age % 300;
  if (e.x > 700.0f) e.x -= 3.0f;
  if (a == 40) Pair(w, e, 7, Deg40);
  if (a == 50) Pair(w, e, 7, Deg80);
  if (a > 60 && a < 120 && e.age % 3 == 1) {
    float aim = AimAtPlayer(w, e);
    int n = Random(w) % 11 - 5;
    Shot(w, e, 0, aim + Degrees(n));
  }
  if (a == 140) ShotFan(w, e, 9, e.angle, 5, 30, 60);
  // Swings out to the left and comes back to its line.
  if (a > 170 && a < 220) e.x -= 2.0f;
  if (a > 250) e.x += 2.0f;
  if (a == 230) ShotFan(w, e, 2, 0.0f, 6, 60, 0);
  if (a == 240) {
    for (int k = 0; k < 6; ++k) Shot(w, e, 2, Degrees(k * 60) + Deg30);
  }
  if (e.age > 3000 && e.age % 200 == 1) Reinforcements(w, 15);
}

void ThirdBoss(World &w, Enemy &e, FrameReport &report) {
  int a = e.age % 300;
  if (e.x > 500.0f) e.x -= 2.0f;
  // The charge before each volley: a shrinking glow and the charge sound.
  if (a > 50 && a < 60) {
    Glow(w, e, static_cast<float>(120 - (a - 50) * 12));
    if (a == 51) PlaySound(report, 5, 85);
  }
  if (a == 60 || a == 80) ShotFan(w, e, 9, AimAtPlayer(w, e), 5, 20, 40);
  if (a == 70) ShotFan(w, e, 9, AimAtPlayer(w, e), 6, 20, 50);
  if (a == 120) ShotFan(w, e, 14, 0.0f, 6, 60, 0);
  if (a == 140) {
    for (int k = 0; k < 6; ++k) Shot(w, e, 14, Degrees(k * 60) + Deg30);
  }
  if (a > 180 && a < 190) {
    Glow(w, e, static_cast<float>(120 - (a - 180) * 12));
    if (a == 181) PlaySound(report, 5, 85);
  }
  if (a > 190 && a < 240 && (e.age & 1)) {
    float aim = AimAtPlayer(w, e);
    int r1 = Random(w) % 81 - 40;
    int r2 = Random(w) % 81 - 40;
    SpawnEnemy(w, static_cast<float>(e.x + r2 * 0.5), static_cast<float>(e.y + r1 * 0.5), aim, 9, 0);
  }
  if (a == 280) ShotFan(w, e, 8, 0.0f, 12, 30, 0);
  if (a == 290) {
    for (int k = 0; k < 12; ++k) Shot(w, e, 8, Degrees(k * 30) + Deg15);
  }
  if (e.age > 3000 && e.age % 200 == 1) Reinforcements(w, 15);
}

void FastShot(World &w, Enemy &e) {
  AdvanceAlong(e, e.angle, 12.0);
  if (e.age == 20) {
    // Turns toward the hand once, with a flash.
    e.angle = AimAtPlayer(w, e);
    int r = Random(w) % 360;
    SpawnParticle(w, e.x, e.y, 0, 0, 0, 0, Degrees(r), 40.0f, 0, 200, 0, 2, 6);
  }
}

void LateFighter(World &w, Enemy &e, int slot) {
  if (e.age < 30) {
    AdvanceAlong(e, e.angle, 5.0);
  } else if (e.age < 60) {
    TurnToPlayer(w, e, FighterTurnStep);
  } else if (e.age < 80) {
    bool up = e.param == 1 || (e.param == 0 && (slot & 1));
    AdvanceAlong(e, e.angle + (up ? -Deg90 : Deg90), 4.0);
  } else if (e.age < 110) {
    TurnToPlayer(w, e, FighterTurnStep);
  } else {
    AdvanceAlong(e, e.angle + Deg180, 4.0);   // retreats the way it came
  }
  if (e.age == 50 || e.age == 58 || e.age == 100 || e.age == 108) Shot(w, e, 9, e.angle);
}

void RandomBullet(World &w, const Enemy &e) {
  int n = Random(w) % 21 - 10;
  Shot(w, e, 9, e.angle + Degrees(n));
}

void LateGunship(World &w, Enemy &e, int slot) {
  float line = static_cast<float>(700 - (slot % 3) * 10);
  if (e.x > line) e.x -= 4.0f;
  if (e.age == 70 || e.age == 80 || e.age == 90) RandomBullet(w, e);
  if (e.age == 130) {
    Shot(w, e, 14, e.angle - Deg30);
    Shot(w, e, 14, e.angle + Deg30);
  }
  if (e.age == 170 || e.age == 180 || e.age == 190) RandomBullet(w, e);
  if (e.age > 210) {
    // Drifts back out to the right, odd slots upward.
    e.x += 1.0f;
    if (slot & 1) {
      e.y -= 1.0f;
    } else {
      e.y += 1.0f;
    }
    if (e.age % 30 == 1) Shot(w, e, 9, e.angle);
  }
}

void FinalBoss(World &w, Enemy &e) {
  int a = e.age % 300;
  if (e.x > 700.0f) e.x -= 2.0f;
  if (e.hp >= 15) {
    if (a == 40) ShotFan(w, e, 2, e.angle, 8, 20, 70);
    if (a > 90 && a < 150 && e.age % 5 == 1) Shot(w, e, 14, AimAtPlayer(w, e));
    if (a > 190 && a < 260 && (e.age & 1)) {
      int n = Random(w) % 201 - 100;
      Shot(w, e, 9, e.angle + Degrees(n));
    }
    if (a == 290) Pair(w, e, 15, Deg50);
  } else {
    // Badly damaged: it smokes and fires faster and wider.
    if (e.age % 10 == 1) {
      int n1 = Random(w) % 360;
      int n2 = Random(w) % 31 - 15;
      int n3 = Random(w) % 31 - 15;
      SpawnParticle(w, e.x + static_cast<float>(n3), e.y + static_cast<float>(n2), 0, -0.8f, 0, 0, Degrees(n1), 40.0f,
                    5.0f, 180, -20, -1, 5);
    }
    if (a > 50 && a < 120 && (e.age & 1)) {
      float aim = AimAtPlayer(w, e);
      int n = Random(w) % 41 - 20;
      Shot(w, e, 9, aim + Degrees(n));
    }
    if (a == 180) Pair(w, e, 15, Deg40);
    if (a == 200) Pair(w, e, 15, Deg60);
    if (a == 240) ShotFan(w, e, 2, e.angle, 13, 15, 90);
    if (a == 290) ShotFan(w, e, 14, e.angle, 8, 20, 70);
  }
  if (e.age > 5000 && e.age % 350 == 1) Reinforcements(w, 6);
}

}  // namespace

void RunBossBehaviour(World &w, int slot, FrameReport &report) {
  Enemy &e = w.EnemyTable[slot];
  switch (e.type) {
    case 12: SecondBoss(w, e); break;
    case 13: ThirdBoss(w, e, report); break;
    case 14: FastShot(w, e); break;
    case 15: LateFighter(w, e, slot); break;
    case 16: LateGunship(w, e, slot); break;
    case 17: FinalBoss(w, e); break;
    default: break;
  }
}
