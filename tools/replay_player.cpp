// The replay runner's built-in player. Its skill is not the point: it only has to bring
// the blade into real fights. It swings in bursts of three frames (toward the target,
// sweeping across it from one side to the other so the blade triangle has area) and then
// backs off for three frames, keeping out of contact range.
#include "tools/replay_player.h"

#include <cmath>

#include "world/world.h"

namespace {

int Clamp(float value, int limit) {
  if (value > limit) return limit;
  if (value < -limit) return -limit;
  return static_cast<int>(std::lround(value));
}

}  // namespace

PlayerInput ChooseBotInput(const World &world, bool randomGame) {
  const PlayerRecord &Player = world.Player;
  PlayerInput input{0, 0, false, false};
  if (world.GameState == Title) {
    // Buttons are level-triggered on the title screen: one frame starts the game.
    if (randomGame) {
      input.right = true;
    } else {
      input.left = true;
    }
    return input;
  }
  if (world.GameState != Playing) return input;

  int nearest = -1;
  float best = 1e9f;
  for (int i = 0; i < EnemySlots; i++) {
    const Enemy &e = world.EnemyTable[i];
    if (e.hp <= 0 || e.x > 790.0f) continue;
    float d = std::hypot(e.x - Player.x, e.y - Player.y);
    if (d < best) {
      best = d;
      nearest = i;
    }
  }
  if (nearest < 0) {
    // Nothing in reach: drift back to the left third and let the gauge recharge.
    input.dx = Clamp((200.0f - Player.x) * 0.1f, 3);
    input.dy = Clamp((300.0f - Player.y) * 0.1f, 3);
    return input;
  }

  const Enemy &target = world.EnemyTable[nearest];
  float tx = target.x - Player.x;
  float ty = target.y - Player.y;
  float distance = best > 0.001f ? best : 0.001f;
  float ux = tx / distance;
  float uy = ty / distance;
  unsigned phase = world.frameCounter % 6;

  if (distance < 45.0f || phase >= 3) {
    // Back off, away from the target.
    input.dx = Clamp(-ux * 30.0f, 40);
    input.dy = Clamp(-uy * 30.0f, 40);
    return input;
  }
  if (distance > 160.0f) {
    // Close in to swinging range.
    input.dx = Clamp(ux * 25.0f, 40);
    input.dy = Clamp(uy * 25.0f, 40);
    return input;
  }
  // Swing: toward the target with a sideways sweep that changes side every frame.
  float side = (phase == 1) ? 1.0f : -1.0f;
  float speed = distance * 0.12f + 8.0f;
  input.dx = Clamp(ux * speed - uy * side * speed, 40);
  input.dy = Clamp(uy * speed + ux * side * speed, 40);
  input.left = Player.power >= 10;
  return input;
}
