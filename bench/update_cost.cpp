// The cost of each world update in instructions, for bench/update_instructions.sh: runs
// the same whole games as the world benchmark under callgrind, collecting only inside
// StepWorld and writing one profile per frame, and prints for every frame whether the
// world updated in it. Outside callgrind it only plays the games.
//
//   update_cost normal|random FRAMES [--whole]   (--whole: one profile for the whole run)
#include <valgrind/callgrind.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "bench/world_inputs.h"

int main(int argc, char **argv) {
  if (argc < 3 || argc > 4 || (std::strcmp(argv[1], "normal") != 0 && std::strcmp(argv[1], "random") != 0)) {
    std::fprintf(stderr, "usage: update_cost normal|random FRAMES [--whole]\n");
    return 2;
  }
  const bool randomGame = std::strcmp(argv[1], "random") == 0;
  const int frames = std::atoi(argv[2]);
  const bool perFrame = argc == 3;
  const std::vector<FrameInput> inputs = MakeGameInputs(20261207, randomGame, frames);
  static World world;
  StartWorld(world, 20261207);
  FrameReport report;
  for (const FrameInput &input : inputs) {
    // The world updates in this frame when a game is on, the slow-motion gate lets it
    // through and Escape does not end the game first.
    const bool escapePress = input.escape && !world.keysHeld.escape;
    const bool updates = world.GameState == Playing && !escapePress &&
                         (!world.slowMotion || (world.frameCounter + 1) % 3 == 1);
    CALLGRIND_TOGGLE_COLLECT;
    StepWorld(world, input, report);
    CALLGRIND_TOGGLE_COLLECT;
    if (perFrame) CALLGRIND_DUMP_STATS;
    std::printf("%c\n", updates ? 'u' : '-');
  }
  return 0;
}
