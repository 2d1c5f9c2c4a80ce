// A simple built-in player for long replay runs: it starts a game from the title screen,
// steers the hand toward the nearest enemy and swings through it, then backs off.
#pragma once
#include "world/world.h"

struct PlayerInput {
  int dx;
  int dy;
  bool left;
  bool right;
};

// The input for the coming frame, read from the world as it stands.
PlayerInput ChooseBotInput(const World &world, bool randomGame);
