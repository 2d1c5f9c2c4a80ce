// One world for the tests of the game's rules, started as the program starts it, and
// the report its operations put their sounds in.
#pragma once
#include <utility>
#include <vector>
#include "world/step.h"
#include "world/world.h"

inline World world = [] {
  World w;
  StartWorld(w, 1);
  return w;
}();
inline FrameReport report;

// The sounds asked for since report.soundCount was last set to 0, as (id, level).
inline std::vector<std::pair<int, int>> Heard() {
  std::vector<std::pair<int, int>> out;
  for (int i = 0; i < report.soundCount; ++i) out.emplace_back(report.sounds[i].id, report.sounds[i].level);
  return out;
}
