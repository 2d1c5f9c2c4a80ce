// The world's invariants: what a sound game can hold in its tables and fields, and what
// one frame may change. A memory fault (a stray write, a slot read past its table) or a
// logic fault (a counter run away, a NaN in a position) breaks one of them long before
// it shows on screen. Pure functions over the value; they allocate nothing, so a soak
// can check every frame of a million.
#pragma once
#include "world/world.h"

struct FrameReport;

// What is wrong, or nothing: the table ("enemy", "particle", "spark", "hand", "trail",
// "script", "game"), the slot (-1 for a field outside a table) and the field with what
// is wrong with it, as fixed texts.
struct WorldFault {
  const char *table = nullptr;
  int slot = -1;
  const char *field = nullptr;
  explicit operator bool() const { return table != nullptr; }
};

// Every field of every live slot, the hand, the trail of blades, the stage script and the
// game's own fields within what the rules can produce from any input.
WorldFault CheckWorld(const World &w);

// What one StepWorld may change, from the world before it to the world after it: the
// frame count goes up by one, a game's score never falls, the mode stays, a game only
// ends as the rules end it.
WorldFault CheckStep(const World &before, const World &after);

// The sounds one frame asked for: a count within the list, known sounds, sane levels.
WorldFault CheckReport(const FrameReport &report);
