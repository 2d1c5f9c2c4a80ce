// The player's sword hand: the mouse's motion since the last update steers the hand,
// the left button swings a blade that reaches ahead by seven times the hand's move,
// the right button slows the world, and both drain the power gauge that recharges
// while the hand rests. The last eight blades are kept, newest first, for the trail.
#include <cmath>
#include <cstdint>
#include "world/step.h"
#include "world/world.h"

// The gauge tops out at 400; at the top the hand no longer glows.
static void Recharge(World &w, int amount, int pulse, int baseSize, uint8_t alpha, float oldX, float oldY) {
  int power = w.Player.power + amount;
  if (power > 400) {
    w.Player.power = 400;
    return;
  }
  w.Player.power = static_cast<int16_t>(power);
  float size = static_cast<float>((power % 3) * pulse + baseSize);
  SpawnParticle(w, oldX, oldY, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, size, 0.0f, alpha, 0, 1, 6);
}

void UpdateSword(World &w, FrameReport &report) {
  PlayerRecord &Player = w.Player;
  const float oldX = Player.x;
  const float oldY = Player.y;

  // The hand takes all the motion made since its last update.
  const int dx = w.pendingDx;
  const int dy = w.pendingDy;
  w.pendingDx = 0;
  w.pendingDy = 0;

  Player.vx = static_cast<float>(Player.vx * 0.5 + dx * 0.5);
  Player.vy = static_cast<float>(Player.vy * 0.5 + dy * 0.5);
  Player.x += Player.vx;
  Player.y += Player.vy;

  // The hand stops at the edge; its velocity keeps what the mouse asks for.
  if (Player.x < 10.0f) Player.x = 10.0f;
  if (Player.x > 790.0f) Player.x = 790.0f;
  if (Player.y < 10.0f) Player.y = 10.0f;
  if (Player.y > 590.0f) Player.y = 590.0f;

  const bool left = w.keysHeld.left;
  const bool right = w.keysHeld.right;
  const double speed = std::sqrt(static_cast<double>(Player.vx) * Player.vx + static_cast<double>(Player.vy) * Player.vy);

  if (speed > 15.0) {
    // A fast hand leaves a flash behind where it was.
    SpawnParticle(w, oldX, oldY, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 40.0f, 0.0f, 180, -40, -1, 0);
  } else if (left || right) {
    // A held button keeps the gauge from recharging.
  } else if (dx == 0 && dy == 0) {
    Recharge(w, 4, 10, 45, 120, oldX, oldY);
  } else {
    Recharge(w, 1, 8, 35, 80, oldX, oldY);
  }

  for (int i = 7; i > 0; --i) Player.trail[i] = Player.trail[i - 1];

  SwordTriangle &blade = Player.trail[0];
  if (left && Player.power >= 2) {
    blade.base = {oldX, oldY};
    blade.previousTip = Player.trail[1].tip;
    blade.tip = {Player.x + (Player.x - oldX) * 7, Player.y + (Player.y - oldY) * 7};
    Player.power = static_cast<int16_t>(Player.power - 2);
    if (speed > 20.0) PlaySound(report, 4, 75);
  } else {
    // Three corners on one point: no blade this update.
    blade.base = blade.previousTip = blade.tip = {Player.x, Player.y};
  }

  if (right && Player.power >= 5) {
    w.slowMotion = 1;
    // Sparks fly back along the hand's path, scattered a little, and fall.
    for (int i = 0; i < 2; ++i) {
      int r1 = Random(w);
      int r2 = Random(w);
      float vy = static_cast<float>((oldY - Player.y) * 0.5 + (r1 % 81 - 40) * 0.2);
      float vx = static_cast<float>((oldX - Player.x) * 0.5 + (r2 % 81 - 40) * 0.2);
      SpawnEffect(w, oldX, oldY, vx, vy, 0.0f, 0.4f, 255, -20, 50, 200, 255);
    }
    Player.power = static_cast<int16_t>(Player.power - 5);
    if (w.frameCounter % 2 == 1) PlaySound(report, 6, 65);
  } else {
    w.slowMotion = 0;
  }
}
