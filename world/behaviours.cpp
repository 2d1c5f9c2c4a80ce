// How the enemies of stage 1 and the shots of every stage move, aim and fire: the
// bullets, the homing missiles, the gunship, the missile carrier, the spreader, the
// heavy ship with its drones, the fighter and the first boss. Every angle constant is
// built on 3.141592; a whole number of degrees is turned into radians with the
// single-precision factor 0.017453289. A behaviour keeps no state beyond its slot:
// every timed event is a test on the enemy's age.
#include <cmath>
#include "world/world.h"
#include "world/world_math.h"

namespace {

constexpr float QuarterTurn = 1.570796f;
constexpr float HalfTurn = 3.141592f;
constexpr float FullTurn = 6.283184f;
constexpr float HeavyMissileSpread = 0.34906578f;   // 20 degrees
constexpr float DroneSpread = 0.87266445f;          // 50 degrees

// Turn steps per update, in double precision.
constexpr double TurnOneDegree = 0.0174532890;
constexpr double TurnOneAndHalfDegrees = 0.0261799335;
constexpr double TurnTwoAndHalfDegrees = 0.0436332226;
constexpr double TurnThreeDegrees = 0.0523598671;

// Ships of one type spread over a few columns and drift apart by their slot number.
float ParitySign(int slot) { return (slot & 1) ? -1.0f : 1.0f; }

void Approach(Enemy &e, float standOff, float speed) {
  if (e.x > standOff) e.x -= speed;
}

// A shot from the enemy's own position, n whole degrees off its heading.
void Fire(World &w, const Enemy &e, int type, int degrees, float yOffset = 0.0f) {
  SpawnEnemy(w, e.x, e.y + yOffset, e.angle + static_cast<float>(degrees) * DegreeFactor,
             static_cast<int8_t>(type), 0);
}

void Fan(World &w, const Enemy &e, int type, int first, int step, int count) {
  for (int j = 0; j < count; ++j) Fire(w, e, type, first + j * step);
}

// One shot at a random whole number of degrees, -width to +width off the heading.
void Spread(World &w, const Enemy &e, int type, int width) {
  int r = Random(w) % (2 * width + 1) - width;
  Fire(w, e, type, r);
}

void Drift(Enemy &e, int slot, float dx, float dy) {
  e.x += dx;
  e.y += dy * ParitySign(slot);
}

// The glow or smoke that a missile leaves some pixels behind its tail.
float BehindX(const Enemy &e, double distance) {
  return static_cast<float>(e.x + WorldCos(static_cast<double>(e.angle)) * distance);
}
float BehindY(const Enemy &e, double distance) {
  return static_cast<float>(e.y - WorldSin(static_cast<double>(e.angle)) * distance);
}

void HomingMissile(World &w, Enemy &e) {
  AdvanceAlong(e, e.angle, 8.0);
  if (e.age < 60) TurnToPlayer(w, e, TurnOneDegree);
  if (e.age % 3 == 1) {
    SpawnParticle(w, BehindX(e, 15.0), BehindY(e, 15.0), 0, 0, 0, 0, 0, 20.0f, 0, 140, 0, 1, 6);
  }
}

void HeavyMissile(World &w, Enemy &e) {
  AdvanceAlong(e, e.angle, 6.0);
  if (e.age < 140) TurnToPlayer(w, e, TurnOneAndHalfDegrees);
  float tailX = BehindX(e, 25.0);
  float tailY = BehindY(e, 25.0);
  SpawnParticle(w, tailX, tailY, 0, 0, 0, 0, 0, static_cast<float>((e.age % 3) * 10 + 10), 0, 140, 0, 1, 6);
  if (e.age % 3 == 1) {
    int r = Random(w) % 360;
    SpawnParticle(w, tailX, tailY, 0, 0, 0, 0, static_cast<float>(r) * DegreeFactor, 20.0f, 2.0f, 200, -20, -1, 1);
  }
}

void Gunship(World &w, Enemy &e, int slot) {
  Approach(e, static_cast<float>(700 - (slot % 5) * 20), 3.0f);
  switch (e.age) {
    case 60: case 70: case 80: case 130: case 140: case 150:
      Spread(w, e, 0, 10);
      break;
    default:
      break;
  }
  if (e.age == 180) Fan(w, e, 1, -30, 60, 2);
  if (e.age > 200) {
    Drift(e, slot, -1.0f, 1.0f);
    if (e.age % 20 == 1) Spread(w, e, 0, 10);
  }
}

void MissileCarrier(World &w, Enemy &e, int slot) {
  Approach(e, static_cast<float>(700 - (slot % 3) * 30), 2.0f);
  if (e.age == 80) Fire(w, e, 2, 0);
  if (e.age == 120) Fan(w, e, 1, -30, 20, 4);
  if (e.age == 170) Fan(w, e, 1, -20, 20, 3);
  if (e.age == 210 || e.age == 240) Fire(w, e, 2, 0);
  if (e.age > 250) {
    Drift(e, slot, -1.0f, 1.0f);
    if (e.age % 40 == 1) Fire(w, e, 1, 0);
  }
}

void Spreader(World &w, Enemy &e, int slot) {
  Approach(e, static_cast<float>(600 - (slot % 5) * 10), 4.0f);
  if (e.age == 20) Fan(w, e, 0, -20, 20, 3);
  if (e.age == 80) Fan(w, e, 0, -30, 15, 5);
  if (e.age > 120 && e.age % 15 == 1) {
    Fire(w, e, 0, 0, 10.0f);
    Fire(w, e, 0, 0, -10.0f);
  }
  // Leaves through the top from odd slots, through the bottom from even ones.
  if (e.age > 150) e.y += 2.0f * ParitySign(slot);
}

void HeavyShip(World &w, Enemy &e, int slot) {
  Approach(e, static_cast<float>(650 - (slot % 3) * 20), 3.0f);
  if (e.age == 200) {
    SpawnEnemy(w, e.x, e.y + 15.0f, e.angle + HeavyMissileSpread, 2, 0);
    SpawnEnemy(w, e.x, e.y - 15.0f, e.angle - HeavyMissileSpread, 2, 0);
  }
  if (e.age == 130 || e.age == 230) {
    // The lower drone strafes down, the upper one up.
    SpawnEnemy(w, e.x, e.y + 10.0f, e.angle + DroneSpread, 7, 2);
    SpawnEnemy(w, e.x, e.y - 10.0f, e.angle - DroneSpread, 7, 1);
  }
  if (e.age > 70 && e.age < 100 && (e.age & 1)) Spread(w, e, 0, 30);
  if (e.age > 240) {
    Drift(e, slot, 1.0f, 1.0f);   // backs off to the right
    if (e.age % 50 == 1) Fan(w, e, 1, -20, 40, 2);
  }
}

// Which side a launched ship steps to: param 1 up, param 2 down (facing left), and a
// ship without a param goes by its slot, odd slots up.
float SideStep(const Enemy &e, int slot) {
  if (e.param == 0) return (slot & 1) ? -QuarterTurn : QuarterTurn;
  if (e.param == 1) return -QuarterTurn;
  return QuarterTurn;
}

void Drone(World &w, Enemy &e, int slot) {
  if (e.age < 20) {
    AdvanceAlong(e, e.angle, 5.0);
  } else if (e.age < 50) {
    TurnToPlayer(w, e, TurnThreeDegrees);
  } else if (e.age < 70) {
    AdvanceAlong(e, e.angle + SideStep(e, slot), 4.0);
  } else if (e.age < 100) {
    TurnToPlayer(w, e, TurnThreeDegrees);
  } else {
    AdvanceAlong(e, e.angle + HalfTurn, 4.0);   // backs away, still facing its aim
  }
  if (e.age == 45 || e.age == 85) Fire(w, e, 0, 0);
}

void Fighter(World &w, Enemy &e, int slot) {
  e.x -= 2.0f;
  e.y += 0.5f * ParitySign(slot);
  if (e.age > 20 && e.age < 120) TurnToPlayer(w, e, TurnTwoAndHalfDegrees);
  if (e.age == 110 - (slot % 3) * 15) Fire(w, e, 8, 0);
}

void FirstBoss(World &w, Enemy &e) {
  int phase = e.age % 300;
  if (e.x > 700.0f) e.x -= 3.0f;
  if (phase > 100 && phase < 200) {
    // Follows the hand up and down; less than 2 pixels off it steps there and back.
    if (w.Player.y > e.y) e.y += 2.0f;
    if (w.Player.y < e.y) e.y -= 2.0f;
    if (phase > 140 && (e.age & 1)) {
      int a = Random(w) % 7 - 3;
      int b = Random(w) % 81 - 40;
      SpawnEnemy(w, e.x, static_cast<float>(e.y + b * 0.5), e.angle + static_cast<float>(a) * DegreeFactor, 9, 0);
    }
  }
  if (phase == 40 || phase == 60) Fan(w, e, 1, -75, 30, 6);
  if (phase > 240 && phase < 290) {
    int r = Random(w) % 360;   // drawn even when the table has no room for the bullet
    SpawnEnemy(w, e.x, e.y, static_cast<float>(r) * DegreeFactor, 8, 0);
  }
  if (e.age > 3000 && e.age % 200 == 1) {
    SpawnEnemy(w, 810.0f, 150.0f, 0.0f, 15, 0);
    SpawnEnemy(w, 810.0f, 450.0f, 0.0f, 15, 0);
  }
}

}  // namespace

