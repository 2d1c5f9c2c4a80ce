// The built-in player. Every frame of a game it plays out a few dozen short swings on a
// copy of the world: a first mouse motion, then a second one turned left, right or not
// at all (a blade only cuts while the hand's path bends: the blade is the wedge between
// the last tip and the new one), then the hand let coast. Each swing is judged on the
// shield it would lose (by far the heaviest), the enemies it would cut, how close the
// hand ends to danger and to its quarry, and the power left for the next swings; the
// first motion of the best swing is played and the rest thrown away.
#include "app/player.h"

#include <cmath>
#include <cstring>

namespace {

constexpr int Lookahead = 10;        // updates each swing is played out
constexpr int Directions = 12;
constexpr int Speeds = 2;
constexpr int SpeedValues[Speeds] = {28, 60};
constexpr double Pi = 3.14159265358979;

bool IsBoss(int type) { return type == 11 || type == 12 || type == 13 || type == 17; }
bool IsShot(int type) { return type == 0 || type == 1 || type == 2 || type == 8 || type == 9 || type == 14; }

int ClampMotion(double value) {
  long v = std::lround(value);
  if (v > PlayerMotionLimit) v = PlayerMotionLimit;
  if (v < -PlayerMotionLimit) v = -PlayerMotionLimit;
  return static_cast<int>(v);
}

// The total hit points of the bosses on the field.
int BossHp(const World &w) {
  int hp = 0;
  for (const Enemy &e : w.EnemyTable)
    if (e.hp > 0 && IsBoss(e.type)) hp += e.hp;
  return hp;
}

// How much being this close to the live enemies costs: a shot within reach of the
// hand in the next update or two, a ship or boss that could ram it.
double Danger(const World &w) {
  const float hx = w.Player.x, hy = w.Player.y;
  double danger = 0;
  for (const Enemy &e : w.EnemyTable) {
    if (e.hp <= 0) continue;
    const float reach = IsBoss(e.type) ? 90.0f : IsShot(e.type) ? 45.0f : 60.0f;
    const float dx = e.x - hx, dy = e.y - hy;
    if (std::fabs(dx) >= reach || std::fabs(dy) >= reach) continue;
    const float d = std::sqrt(dx * dx + dy * dy);
    if (d >= reach) continue;
    const float gap = reach - d;
    danger += static_cast<double>(gap) * gap * e.hp;
  }
  return danger;
}

}  // namespace

FrameInput BuiltInPlayer::Decide(const World &world) {
  FrameInput input{};
  if (world.GameState == Title) {
    // The title reads the buttons as held: one frame with one down starts the game.
    if (randomGame_)
      input.right = true;
    else
      input.left = true;
    target_ = -1;
    return input;
  }
  if (world.GameState != Playing) return input;

  // The copy to decide on. Particles and sparks change nothing in a fight (they draw
  // no numbers of their own), so the copy goes without them and steps faster.
  std::memcpy(static_cast<void *>(&start_), &world, sizeof world);
  for (Particle &p : start_.ParticleTable) p.life = 0;
  for (Effect &f : start_.EffectTable) f.alpha = 0;

  // The quarry: a boss first, then the nearest ship; with none, the hand goes back to
  // the left of the field and rests.
  target_ = -1;
  float best = 1e30f;
  for (int i = 0; i < EnemySlots; ++i) {
    const Enemy &e = world.EnemyTable[i];
    if (e.hp <= 0 || IsShot(e.type) || e.x > 780.0f) continue;
    const float dx = e.x - world.Player.x, dy = e.y - world.Player.y;
    float rank = dx * dx + dy * dy;
    if (IsBoss(e.type)) rank -= 1e9f;
    if (rank < best) {
      best = rank;
      target_ = i;
    }
  }

  Candidate bestCandidate{0, 0, false, 0, 0, 0};
  // Resting first: of equal swings, the one that keeps the hand still wins.
  double bestValue = Try(bestCandidate);
  for (int d = 0; d < Directions; ++d) {
    const double heading = d * (2.0 * Pi / Directions);
    for (int s = 0; s < Speeds; ++s) {
      const double speed = SpeedValues[s];
      const int dx1 = ClampMotion(std::cos(heading) * speed);
      const int dy1 = ClampMotion(std::sin(heading) * speed);
      for (int turn = -1; turn <= 1; ++turn) {
        const double second = heading + turn * (Pi / 2.0);
        const int dx2 = ClampMotion(std::cos(second) * speed);
        const int dy2 = ClampMotion(std::sin(second) * speed);
        for (int blade = 0; blade < 2; ++blade) {
          if (blade == 0 && turn != 0) continue;   // a bend only matters for the blade
          const Candidate c{dx1, dy1, blade == 1, dx2, dy2, 2};
          const double value = Try(c);
          if (value > bestValue) {
            bestValue = value;
            bestCandidate = c;
          }
        }
      }
    }
  }
  input.dx = bestCandidate.dx;
  input.dy = bestCandidate.dy;
  input.left = bestCandidate.left;
  return input;
}

double BuiltInPlayer::Try(const Candidate &c) {
  std::memcpy(static_cast<void *>(&trial_), &start_, sizeof start_);
  World &w = trial_;
  double value = 0;
  int shield = w.Player.shield;
  int score = w.score;
  int bossHp = BossHp(w);
  for (int t = 0; t < Lookahead; ++t) {
    FrameInput in{};
    if (t == 0) {
      in.dx = c.dx;
      in.dy = c.dy;
      in.left = c.left;
    } else if (t <= c.hold) {
      in.dx = c.dx2;
      in.dy = c.dy2;
      in.left = c.left;
    }
    StepWorld(w, in, report_);
    const double weight = 1.0 - 0.04 * t;
    if (w.Player.shield < shield) {
      value -= 100000.0 * (shield - w.Player.shield) * weight;
      shield = w.Player.shield;
    }
    if (w.GameState != Playing) {
      if (w.GameState == GameOver) value -= 1000000.0;
      if (w.GameState == AllClear) value += 100000.0;
      break;
    }
    const int hp = BossHp(w);
    if (hp < bossHp) value += 400.0 * (bossHp - hp) * weight;
    bossHp = hp;
    value += (w.score - score) * 2.0 * weight;
    score = w.score;
    value -= Danger(w) * 0.6 * weight;
  }

  // Where the hand ends: near its quarry, at the blade's reach, away from the edges.
  const PlayerRecord &hand = w.Player;
  float goalX = 200.0f, goalY = 300.0f, ideal = 0.0f;
  if (target_ >= 0 && w.EnemyTable[target_].hp > 0) {
    goalX = w.EnemyTable[target_].x;
    goalY = w.EnemyTable[target_].y;
    ideal = IsBoss(w.EnemyTable[target_].type) ? 130.0f : 100.0f;
  }
  const float gx = hand.x - goalX, gy = hand.y - goalY;
  const double off = std::fabs(std::sqrt(gx * gx + gy * gy) - ideal);
  value -= off * 3.0;
  const float margin = 40.0f;
  if (hand.x < margin) value -= (margin - hand.x) * 20.0;
  if (hand.x > 800.0f - margin) value -= (hand.x - (800.0f - margin)) * 20.0;
  if (hand.y < margin) value -= (margin - hand.y) * 20.0;
  if (hand.y > 600.0f - margin) value -= (hand.y - (600.0f - margin)) * 20.0;
  // Power is worth more the less there is of it.
  value += 60.0 * std::sqrt(static_cast<double>(hand.power > 0 ? hand.power : 0));
  return value;
}
