// The inputs of whole headless games for the world's benchmarks: the built-in player
// plays from the title screen, and after a lost or won game it goes
// back to the title with Escape and starts the next one, so the stream is games back to
// back. Made once, before anything is timed.
#pragma once
#include <vector>
#include "app/player.h"
#include "world/step.h"
#include "world/world.h"

inline std::vector<FrameInput> MakeGameInputs(uint32_t seed, bool randomGame, int frames) {
  std::vector<FrameInput> inputs;
  inputs.reserve(static_cast<size_t>(frames));
  static World world;
  StartWorld(world, seed);
  FrameReport report;
  static BuiltInPlayer player;
  player = BuiltInPlayer(randomGame);
  for (int frame = 0; frame < frames; ++frame) {
    FrameInput input{};
    if (world.GameState == GameOver || world.GameState == AllClear) {
      input.escape = (frame & 1) != 0;
    } else {
      input = player.Decide(world);
    }
    inputs.push_back(input);
    StepWorld(world, input, report);
  }
  return inputs;
}