float AngleTo(float dx, float dy) {
  if (dx == 0.0f && dy == 0.0f) return 0.0f;
  return static_cast<float>(WorldAtan2(static_cast<double>(dx), static_cast<double>(dy)));
}

void WrapAngle(float &angle) {
  // A heading that is not a number or is too large for whole turns to change it
  // would never come into range by subtraction; bring it there in one go instead.
  if (!std::isfinite(angle)) return;
  if (std::fabs(angle) > 1000.0f) angle = std::fmod(angle, FullTurn);
  for (;;) {
    if (angle > HalfTurn) {
      angle -= FullTurn;
    } else if (angle < -HalfTurn) {
      angle += FullTurn;
    } else {
      return;
    }
  }
}

void AdvanceAlong(Enemy &e, float heading, double step) {
  double h = static_cast<double>(heading);
  e.x = static_cast<float>(e.x + -WorldCos(h) * step);
  e.y = static_cast<float>(e.y + WorldSin(h) * step);
}

float AimAtPlayer(const World &w, const Enemy &e) {
  return AngleTo(w.Player.x - e.x, w.Player.y - e.y) + QuarterTurn;
}

void TurnToPlayer(const World &w, Enemy &e, double step) {
  float d = AngleTo(w.Player.x - e.x, w.Player.y - e.y) - e.angle + QuarterTurn;
  WrapAngle(d);
  if (d > 0.0f) e.angle = static_cast<float>(e.angle + step);
  if (d < 0.0f) e.angle = static_cast<float>(e.angle - step);
}

void RunBasicBehaviour(World &w, int slot) {
  Enemy &e = w.EnemyTable[slot];
  switch (e.type) {
    case 0: AdvanceAlong(e, e.angle, 14.0); break;
    case 8: AdvanceAlong(e, e.angle, 10.0); break;
    case 9: AdvanceAlong(e, e.angle, 16.0); break;
    case 1: HomingMissile(w, e); break;
    case 2: HeavyMissile(w, e); break;
    case 3: Gunship(w, e, slot); break;
    case 4: MissileCarrier(w, e, slot); break;
    case 5: Spreader(w, e, slot); break;
    case 6: HeavyShip(w, e, slot); break;
    case 7: Drone(w, e, slot); break;
    case 10: Fighter(w, e, slot); break;
    case 11: FirstBoss(w, e); break;
    default: break;
  }
}
