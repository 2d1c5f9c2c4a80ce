// Everything the game holds, written as one line of JSON, and a hash over such lines.
#pragma once
#include <cstdint>
#include <string>
#include <utility>
#include <vector>
#include "world/world.h"

// Writes the whole world after a frame into *out (replacing its content): the game's
// state and counters, the player, the script, the live slots of the three tables, the generator's
// state, the sounds played during the frame and the script's writable wait column.
void DumpState(const World &world, const std::vector<std::pair<int, int>> &sounds, std::string *out);

// 64-bit FNV-1a over the dumped lines, in order; stable across runs and builds.
struct StateHash {
  uint64_t value = 1469598103934665603ull;
  void Add(const std::string &line) {
    for (unsigned char c : line) {
      value ^= c;
      value *= 1099511628211ull;
    }
    value ^= '\n';
    value *= 1099511628211ull;
  }
};
