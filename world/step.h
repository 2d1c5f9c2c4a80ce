// One frame of the game as a function: the input of the frame in, the world advanced by
// one frame (the Escape key, the title screen, the world update under its slow-motion
// gate, the end of a game), and what the frame asks of the outside world out.
#pragma once
#include <cstdint>
#include "world/world.h"

// What the player did during one frame: the mouse motion and the held state of the two
// buttons and the two keys the game reads.
struct FrameInput {
  int dx;
  int dy;
  bool left;
  bool right;
  bool escape;
  bool enter;
};

struct FrameSound {
  int8_t id;      // 0 to 6
  int8_t level;
};

// Every sound one frame can ask for: at most four per enemy slot (a boss's charge, then
// a hit's sound and two explosion sounds) and the sword's two.
constexpr int FrameSoundLimit = EnemySlots * 4 + 2;

struct FrameReport {
  FrameSound sounds[FrameSoundLimit];
  int soundCount;
  bool quit;   // Escape on the title screen: the program should end after this frame
};

// Asks for a sound to be played at the end of the frame, in the order asked.
void PlaySound(FrameReport &report, int id, int level);

// Advances the world by one frame. No input or output, no allocation.
void StepWorld(World &w, const FrameInput &input, FrameReport &report);
